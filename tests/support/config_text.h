// A host configuration record written as text, for tests that would
// rather read a configuration than build it line by line.
#pragma once

#include <string>

#include "host/kit/config.h"

namespace testing_support {

// The first line with a word is the device's name; each further one is a
// keyword and its arguments, split by hostkit::splitConfigLine. Lines
// without a word are skipped, but counted for the numbers.
hostkit::Config configFromText(const std::string& text);

}  // namespace testing_support

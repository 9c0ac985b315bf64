// Runs a piece of code and returns what it wrote to standard output, through
// the C++ stream and C stdio alike (a loaded plug-in has its own stream).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace testing_support {

std::string captureOutput(const std::function<void()>& action);

// The output split at '\n', without the line ends; no empty last element.
std::vector<std::string> splitLines(const std::string& text);

// Each line with the log header removed: everything up to and including the
// first ": " after the record's name, for records without stamps this is
// simply "NAME: ".
std::string withoutHeader(const std::string& line, const std::string& name);

}  // namespace testing_support

// The operating system's own texts for the failures the tests provoke, as
// the plug-in's reports must print them (without a trailing line break).
#pragma once

#include <string>

namespace testing_support {

// Releasing a mutex the calling thread does not own.
std::string notOwnerText();
// Taking a mutex whose holder ended without releasing it.
std::string abandonedText();

}  // namespace testing_support

// The operating system's own texts for the failures the tests provoke, as
// the plug-in's reports must print them (without a trailing line break).
#pragma once

#include <string>

namespace testing_support {

// Releasing a mutex the calling thread does not own.
std::string notOwnerText();
// Taking a mutex whose holder ended without releasing it.
std::string abandonedText();
// Reading or writing a port that is closed (or never opened).
std::string closedLineText();
// Writing to a line whose adapter has been pulled out.
std::string unpluggedLineText();
// Opening `name` as a port, which must fail: the text the system gives for
// it, found by trying ("" when the name opened after all).
std::string openFailureText(const std::string& name);

}  // namespace testing_support

// The line settings, as the simulator's "attrs" shows them, that closing a
// port must leave exactly as it found them on this platform.
#pragma once

#include <map>
#include <string>

namespace testing_support {

// `attrs` without the fields this platform's serial layer sets on its own
// whenever settings are applied, whatever they were before.
std::map<std::string, std::string> restorableLineFields(std::map<std::string, std::string> attrs);

}  // namespace testing_support

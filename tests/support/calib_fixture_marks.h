// What the stand-in calibration library has marked since the last reset:
// "loaded\n" when it was loaded, "unloaded\n" when it was released.
#pragma once

#include <string>

namespace testing_support {

// Points the stand-in library at an empty marks file in the working directory.
void resetCalibFixtureMarks();
std::string calibFixtureMarks();

// Sets a variable of this process's environment (the C runtime's copy, the
// one a loaded library reads with getenv).
void setProcessEnvironment(const char* name, const char* value);

}  // namespace testing_support

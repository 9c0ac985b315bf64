#include <cstdlib>
#include <string>

#include "tests/support/calib_fixture_marks.h"

namespace testing_support {

void setProcessEnvironment(const char* name, const char* value) {
    // _putenv keeps the string it is given.
    static std::string assignment;
    assignment = std::string(name) + "=" + value;
    _putenv(assignment.c_str());
}

}  // namespace testing_support

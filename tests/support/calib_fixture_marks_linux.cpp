#include <cstdlib>

#include "tests/support/calib_fixture_marks.h"

namespace testing_support {

void setProcessEnvironment(const char* name, const char* value) {
    setenv(name, value, 1);
}

}  // namespace testing_support

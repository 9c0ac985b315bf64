#include "tests/support/calib_fixture_marks.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace testing_support {

namespace {

constexpr const char* kMarksFile = "calib_fixture_marks.txt";

}  // namespace

void resetCalibFixtureMarks() {
    std::remove(kMarksFile);
    setProcessEnvironment("PALLADOR_CALIB_FIXTURE_MARKS", kMarksFile);
}

std::string calibFixtureMarks() {
    std::ifstream file(kMarksFile);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace testing_support

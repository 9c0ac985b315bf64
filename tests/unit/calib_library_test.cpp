#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/CCalibH.h"
#include "platform/platform.h"
#include "tests/support/calib_fixture_marks.h"
#include "tests/support/capture.h"
#include "tests/support/tracker_option_lines.h"

using testing_support::calibFixtureMarks;
using testing_support::captureOutput;
using testing_support::plainLog;
using testing_support::splitLines;
using Lines = std::vector<std::string>;

namespace {

const std::string kFixture = CALIB_FIXTURE_NAME;
const std::string kMissing = "no_such_calibration_library.dll";

class CalibrationLibrary : public testing::Test {
protected:
    void SetUp() override { testing_support::resetCalibFixtureMarks(); }
    const CMessageH log = plainLog();
};

TEST_F(CalibrationLibrary, LoadsAtConstructionAndUnloadsAtDestruction) {
    const CMessageH debugLog = plainLog(3);
    std::unique_ptr<CCalibH> library;
    const std::string loading =
        captureOutput([&] { library = std::make_unique<CCalibH>(kFixture.c_str(), &debugLog); });
    EXPECT_EQ(calibFixtureMarks(), "loaded\n");
    EXPECT_EQ(splitLines(loading),
              (Lines{
                  "TEST: DEBUG: CDynamicLibH: \"constructor\" called.",
                  "TEST: DEBUG: CDynamicLibH: \"init\" called.",
                  "TEST: DEBUG: CDynamicLibH: \"load\" called.",
                  "TEST: DEBUG: CDynamicLibH: " + kFixture + " library loaded.",
                  "TEST: DEBUG: CCalibH: \"init\" called.",
              }));
    const std::string unloading = captureOutput([&] { library.reset(); });
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\n");
    EXPECT_EQ(splitLines(unloading), (Lines{
                                         "TEST: DEBUG: CCalibH: \"destructor\" called.",
                                         "TEST: DEBUG: CDynamicLibH: \"destructor\" called.",
                                         "TEST: DEBUG: CDynamicLibH: \"unload\" called.",
                                     }));
    // The default log opens no DEBUG gate: a good load says nothing at all.
    EXPECT_EQ(captureOutput([] { CCalibH quiet(kFixture.c_str(), nullptr); }), "");
}

TEST_F(CalibrationLibrary, MissingOrEmptyNamesAreReportedAndNullIsSilent) {
    const auto printedBy = [](const char* name, const CMessageH* creator) {
        return captureOutput([&] { CCalibH library(name, creator); });
    };
    EXPECT_EQ(printedBy(kMissing.c_str(), &log),
              "TEST: ERROR: CDynamicLibH: Can not load the library " + kMissing + "\n");
    EXPECT_EQ(printedBy("", &log), "TEST: ERROR: CDynamicLibH: Library name is empty.\n");
    EXPECT_EQ(printedBy(nullptr, &log), "");
    // The base loads before the calibration class renames a log of its own.
    EXPECT_NE(printedBy(kMissing.c_str(), nullptr).find("CDynamicLibH["), std::string::npos);
}

TEST_F(CalibrationLibrary, SecondLoadIsRefusedSilentlyAndKeepsTheFirst) {
    CDynamicLibH library(kFixture.c_str(), &log);
    EXPECT_EQ(captureOutput([&] {
                  EXPECT_FALSE(library.load(kFixture.c_str()));
                  EXPECT_FALSE(library.load(kMissing.c_str()));
              }),
              "");
    EXPECT_EQ(calibFixtureMarks(), "loaded\n");
    EXPECT_TRUE(library.unload());
    EXPECT_TRUE(library.unload());
    EXPECT_TRUE(library.load(kFixture.c_str()));
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\nloaded\n");
}

TEST_F(CalibrationLibrary, PlatformFindsSymbolsWhileLoaded) {
    EXPECT_EQ(platform::loadLibrary(nullptr), nullptr);
    EXPECT_EQ(platform::loadLibrary(kMissing.c_str()), nullptr);
    platform::LibraryHandle handle = platform::loadLibrary(kFixture.c_str());
    ASSERT_NE(handle, nullptr);
    void* symbol = platform::findSymbol(handle, "calibFixtureAnswer");
    ASSERT_NE(symbol, nullptr);
    EXPECT_EQ(reinterpret_cast<int (*)()>(symbol)(), 42);
    EXPECT_EQ(platform::findSymbol(handle, "noSuchSymbol"), nullptr);
    platform::freeLibrary(handle);
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\n");
}

}  // namespace

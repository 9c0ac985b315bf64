#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/CCalibH.h"
#include "config/CDynamicLibH.h"
#include "platform/platform.h"
#include "tests/support/calib_fixture_marks.h"
#include "tests/support/capture.h"
#include "tests/support/tracker_option_lines.h"

using testing_support::calibFixtureMarks;
using testing_support::captureOutput;
using testing_support::plainLog;
using testing_support::splitLines;

namespace {

const std::string kFixture = CALIB_FIXTURE_NAME;
const std::string kMissing = "no_such_calibration_library.dll";

class CalibrationLibrary : public testing::Test {
protected:
    void SetUp() override { testing_support::resetCalibFixtureMarks(); }
};

TEST_F(CalibrationLibrary, LoadsAtConstructionAndUnloadsAtDestruction) {
    const CMessageH host = plainLog(3);
    std::unique_ptr<CCalibH> library;
    const std::string loading =
        captureOutput([&] { library = std::make_unique<CCalibH>(kFixture.c_str(), &host); });
    EXPECT_TRUE(library->isLoaded());
    EXPECT_EQ(calibFixtureMarks(), "loaded\n");
    EXPECT_EQ(splitLines(loading),
              (std::vector<std::string>{
                  "TEST: DEBUG: CDynamicLibH: \"constructor\" called.",
                  "TEST: DEBUG: CDynamicLibH: \"init\" called.",
                  "TEST: DEBUG: CDynamicLibH: \"load\" called.",
                  "TEST: DEBUG: CDynamicLibH: " + kFixture + " library loaded.",
                  "TEST: DEBUG: CCalibH: \"init\" called.",
              }));

    const std::string unloading = captureOutput([&] { library.reset(); });
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\n");
    EXPECT_EQ(splitLines(unloading), (std::vector<std::string>{
                                         "TEST: DEBUG: CCalibH: \"destructor\" called.",
                                         "TEST: DEBUG: CDynamicLibH: \"destructor\" called.",
                                         "TEST: DEBUG: CDynamicLibH: \"unload\" called.",
                                     }));
}

TEST_F(CalibrationLibrary, DefaultLogLoadsWithoutAWord) {
    const std::string output = captureOutput([] {
        CCalibH library(kFixture.c_str(), nullptr);
        EXPECT_TRUE(library.isLoaded());
    });
    EXPECT_EQ(output, "");
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\n");
}

TEST_F(CalibrationLibrary, MissingLibraryIsReportedWithItsName) {
    const CMessageH host = plainLog();
    const std::string output = captureOutput([&] {
        CCalibH library(kMissing.c_str(), &host);
        EXPECT_FALSE(library.isLoaded());
    });
    EXPECT_EQ(output, "TEST: ERROR: CDynamicLibH: Can not load the library " + kMissing + "\n");
}

TEST_F(CalibrationLibrary, MissingLibraryUnderDefaultLogCarriesTheBaseName) {
    // The base loads before the calibration class renames the log.
    const std::string output = captureOutput([] { CCalibH library(kMissing.c_str(), nullptr); });
    EXPECT_NE(output.find("CDynamicLibH["), std::string::npos) << output;
    EXPECT_NE(output.find("]: ERROR: CDynamicLibH: Can not load the library " + kMissing + "\n"),
              std::string::npos)
        << output;
}

TEST_F(CalibrationLibrary, EmptyNameIsReportedAndNullNameIsSilent) {
    const CMessageH host = plainLog();
    EXPECT_EQ(captureOutput([&] {
                  CDynamicLibH library("", &host);
                  EXPECT_FALSE(library.isLoaded());
              }),
              "TEST: ERROR: CDynamicLibH: Library name is empty.\n");
    EXPECT_EQ(captureOutput([&] {
                  CDynamicLibH library(nullptr, &host);
                  EXPECT_FALSE(library.isLoaded());
              }),
              "");
    CDynamicLibH library(nullptr, &host);
    EXPECT_EQ(captureOutput([&] { EXPECT_FALSE(library.load(nullptr)); }),
              "TEST: ERROR: CDynamicLibH: Library name is empty.\n");
}

TEST_F(CalibrationLibrary, SecondLoadIsRefusedSilentlyAndKeepsTheFirst) {
    const CMessageH host = plainLog();
    CDynamicLibH library(kFixture.c_str(), &host);
    ASSERT_TRUE(library.isLoaded());
    EXPECT_EQ(captureOutput([&] {
                  EXPECT_FALSE(library.load(kFixture.c_str()));
                  EXPECT_FALSE(library.load(kMissing.c_str()));
              }),
              "");
    EXPECT_TRUE(library.isLoaded());
    EXPECT_EQ(calibFixtureMarks(), "loaded\n");

    EXPECT_TRUE(library.unload());
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\n");
    EXPECT_TRUE(library.load(kFixture.c_str()));
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\nloaded\n");
}

TEST_F(CalibrationLibrary, UnloadWithoutLibraryOnlyLogsItsCall) {
    const CMessageH host = plainLog(3);
    std::unique_ptr<CDynamicLibH> library;
    captureOutput([&] { library = std::make_unique<CDynamicLibH>(nullptr, &host); });
    bool result = false;
    EXPECT_EQ(captureOutput([&] { result = library->unload(); }),
              "TEST: DEBUG: CDynamicLibH: \"unload\" called.\n");
    EXPECT_TRUE(result);
    captureOutput([&] { library.reset(); });
}

TEST_F(CalibrationLibrary, PlatformFindsSymbolsOnlyWhileLoaded) {
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

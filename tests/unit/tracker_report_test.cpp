#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "config/CTraCommonH.h"
#include "tests/support/calib_fixture_marks.h"
#include "tests/support/capture.h"
#include "tests/support/tracker_option_lines.h"

using testing_support::captureOutput;
using testing_support::plainLog;
using testing_support::splitLines;
using testing_support::TrackerOptionLines;
using Lines = std::vector<std::string>;

namespace {

const std::string kFixture = CALIB_FIXTURE_NAME;
const std::string kInfo = "TEST: INFO: ";
const std::string kMore = "TEST: INFO:                       :";

class TrackerReport : public testing::Test {
protected:
    void SetUp() override {
        std::cout.unsetf(std::ios::floatfield);
        std::cout.precision(6);
        testing_support::resetCalibFixtureMarks();
        captureOutput([&] {
            options = std::make_unique<CTraCommonH>(&log);
            options->outputCount = 1;
            options->setTrackerCount(1);
            options->setTracker(1, 1, nullptr, nullptr, nullptr);
        });
    }
    void TearDown() override {
        captureOutput([&] { options.reset(); });
        std::cout.unsetf(std::ios::floatfield);
        std::cout.precision(6);
    }

    void parse() {
        captureOutput([&] { ASSERT_TRUE(options->parseOptions(lines.config())); });
    }
    Lines report(bool showCave = true) {
        return splitLines(
            captureOutput([&] { EXPECT_TRUE(options->printConfiguration(showCave)); }));
    }

    CMessageH log = plainLog();
    std::unique_ptr<CTraCommonH> options;
    TrackerOptionLines lines;
};

TEST_F(TrackerReport, TransmitterOffsetExample) {
    lines.add(1, "transmitteroffset", {"1", "2", "3"});
    parse();
    EXPECT_EQ(report(),
              (Lines{
                  kInfo + "CAVE COORDINATES      : Unused",
                  kInfo + "TRANSMITTER OFFSET    : X:1 Y:2 Z:3",
                  kInfo + "TRANSMITTER TRANSFORM : [0][0]: 1.000 [0][1]: 0.000 [0][2]: 0.000",
                  kMore + " [1][0]: 0.000 [1][1]: 1.000 [1][2]: 0.000",
                  kMore + " [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000",
                  "",
                  kInfo + "TRACKER ORDER         : <Real tra> -> <Output tra>",
                  kMore + " 1->1",
              }));
    // The matrix cells left the stream in fixed notation with 3 decimals.
    EXPECT_EQ(report()[1], kInfo + "TRANSMITTER OFFSET    : X:1.000 Y:2.000 Z:3.000");
}

TEST_F(TrackerReport, RotationPrintsBothBlocksAndTheMinusSignFillsItsField) {
    lines.add(1, "transmitterrotation", {"0", "0", "1", "90"});
    parse();
    EXPECT_EQ(report(),
              (Lines{
                  kInfo + "CAVE COORDINATES      : Unused",
                  kInfo + "TRANSMITTER ROTATION  : [0][0]: 0.000 [0][1]: 1.000 [0][2]: 0.000",
                  kMore + " [1][0]:-1.000 [1][1]: 0.000 [1][2]: 0.000",
                  kMore + " [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000",
                  "",
                  kInfo + "TRANSMITTER TRANSFORM : [0][0]: 0.000 [0][1]: 1.000 [0][2]: 0.000",
                  kMore + " [1][0]:-1.000 [1][1]: 0.000 [1][2]: 0.000",
                  kMore + " [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000",
                  "",
                  kInfo + "TRACKER ORDER         : <Real tra> -> <Output tra>",
                  kMore + " 1->1",
              }));
}

TEST_F(TrackerReport, PublishedTrackersShowTheirSensorBlocks) {
    captureOutput([&] {
        options->setTrackerCount(3);
        options->setTracker(1, 1, nullptr, nullptr, nullptr);
        options->setTracker(3, 2, nullptr, nullptr, nullptr);
    });
    options->outputBase = 2;
    lines.add(1, "sensoroffset", {"3", "0.5", "12.5", "6", "inches"})
        .add(2, "sensoroffset", {"2", "7", "7", "7"})
        .add(3, "sensorrotationmatrix", {"3", "1", "0", "0", "0", "1", "0", "0", "0", "1"})
        .add(4, "cavecoord", {"yes"});
    parse();
    EXPECT_EQ(report(),
              (Lines{
                  kInfo + "CAVE COORDINATES      : Used",
                  kInfo + "TRACKER ORDER         : <Real tra> -> <Output tra>",
                  kMore + " 1->3 3->4",
                  kInfo + "SENSOR OFFSET         : 3 X:0.0416667 Y:1.04167 Z:0.5",
                  kInfo + "SENSOR ROTATION       : 3 [0][0]: 1.000 [0][1]: 0.000 [0][2]: 0.000",
                  kMore + " 3 [1][0]: 0.000 [1][1]: 1.000 [1][2]: 0.000",
                  kMore + " 3 [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000",
                  "",
                  kInfo + "SENSOR TRANSFORM      : 3 [0][0]: 1.000 [0][1]: 0.000 [0][2]: 0.000",
                  kMore + " 3 [1][0]: 0.000 [1][1]: 1.000 [1][2]: 0.000",
                  kMore + " 3 [2][0]: 0.000 [2][1]: 0.000 [2][2]: 1.000",
                  "",
              }));
    EXPECT_EQ(report(false)[2], kInfo + "SENSOR OFFSET         : 3 X:0.042 Y:1.042 Z:0.500");
}

TEST_F(TrackerReport, WithoutPublishedTrackersTheOrderRowIsTheLabelAlone) {
    captureOutput([&] { options->setTracker(1, 0, nullptr, nullptr, nullptr); });
    EXPECT_EQ(report(false), (Lines{
                                 kInfo + "TRACKER ORDER         : <Real tra> -> <Output tra>",
                                 kMore,
                             }));
}

TEST_F(TrackerReport, CalibrationLibraryWithAndWithoutArguments) {
    lines.add(1, "calib", {kFixture});
    parse();
    const Lines bare = report(false);
    ASSERT_EQ(bare.size(), 3u);
    EXPECT_EQ(bare[2], kInfo + "CALIBRATION LIBRARY   : name:" + kFixture);

    TrackerOptionLines withArgs;
    withArgs.add(2, "calibration", {kFixture, "left", "12.5"});
    captureOutput([&] { ASSERT_TRUE(options->parseOptions(withArgs.config())); });
    const Lines full = report(false);
    ASSERT_EQ(full.size(), 5u);
    EXPECT_EQ(full[2], kInfo + "CALIBRATION LIBRARY   : name:" + kFixture);
    EXPECT_EQ(full[3], kMore + " arg[0]:left");
    EXPECT_EQ(full[4], kMore + " arg[1]:12.5");
}

TEST_F(TrackerReport, SwitchedOffLogStillWritesTheValues) {
    lines.add(1, "transmitteroffset", {"1", "2", "3"});
    parse();
    captureOutput([&] { options.reset(); });
    CMessageH silent = plainLog();
    silent.enabled = 0;
    captureOutput([&] {
        options = std::make_unique<CTraCommonH>(&silent);
        options->setTrackerCount(1);
        options->setTracker(1, 1, nullptr, nullptr, nullptr);
        options->parseOptions(lines.config());
    });
    const Lines printed = report();
    ASSERT_EQ(printed.size(), 6u);
    EXPECT_EQ(printed[0], " X:1 Y:2 Z:3");
    EXPECT_EQ(printed[1], " [0][0]: 1.000 [0][1]: 0.000 [0][2]: 0.000");
    EXPECT_EQ(printed[5], " 1->1");
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "config/CTraCommonH.h"
#include "tests/support/calib_fixture_marks.h"
#include "tests/support/capture.h"
#include "tests/support/tracker_option_lines.h"

using testing_support::calibFixtureMarks;
using testing_support::captureOutput;
using testing_support::plainLog;
using testing_support::splitLines;
using testing_support::TrackerOptionLines;
using Lines = std::vector<std::string>;

namespace {

const std::string kFixture = CALIB_FIXTURE_NAME;

std::string digits(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string fault(const std::string& text) {
    return "TEST: ERROR: " + text;
}

class TrackerOptions : public testing::Test {
protected:
    void SetUp() override {
        std::cout.unsetf(std::ios::floatfield);
        std::cout.precision(6);
        testing_support::resetCalibFixtureMarks();
        make(1);
    }
    void TearDown() override {
        captureOutput([&] { options.reset(); });
    }

    // As the device's tracker set-up leaves it: tracker 1 at position 1.
    void make(std::uint32_t trackers, bool inputConnector = true) {
        captureOutput([&] {
            options = std::make_unique<CTraCommonH>(&log);
            options->inputConnector = inputConnector;
            options->outputCount = trackers;
            options->setTrackerCount(trackers);
            options->setTracker(1, 1, nullptr, nullptr, nullptr);
        });
        lines = TrackerOptionLines();
    }
    Lines parse() {
        return splitLines(captureOutput([&] { result = options->parseOptions(lines.config()); }));
    }
    const TrackerTransform& tracker(std::uint32_t number) { return *options->tracker(number); }

    const CMessageH log = plainLog();
    std::unique_ptr<CTraCommonH> options;
    TrackerOptionLines lines;
    bool result = false;
};

TEST_F(TrackerOptions, ConstructionAndDestructionLogTheirCalls) {
    const CMessageH debugLog = plainLog(3);
    std::unique_ptr<CTraCommonH> object;
    EXPECT_EQ(captureOutput([&] { object = std::make_unique<CTraCommonH>(&debugLog); }),
              "TEST: DEBUG: CTraCommonH: \"constructor\" called.\n");
    EXPECT_EQ(captureOutput([&] { object.reset(); }),
              "TEST: DEBUG: CTraCommonH: \"destructor\" called.\n");
}

TEST_F(TrackerOptions, TrackerTableIsSizedAndSetByNumber) {
    EXPECT_FALSE(options->setTrackerCount(0));
    EXPECT_TRUE(options->setTrackerCount(3));
    EXPECT_EQ(tracker(1).outputNumber, 0u);
    EXPECT_FALSE(options->setTracker(0, 1, nullptr, nullptr, nullptr));
    EXPECT_FALSE(options->setTracker(4, 1, nullptr, nullptr, nullptr));
    const Matrix4 offset = makeOffsetMatrix(1.0f, 2.0f, 3.0f);
    const Matrix4 rotation = makeMatrix3x3(0, 1, 0, -1, 0, 0, 0, 0, 1);
    const Vector3 translation{4.0f, 5.0f, 6.0f};
    ASSERT_TRUE(options->setTracker(2, 7, &offset, &rotation, &translation));
    EXPECT_EQ(tracker(2).outputNumber, 7u);
    EXPECT_TRUE(tracker(2).hasSensorOffset && tracker(2).hasSensorRotation &&
                tracker(2).hasSensorTranslation);
    EXPECT_EQ(tracker(2).sensorTransform[4], -1.0f);
    EXPECT_EQ(tracker(2).sensorTransform[13], 2.0f);
    ASSERT_TRUE(options->setTracker(2, 0, nullptr, nullptr, nullptr));
    EXPECT_FALSE(tracker(2).hasSensorOffset || tracker(2).hasSensorRotation ||
                 tracker(2).hasSensorTranslation);
    EXPECT_EQ(tracker(2).sensorTransform[4], 0.0f);
    EXPECT_EQ(tracker(2).sensorTransform[13], 0.0f);
}

TEST_F(TrackerOptions, TrackerTableTooLargeForMemoryIsRefused) {
    if (sizeof(std::size_t) > 4) {
        GTEST_SKIP() << "only a 32-bit address space refuses the table for certain";
    }
    bool sized = true;
    EXPECT_EQ(captureOutput([&] { sized = options->setTrackerCount(0xFFFFFFFFu); }),
              "TEST: ERROR: CTraCommonH: Can not allocate the tracker table.\n");
    EXPECT_FALSE(sized);
    EXPECT_EQ(options->numTrackers(), 1u);
    EXPECT_EQ(tracker(1).outputNumber, 1u);
}

TEST_F(TrackerOptions, ParsingNeedsATableAndAConfiguration) {
    CTraCommonH empty(&log);
    EXPECT_EQ(captureOutput([&] { EXPECT_FALSE(empty.parseOptions(lines.config())); }),
              "TEST: ERROR: CTraCommonH: lookup is Null.\n");
    EXPECT_EQ(captureOutput([&] { EXPECT_FALSE(options->parseOptions(nullptr)); }),
              "TEST: ERROR: CTraCommonH: config is empty.\n");
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
}

TEST_F(TrackerOptions, TransmitterOffsetIsStoredUnlessItIsAllZero) {
    lines.add(1, "TransmitterOffset", {"1", "2", "3"})
        .add(2, "transmitteroffset", {"0", "-0", ""})
        .add(3, "baud", {"9600"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
    EXPECT_EQ(lines.line(1).used, 1);
    EXPECT_EQ(lines.line(2).used, 0);
    ASSERT_TRUE(options->hasTransmitterOffset());
    EXPECT_EQ(options->transmitterOffset()[11], 3.0f);
    const float expected[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
    for (int index = 0; index < 16; ++index) {
        EXPECT_EQ(options->transmitterTransform()[index], expected[index]) << index;
    }

    // Values that cancel out are still a displacement.
    make(1);
    lines.add(1, "transmitteroffset", {"1", "-1", "0"});
    parse();
    EXPECT_TRUE(options->hasTransmitterOffset());
    EXPECT_EQ(options->transmitterTransform()[13], -1.0f);

    make(1);
    lines.add(1, "transmitteroffset", {"0", "0", "0"});
    parse();
    EXPECT_EQ(lines.line(0).used, 1);
    EXPECT_FALSE(options->hasTransmitterOffset());
}

TEST_F(TrackerOptions, UnitWordsConvertToFeetInSinglePrecision) {
    make(4);
    lines.add(1, "sensoroffset", {"1", "100", "0", "0", "cm"})
        .add(2, "sensoroffset", {"2", "6", "1", "0", "Inches"})
        .add(3, "sensoroffset", {"3", "1", "2", "0", "meters"})
        .add(4, "sensortranslation", {"4", "1", "0", "0", "M"})
        .add(5, "transmitteroffset", {"1", "2", "3", "FEET"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_EQ(digits(tracker(1).sensorOffset[3]), "3.28084016");
    EXPECT_EQ(tracker(2).sensorOffset[3], 0.5f);
    EXPECT_EQ(digits(tracker(2).sensorOffset[7]), "0.0833333358");
    EXPECT_EQ(digits(tracker(3).sensorOffset[3]), "3.28083992");
    EXPECT_EQ(digits(tracker(4).sensorTranslation.x), "3.28083992");
    EXPECT_EQ(options->transmitterOffset()[11], 3.0f);
}

TEST_F(TrackerOptions, EachFaultyLinePrintsItsOwnMessage) {
    const std::vector<std::pair<Lines, std::string>> cases = {
        {{"transmitteroffset", "1", "2"}, "Incomplete option line found for TransmitterOffset"},
        {{"transmitteroffset", "1", "2", "3", "feet", "x"},
         "Too many args found for TransmitterOffset"},
        {{"transmitteroffset", "1", "x1", "3"}, "Invalid arg found for TransmitterOffset"},
        {{"transmitteroffset", "1", "1e39", "3"}, "Invalid arg found for TransmitterOffset"},
        {{"transmitteroffset", "1", "2", "3", "yards"},
         "Invalid string found for TransmitterOffset"},
        {{"transmitterrotation", "0", "0", "1"},
         "Incomplete option line found for TransmitterRotation"},
        {{"transmitterrotation", "0", "0", "1", "abc"},
         "Invalid arg found for TransmitterRotation"},
        {{"transmitterrotationmatrix", "1", "0", "0", "0", "1", "0", "0", "0"},
         "Incomplete option line found for TransmitterRotationMatrix"},
        {{"transmitterrotationmatrix", "1", "0", "0", "0", "1", "0", "0", "0", "1", "0"},
         "Too many args found for TransmitterRotationMatrix"},
        {{"sensoroffset"}, "Incomplete option line found for SensorOffset"},
        {{"sensoroffset", "9"}, "Invalid tracker ID found for SensorOffset"},
        {{"sensoroffset", "-1", "1", "2", "3"}, "Invalid tracker ID found for SensorOffset"},
        {{"sensoroffset", "010", "1", "2", "3"}, "Invalid tracker ID found for SensorOffset"},
        {{"sensoroffset", "1"}, "Incomplete option line found for SensorOffset"},
        {{"sensoroffset", "1", "1", "2", "3", "yards"}, "Invalid unit found for SensorOffset"},
        {{"sensortranslation", "1", "1", "2", "3", "cm", "x"},
         "Too many args found for SensorTranslation"},
        {{"sensorrotation", "1", "0", "0", "1", "x"}, "Invalid arg found for SensorRotation"},
        {{"sensorrotation", "1", "0", "0", "1", "-3.5e38"}, "Invalid arg found for SensorRotation"},
        {{"sensorrotationmatrix", "1", "1", "0", "0", "0", "1", "0", "0", "0"},
         "Incomplete option line found for SensorRotationMatrix"},
        {{"calibration"}, "Incomplete option line found for Calibration"},
        {{"calib", "lib", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"},
         "Too many args found for Calibration"},
        {{"trackerorder", "1"}, "Can not change the order on input connector"},
        {{"order"}, "Can not change the order on input connector"},
        {{"cavecoord"}, "Incomplete option line found for CAVECoord"},
        {{"cavecoordinates", "on", "off"}, "Too many args found for CAVECoord"},
        {{"cavecoord", "maybe"}, "Invalid string found for CAVECoord"},
    };
    for (const auto& [words, message] : cases) {
        SCOPED_TRACE(words[0] + " with " + std::to_string(words.size() - 1));
        make(1);
        lines.add(27, words[0], Lines(words.begin() + 1, words.end()));
        EXPECT_EQ(parse(), Lines{fault(message + " at line 27.")});
        EXPECT_FALSE(result);
        EXPECT_EQ(lines.line(0).used, 0);
        EXPECT_FALSE(options->hasTransmitterOffset() || options->hasTransmitterRotation() ||
                     tracker(1).hasSensorOffset || tracker(1).hasSensorTranslation);
    }
}

TEST_F(TrackerOptions, NumbersFollowTheNumberOrInvalidRule) {
    lines.add(1, "transmitterrotation", {"0", "0", "1", "+abc"})
        .add(2, "sensoroffset", {"0x1", "1abc", "", "+"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(options->hasTransmitterRotation());
    EXPECT_EQ(options->transmitterRotation()[0], 1.0f);  // an angle of 0
    EXPECT_EQ(tracker(1).sensorOffset[3], 1.0f);
    EXPECT_EQ(tracker(1).sensorOffset[7], 0.0f);
}

TEST_F(TrackerOptions, OffsetAndRotationLinesComposeInEitherOrder) {
    make(2);
    lines.add(1, "sensoroffset", {"1", "1", "2", "3"})
        .add(2, "SENSORROTATION", {"1", "0", "0", "2", "90"})
        .add(3, "sensorrotation", {"2", "0", "0", "1", "90"})
        .add(4, "sensoroffset", {"2", "1", "2", "3"})
        .add(5, "sensortranslation", {"2", "7", "8", "9"})
        .add(6, "transmitterrotation", {"0", "0", "0", "45"})
        .add(7, "transmitterrotationmatrix", {"1", "2", "3", "4", "5", "6", "7", "8", "9"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_EQ(tracker(1).sensorTransform[4], -1.0f);
    EXPECT_EQ(tracker(1).sensorTransform[14], 3.0f);
    for (int index = 0; index < 16; ++index) {
        EXPECT_EQ(tracker(1).sensorTransform[index], tracker(2).sensorTransform[index]) << index;
    }
    EXPECT_TRUE(tracker(2).hasSensorTranslation);
    EXPECT_EQ(tracker(2).sensorTranslation.z, 9.0f);
    EXPECT_TRUE(options->hasTransmitterRotation());
    EXPECT_EQ(options->transmitterRotation()[6], 6.0f);
    EXPECT_EQ(options->transmitterRotation()[8], 7.0f);
    EXPECT_EQ(options->transmitterRotation()[15], 0.0f);
    EXPECT_EQ(options->transmitterTransform()[15], 1.0f);
}

TEST_F(TrackerOptions, AfterAFaultOnlyCalibrationOrderAndCaveLinesTakeEffect) {
    lines.add(1, "transmitteroffset", {"1", "2"})
        .add(2, "sensoroffset", {"1", "1", "2", "3", "yards"})
        .add(3, "transmitterrotation", {"0", "0", "1", "abc"})
        .add(4, "cavecoord", {"on"})
        .add(5, "calib", {kFixture, "a"})
        .add(6, "sensorrotation", {"1", "0", "0", "x", "90"})
        .add(7, "order", {"1"});
    EXPECT_EQ(parse(), (Lines{
                           fault("Incomplete option line found for TransmitterOffset at line 1."),
                           fault("Invalid arg found for SensorRotation at line 6."),
                           fault("Can not change the order on input connector at line 7."),
                       }));
    EXPECT_FALSE(result);
    EXPECT_FALSE(tracker(1).hasSensorOffset || options->hasTransmitterRotation());
    EXPECT_TRUE(options->caveCoordinates());
    EXPECT_EQ(calibFixtureMarks(), "loaded\n");
    const std::uint8_t used[] = {0, 0, 0, 1, 1, 0, 0};
    for (std::uint32_t slot = 0; slot < 7; ++slot) {
        EXPECT_EQ(lines.line(slot).used, used[slot]) << slot;
    }
}

TEST_F(TrackerOptions, OrderLinePublishesTheNamedTrackers) {
    const auto order = [&](const Lines& ids, std::uint32_t outputs) {
        make(3, false);
        options->outputCount = outputs;
        lines.add(4, "order", ids);
        return parse();
    };
    EXPECT_EQ(order({"3", "1"}, 3), Lines{});
    EXPECT_EQ(lines.line(0).used, 1);
    EXPECT_EQ(tracker(1).outputNumber, 2u);
    EXPECT_EQ(tracker(2).outputNumber, 0u);
    EXPECT_EQ(tracker(3).outputNumber, 1u);
    order({"1", "1"}, 3);
    EXPECT_EQ(tracker(1).outputNumber, 2u);
    order({"2", "5"}, 1);  // the 5 is past the outputs and never read
    EXPECT_TRUE(result);
    EXPECT_EQ(tracker(1).outputNumber, 0u);
    EXPECT_EQ(tracker(2).outputNumber, 1u);
    EXPECT_EQ(order({"2", "4"}, 3), Lines{fault("Invalid tracker ID found for Order at line 4.")});
    EXPECT_EQ(tracker(1).outputNumber, 1u);
}

TEST_F(TrackerOptions, CaveWordsMatchInAnyCaseAndOnlyOnAnInputConnector) {
    for (const auto& [word, on] : std::vector<std::pair<std::string, bool>>{
             {"ON", true}, {"No", false}, {"Yes", true}, {"oFF", false}}) {
        lines.add(1, "CaveCoordinates", {word});
        parse();
        EXPECT_EQ(options->caveCoordinates(), on) << word;
    }
    make(1, false);
    lines.add(1, "cavecoord", {"maybe"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
    EXPECT_EQ(lines.line(0).used, 0);
}

TEST_F(TrackerOptions, CalibrationLinesLoadReplaceAndReleaseTheLibrary) {
    lines.add(1, "Calibration",
              {kFixture, "a0", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_EQ(lines.line(0).used, 1);
    EXPECT_EQ(calibFixtureMarks(), "loaded\n");
    ASSERT_EQ(options->calibrationArgCount(), 10u);
    EXPECT_EQ(std::string(options->calibrationArg(9)), "a9");

    lines.add(2, "calib", {kFixture, "only"});
    parse();
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\nloaded\nunloaded\nloaded\n");
    ASSERT_EQ(options->calibrationArgCount(), 1u);
    EXPECT_EQ(std::string(options->calibrationArg(0)), "only");
    EXPECT_EQ(options->calibrationArg(1), nullptr);

    captureOutput([&] { options.reset(); });
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\nloaded\nunloaded\nloaded\nunloaded\n");
}

TEST_F(TrackerOptions, OverlongOrUnloadableCalibrationNames) {
    const std::string longest(255, 'n');
    lines.add(1, "calibration", {kFixture, "kept"}).add(2, "calibration", {longest + "x"});
    EXPECT_EQ(parse(), Lines{fault("Invalid arg found for Calibration at line 2.")});
    EXPECT_EQ(calibFixtureMarks(), "loaded\n");
    EXPECT_EQ(std::string(options->calibrationName()), kFixture);
    EXPECT_EQ(std::string(options->calibrationArg(0)), "kept");

    make(1);
    lines.add(1, "calibration", {longest});
    EXPECT_EQ(parse(), Lines{fault("CDynamicLibH: Can not load the library " + longest)});
    EXPECT_TRUE(result);
    EXPECT_EQ(lines.line(0).used, 1);
    EXPECT_EQ(std::string(options->calibrationName()), longest);
}

}  // namespace

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
        std::cout.unsetf(std::ios::floatfield);
        std::cout.precision(6);
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
    }

    // Parses and returns the lines printed.
    Lines parse() {
        return splitLines(captureOutput([&] { result = options->parseOptions(lines.config()); }));
    }

    CMessageH log = plainLog();
    std::unique_ptr<CTraCommonH> options;
    TrackerOptionLines lines;
    bool result = false;
};

TEST_F(TrackerOptions, ConstructionAndDestructionLogTheirCalls) {
    const CMessageH debugLog = plainLog(3);
    std::unique_ptr<CTraCommonH> object;
    EXPECT_EQ(captureOutput([&] { object = std::make_unique<CTraCommonH>(&debugLog); }),
              "TEST: DEBUG: CTraCommonH: \"constructor\" called.\n");
    EXPECT_EQ(object->log().classLevel, 3);
    EXPECT_EQ(captureOutput([&] { object.reset(); }),
              "TEST: DEBUG: CTraCommonH: \"destructor\" called.\n");
    EXPECT_EQ(captureOutput([] { CTraCommonH quiet(nullptr); }), "");
}

TEST_F(TrackerOptions, StartsWithIdentityTransformsAndNoTrackers) {
    CTraCommonH fresh(&log);
    EXPECT_EQ(fresh.numTrackers(), 0u);
    EXPECT_EQ(fresh.tracker(1), nullptr);
    EXPECT_TRUE(fresh.inputConnector);
    EXPECT_EQ(fresh.transmitterOffset()[0], 0.0f);
    EXPECT_EQ(fresh.transmitterRotation()[0], 1.0f);
    EXPECT_EQ(fresh.transmitterTransform()[15], 1.0f);
    EXPECT_FALSE(fresh.hasTransmitterOffset());
    EXPECT_FALSE(fresh.hasTransmitterRotation());
    EXPECT_FALSE(fresh.caveCoordinates());
    EXPECT_EQ(fresh.calibrationLibrary(), nullptr);
    EXPECT_EQ(fresh.calibrationArgCount(), 0u);
}

TEST_F(TrackerOptions, TrackerTableIsSizedAndSetByNumber) {
    EXPECT_FALSE(options->setTrackerCount(0));
    EXPECT_EQ(options->numTrackers(), 1u);
    EXPECT_TRUE(options->setTrackerCount(3));
    EXPECT_EQ(options->numTrackers(), 3u);
    EXPECT_EQ(options->tracker(1)->outputNumber, 0u);

    EXPECT_FALSE(options->setTracker(0, 1, nullptr, nullptr, nullptr));
    EXPECT_FALSE(options->setTracker(4, 1, nullptr, nullptr, nullptr));
    const Matrix4 offset = makeOffsetMatrix(1.0f, 2.0f, 3.0f);
    const Matrix4 rotation = makeMatrix3x3(0, 1, 0, -1, 0, 0, 0, 0, 1);
    const Vector3 translation{4.0f, 5.0f, 6.0f};
    ASSERT_TRUE(options->setTracker(2, 7, &offset, &rotation, &translation));
    const TrackerTransform& record = *options->tracker(2);
    EXPECT_EQ(record.outputNumber, 7u);
    EXPECT_TRUE(record.hasSensorOffset && record.hasSensorRotation && record.hasSensorTranslation);
    EXPECT_EQ(record.sensorTransform[1], 1.0f);
    EXPECT_EQ(record.sensorTransform[4], -1.0f);
    EXPECT_EQ(record.sensorTransform[13], 2.0f);
    EXPECT_EQ(record.sensorTranslation.z, 6.0f);

    ASSERT_TRUE(options->setTracker(2, 0, nullptr, nullptr, nullptr));
    EXPECT_FALSE(record.hasSensorOffset || record.hasSensorRotation || record.hasSensorTranslation);
    EXPECT_EQ(record.sensorOffset[3], 0.0f);
    EXPECT_EQ(record.sensorRotation[0], 1.0f);
    EXPECT_EQ(record.sensorTransform[13], 0.0f);
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
    EXPECT_EQ(options->tracker(1)->outputNumber, 1u);
}

TEST_F(TrackerOptions, ParsingNeedsATableAndAConfiguration) {
    CTraCommonH empty(&log);
    bool parsed = true;
    EXPECT_EQ(captureOutput([&] { parsed = empty.parseOptions(lines.config()); }),
              "TEST: ERROR: CTraCommonH: lookup is Null.\n");
    EXPECT_FALSE(parsed);
    EXPECT_EQ(captureOutput([&] { parsed = options->parseOptions(nullptr); }),
              "TEST: ERROR: CTraCommonH: config is empty.\n");
    EXPECT_FALSE(parsed);
}

TEST_F(TrackerOptions, NoLinesKeepEveryDefault) {
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
    EXPECT_FALSE(options->hasTransmitterOffset());
    EXPECT_EQ(options->tracker(1)->outputNumber, 1u);
}

TEST_F(TrackerOptions, TransmitterOffsetGoesIntoTheTransform) {
    lines.add(12, "TransmitterOffset", {"1", "2", "3"}).add(13, "baud", {"9600"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
    EXPECT_EQ(lines.line(0).used, 1);
    EXPECT_EQ(lines.line(1).used, 0);
    ASSERT_TRUE(options->hasTransmitterOffset());
    EXPECT_EQ(options->transmitterOffset()[3], 1.0f);
    EXPECT_EQ(options->transmitterOffset()[7], 2.0f);
    EXPECT_EQ(options->transmitterOffset()[11], 3.0f);
    const Matrix4& transform = options->transmitterTransform();
    EXPECT_EQ(transform[12], 1.0f);
    EXPECT_EQ(transform[13], 2.0f);
    EXPECT_EQ(transform[14], 3.0f);
    EXPECT_EQ(transform[15], 1.0f);
    EXPECT_EQ(transform[0], 1.0f);
    EXPECT_EQ(transform[5], 1.0f);
    EXPECT_EQ(transform[10], 1.0f);
    EXPECT_EQ(transform[3], 0.0f);
    EXPECT_FALSE(options->hasTransmitterRotation());
}

TEST_F(TrackerOptions, ZeroTransmitterOffsetIsTakenButStoresNothing) {
    lines.add(1, "transmitteroffset", {"0", "0", "0"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
    EXPECT_EQ(lines.line(0).used, 1);
    EXPECT_FALSE(options->hasTransmitterOffset());

    lines.add(2, "transmitteroffset", {"1", "2", "3"}).add(3, "transmitteroffset", {"0", "-0", ""});
    parse();
    EXPECT_EQ(options->transmitterOffset()[3], 1.0f);
    EXPECT_EQ(options->transmitterOffset()[11], 3.0f);
    EXPECT_EQ(lines.line(2).used, 1);
}

TEST_F(TrackerOptions, TransmitterOffsetWhoseValuesCancelIsStored) {
    lines.add(1, "transmitteroffset", {"1", "-1", "0"});
    parse();
    ASSERT_TRUE(options->hasTransmitterOffset());
    EXPECT_EQ(options->transmitterOffset()[3], 1.0f);
    EXPECT_EQ(options->transmitterOffset()[7], -1.0f);
    EXPECT_EQ(options->transmitterTransform()[13], -1.0f);
}

TEST_F(TrackerOptions, UnitWordsConvertToFeetInSinglePrecision) {
    make(4);
    lines.add(1, "sensoroffset", {"1", "100", "0", "0", "cm"})
        .add(2, "sensoroffset", {"2", "6", "1", "12", "Inches"})
        .add(3, "sensoroffset", {"3", "1", "2", "0", "meters"})
        .add(4, "sensortranslation", {"4", "1", "0", "0", "M"})
        .add(5, "transmitteroffset", {"1", "2", "3", "FEET"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
    EXPECT_EQ(digits(options->tracker(1)->sensorOffset[3]), "3.28084016");
    EXPECT_EQ(options->tracker(2)->sensorOffset[3], 0.5f);
    EXPECT_EQ(digits(options->tracker(2)->sensorOffset[7]), "0.0833333358");
    EXPECT_EQ(options->tracker(2)->sensorOffset[11], 1.0f);
    EXPECT_EQ(digits(options->tracker(3)->sensorOffset[3]), "3.28083992");
    EXPECT_EQ(digits(options->tracker(3)->sensorOffset[7]), "6.56167984");
    EXPECT_EQ(digits(options->tracker(4)->sensorTranslation.x), "3.28083992");
    EXPECT_EQ(options->transmitterOffset()[11], 3.0f);
}

TEST_F(TrackerOptions, EachFaultyLinePrintsItsOwnMessage) {
    struct Case {
        std::string keyword;
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"transmitteroffset", {"1", "2"}, "Incomplete option line found for TransmitterOffset"},
        {"transmitteroffset",
         {"1", "2", "3", "feet", "x"},
         "Too many args found for TransmitterOffset"},
        {"transmitteroffset", {"1", "x1", "3"}, "Invalid arg found for TransmitterOffset"},
        {"transmitteroffset",
         {"1", "2", "3", "yards"},
         "Invalid string found for TransmitterOffset"},
        {"transmitterrotation",
         {"0", "0", "1"},
         "Incomplete option line found for TransmitterRotation"},
        {"transmitterrotation",
         {"0", "0", "1", "90", "1"},
         "Too many args found for TransmitterRotation"},
        {"transmitterrotation",
         {"0", "0", "1", "abc"},
         "Invalid arg found for TransmitterRotation"},
        {"transmitterrotationmatrix",
         {"1", "0", "0", "0", "1", "0", "0", "0"},
         "Incomplete option line found for TransmitterRotationMatrix"},
        {"transmitterrotationmatrix",
         {"1", "0", "0", "0", "1", "0", "0", "0", "1", "0"},
         "Too many args found for TransmitterRotationMatrix"},
        {"transmitterrotationmatrix",
         {"1", "0", "0", "0", "1", "0", "0", "0", "one"},
         "Invalid arg found for TransmitterRotationMatrix"},
        {"sensoroffset", {}, "Incomplete option line found for SensorOffset"},
        {"sensoroffset", {"9"}, "Invalid tracker ID found for SensorOffset"},
        {"sensoroffset", {"0", "1", "2", "3"}, "Invalid tracker ID found for SensorOffset"},
        {"sensoroffset", {"-1", "1", "2", "3"}, "Invalid tracker ID found for SensorOffset"},
        {"sensoroffset", {"010", "1", "2", "3"}, "Invalid tracker ID found for SensorOffset"},
        {"sensoroffset", {"1"}, "Incomplete option line found for SensorOffset"},
        {"sensoroffset", {"1", "1", "2", "3", "cm", "x"}, "Too many args found for SensorOffset"},
        {"sensoroffset", {"1", "1", "2", "3", "yards"}, "Invalid unit found for SensorOffset"},
        {"sensortranslation",
         {"1", "1", "2"},
         "Incomplete option line found for SensorTranslation"},
        {"sensortranslation",
         {"1", "1", "2", "3", "yards"},
         "Invalid unit found for SensorTranslation"},
        {"sensorrotation", {"1", "0", "0", "1"}, "Incomplete option line found for SensorRotation"},
        {"sensorrotation",
         {"2", "0", "0", "1", "90"},
         "Invalid tracker ID found for SensorRotation"},
        {"sensorrotation", {"1", "0", "0", "1", "x"}, "Invalid arg found for SensorRotation"},
        {"sensorrotationmatrix",
         {"1", "1", "0", "0", "0", "1", "0", "0", "0"},
         "Incomplete option line found for SensorRotationMatrix"},
        {"sensorrotationmatrix",
         {"1", "1", "0", "0", "0", "1", "0", "0", "0", "1", "0"},
         "Too many args found for SensorRotationMatrix"},
        {"calibration", {}, "Incomplete option line found for Calibration"},
        {"calib",
         {"lib", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"},
         "Too many args found for Calibration"},
        {"calibration", {std::string(256, 'c')}, "Invalid arg found for Calibration"},
        {"trackerorder", {"1"}, "Can not change the order on input connector"},
        {"unitorder", {"1"}, "Can not change the order on input connector"},
        {"order", {}, "Can not change the order on input connector"},
        {"cavecoord", {}, "Incomplete option line found for CAVECoord"},
        {"cavecoordinates", {"on", "off"}, "Too many args found for CAVECoord"},
        {"cavecoord", {"maybe"}, "Invalid string found for CAVECoord"},
    };
    for (const Case& item : cases) {
        SCOPED_TRACE(item.keyword + " " + std::to_string(item.args.size()));
        make(1);
        TrackerOptionLines single;
        single.add(27, item.keyword, item.args);
        bool parsed = true;
        const Lines printed =
            splitLines(captureOutput([&] { parsed = options->parseOptions(single.config()); }));
        EXPECT_EQ(printed, Lines{fault(item.message + " at line 27.")});
        EXPECT_FALSE(parsed);
        EXPECT_EQ(single.line(0).used, 0);
        EXPECT_FALSE(options->hasTransmitterOffset() || options->hasTransmitterRotation());
        EXPECT_FALSE(options->tracker(1)->hasSensorOffset ||
                     options->tracker(1)->hasSensorRotation ||
                     options->tracker(1)->hasSensorTranslation);
        EXPECT_EQ(options->calibrationLibrary(), nullptr);
    }
}

TEST_F(TrackerOptions, NumbersFollowTheNumberOrInvalidRule) {
    make(1);
    lines.add(1, "transmitterrotation", {"0", "0", "1", "+abc"})
        .add(2, "sensoroffset", {"0x1", "1abc", "", "+"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
    EXPECT_TRUE(options->hasTransmitterRotation());
    EXPECT_EQ(options->transmitterRotation()[0], 1.0f);  // an angle of 0
    EXPECT_EQ(options->tracker(1)->sensorOffset[3], 1.0f);
    EXPECT_EQ(options->tracker(1)->sensorOffset[7], 0.0f);
    EXPECT_TRUE(options->tracker(1)->hasSensorOffset);
}

TEST_F(TrackerOptions, RotationsAreBuiltFromAxisAngleOrMatrix) {
    make(2);
    lines.add(1, "transmitterrotation", {"0", "0", "0", "45"})
        .add(2, "SENSORROTATION", {"1", "0", "0", "2", "90"})
        .add(3, "sensorrotationmatrix", {"2", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(options->hasTransmitterRotation());
    EXPECT_EQ(options->transmitterRotation()[0], 1.0f);
    EXPECT_EQ(options->transmitterRotation()[15], 0.0f);
    EXPECT_EQ(options->transmitterTransform()[15], 1.0f);
    const TrackerTransform& first = *options->tracker(1);
    EXPECT_TRUE(first.hasSensorRotation);
    EXPECT_EQ(first.sensorRotation[1], 1.0f);
    EXPECT_EQ(first.sensorRotation[4], -1.0f);
    EXPECT_EQ(first.sensorTransform[4], -1.0f);
    const TrackerTransform& second = *options->tracker(2);
    EXPECT_EQ(second.sensorRotation[6], 6.0f);
    EXPECT_EQ(second.sensorRotation[8], 7.0f);
    EXPECT_EQ(second.sensorTransform[10], 9.0f);
}

TEST_F(TrackerOptions, TransformsDoNotDependOnTheOrderOfOffsetAndRotation) {
    make(2);
    lines.add(1, "sensoroffset", {"1", "1", "2", "3"})
        .add(2, "sensorrotation", {"1", "0", "0", "1", "90"})
        .add(3, "sensorrotation", {"2", "0", "0", "1", "90"})
        .add(4, "sensoroffset", {"2", "1", "2", "3"})
        .add(5, "transmitterrotation", {"0", "0", "1", "90"})
        .add(6, "transmitteroffset", {"4", "5", "6"});
    EXPECT_EQ(parse(), Lines{});
    for (int index = 0; index < 16; ++index) {
        EXPECT_EQ(options->tracker(1)->sensorTransform[index],
                  options->tracker(2)->sensorTransform[index])
            << "element " << index;
    }
    EXPECT_EQ(options->tracker(2)->sensorTransform[14], 3.0f);
    EXPECT_EQ(options->transmitterTransform()[4], -1.0f);
    EXPECT_EQ(options->transmitterTransform()[12], 4.0f);
}

TEST_F(TrackerOptions, SensorTranslationLeavesTheTransformAlone) {
    lines.add(1, "sensortranslation", {"1", "1", "2", "3"});
    EXPECT_EQ(parse(), Lines{});
    const TrackerTransform& record = *options->tracker(1);
    EXPECT_TRUE(record.hasSensorTranslation);
    EXPECT_EQ(record.sensorTranslation.x, 1.0f);
    EXPECT_EQ(record.sensorTranslation.y, 2.0f);
    EXPECT_EQ(record.sensorTranslation.z, 3.0f);
    EXPECT_FALSE(record.hasSensorOffset);
    EXPECT_EQ(record.sensorTransform[12], 0.0f);
    EXPECT_EQ(record.sensorTransform[15], 1.0f);
}

TEST_F(TrackerOptions, AfterAFaultOnlyCalibrationOrderAndCaveLinesTakeEffect) {
    lines.add(1, "transmitteroffset", {"1", "2"})
        .add(2, "sensoroffset", {"1", "1", "2", "3", "yards"})
        .add(3, "transmitterrotation", {"0", "0", "1", "abc"})
        .add(4, "transmitteroffset", {"1", "2", "3"})
        .add(5, "cavecoord", {"on"})
        .add(6, "calib", {kFixture, "a"})
        .add(7, "sensorrotation", {"1", "0", "0", "x", "90"})
        .add(8, "sensoroffset", {"7", "1", "2", "3"});
    EXPECT_EQ(parse(), (Lines{
                           fault("Incomplete option line found for TransmitterOffset at line 1."),
                           fault("Invalid arg found for SensorRotation at line 7."),
                           fault("Invalid tracker ID found for SensorOffset at line 8."),
                       }));
    EXPECT_FALSE(result);
    EXPECT_FALSE(options->tracker(1)->hasSensorOffset);
    EXPECT_FALSE(options->hasTransmitterRotation());
    EXPECT_FALSE(options->hasTransmitterOffset());
    EXPECT_TRUE(options->caveCoordinates());
    ASSERT_NE(options->calibrationLibrary(), nullptr);
    EXPECT_TRUE(options->calibrationLibrary()->isLoaded());
    const std::uint8_t expectedUsed[] = {0, 0, 0, 0, 1, 1, 0, 0};
    for (std::uint32_t slot = 0; slot < 8; ++slot) {
        EXPECT_EQ(lines.line(slot).used, expectedUsed[slot]) << "slot " << slot;
    }
}

TEST_F(TrackerOptions, OrderLinePublishesTheNamedTrackers) {
    make(3, false);
    lines.add(1, "trackerorder", {"3", "1"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
    EXPECT_EQ(lines.line(0).used, 1);
    EXPECT_EQ(options->tracker(1)->outputNumber, 2u);
    EXPECT_EQ(options->tracker(2)->outputNumber, 0u);
    EXPECT_EQ(options->tracker(3)->outputNumber, 1u);

    make(3, false);
    TrackerOptionLines twice;
    twice.add(1, "order", {"1", "1"});
    captureOutput([&] { EXPECT_TRUE(options->parseOptions(twice.config())); });
    EXPECT_EQ(options->tracker(1)->outputNumber, 2u);
    EXPECT_EQ(options->tracker(2)->outputNumber, 0u);

    make(3, false);
    TrackerOptionLines none;
    none.add(1, "unitorder");
    captureOutput([&] { EXPECT_TRUE(options->parseOptions(none.config())); });
    EXPECT_EQ(options->tracker(1)->outputNumber, 0u);
}

TEST_F(TrackerOptions, OrderLineReadsOnlyAsManyIdsAsOutputs) {
    make(3, false);
    options->outputCount = 1;
    lines.add(1, "order", {"2", "5"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_EQ(options->tracker(1)->outputNumber, 0u);
    EXPECT_EQ(options->tracker(2)->outputNumber, 1u);
}

TEST_F(TrackerOptions, OrderLineWithAnInvalidIdChangesNothing) {
    make(3, false);
    lines.add(4, "order", {"2", "4"});
    EXPECT_EQ(parse(), Lines{fault("Invalid tracker ID found for Order at line 4.")});
    EXPECT_FALSE(result);
    EXPECT_EQ(options->tracker(1)->outputNumber, 1u);
    EXPECT_EQ(options->tracker(2)->outputNumber, 0u);
}

TEST_F(TrackerOptions, CaveWordsMatchInAnyCase) {
    lines.add(1, "CaveCoordinates", {"ON"});
    parse();
    EXPECT_TRUE(options->caveCoordinates());
    EXPECT_EQ(lines.line(0).used, 1);
    lines.add(2, "cavecoord", {"No"});
    parse();
    EXPECT_FALSE(options->caveCoordinates());
    lines.add(3, "cavecoord", {"Yes"});
    parse();
    EXPECT_TRUE(options->caveCoordinates());
    lines.add(4, "cavecoord", {"oFF"});
    parse();
    EXPECT_TRUE(result);
    EXPECT_FALSE(options->caveCoordinates());
}

TEST_F(TrackerOptions, CaveLineIsLeftAloneOffAnInputConnector) {
    make(1, false);
    lines.add(1, "cavecoord", {"maybe"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
    EXPECT_EQ(lines.line(0).used, 0);
}

TEST_F(TrackerOptions, CalibrationLineLoadsTheLibraryAndKeepsItsArguments) {
    lines.add(1, "Calibration",
              {kFixture, "a0", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_TRUE(result);
    EXPECT_EQ(lines.line(0).used, 1);
    ASSERT_NE(options->calibrationLibrary(), nullptr);
    EXPECT_EQ(calibFixtureMarks(), "loaded\n");
    EXPECT_EQ(std::string(options->calibrationName()), kFixture);
    ASSERT_EQ(options->calibrationArgCount(), 10u);
    EXPECT_EQ(std::string(options->calibrationArg(9)), "a9");
    EXPECT_NE(options->calibrationArg(0), lines.line(0).args[1]);  // a copy

    captureOutput([&] { options.reset(); });
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\n");
}

TEST_F(TrackerOptions, SecondCalibrationLineReplacesTheFirst) {
    lines.add(1, "calibration", {kFixture, "x", "y", "z"}).add(2, "calib", {kFixture, "only"});
    EXPECT_EQ(parse(), Lines{});
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\nloaded\n");
    ASSERT_EQ(options->calibrationArgCount(), 1u);
    EXPECT_EQ(std::string(options->calibrationArg(0)), "only");
    EXPECT_EQ(options->calibrationArg(1), nullptr);
}

TEST_F(TrackerOptions, UnloadableCalibrationLibraryDoesNotFailTheLine) {
    lines.add(1, "calibration", {"no_such_calibration_library.dll"});
    EXPECT_EQ(parse(), Lines{fault("CDynamicLibH: Can not load the library "
                                   "no_such_calibration_library.dll")});
    EXPECT_TRUE(result);
    EXPECT_EQ(lines.line(0).used, 1);
    ASSERT_NE(options->calibrationLibrary(), nullptr);
    EXPECT_FALSE(options->calibrationLibrary()->isLoaded());
}

TEST_F(TrackerOptions, OverlongCalibrationNameIsRefusedAndKeepsTheEarlierLibrary) {
    const std::string longest(255, 'n');
    lines.add(1, "calibration", {kFixture, "kept"})
        .add(2, "calibration", {longest + "x"})
        .add(3, "calibration", {kFixture + std::string(300, '/')});
    EXPECT_EQ(parse(), (Lines{fault("Invalid arg found for Calibration at line 2."),
                              fault("Invalid arg found for Calibration at line 3.")}));
    EXPECT_EQ(calibFixtureMarks(), "loaded\n");
    EXPECT_EQ(std::string(options->calibrationName()), kFixture);
    EXPECT_EQ(std::string(options->calibrationArg(0)), "kept");

    TrackerOptionLines fits;
    fits.add(4, "calibration", {longest});
    const Lines printed =
        splitLines(captureOutput([&] { EXPECT_TRUE(options->parseOptions(fits.config())); }));
    EXPECT_EQ(printed, Lines{fault("CDynamicLibH: Can not load the library " + longest)});
    EXPECT_EQ(std::string(options->calibrationName()), longest);
    EXPECT_EQ(calibFixtureMarks(), "loaded\nunloaded\n");
}

}  // namespace

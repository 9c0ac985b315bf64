// The calibration's arithmetic and its rewriting of a configuration text,
// without a device.
#include "host/app/calibration.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>

#include "host/app/calibrate.h"
#include "host/app/curve_lines.h"
#include "host/kit/config.h"

namespace {

using host::ChannelReadings;

ChannelReadings readings(std::initializer_list<double> values) {
    ChannelReadings result;
    for (const double value : values) result.add(value);
    return result;
}

TEST(Calibration, IdentityReadingsComeBackExactlyAndZeroIsBetween511And512) {
    for (int reading = 0; reading <= host::kReadingMax; ++reading) {
        const auto back = host::readingOfPublished(host::publishedThrough({0, 0, 1, 0}, reading));
        ASSERT_TRUE(back.has_value()) << reading;
        ASSERT_EQ(*back, reading == 511 || reading == 512 ? 511.5 : reading);
    }
    EXPECT_FALSE(host::readingOfPublished(0.0005f).has_value());
}

// Rest 0, ends -1 and +1, rising all the way, every rest reading held at 0
// where asked: whatever the travel does about the rest.
TEST(Calibration, CurvesMeetRestAndBothEndsAndRiseForEvenAndLopsidedTravels) {
    struct Case {
        const char* name;
        ChannelReadings rest;
        ChannelReadings travel;
        bool deadBand;
        bool heldAtZero;
    };
    const Case cases[] = {
        {"centred, quiet", readings({511.5}), readings({0, 1023}), true, true},
        {"off centre, quiet", readings({530}), readings({40, 990}), true, false},
        {"off centre, noisy", readings({529, 530, 531, 530}), readings({40, 990}), true, true},
        {"noisy, no dead band", readings({529, 530, 531, 530}), readings({40, 990}), false, false},
        {"lopsided 3 to 1", readings({770}), readings({20, 1020}), true, false},
        {"off centre by a tenth, noisy", readings({600, 602, 601}), readings({100, 1000}), true,
         true},
        // No rising cubic is flat at a rest with twice as much travel below.
        {"lopsided 2 to 1, noisy", readings({700, 702, 701}), readings({100, 1000}), true, false},
    };
    for (const Case& test : cases) {
        const host::ChannelCalibration result =
            host::calibrateChannel(test.rest, test.travel, test.deadBand);
        ASSERT_TRUE(result.ok()) << test.name << ": " << result.refusal;
        // The line hands the plug-in this very curve, bit for bit.
        std::array<float, 4> read{};
        int channel = 0;
        const std::string line = host::scaleLine(4, result);
        ASSERT_EQ(std::sscanf(line.c_str(), "valuatorscale 1 [%f, %f, %f, %f] %d", &read[0],
                              &read[1], &read[2], &read[3], &channel),
                  5)
            << line;
        EXPECT_EQ(read, result.a) << test.name << ": " << line;
        EXPECT_EQ(channel, 4);
        EXPECT_EQ(result.deadBand, test.heldAtZero) << test.name;
        EXPECT_NEAR(host::publishedThrough(result.a, result.low), -1, 0.01) << test.name;
        EXPECT_NEAR(host::publishedThrough(result.a, result.high), 1, 0.01) << test.name;
        EXPECT_EQ(host::publishedThrough(result.a, static_cast<int>(std::lround(result.rest))), 0)
            << test.name;
        float previous = -2;
        for (int reading = result.low; reading <= result.high; ++reading) {
            const float published = host::publishedThrough(result.a, reading);
            ASSERT_GE(published, previous) << test.name << " at " << reading;
            previous = published;
        }
        for (int reading = result.restLow; test.heldAtZero && reading <= result.restHigh;
             ++reading) {
            EXPECT_EQ(host::publishedThrough(result.a, reading), 0) << test.name << " " << reading;
        }
    }
    // A quiet, even travel gets the straight line.
    const auto straight = host::calibrateChannel(readings({500}), readings({0, 1000}), true);
    EXPECT_EQ(straight.a[0], 0.0f);
    EXPECT_EQ(straight.a[1], 0.0f);
}

TEST(Calibration, ChannelsThatDidNotTravelBothWaysAreLeftOutWithTheReason) {
    EXPECT_EQ(host::calibrateChannel(readings({512}), readings({500, 530}), true).refusal,
              "never moved");
    EXPECT_EQ(host::calibrateChannel(readings({512}), readings({500, 900}), true).refusal,
              "moved only up, to 900");
    EXPECT_EQ(host::calibrateChannel(readings({512}), readings({20, 520}), true).refusal,
              "moved only down, to 20");
    EXPECT_EQ(host::calibrateChannel(readings({300, 700}), readings({20, 1000}), true).refusal,
              "did not stay at rest in step 1 (it read 300..700)");
    EXPECT_EQ(host::calibrateChannel(readings({}), readings({20, 520}), true).refusal,
              "sent no readings");
}

TEST(CurveLines, OldCurvesGoTheRestStaysAndNewLinesComeBeforeAnyValuatorOrder) {
    const std::map<int, std::string> curves = {{1, "valuatorscale 1 [1, 0, 0, 0] 1"},
                                               {2, "valuatorscale 1 [2, 0, 0, 0] 2"}};
    const std::pair<const char*, const char*> texts[] = {
        {"# mine\nport com1\nVALUATORSCALE 1 2 1 2  # lively\nbaud 9600",
         "# mine\nport com1\nvaluatorscale 1 [1, 0, 0, 0] 1\nvaluatorscale 1 [2, 0, 0, 0] 2\n"
         "baud 9600\n"},
        {"port com1\r\nvaluatororder 1 2 1\r\nvaluatorscale 1 [0.5] all # soft\r\n",
         "port com1\r\nvaluatorscale 1 [1, 0, 0, 0] 1\r\nvaluatorscale 1 [2, 0, 0, 0] 2\r\n"
         "valuatororder 1 2 1\r\nvaluatorscale 1 [0.5] 3 4 5 6  # soft\r\n"},
        {"port com1\nvaluatorscale 2 3 1\n",
         "port com1\nvaluatorscale 2 3 1\nvaluatorscale 1 [1, 0, 0, 0] 1\n"
         "valuatorscale 1 [2, 0, 0, 0] 2\n"},
    };
    for (const auto& [before, after] : texts) {
        EXPECT_EQ(host::withCurves(before, curves), after) << before;
    }
}

TEST(ConfigTokenizer, CommentsAndBracketsSplitTheSameForEveryReader) {
    const hostkit::ConfigLine line = hostkit::splitConfigLine("  a [1, 2]\tb#c # note [x");
    EXPECT_EQ(line.words, (std::vector<std::string>{"a", "[1, 2]", "b#c"}));
    EXPECT_EQ(line.commentAt, 15u);
    EXPECT_FALSE(line.bracketOpen);
    const hostkit::ConfigLine open = hostkit::splitConfigLine("e 1 [0, 0 1");
    EXPECT_EQ(open.words, (std::vector<std::string>{"e", "1", "[0, 0 1"}));
    EXPECT_TRUE(open.bracketOpen);
}

TEST(CalibrateCommandLine, TimesAndFlagsAreReadAndNonsenseRefused) {
    const auto good = host::parseCalibrateLine(
        {"x.conf", "--write", "--rest-seconds", "2", "--travel-seconds", "9.5", "--no-dead-band"});
    ASSERT_TRUE(good.ok()) << good.error;
    EXPECT_TRUE(good.settings.write);
    EXPECT_FALSE(good.settings.deadBand);
    EXPECT_DOUBLE_EQ(good.settings.restSeconds, 2);
    EXPECT_DOUBLE_EQ(good.settings.travelSeconds, 9.5);
    EXPECT_EQ(host::parseCalibrateLine({"x.conf", "--rest-seconds", "0"}).error,
              "--rest-seconds needs a time in seconds (above 0)");
    EXPECT_EQ(host::parseCalibrateLine({"--write"}).error, "calibrate needs a configuration file");
    EXPECT_EQ(host::parseCalibrateLine({"x.conf", "y.conf"}).error,
              "only one configuration file, found x.conf and y.conf");
}

}  // namespace

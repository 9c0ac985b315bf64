#include <gtest/gtest.h>

#include <array>

#include "tests/support/option_lines.h"
#include "tests/unit/mapping_fixture.h"

namespace {

using mapping_testing::deviceMapping;
using mapping_testing::printedLines;
using Lines = std::vector<std::string>;

class MappingOptions : public testing::Test {
protected:
    bool parse() {
        bool result = false;
        messages = printedLines([&] { result = mapping->parseOptions(&options.config()); });
        return result;
    }

    // Parses the one line and expects exactly the given rejection.
    void expectRejected(const std::string& keyword, std::initializer_list<std::string> args,
                        const std::string& message) {
        const std::uint32_t slot = options.add(3, keyword, args);
        EXPECT_FALSE(parse());
        EXPECT_EQ(messages, Lines{message});
        EXPECT_EQ(options.line(slot).used, 0);
    }

    void expectAccepted() {
        EXPECT_TRUE(parse());
        EXPECT_EQ(messages, Lines{});
        for (std::uint32_t slot = 0; slot < options.config().lineCount; ++slot) {
            EXPECT_EQ(options.line(slot).used, 1) << "slot " << slot;
        }
    }

    const ControllerEntry& controller(std::uint32_t c = 1) const { return *mapping->entry(c); }

    std::vector<std::uint32_t> valuatorOrder() const {
        return {controller().valuatorOrder, controller().valuatorOrder + 8};
    }

    std::unique_ptr<CConCommonH> mapping = deviceMapping();
    testing_support::OptionLines options;
    Lines messages;
};

using Order = std::vector<std::uint32_t>;
using Curve = std::array<float, 4>;

Curve curveOf(const ControllerEntry& e, std::uint32_t r) {
    const float* a = e.valuatorScale[r - 1];
    return {a[0], a[1], a[2], a[3]};
}

TEST_F(MappingOptions, ValuatorOrderPublishesRealValuatorsAtTheirListPositions) {
    options.add(1, "valuatororder", {"1", "3", "1", "2"});
    expectAccepted();
    EXPECT_EQ(controller().valuatorCount, 3u);
    EXPECT_EQ(valuatorOrder(), (Order{2, 3, 1, 0, 0, 0, 0, 0}));
}

TEST_F(MappingOptions, ValuatorOrderWithOneIdPublishesOnlyThatValuator) {
    options.add(1, "ValuatorOrder", {"1", "6"});
    expectAccepted();
    EXPECT_EQ(controller().valuatorCount, 6u);
    EXPECT_EQ(valuatorOrder(), (Order{0, 0, 0, 0, 0, 1, 0, 0}));
}

TEST_F(MappingOptions, ValuatorOrderWithoutListPublishesNoValuator) {
    options.add(1, "valuatororder", {"1"});
    expectAccepted();
    EXPECT_EQ(controller().valuatorCount, 0u);
    const Lines report = printedLines([&] { mapping->printMapping(); });
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[2], "INFO: BUTTON ORDER          : <Real but> -> <Output but>");
}

TEST_F(MappingOptions, ValuatorOrderZeroLeavesItsPositionEmpty) {
    options.add(1, "valuatororder", {"1", "0", "2"});
    expectAccepted();
    EXPECT_EQ(controller().valuatorCount, 2u);
    EXPECT_EQ(valuatorOrder(), (Order{0, 2, 0, 0, 0, 0, 0, 0}));
}

TEST_F(MappingOptions, OrderPositionsBeyondThePublishedCountAreDropped) {
    options.add(1, "valuatororder", {"1", "0", "0", "0", "0", "0", "0", "1"});
    expectAccepted();
    EXPECT_EQ(controller().valuatorOrder[0], 7u);
    ConData record{};
    record.reset();
    record.setValuatorCount(6);
    const std::array<float, 6> raw = {0.5f, 0, 0, 0, 0, 0};
    mapping->applyMapping(raw, {}, record);
    for (std::uint32_t v = 1; v <= 7; ++v) {
        EXPECT_EQ(record.valuators[v - 1], 0u) << "valuator " << v;
    }
}

TEST_F(MappingOptions, ButtonOrderReversesTheButtons) {
    options.add(1, "buttonorder",
                {"1", "12", "11", "10", "9", "8", "7", "6", "5", "4", "3", "2", "1"});
    expectAccepted();
    EXPECT_EQ(controller().buttonCount, 12u);
    for (std::uint32_t r = 1; r <= 12; ++r) {
        EXPECT_EQ(controller().buttonOrder[r - 1], 13 - r) << "real button " << r;
    }
}

TEST_F(MappingOptions, OrderIdsReadOctalAndHexadecimal) {
    options.add(1, "buttonorder", {"1", "010", "0x0A"});
    expectAccepted();
    EXPECT_EQ(controller().buttonCount, 10u);
    EXPECT_EQ(controller().buttonOrder[7], 1u);
    EXPECT_EQ(controller().buttonOrder[9], 2u);
}

TEST_F(MappingOptions, OrderLinesAreRejectedWithTheirOwnMessages) {
    const struct {
        const char* keyword;
        std::initializer_list<std::string> args;
        const char* message;
    } cases[] = {
        {"buttonorder", {}, "ERROR: Incomplete option line found for Order at line 3."},
        {"valuatororder",
         {"2", "1"},
         "ERROR: Invalid controller ID found for Order option at line 3."},
        {"valuatororder", {"1", "7"}, "ERROR: Invalid ID found in Order option at line 3."},
        {"buttonorder", {"1", "-1"}, "ERROR: Invalid ID found in Order option at line 3."},
        {"valuatororder",
         {"1", "2", "2"},
         "ERROR: Same ID found more than once in Order option at line 3."},
        {"valuatororder",
         {"1", "2", "x", "2"},
         "ERROR: Same ID found more than once in Order option at line 3."},
        {"valuatororder", {"1", "x"}, "ERROR: Invalid arg found for Order at line 3."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        mapping = deviceMapping();
        options = testing_support::OptionLines();
        expectRejected(c.keyword, c.args, c.message);
        EXPECT_EQ(controller().valuatorCount, 6u);
        EXPECT_EQ(controller().buttonCount, 12u);
        EXPECT_EQ(valuatorOrder(), (Order{1, 2, 3, 4, 5, 6, 0, 0}));
    }
}

TEST_F(MappingOptions, LaterLinesAreCheckedAgainstTheNarrowedCount) {
    options.add(1, "valuatororder", {"1", "2", "1"});
    options.add(2, "valuatororder", {"1", "3"});
    EXPECT_FALSE(parse());
    EXPECT_EQ(messages, Lines{"ERROR: Invalid ID found in Order option at line 2."});
    EXPECT_EQ(options.line(0).used, 1);
    EXPECT_EQ(controller().valuatorCount, 2u);
}

TEST_F(MappingOptions, WiderLineBeforeTheNarrowingOneIsAccepted) {
    options.add(1, "valuatororder", {"1", "3"});
    options.add(2, "valuatororder", {"1", "2", "1"});
    expectAccepted();
    EXPECT_EQ(valuatorOrder(), (Order{2, 1, 0, 0, 0, 0, 0, 0}));
}

TEST_F(MappingOptions, UnrestrictedOrderListsMayNameUpTo32) {
    mapping->allocate(1, false);
    mapping->setupController(1, 1, 6, 12);
    options.add(1, "valuatororder", {"1", "32"});
    options.add(2, "valuatororder", {"1", "33"});
    EXPECT_FALSE(parse());
    EXPECT_EQ(messages, Lines{"ERROR: Invalid ID found in Order option at line 2."});
    EXPECT_EQ(controller().valuatorCount, 32u);
    EXPECT_EQ(controller().valuatorOrder[31], 1u);
}

TEST_F(MappingOptions, ScaleFactorForAllValuators) {
    options.add(1, "valuatorscale", {"1", "2", "all"});
    expectAccepted();
    for (std::uint32_t r = 1; r <= 32; ++r) {
        EXPECT_EQ(curveOf(controller(), r), (Curve{0, 0, 2, 0})) << "valuator " << r;
    }
}

TEST_F(MappingOptions, ScaleCoefficientListForSelectedValuators) {
    options.add(1, "valuatorscale", {"1", "[1,0,0,0]", "1", "2"});
    options.add(2, "VALUATORSCALE", {"1", "[0.5]", "4"});
    options.add(3, "valuatorscale", {"1", "0", "5"});
    expectAccepted();
    EXPECT_EQ(curveOf(controller(), 1), (Curve{1, 0, 0, 0}));
    EXPECT_EQ(curveOf(controller(), 2), (Curve{1, 0, 0, 0}));
    EXPECT_EQ(curveOf(controller(), 3), (Curve{0, 0, 1, 0}));
    EXPECT_EQ(curveOf(controller(), 4), (Curve{0.5f, 0, 0, 0}));
    EXPECT_EQ(curveOf(controller(), 5), (Curve{0, 0, 0, 0}));
}

TEST_F(MappingOptions, ScaleLinesAreRejectedWithTheirOwnMessages) {
    const struct {
        std::initializer_list<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "ERROR: Incomplete option line found for ValuatorScale at line 3."},
        {{"0", "2", "1"}, "ERROR: Invalid controller ID found for ValuatorScale option at line 3."},
        {{"1", "2"}, "ERROR: Incomplete option line found for ValuatorScale at line 3."},
        {{"1", "[0,0,0,0]", "1"},
         "ERROR: Incomplete option line found for ValuatorScale at line 3."},
        {{"1", "two", "1"}, "ERROR: Invalid arg found for ValuatorScale at line 3."},
        // Beyond single precision, refused like "inf" rather than reaching
        // the curve as an infinity.
        {{"1", "inf", "1"}, "ERROR: Invalid arg found for ValuatorScale at line 3."},
        {{"1", "1e39", "2"}, "ERROR: Invalid arg found for ValuatorScale at line 3."},
        {{"1", "-1e400", "2"}, "ERROR: Invalid arg found for ValuatorScale at line 3."},
        {{"1", "[1e39,0,0,0]", "1"},
         "ERROR: Incomplete option line found for ValuatorScale at line 3."},
        {{"1", "2", "7"}, "ERROR: Invalid valuator ID found for ValuatorScale option at line 3."},
        {{"1", "3", "1", "0"},
         "ERROR: Invalid valuator ID found for ValuatorScale option at line 3."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        mapping = deviceMapping();
        options = testing_support::OptionLines();
        expectRejected("valuatorscale", c.args, c.message);
        EXPECT_EQ(curveOf(controller(), 1), (Curve{0, 0, 1, 0})) << "nothing applied";
    }
}

TEST_F(MappingOptions, EmulateTrackerAttachesAnEmulation) {
    options.add(1, "emulatetracker", {"1", "[0,0,1.5,0,0,0]", "1", "2", "3", "4", "5", "6"});
    expectAccepted();
    ASSERT_NE(mapping->entry(1)->emulation, nullptr);
    const TrackerEmulation& emulation = *controller().emulation;
    EXPECT_EQ(emulation.initValues, (std::array<float, 6>{0, 0, 1.5f, 0, 0, 0}));
    EXPECT_EQ(emulation.axisValuators, (std::array<std::uint32_t, 6>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(emulation.resetButton, 0u);
    EXPECT_EQ(emulation.trackerNumber, 0u);
    EXPECT_EQ(mapping->numberTrackers(1), 1);
}

TEST_F(MappingOptions, LaterEmulateTrackerLineOverwritesTheFirst) {
    options.add(1, "emulatetracker", {"1", "[0,0,1.5,0,0,0]", "1", "2", "3", "4", "5", "6", "12"});
    options.add(2, "EmulateTracker", {"1", "0", "1", "2", "3", "0", "0", "0"});
    expectAccepted();
    const TrackerEmulation& emulation = *controller().emulation;
    EXPECT_EQ(emulation.initValues, (std::array<float, 6>{}));
    EXPECT_EQ(emulation.axisValuators, (std::array<std::uint32_t, 6>{1, 2, 3, 0, 0, 0}));
    EXPECT_EQ(emulation.resetButton, 0u);
}

TEST_F(MappingOptions, EmulateTrackerResetButtonWithinTheButtons) {
    options.add(1, "emulatetracker", {"1", "[0,0,0,0,0,0]", "1", "2", "3", "4", "5", "6", "12"});
    expectAccepted();
    EXPECT_EQ(controller().emulation->resetButton, 12u);
}

TEST_F(MappingOptions, EmulateTrackerLinesAreRejectedWithTheirOwnMessages) {
    const std::string pose = "[0,0,0,0,0,0]";
    const struct {
        std::initializer_list<std::string> args;
        const char* message;
    } cases[] = {
        {{}, "ERROR: Incomplete option line found for EmulateTracker at line 3."},
        {{"2"}, "ERROR: Invalid controller ID found for EmulateTracker option at line 3."},
        {{"0", pose, "1", "2", "3", "4", "5", "6"},
         "ERROR: Invalid controller ID found for EmulateTracker option at line 3."},
        {{"1"}, "ERROR: Incomplete option line found for EmulateTracker at line 3."},
        {{"1", pose, "1", "2", "3", "4", "5"},
         "ERROR: Incomplete option line found for EmulateTracker at line 3."},
        {{"1", pose, "1", "2", "3", "4", "5", "6", "1", "2"},
         "ERROR: Too many args found for EmulateTracker at line 3."},
        {{"1", pose, "1", "2", "3", "4", "5", "7"},
         "ERROR: Invalid valuator ID found for EmulateTracker option at line 3."},
        {{"1", pose, "-1", "2", "3", "4", "5", "6"},
         "ERROR: Invalid valuator ID found for EmulateTracker option at line 3."},
        {{"1", pose, "1", "2", "3", "4", "5", "6", "13"},
         "ERROR: Invalid button ID found for EmulateTracker option at line 3. Ignored."},
        {{"1", pose, "1", "2", "3", "4", "5", "6", "0"},
         "ERROR: Invalid button ID found for EmulateTracker option at line 3. Ignored."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        mapping = deviceMapping();
        options = testing_support::OptionLines();
        expectRejected("emulatetracker", c.args, c.message);
        EXPECT_EQ(mapping->entry(1)->emulation, nullptr);
    }
}

TEST_F(MappingOptions, ControllerOrderIsLeftAloneWhileLocked) {
    options.add(1, "order", {"1"});
    options.add(2, "unitorder", {"9"});
    EXPECT_TRUE(parse());
    EXPECT_EQ(messages, Lines{});
    EXPECT_EQ(options.line(0).used, 0);
    EXPECT_EQ(options.line(1).used, 0);
}

class UnlockedControllerOrder : public MappingOptions {
protected:
    void SetUp() override {
        mapping->orderLocked = false;
        mapping->numControllers = 2;
        mapping->allocate(2, true);
        mapping->setupController(1, 1, 6, 12);
        mapping->setupController(2, 2, 6, 12);
    }

    Order outputs() const { return {controller(1).outputNumber, controller(2).outputNumber}; }
};

TEST_F(UnlockedControllerOrder, SwapsTheControllers) {
    options.add(1, "order", {"2", "1"});
    expectAccepted();
    EXPECT_EQ(outputs(), (Order{2, 1}));
}

TEST_F(UnlockedControllerOrder, UnnamedControllerIsNotPublished) {
    options.add(1, "controllerorder", {"2"});
    expectAccepted();
    EXPECT_EQ(outputs(), (Order{0, 1}));
}

TEST_F(UnlockedControllerOrder, ArgumentsBeyondTheOutputControllersAreIgnored) {
    options.add(1, "UnitOrder", {"1", "2", "3"});
    expectAccepted();
    EXPECT_EQ(outputs(), (Order{1, 2}));
}

TEST_F(UnlockedControllerOrder, ControllerNamedTwiceKeepsTheLaterPosition) {
    options.add(1, "order", {"2", "2"});
    expectAccepted();
    EXPECT_EQ(outputs(), (Order{0, 2}));
}

TEST_F(UnlockedControllerOrder, UnknownControllerIsRejected) {
    expectRejected("order", {"3", "1"},
                   "ERROR: Invalid controller ID found for Order option at line 3.");
    EXPECT_EQ(outputs(), (Order{1, 2}));
}

TEST_F(UnlockedControllerOrder, EmptyOrderUnpublishesEveryController) {
    options.add(1, "order", {});
    expectAccepted();
    EXPECT_EQ(outputs(), (Order{0, 0}));
}

TEST_F(MappingOptions, EveryFaultyLineIsReportedAndGoodLinesStillApply) {
    options.add(4, "valuatorscale", {"1", "zero", "1"});
    options.add(5, "valuatororder", {"1", "2", "1"});
    options.add(6, "baudrate", {"9600"});
    options.add(7, "buttonorder", {"1", "13"});
    options.add(8, "valuatorscale", {"1", "3", "2"});
    EXPECT_FALSE(parse());
    EXPECT_EQ(messages, (Lines{"ERROR: Invalid arg found for ValuatorScale at line 4.",
                               "ERROR: Invalid ID found in Order option at line 7."}));
    EXPECT_EQ(options.line(1).used, 1);
    EXPECT_EQ(options.line(2).used, 0) << "another parser's keyword";
    EXPECT_EQ(options.line(4).used, 1);
    EXPECT_EQ(valuatorOrder(), (Order{2, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(curveOf(controller(), 2), (Curve{0, 0, 3, 0}));
}

TEST_F(MappingOptions, KeywordWithALetterAddedIsNotTaken) {
    options.add(1, "valuatorscales", {"1", "2", "1"});
    EXPECT_TRUE(parse());
    EXPECT_EQ(messages, Lines{});
    EXPECT_EQ(options.line(0).used, 0);
}

TEST_F(MappingOptions, EmptyConfigurationIsAccepted) {
    EXPECT_TRUE(parse());
    EXPECT_EQ(messages, Lines{});
}

TEST_F(MappingOptions, MissingTableOrRecordFailsAtOnce) {
    Lines output = printedLines([&] { EXPECT_FALSE(mapping->parseOptions(nullptr)); });
    EXPECT_EQ(output, Lines{"ERROR: CConCommonH: config empty"});
    mapping->clear();
    options.add(1, "valuatorscale", {"1", "2", "1"});
    output = printedLines([&] { EXPECT_FALSE(mapping->parseOptions(&options.config())); });
    EXPECT_EQ(output, Lines{"ERROR: CConCommonH: lookup Null"});
    EXPECT_EQ(options.line(0).used, 0);
}

}  // namespace

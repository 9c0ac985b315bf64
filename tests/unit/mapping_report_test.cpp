#include <gtest/gtest.h>

#include <iomanip>
#include <iostream>

#include "tests/unit/mapping_fixture.h"

namespace {

using mapping_testing::deviceMapping;
using mapping_testing::printedLines;
using Lines = std::vector<std::string>;

const Lines kDefaultReport = {
    "INFO: CONTROLLER ORDER      : <Real con> -> <Output con>",
    "INFO:                       : 1->1",
    "INFO: VALUATOR ORDER(SCALE) : <Real val> -> <Output val>",
    "INFO:                       : 1->1(1X) 2->2(1X) 3->3(1X) 4->4(1X) 5->5(1X) 6->6(1X)",
    "INFO: BUTTON ORDER          : <Real but> -> <Output but>",
    "INFO:                       : 1->1 2->2 3->3 4->4 5->5 6->6 7->7 8->8 9->9 10->10 11->11 "
    "12->12",
};

Lines reportOf(const CConCommonH& mapping) {
    return printedLines([&] { EXPECT_TRUE(mapping.printMapping()); });
}

void setCurve(CConCommonH& mapping, std::uint32_t r, float a3, float a2, float a1, float a0) {
    float* curve = mapping.entry(1)->valuatorScale[r - 1];
    curve[0] = a3;
    curve[1] = a2;
    curve[2] = a1;
    curve[3] = a0;
}

TEST(MappingReport, DefaultsReportIdentityOrdersAndUnitCurves) {
    EXPECT_EQ(reportOf(*deviceMapping()), kDefaultReport);
}

TEST(MappingReport, CurvesListOnlyTheirNonZeroTerms) {
    auto mapping = deviceMapping();
    mapping->allocate(1, true);
    mapping->setupController(1, 1, 3, 0);
    setCurve(*mapping, 1, 0.5f, 0.0f, 2.0f, -1.0f);
    setCurve(*mapping, 2, 0.0f, -1.0f, 0.0f, 0.25f);
    setCurve(*mapping, 3, 0.0f, 0.0f, 0.0f, 0.0f);
    const Lines lines = reportOf(*mapping);
    ASSERT_EQ(lines.size(), 4u) << "no button section without buttons";
    EXPECT_EQ(lines[3], "INFO:                       : 1->1(0.5X^3+2X-1) 2->2(-1X^2+0.25) 3->3()");
}

TEST(MappingReport, CurvesFollowTheStreamsFloatFormat) {
    auto mapping = deviceMapping();
    mapping->allocate(1, true);
    mapping->setupController(1, 1, 1, 0);
    setCurve(*mapping, 1, 0.0f, 0.0f, 1.0f, -0.5f);
    const std::ios::fmtflags flags = std::cout.flags();
    const std::streamsize precision = std::cout.precision();
    std::cout << std::fixed << std::setprecision(3);
    const Lines lines = reportOf(*mapping);
    std::cout.flags(flags);
    std::cout.precision(precision);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "INFO:                       : 1->1(1.000X-0.500)");
}

TEST(MappingReport, EmulatedTrackerOfTheOnlyControllerReportsAsTracker) {
    auto mapping = deviceMapping();
    mapping->setEmulation(1, 0, {}, {1, 2, 3, 4, 5, 6}, 1);
    mapping->numberTrackers(1);
    Lines expected = kDefaultReport;
    expected.insert(expected.end(),
                    {
                        "INFO: TRACKER EMULATION     : As tracker[1]",
                        "INFO:                       : Init Values: X=0 Y=0 Z=0",
                        "INFO:                       : Init Values: Azim=0 Elev=0 Roll=0",
                        "INFO:                       : Val Assign : 1->X 2->Y 3->Z 4->Azim 5->Elev "
                        "6->Roll",
                        "INFO:                       : Reset But  : 1",
                    });
    EXPECT_EQ(reportOf(*mapping), expected);
}

TEST(MappingReport, SeveralControllersCarryTheirPrefixes) {
    const CMessageH log = mapping_testing::plainLog();
    CConCommonH mapping(&log);
    mapping.allocate(3, true);
    mapping.setupController(1, 1, 2, 1);
    mapping.setupController(2, 2, 1, 0);
    mapping.setupController(3, 0, 4, 4);
    mapping.controllerBase = 3;
    mapping.setEmulation(2, 0, {1.5f, 0, 0, 0, -90.0f, 0}, {1, 0, 0, 0, 0, 0}, 0);
    mapping.numberTrackers(1);
    const Lines expected = {
        "INFO: CONTROLLER ORDER      : <Real con> -> <Output con>",
        "INFO:                       : 1->4 2->5",
        "INFO: VALUATOR ORDER(SCALE) : <Real val> -> <Output val>",
        "INFO:                       : 1: 1->1(1X) 2->2(1X)",
        "INFO: BUTTON ORDER          : <Real but> -> <Output but>",
        "INFO:                       : 1: 1->1",
        "INFO: VALUATOR ORDER(SCALE) : <Real val> -> <Output val>",
        "INFO:                       : 2: 1->1(1X)",
        "INFO: TRACKER EMULATION     : 2->tracker[1]",
        "INFO:                       : 2: Init Values: X=1.5 Y=0 Z=0",
        "INFO:                       : 2: Init Values: Azim=0 Elev=-90 Roll=0",
        "INFO:                       : 2: Val Assign : 1->X",
    };
    EXPECT_EQ(reportOf(mapping), expected);
}

TEST(MappingReport, ConstructionAndDestructionLogOnlyAtTheClassLevel) {
    CMessageH log = mapping_testing::plainLog();
    EXPECT_EQ(printedLines([&] { CConCommonH quiet(&log); }), Lines{});
    log.debugLevel = 3;
    log.debugThreshold = 9;
    const Lines lines = printedLines([&] {
        CConCommonH mapping(&log);
        EXPECT_EQ(mapping.logRecord().classLevel, 3);
    });
    EXPECT_EQ(lines, (Lines{"DEBUG: CConCommonH: \"constructor\" called.",
                            "DEBUG: CConCommonH: \"destructor\" called."}));
}

}  // namespace

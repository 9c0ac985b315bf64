// The device report that a successful init prints, and a line speed the port
// refuses, with the plug-in on the simulator's line.
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "fault_lines.h"
#include "tests/support/line_fields.h"

namespace testing_support {
namespace {

// The lines from the report's first line to its closing line, as printed.
std::vector<std::string> reportLines(const std::string& output) {
    const std::vector<std::string> all = splitLines(output);
    std::vector<std::string> report;
    bool inside = false;
    for (const std::string& line : all) {
        if (line.rfind("HOST: INFO: DEVICE NAME", 0) == 0) {
            inside = true;
        }
        if (inside) {
            report.push_back(line);
        }
        if (inside && line == "HOST: INFO: -----------------------") {
            break;
        }
    }
    return report;
}

std::vector<std::string> tableLines(const std::string& port, const std::string& baud) {
    return {
        "HOST: INFO: DEVICE NAME           : pallador0",
        "HOST: INFO: DEVICE TYPE           : Pallador(tm)",
        "HOST: INFO: VERSION               : 5.5",
        "HOST: INFO: DATA TYPE             : Controller",
        "HOST: INFO: SERIAL PORT           : " + port,
        "HOST: INFO: NUMBER OF DEVICES     : 1",
        "HOST: INFO: NUMBER OF CONTROLLERS : 1",
        "HOST: INFO: BAUD RATE             : " + baud,
    };
}

const std::vector<std::string> kMapping = {
    "HOST: INFO: CONTROLLER ORDER      : <Real con> -> <Output con>",
    "HOST: INFO:                       : 1->1",
    "HOST: INFO: VALUATOR ORDER(SCALE) : <Real val> -> <Output val>",
    "HOST: INFO:                       : 1->1(1X) 2->2(1X) 3->3(1X) 4->4(1X) 5->5(1X) 6->6(1X)",
    "HOST: INFO: BUTTON ORDER          : <Real but> -> <Output but>",
    "HOST: INFO:                       : 1->1 2->2 3->3 4->4 5->5 6->6 7->7 8->8 9->9 10->10 "
    "11->11 12->12",
};

std::vector<std::string> joined(std::vector<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST_F(DriverTest, ReportWithoutEmulationIsTableMappingAndClosingLine) {
    ASSERT_EQ(createAndInit({{"baudrate", {"19200"}}}), 1) << initOutput;
    EXPECT_EQ(device->configure(), 3);
    EXPECT_EQ(reportLines(initOutput), joined({tableLines(sim->portName(), "19200"),
                                               kMapping,
                                               {"HOST: INFO: -----------------------"}}))
        << initOutput;
    EXPECT_EQ(sim->attrs()["baud"], "19200");

    // Asked again, the device prints the same report.
    std::string again;
    bool printed = false;
    again = captureOutput([&] { printed = device->printInfo(); });
    EXPECT_TRUE(printed);
    EXPECT_EQ(reportLines(again), reportLines(initOutput));
}

TEST_F(DriverTest, ReportWithEmulationAddsMappingEmulationAndTrackerReport) {
    trackers->setCount(2);
    ASSERT_EQ(createAndInit({{"emulatetracker",
                              {"1", "[0,0,1.5,0,0,0]", "1", "2", "3", "4", "5", "6", "12"}}},
                            true),
              1)
        << initOutput;
    EXPECT_EQ(reportLines(initOutput),
              joined({tableLines(sim->portName(), "9600"),
                      kMapping,
                      {
                          "HOST: INFO: TRACKER EMULATION     : As tracker[1]",
                          "HOST: INFO:                       : Init Values: X=0 Y=0 Z=1.5",
                          "HOST: INFO:                       : Init Values: Azim=0 Elev=0 Roll=0",
                          "HOST: INFO:                       : Val Assign : 1->X 2->Y 3->Z "
                          "4->Azim 5->Elev 6->Roll",
                          "HOST: INFO:                       : Reset But  : 12",
                          "HOST: INFO: CAVE COORDINATES      : Unused",
                          "HOST: INFO: TRACKER ORDER         : <Real tra> -> <Output tra>",
                          "HOST: INFO:                       : 1->3",
                          "HOST: INFO: -----------------------",
                      }}))
        << initOutput;
}

TEST_F(DriverTest, RefusedBaudRateIsReportedAndTheLineKeepsItsSpeed) {
    const std::string before = sim->attrs()["baud"];
    ASSERT_EQ(createAndInit({{"baud", {"12345"}}}), 1) << initOutput;
    const std::vector<std::string> lines = splitLines(initOutput);
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "HOST: ERROR: CRS232H: Could not set the baud rate 12345"),
              lines.end())
        << initOutput;
    EXPECT_NE(std::find(lines.begin(), lines.end(), "HOST: INFO: BAUD RATE             : 12345"),
              lines.end());
    std::map<std::string, std::string> attrs = sim->attrs();
    EXPECT_EQ(attrs["baud"], before);
    // The rest of the line settings are applied all the same.
    EXPECT_EQ(attrs["csize"], "8");
    EXPECT_EQ(attrs["cstopb"], "0");
    EXPECT_EQ(attrs["parenb"], "0");
    EXPECT_EQ(attrs["crtscts"], kCrtsctsUnderDeviceSettings);
}

// A pseudo-terminal has neither modem lines nor a serial driver to ask for
// low latency: init goes on without a word of either.
TEST_F(DriverTest, InitOnALineWithoutModemLinesOrLatencyControlSaysNothingOfThem) {
    ASSERT_EQ(createAndInit({{"baud", {"115200"}}}), 1) << initOutput;
    EXPECT_EQ(problemLines(initOutput), std::vector<std::string>{}) << initOutput;
    std::map<std::string, std::string> attrs = sim->attrs();
    EXPECT_EQ(attrs["baud"], "115200");
    EXPECT_EQ(attrs["raw"], "1");
    EXPECT_EQ(attrs["crtscts"], kCrtsctsUnderDeviceSettings);
}

}  // namespace
}  // namespace testing_support

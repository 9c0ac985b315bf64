#include "host/app/host_config.h"

#include <gtest/gtest.h>

#include <string>

#include "host/app/command_line.h"
#include "host/app/record_format.h"
#include "host/app/session.h"

namespace {

using host::parseConfig;

TEST(HostConfigText, OptionLinesKeepTheirNumbersAndBracketedVectorsStayWhole) {
    const auto result = parseConfig(
        "# comment\n\nplugin ./lib.so\ndevice pad\n"
        "emulatetracker 1 [0, 0, 1.5, 0, 0, 0] 1 2 3 4 5 6 12  # trailing note\n"
        "  BAUD\t9600\n",
        "a.conf");
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.config.pluginPath, "./lib.so");
    EXPECT_EQ(result.config.deviceName, "pad");
    ASSERT_EQ(result.config.options.size(), 2u);
    const host::OptionText& emulation = result.config.options[0];
    EXPECT_EQ(emulation.lineNumber, 5u);
    EXPECT_EQ(emulation.keyword, "emulatetracker");
    ASSERT_EQ(emulation.arguments.size(), 9u);
    EXPECT_EQ(emulation.arguments[1], "[0, 0, 1.5, 0, 0, 0]");
    EXPECT_EQ(emulation.arguments[8], "12");
    EXPECT_EQ(result.config.options[1].lineNumber, 6u);
    EXPECT_EQ(result.config.options[1].keyword, "BAUD");
}

TEST(HostConfigText, FaultyHostLinesNameFileAndLine) {
    EXPECT_EQ(parseConfig("device x\nplugin\n", "b.conf").error,
              "b.conf:2: plugin takes exactly one argument, a path (found 0)");
    EXPECT_EQ(parseConfig("device\n", "b.conf").error,
              "b.conf:1: device takes exactly one argument, a name (found 0)");
    EXPECT_EQ(parseConfig("\n\nemulatetracker 1 [0, 0, 1.5 1 2 3\n", "b.conf").error,
              "b.conf:3: unterminated bracket: a vector such as [0, 0, 1.5] needs its \"]\"");

    std::string many;
    for (int i = 0; i < 33; ++i) {
        many += "baud 9600\n";
    }
    EXPECT_EQ(parseConfig(many, "c.conf").error,
              "c.conf:33: more than 32 option lines for one device");

    std::string wide = "buttonorder";
    for (int i = 0; i < 65; ++i) {
        wide += " 1";
    }
    EXPECT_EQ(parseConfig("device x\n" + wide + "\n", "d.conf").error,
              "d.conf:2: more than 64 arguments (65)");
    EXPECT_TRUE(parseConfig("device x\n" + wide.substr(0, wide.size() - 2) + "\n", "d.conf").ok());
}

TEST(HostConfigText, SimulatorPortReplacesTheLastPortLineOrIsAdded) {
    auto result = parseConfig("port /dev/ttyS0\nserialport /dev/ttyUSB0\nbaud 9600\n", "e.conf");
    ASSERT_TRUE(host::overridePort(result.config, "/tmp/line"));
    EXPECT_EQ(result.config.options[0].arguments[0], "/dev/ttyS0");
    EXPECT_EQ(result.config.options[1].arguments[0], "/tmp/line");
    EXPECT_EQ(result.config.options.size(), 3u);

    auto bare = parseConfig("baud 9600\n", "f.conf");
    EXPECT_EQ(host::portOf(bare.config), "com2");
    ASSERT_TRUE(host::overridePort(bare.config, "/tmp/line"));
    EXPECT_EQ(bare.config.options.back().keyword, "port");
    EXPECT_EQ(host::portOf(bare.config), "/tmp/line");
}

TEST(HostCommandLine, BoundsAndFlagsAreReadAndNonsenseRefused) {
    const auto good = host::parseCommandLine(
        {"x.conf", "--frames", "5", "--seconds", "2.5", "--json", "--debug", "3"});
    ASSERT_TRUE(good.ok()) << good.error;
    EXPECT_EQ(good.line.frames, 5);
    EXPECT_DOUBLE_EQ(good.line.seconds, 2.5);
    EXPECT_TRUE(good.line.json);
    EXPECT_TRUE(good.line.debugGiven);
    EXPECT_EQ(good.line.debugLevel, 3);
    EXPECT_EQ(host::parseCommandLine({"x.conf", "--frames", "0"}).error,
              "--frames needs a count (a whole number from 1)");
    EXPECT_EQ(host::parseCommandLine({"x.conf", "--seconds"}).error,
              "--seconds needs a time in seconds (above 0)");
    EXPECT_EQ(host::parseCommandLine({"--json"}).error, "a configuration file is needed");
    EXPECT_EQ(host::parseCommandLine({"x.conf", "--fast"}).error, "unknown option --fast");
}

TEST(HostRecordText, JsonLinesCarryTheRecordsValues) {
    ConData controller{};
    controller.reset();
    controller.setValuatorCount(3);
    controller.setButtonCount(4);
    controller.setId(2);
    controller.setValuator(1, -1.0f);
    controller.setValuator(2, 0.5f);
    controller.setButton(3, 1);
    EXPECT_EQ(host::jsonLine(1.25, controller),
              "{\"t\":1.250,\"kind\":\"controller\",\"id\":2,\"valuators\":[-1.000,0.500,0.000],"
              "\"buttons\":[0,0,1,0]}");
    TraData tracker{};
    tracker.clearPose();
    tracker.setId(1);
    tracker.setZ(1.5f);
    tracker.setRoll(-2.0f);
    EXPECT_EQ(host::jsonLine(0, tracker),
              "{\"t\":0.000,\"kind\":\"tracker\",\"id\":1,\"pose\":[0.00000,0.00000,1.50000,"
              "0.00000,0.00000,-2.00000]}");
    EXPECT_EQ(host::plainLine(0, tracker),
              "0.000 tracker 1 x 0.00000 y 0.00000 z 1.50000 azim 0.00000 elev 0.00000 roll "
              "-2.00000");
}

}  // namespace

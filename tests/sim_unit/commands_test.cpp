// The control commands, executed directly on a simulator that owns a real
// pseudo-terminal (no event loop needed for the replies).
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "sim/simulator.h"

namespace {

class SimCommands : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pallador-sim-unit.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        sim::Options options;
        options.link = directory + "/line";
        options.portFile = directory + "/port";
        simulator = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator->start(error)) << error;
    }

    void TearDown() override {
        simulator.reset();
        std::system(("rm -rf " + directory).c_str());
    }

    std::string linkTarget() const {
        char target[256] = {};
        const ssize_t length = readlink((directory + "/line").c_str(), target, sizeof target - 1);
        return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
    }

    // Each command's reply; an empty one stands for any usage error.
    template <std::size_t N>
    void expectReplies(const std::pair<const char*, const char*> (&replies)[N]) {
        for (const auto& [command, reply] : replies) {
            const std::string got = simulator->execute(command);
            if (*reply == '\0') {
                EXPECT_EQ(got.rfind("error usage: ", 0), 0u) << command << " -> " << got;
            } else {
                EXPECT_EQ(got, reply) << command;
            }
        }
    }

    std::string directory;
    std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(SimCommands, StartPublishesTheLinkAndThePortFile) {
    EXPECT_EQ(linkTarget(), simulator->line().slavePath());
    std::ifstream portFile(directory + "/port");
    unsigned port = 0;
    portFile >> port;
    EXPECT_EQ(port, simulator->controlPort());
    EXPECT_NE(port, 0u);
}

TEST_F(SimCommands, ScriptRepliesWithItsLineCountOrTheFault) {
    std::ofstream(directory + "/good") << "# demo\nFFFF020002000200020002000200 * 3\n"
                                          "00FF000003FF03FF000001FF0200\n";
    EXPECT_EQ(simulator->execute("script " + directory + "/good"), "ok mode=script lines=2");
    std::ofstream(directory + "/bad") << "FFFF\n";
    EXPECT_EQ(simulator->execute("script " + directory + "/bad"),
              "error " + directory + "/bad: line 1: a frame is 14 bytes in hex");
    EXPECT_EQ(simulator->execute("script " + directory + "/missing"),
              "error cannot open " + directory + "/missing");
}

TEST_F(SimCommands, ReplugSwingsTheLinkToTheNewTerminal) {
    const std::string before = simulator->line().slavePath();
    EXPECT_EQ(simulator->execute("hangup"), "ok line=down");
    // Never the old terminal's name: the system may already have given it
    // to someone else's line.
    EXPECT_EQ(linkTarget(), before + ".unplugged");
    EXPECT_EQ(simulator->execute("send 55"), "error line is hung up (replug first)");
    const std::string reply = simulator->execute("replug");
    EXPECT_EQ(reply, "ok line=up pts=" + simulator->line().slavePath());
    EXPECT_EQ(linkTarget(), simulator->line().slavePath());
}

TEST_F(SimCommands, AttrsStartsAtTheRawDefaultLine) {
    const std::string reply = simulator->execute("attrs");
    EXPECT_EQ(reply.rfind("ok baud=9600 ispeed=9600 csize=8 cstopb=0 parenb=0 ", 0), 0u) << reply;
    EXPECT_NE(reply.find(" raw=1 "), std::string::npos) << reply;
}

TEST_F(SimCommands, StatusAndStampsReportTheirState) {
    EXPECT_EQ(simulator->execute("stamps"), "ok");
    EXPECT_EQ(simulator->execute("stream on"), "ok stream=on");
    EXPECT_EQ(simulator->execute("probe-answer 13"), "ok probe-answer=13");
    const std::string status = simulator->execute("status");
    EXPECT_NE(status.find(" mode=rest stream=on probe-answer=13 "), std::string::npos) << status;
    EXPECT_EQ(simulator->execute("burst 14"), "ok burst=14");
    EXPECT_EQ(simulator->execute("burst 0").rfind("error usage: burst N", 0), 0u);
    EXPECT_NE(simulator->execute("status").find(" burst=14 "), std::string::npos);
    EXPECT_EQ(simulator->execute("reset"), "ok line=up");
    EXPECT_NE(simulator->execute("status").find(" mode=rest stream=off silent=no burst=1 "),
              std::string::npos);
}

TEST_F(SimCommands, HangupAfterTakesOneToFourteenBytesAndWaitsForTheNextAnswer) {
    EXPECT_EQ(simulator->execute("hangup-after 0").rfind("error usage: hangup-after N", 0), 0u);
    EXPECT_EQ(simulator->execute("hangup-after 15").rfind("error usage: hangup-after N", 0), 0u);
    EXPECT_EQ(simulator->execute("hangup-after x").rfind("error usage: hangup-after N", 0), 0u);
    EXPECT_EQ(simulator->execute("hangup-after 14"), "ok hangup-after=14");
    EXPECT_EQ(simulator->execute("hangup-after 9"), "ok hangup-after=9");
    // Nothing happens until a request is answered.
    const std::string status = simulator->execute("status");
    EXPECT_EQ(status.rfind("ok line=up ", 0), 0u) << status;
    EXPECT_NE(status.find(" hangup-after=9 "), std::string::npos) << status;
    EXPECT_EQ(simulator->execute("reset"), "ok line=up");
    EXPECT_EQ(simulator->execute("status").find("hangup-after"), std::string::npos);

    EXPECT_EQ(simulator->execute("hangup"), "ok line=down");
    EXPECT_EQ(simulator->execute("hangup-after 3"), "error line is hung up (replug first)");
}

TEST_F(SimCommands, LineFaultAndLatencyCommandsCheckTheirArguments) {
    const std::pair<const char*, const char*> replies[] = {
        {"lose 0", "ok lose=0"},
        {"lose 13", "ok lose=13"},
        {"lose 14", "error usage: lose I (byte 0 to 13 of the next answer)"},
        {"lose", "error usage: lose I (byte 0 to 13 of the next answer)"},
        {"stray 14 AA 55", "ok stray=14:AA55"},
        {"stray 0 000102030405060708090A0B0C0D0E0F", "ok stray=0:000102030405060708090A0B0C0D0E0F"},
        {"stray 0 000102030405060708090A0B0C0D0E0F10", ""},
        {"stray 15 AA", ""},
        {"stray 3", ""},
        {"stray 3 A", ""},
        {"corrupt 2", "ok corrupt=2:inverted"},
        {"corrupt 13 7f", "ok corrupt=13:7F"},
        {"corrupt 14",
         "error usage: corrupt I [VALUE] (byte 0 to 13 of the next answer; VALUE "
         "one hex byte, default the byte inverted)"},
        {"corrupt 1 AABB", ""},
        {"faults 100 7", "ok faults=1/100 fault-seed=7 fault-kinds=lose,stray"},
        {"faults 5 1 corrupt,lose", "ok faults=1/5 fault-seed=1 fault-kinds=corrupt,lose"},
        {"faults 5 1 lose,lose", ""},
        {"faults 5 1 drop", ""},
        {"faults 5", ""},
        {"faults -1 1", ""},
        {"faults 0", "ok faults=off"},
        {"faults off", "ok faults=off"},
        {"faults", "ok faults made=0 lose=0 stray=0 corrupt=0"},
        {"fault-log", "ok"},
        {"fault-log all", "error usage: fault-log"},
        {"latency 16", "ok latency=16"},
        {"latency 256", "error usage: latency MS (an adapter's latency timer, 0 to 255; 0: none)"},
        {"answer-delay 5", "ok answer-delay=5"},
        {"answer-delay 1001", ""},
    };
    expectReplies(replies);
    // The last accepted of each is in force; reset ends them all.
    std::string status = simulator->execute("status");
    EXPECT_NE(status.find(" burst=1 latency=16 answer-delay=5 "), std::string::npos) << status;
    EXPECT_NE(status.find(" fault=corrupt:13:7F faults=off"), std::string::npos) << status;
    ASSERT_EQ(simulator->execute("faults 3 3"),
              "ok faults=1/3 fault-seed=3 fault-kinds=lose,stray");
    EXPECT_NE(simulator->execute("help").find(
                  " latency answer-delay lose stray corrupt faults fault-log "),
              std::string::npos);
    EXPECT_EQ(simulator->execute("reset"), "ok line=up");
    status = simulator->execute("status");
    EXPECT_NE(status.find(" burst=1 latency=0 answer-delay=0 "), std::string::npos) << status;
    EXPECT_EQ(status.substr(status.size() - 11), " faults=off") << status;
}

TEST_F(SimCommands, ChannelCommandsTakeOneValueForAllOrSixAndKeepRestWithinTravel) {
    const std::pair<const char*, const char*> replies[] = {
        {"rest-point 530,490,512,505,520,480", "ok rest-point=530,490,512,505,520,480"},
        {"travel 40-990", "ok travel=40-990,40-990,40-990,40-990,40-990,40-990"},
        {"travel 40-990,10-1000,0-1023,100-900,60-1010,600-1013",
         "error travel leaves out the rest point of valuator 6"},
        {"rest-point 1000", "error rest point outside the travel of valuator 1,2,3,4,5,6"},
        {"rest-point 1,2,3", ""},
        {"rest-point 1024", ""},
        {"travel 990-40", ""},
        {"travel 40-1024", ""},
        {"travel 40", ""},
        {"noise 2", "ok noise=2,2,2,2,2,2 noise-seed=1"},
        {"noise 2,0,1,3,2,2 9", "ok noise=2,0,1,3,2,2 noise-seed=9"},
        {"noise 65", ""},
        {"noise 2 -1", ""},
    };
    expectReplies(replies);
    std::string status = simulator->execute("status");
    EXPECT_NE(status.find(" rest-point=530,490,512,505,520,480 travel=40-990,40-990,40-990,"
                          "40-990,40-990,40-990 noise=2,0,1,3,2,2 noise-seed=9 silent="),
              std::string::npos)
        << status;
    EXPECT_EQ(simulator->execute("noise off"), "ok noise=off");
    EXPECT_EQ(simulator->execute("reset"), "ok line=up");
    EXPECT_EQ(simulator->execute("status").find("rest-point"), std::string::npos);
}

TEST_F(SimCommands, ClockGivesTheMonotonicAndTheWallClockInMicroseconds) {
    const auto read = [](clockid_t id) {
        timespec now{};
        clock_gettime(id, &now);
        return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
    };
    const long long monotonicBefore = read(CLOCK_MONOTONIC);
    const long long wallBefore = read(CLOCK_REALTIME);
    const std::string reply = simulator->execute("clock");
    const long long wallAfter = read(CLOCK_REALTIME);
    const long long monotonicAfter = read(CLOCK_MONOTONIC);
    ASSERT_EQ(reply.rfind("ok ", 0), 0u) << reply;
    char* end = nullptr;
    const long long monotonic = std::strtoll(reply.c_str() + 3, &end, 10);
    const long long wall = std::strtoll(end, &end, 10);
    EXPECT_EQ(*end, '\0') << reply;
    EXPECT_GE(monotonic, monotonicBefore);
    EXPECT_LE(monotonic, monotonicAfter);
    EXPECT_GE(wall, wallBefore);
    EXPECT_LE(wall, wallAfter);
    EXPECT_EQ(simulator->execute("clock now"), "error usage: clock");
}

}  // namespace

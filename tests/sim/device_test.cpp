// The simulated Pallador: frames, pacing and misbehaviour on demand.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/support/raw_line.h"
#include "tests/support/sim_client.h"

namespace {

using testing_support::fromHex;
using testing_support::RawLine;
using testing_support::SimClient;
using testing_support::toHex;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

const Bytes kRequest = {0x55};
const char kEdgeFrame[] = "00FF000003FF03FF000001FF0200";

class SimDevice : public ::testing::Test {
protected:
    void SetUp() override {
        sim = SimClient::fromEnvironment();
        ASSERT_TRUE(sim);
        ASSERT_TRUE(sim->reset());
        ASSERT_TRUE(line.open(sim->portName())) << line.error();
    }

    // Sends one request and collects what comes back within the time-out.
    Bytes request(std::size_t expected, int timeoutMs = 2000) {
        Bytes got;
        EXPECT_TRUE(line.write(kRequest)) << line.error();
        line.read(expected, timeoutMs, got);
        return got;
    }

    // Bytes arriving after the expected ones, within a quiet period.
    Bytes extra(int quietMs = 150) {
        Bytes got;
        line.read(64, quietMs, got);
        return got;
    }

    double millisecondsForFrame() {
        const auto start = Clock::now();
        const Bytes got = request(14);
        EXPECT_EQ(got.size(), 14u);
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }

    std::unique_ptr<SimClient> sim;
    RawLine line;
};

TEST_F(SimDevice, RestAnswersEachRequestWithAReleasedCentredFrame) {
    EXPECT_EQ(toHex(request(14)), "FFFF020002000200020002000200");
    EXPECT_TRUE(extra().empty());
    EXPECT_EQ(toHex(request(14)), "FFFF020002000200020002000200");
}

TEST_F(SimDevice, AFixedFrameIsAnsweredByteForByte) {
    ASSERT_TRUE(sim->ok(std::string("frame ") + kEdgeFrame));
    EXPECT_EQ(toHex(request(14)), kEdgeFrame);
    EXPECT_TRUE(extra().empty());
    EXPECT_EQ(sim->receivedAtLeast(1, 1000), kRequest);
}

TEST_F(SimDevice, RequestsSentTogetherAreAnsweredInTurn) {
    ASSERT_TRUE(sim->ok("mode fresh"));
    ASSERT_TRUE(line.write({0x55, 0x55, 0x55}));
    Bytes got;
    ASSERT_EQ(line.read(42, 2000, got), RawLine::ReadEnd::Complete);
    EXPECT_EQ(toHex(got),
              "FFFF000002000200020002000200"
              "FFFF000102000200020002000200"
              "FFFF000202000200020002000200");
}

TEST_F(SimDevice, OtherBytesAreNoRequests) {
    ASSERT_TRUE(line.write({0x00, 0x54, 0x56, 0xAA, 0x0D}));
    EXPECT_TRUE(extra(300).empty());
}

TEST_F(SimDevice, FramesArePacedAtTheLinesBaudRate) {
    // 14 bytes of 10 bit times: 14.6 ms at 9600, 117 ms at 1200.
    ASSERT_TRUE(line.setBaud(9600));
    double fastest = 1e9;
    for (int i = 0; i < 3; ++i) fastest = std::min(fastest, millisecondsForFrame());
    EXPECT_GE(fastest, 13.5);
    EXPECT_LE(fastest, 60.0);

    ASSERT_TRUE(line.setBaud(1200));
    const double slow = millisecondsForFrame();
    EXPECT_GE(slow, 112.0);
    EXPECT_LE(slow, 250.0);
}

TEST_F(SimDevice, ProbeAnswerSendsTheGivenNumberOfBytesOnce) {
    ASSERT_TRUE(sim->ok(std::string("frame ") + kEdgeFrame));
    ASSERT_TRUE(sim->ok("probe-answer 13"));
    EXPECT_EQ(toHex(request(13)), std::string(kEdgeFrame).substr(0, 26));
    EXPECT_TRUE(extra(300).empty());

    ASSERT_TRUE(sim->ok("probe-answer 15"));
    EXPECT_EQ(toHex(request(15)), std::string(kEdgeFrame) + "00");
    EXPECT_TRUE(extra(300).empty());

    EXPECT_EQ(toHex(request(14)), kEdgeFrame);
}

TEST_F(SimDevice, HalfWordStopsAfterTheHighByteOfTheGivenWord) {
    ASSERT_TRUE(sim->ok(std::string("frame ") + kEdgeFrame));
    EXPECT_EQ(sim->command("half-word 3"), "ok half-word=3 bytes=7 silent=0");
    EXPECT_EQ(toHex(request(7)), std::string(kEdgeFrame).substr(0, 14));
    EXPECT_TRUE(extra(300).empty());
    EXPECT_EQ(toHex(request(14)), kEdgeFrame);
}

TEST_F(SimDevice, SilentIgnoresRequestsThenAnswersAgain) {
    ASSERT_TRUE(sim->ok("silent 600"));
    EXPECT_TRUE(request(1, 300).empty());
    Bytes got;
    // Still switched off, and the request sent while off stays unanswered.
    EXPECT_EQ(line.read(1, 100, got), RawLine::ReadEnd::TimedOut);
    const auto start = Clock::now();
    Bytes answer;
    while (answer.empty() && Clock::now() - start < std::chrono::seconds(3)) {
        answer = request(14, 100);
    }
    EXPECT_EQ(toHex(answer), "FFFF020002000200020002000200");
    EXPECT_TRUE(extra().empty());
}

TEST_F(SimDevice, StreamSendsFramesWithoutRequests) {
    ASSERT_TRUE(sim->ok("frame 0102030405060708090A0B0C0D0E"));
    ASSERT_TRUE(line.setBaud(115200));
    ASSERT_TRUE(sim->ok("stream on"));
    Bytes got;
    ASSERT_EQ(line.read(14 * 20, 3000, got), RawLine::ReadEnd::Complete);
    ASSERT_TRUE(sim->ok("stream off"));
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], i % 14 + 1) << "byte " << i;
    }
}

TEST_F(SimDevice, StampsTellWhenEachFrameEndedAndItsValuator) {
    ASSERT_TRUE(sim->ok("mode fresh"));
    ASSERT_TRUE(sim->ok("stamps on"));
    for (int i = 0; i < 3; ++i) ASSERT_EQ(request(14).size(), 14u);
    const auto stamps = sim->stamps();
    ASSERT_EQ(stamps.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(stamps[static_cast<std::size_t>(i)].valuator1, i);
    EXPECT_LT(stamps[0].microseconds, stamps[1].microseconds);
    EXPECT_LT(stamps[1].microseconds, stamps[2].microseconds);
    EXPECT_TRUE(sim->stamps().empty()) << "stamps clears what it returned";
}

TEST_F(SimDevice, LineFaultsSpoilOnlyTheNextAnswerAndAreLogged) {
    const std::string frame = kEdgeFrame;
    const struct {
        const char* command;
        std::string answer;
        const char* logged;  // KIND:POS
    } cases[] = {
        {"lose 0", frame.substr(2), "lose:0"},
        {"lose 13", frame.substr(0, 26), "lose:13"},
        {"stray 0 55", "55" + frame, "stray:0"},
        {"stray 3 AABBCC", frame.substr(0, 6) + "AABBCC" + frame.substr(6), "stray:3"},
        {"stray 14 EE", frame + "EE", "stray:14"},
        {"corrupt 0", "FF" + frame.substr(2), "corrupt:0"},
        {"corrupt 12 5A", frame.substr(0, 24) + "5A" + frame.substr(26), "corrupt:12"},
    };
    ASSERT_TRUE(sim->ok("frame " + frame));
    ASSERT_EQ(sim->command("fault-log"), "ok");
    for (const auto& c : cases) {
        ASSERT_TRUE(sim->ok(c.command));
        const std::size_t length = c.answer.size() / 2;
        EXPECT_EQ(toHex(request(length)), c.answer) << c.command;
        EXPECT_TRUE(extra().empty()) << c.command;
        EXPECT_EQ(toHex(request(14)), frame) << c.command << ": the next answer is whole";
        const std::string log = sim->command("fault-log");
        const auto colon = log.find(':');
        EXPECT_EQ(log.rfind("ok ", 0), 0u) << log;
        EXPECT_EQ(colon == std::string::npos ? log : log.substr(colon + 1), c.logged) << c.command;
    }
    EXPECT_EQ(sim->command("faults"), "ok faults made=7 lose=2 stray=3 corrupt=2");
}

TEST_F(SimDevice, RandomFaultsKeepTheDeviceAnsweringEveryRequest) {
    ASSERT_TRUE(line.setBaud(115200));
    ASSERT_TRUE(sim->ok("faults 1 5 lose"));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(request(13).size(), 13u) << "answer " << i;
    EXPECT_EQ(sim->command("faults"), "ok faults made=5 lose=5 stray=0 corrupt=0");
    ASSERT_TRUE(sim->ok("faults off"));
    EXPECT_EQ(toHex(request(14)), "FFFF020002000200020002000200");
}

TEST_F(SimDevice, LatencyTimerHoldsTheAnswerThenHandsItOverWhole) {
    // 50 ms after the first byte reached the adapter: all 14 are in by then.
    ASSERT_TRUE(sim->ok("latency 50"));
    const auto start = Clock::now();
    ASSERT_TRUE(line.write(kRequest));
    Bytes first;
    ASSERT_EQ(line.read(1, 2000, first), RawLine::ReadEnd::Complete);
    const double firstMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    Bytes rest;
    ASSERT_EQ(line.read(13, 30, rest), RawLine::ReadEnd::Complete) << "handed over together";
    EXPECT_GE(firstMs, 50.0);
    EXPECT_LE(firstMs, 150.0);
    // Without the timer the first byte comes after one byte time.
    ASSERT_TRUE(sim->ok("latency 0"));
    const auto again = Clock::now();
    ASSERT_TRUE(line.write(kRequest));
    ASSERT_EQ(line.read(1, 2000, first), RawLine::ReadEnd::Complete);
    const double plainMs = std::chrono::duration<double, std::milli>(Clock::now() - again).count();
    EXPECT_LE(plainMs, 40.0);
    line.read(13, 500, rest);
}

}  // namespace

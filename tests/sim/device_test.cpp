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

}  // namespace

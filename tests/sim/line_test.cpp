// The simulator's line and its generic control commands, seen from the
// driver's side of a real pseudo-terminal (through Wine in the Windows build).
#include <gtest/gtest.h>

#include "tests/support/raw_line.h"
#include "tests/support/sim_client.h"

namespace {

using testing_support::RawLine;
using testing_support::SimClient;
using Bytes = std::vector<std::uint8_t>;

class SimLine : public ::testing::Test {
protected:
    void SetUp() override {
        sim = SimClient::fromEnvironment();
        ASSERT_TRUE(sim);
        ASSERT_TRUE(sim->reset());
        ASSERT_TRUE(line.open(sim->portName())) << line.error();
    }

    std::unique_ptr<SimClient> sim;
    RawLine line;
};

TEST_F(SimLine, AttributesShowWhatTheDriverApplied) {
    ASSERT_TRUE(line.setBaud(19200)) << line.error();
    auto attrs = sim->attrs();
    EXPECT_EQ(attrs["baud"], "19200");
    EXPECT_EQ(attrs["csize"], "8");
    EXPECT_EQ(attrs["cstopb"], "0");
    EXPECT_EQ(attrs["parenb"], "0");
    EXPECT_EQ(attrs["crtscts"], "1");
    EXPECT_EQ(attrs["raw"], "1");
    EXPECT_EQ(attrs["icanon"], "0");
    EXPECT_EQ(attrs["echo"], "0");
    EXPECT_EQ(attrs["opost"], "0");

    ASSERT_TRUE(line.setBaud(1200)) << line.error();
    EXPECT_EQ(sim->attrs()["baud"], "1200");
}

TEST_F(SimLine, SettingsOutliveTheDriverClosingThePort) {
    ASSERT_TRUE(line.setBaud(38400)) << line.error();
    line.close();
    EXPECT_EQ(sim->attrs()["baud"], "38400");
    EXPECT_EQ(sim->attrs()["crtscts"], "1");
}

TEST_F(SimLine, PassiveModeCollectsEveryByteAndAnswersNothing) {
    ASSERT_TRUE(sim->ok("mode passive"));
    const Bytes written = {0x55, 0x00, 0xFF, 0x0A, 0x0D, 0x11, 0x13, 0x55};
    ASSERT_TRUE(line.write(written)) << line.error();
    EXPECT_EQ(sim->receivedAtLeast(written.size(), 2000), written);
    EXPECT_TRUE(sim->received().empty()) << "received clears what it returned";

    Bytes answer;
    EXPECT_EQ(line.read(1, 300, answer), RawLine::ReadEnd::TimedOut);
    EXPECT_TRUE(answer.empty());
}

TEST_F(SimLine, SendPutsRawBytesOnTheLine) {
    ASSERT_TRUE(sim->ok("mode passive"));
    const Bytes bytes = {0x00, 0x0D, 0x0A, 0x11, 0x13, 0x7F, 0xFF};
    ASSERT_TRUE(sim->send(bytes));
    Bytes got;
    EXPECT_EQ(line.read(bytes.size(), 2000, got), RawLine::ReadEnd::Complete);
    EXPECT_EQ(got, bytes);
}

TEST_F(SimLine, BadCommandsAreRefusedWithAReason) {
    EXPECT_EQ(sim->command("frobnicate").rfind("error unknown command", 0), 0u);
    EXPECT_EQ(sim->command("send 5").rfind("error usage: send", 0), 0u);
    EXPECT_EQ(sim->command("frame 0102").rfind("error usage: frame", 0), 0u);
    EXPECT_EQ(sim->command("silent -1").rfind("error usage: silent", 0), 0u);
    EXPECT_EQ(sim->command("half-word 7").rfind("error usage: half-word", 0), 0u);
    EXPECT_EQ(sim->command("mode loud").rfind("error usage: mode", 0), 0u);
}

TEST_F(SimLine, HangupFailsTheDriversReadAndReplugBringsThePathBack) {
    ASSERT_TRUE(sim->ok("hangup"));
    Bytes got;
    const auto end = line.read(1, 1200, got);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(end,
              RawLine::kReadSeesHangup ? RawLine::ReadEnd::HungUp : RawLine::ReadEnd::TimedOut);
    EXPECT_FALSE(line.write({0x55})) << "a write to a hung-up line must fail";
    EXPECT_EQ(sim->command("attrs").rfind("error line is hung up", 0), 0u);
    line.close();
    EXPECT_FALSE(line.open(sim->portName())) << "the path leads to the terminal's reused name";

    ASSERT_TRUE(sim->ok("replug"));
    ASSERT_TRUE(line.open(sim->portName())) << line.error();
    ASSERT_TRUE(line.write({0x55}));
    EXPECT_EQ(line.read(14, 2000, got), RawLine::ReadEnd::Complete);
}

TEST_F(SimLine, HangupAfterCutsTheNextAnswerAndThenTakesTheLineDown) {
    ASSERT_TRUE(sim->ok("frame 00FF000003FF03FF000001FF0200"));
    EXPECT_EQ(sim->command("hangup-after 5"), "ok hangup-after=5");
    ASSERT_TRUE(line.write({0x55}));
    Bytes got;
    const auto end = line.read(14, 1500, got);
    // The bytes before the unplug reach the reader; the rest never comes.
    EXPECT_EQ(testing_support::toHex(got), "00FF000003");
    EXPECT_EQ(end,
              RawLine::kReadSeesHangup ? RawLine::ReadEnd::HungUp : RawLine::ReadEnd::TimedOut);
    EXPECT_FALSE(line.write({0x55})) << "a write to a pulled-out line must fail";
    EXPECT_EQ(sim->command("status").rfind("ok line=down", 0), 0u);
    line.close();

    ASSERT_TRUE(sim->ok("replug"));
    ASSERT_TRUE(line.open(sim->portName())) << line.error();
    ASSERT_TRUE(line.write({0x55}));
    EXPECT_EQ(line.read(14, 2000, got), RawLine::ReadEnd::Complete);
    EXPECT_EQ(testing_support::toHex(got), "00FF000003FF03FF000001FF0200");
}

}  // namespace

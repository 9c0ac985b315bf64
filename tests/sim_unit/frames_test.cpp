// The simulator's pure parts: frame layout, frame sources, scripts, pacing.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "sim/frame.h"
#include "sim/frame_source.h"
#include "sim/hex.h"
#include "sim/pacer.h"
#include "sim/pallador_model.h"
#include "sim/script.h"

namespace {

using sim::Frame;
using sim::FrameSource;

std::string hexOf(const Frame& frame) {
    return sim::toHex(frame.data(), frame.size());
}

TEST(SimFrame, ButtonsAreActiveLowWithButtonOneInBitZeroOfTheFirstByte) {
    std::uint16_t word = sim::kAllReleased;
    for (int button = 1; button <= 8; ++button) word = sim::pressButton(word, button);
    EXPECT_EQ(word, 0x00FF);
    EXPECT_EQ(sim::pressButton(sim::kAllReleased, 9), 0xFFFE);
    EXPECT_EQ(sim::pressButton(sim::kAllReleased, 12), 0xFFF7);
    EXPECT_EQ(sim::pressButton(sim::kAllReleased, 13), sim::kAllReleased);
    EXPECT_EQ(hexOf(sim::encodeFrame(0x00FF, {0, 1023, 1023, 0, 511, 512})),
              "00FF000003FF03FF000001FF0200");
}

TEST(SimFrameSource, RestIsReleasedAndCentred) {
    FrameSource source;
    EXPECT_EQ(hexOf(source.next(0)), "FFFF020002000200020002000200");
}

TEST(SimFrameSource, FreshFramesAllDifferFromTheirPredecessor) {
    FrameSource source;
    source.fresh();
    Frame previous = source.next(0);
    EXPECT_EQ(sim::wordOf(previous, 1), 0);
    for (int i = 1; i < 2100; ++i) {
        const Frame frame = source.next(0);
        ASSERT_NE(frame, previous) << "frame " << i;
        ASSERT_EQ(sim::wordOf(frame, 1), i % 1024) << "frame " << i;
        previous = frame;
    }
}

TEST(SimFrameSource, SweepStaysInRangeMovesAndPressesButtons) {
    FrameSource source;
    source.sweep(0);
    std::set<std::uint16_t> buttonWords;
    std::set<std::uint16_t> valuator1;
    for (std::int64_t t = 0; t < 24'000'000; t += 20'000) {
        const Frame frame = source.next(t);
        buttonWords.insert(sim::wordOf(frame, 0));
        valuator1.insert(sim::wordOf(frame, 1));
        for (std::size_t word = 1; word < sim::kFrameWords; ++word) {
            ASSERT_LE(sim::wordOf(frame, word), sim::kValuatorMax);
        }
    }
    EXPECT_TRUE(buttonWords.count(sim::kAllReleased));
    EXPECT_GE(buttonWords.size(), 13u) << "every button gets its turn";
    // It swings over the whole range.
    EXPECT_LT(*valuator1.begin(), 10);
    EXPECT_GT(*valuator1.rbegin(), 1013);
}

TEST(SimFrameSource, AnImperfectDeviceRestsOffCentreSweepsItsOwnTravelAndWanders) {
    FrameSource source;
    source.setRestPoints({530, 490, 512, 505, 520, 480});
    source.setTravel({40, 10, 0, 100, 60, 20}, {990, 1000, 1023, 900, 1010, 1013});
    EXPECT_EQ(hexOf(source.next(0)), "FFFF021201EA020001F9020801E0");

    source.sweep(0);
    std::array<std::set<std::uint16_t>, 6> seen;
    for (std::int64_t t = 0; t < 10'000'000; t += 1'000) {
        const Frame frame = source.next(t);
        for (std::size_t i = 0; i < seen.size(); ++i) seen[i].insert(sim::wordOf(frame, i + 1));
    }
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const sim::Channel& channel = source.channels()[i];
        EXPECT_EQ(*seen[i].begin(), channel.low) << "valuator " << i + 1;
        EXPECT_EQ(*seen[i].rbegin(), channel.high) << "valuator " << i + 1;
    }

    // At rest the readings wander within the noise, the same way for the same seed.
    source.rest();
    source.setNoise({2, 0, 1, 3, 2, 2}, 7);
    std::array<std::set<int>, 6> offsets;
    std::vector<Frame> first;
    for (int n = 0; n < 2000; ++n) {
        first.push_back(source.next(0));
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            offsets[i].insert(sim::wordOf(first.back(), i + 1) - source.channels()[i].rest);
        }
    }
    const std::array<std::set<int>, 6> expected = {{{-2, -1, 0, 1, 2},
                                                    {0},
                                                    {-1, 0, 1},
                                                    {-3, -2, -1, 0, 1, 2, 3},
                                                    {-2, -1, 0, 1, 2},
                                                    {-2, -1, 0, 1, 2}}};
    EXPECT_EQ(offsets, expected);
    source.setNoise({2, 0, 1, 3, 2, 2}, 7);
    for (std::size_t n = 0; n < first.size(); ++n) ASSERT_EQ(source.next(0), first[n]) << n;
    source.resetChannels();
    EXPECT_EQ(hexOf(source.next(0)), "FFFF020002000200020002000200");
}

TEST(SimScript, FramesRepeatAndTheScriptStartsOver) {
    std::istringstream text(
        "# two frames\n"
        "\n"
        "FF FF 00 01 00 02 00 03 00 04 00 05 00 06 * 2\n"
        "  00FF000003FF03FF000001FF0200\r\n");
    const sim::ParsedScript script = sim::parseScript(text);
    ASSERT_EQ(script.error, "");
    ASSERT_EQ(script.entries.size(), 2u);
    EXPECT_EQ(script.entries[0].repeat, 2u);

    FrameSource source;
    source.script(script.entries);
    EXPECT_EQ(hexOf(source.next(0)), "FFFF000100020003000400050006");
    EXPECT_EQ(hexOf(source.next(0)), "FFFF000100020003000400050006");
    EXPECT_EQ(hexOf(source.next(0)), "00FF000003FF03FF000001FF0200");
    EXPECT_EQ(hexOf(source.next(0)), "FFFF000100020003000400050006");
}

TEST(SimScript, ErrorsNameTheLine) {
    std::istringstream shortFrame("FFFF0200020002000200020002000200\n# ok\nFFFF02\n");
    EXPECT_EQ(sim::parseScript(shortFrame).error, "line 1: a frame is 14 bytes in hex");
    std::istringstream zeroRepeat("# x\nFFFF020002000200020002000200 * 0\n");
    EXPECT_EQ(sim::parseScript(zeroRepeat).error, "line 2: repeat count must be a number from 1");
    std::istringstream empty("# nothing\n");
    EXPECT_EQ(sim::parseScript(empty).error, "no frames");
}

TEST(SimHex, HalfBytesAndStrayCharactersAreRefused) {
    EXPECT_EQ(sim::fromHex("0a 0B"), (std::vector<std::uint8_t>{0x0A, 0x0B}));
    EXPECT_FALSE(sim::fromHex("0a0"));
    EXPECT_FALSE(sim::fromHex("0 a"));
    EXPECT_FALSE(sim::fromHex("0x"));
}

TEST(SimPacer, AFrameTakesTenBitTimesPerByte) {
    sim::Pacer pacer;
    const std::vector<std::uint8_t> frame(14, 0xAA);
    pacer.schedule(frame, 9600, 1'000'000, 13, 7);
    EXPECT_EQ(pacer.nextDue(), 1'000'000 + 1042);
    EXPECT_TRUE(pacer.takeDue(1'000'000 + 1041).empty());
    const auto all = pacer.takeDue(2'000'000);
    ASSERT_EQ(all.size(), 14u);
    EXPECT_EQ(all.back().due, 1'000'000 + 14583);
    EXPECT_TRUE(all.back().endsFrame);
    EXPECT_EQ(all.back().valuator1, 7);
    EXPECT_FALSE(all.front().endsFrame);
}

TEST(SimPacer, BurstsHandBytesOverWithTheLastOfTheirGroup) {
    sim::Pacer pacer;
    pacer.setBurst(8);
    const std::vector<std::uint8_t> frame(14, 0x55);
    pacer.schedule(frame, 9600, 1'000'000, 13, 0);
    // Bytes 1 to 8 with the eighth, 9 to 14 with the frame's last.
    EXPECT_EQ(pacer.nextDue(), 1'000'000 + 8333);
    EXPECT_EQ(pacer.takeDue(1'000'000 + 8332).size(), 0u);
    EXPECT_EQ(pacer.takeDue(1'000'000 + 8333).size(), 8u);
    EXPECT_EQ(pacer.takeDue(1'000'000 + 14582).size(), 0u);
    const auto rest = pacer.takeDue(1'000'000 + 14583);
    ASSERT_EQ(rest.size(), 6u);
    EXPECT_TRUE(rest.back().endsFrame);
    // A whole frame at once, ending when it would have byte by byte.
    pacer.setBurst(14);
    pacer.schedule(frame, 115200, 5'000'000, 13, 0);
    EXPECT_EQ(pacer.nextDue(), 5'000'000 + 1215);
    EXPECT_EQ(pacer.takeDue(5'000'000 + 1215).size(), 14u);
}

TEST(SimPacer, BackToBackFramesDoNotDriftWithLateWakeUps) {
    sim::Pacer pacer;
    const std::vector<std::uint8_t> frame(14, 0);
    pacer.schedule(frame, 9600, 0, 13, 0);
    const std::int64_t end = pacer.takeDue(1'000'000).back().due;
    // Woken 300 us late, the next frame still starts where the last ended.
    pacer.schedule(frame, 9600, end + 300, 13, 0);
    EXPECT_EQ(pacer.nextDue(), end + 1042);
    pacer.clear();
    // After a pause the line starts afresh.
    pacer.schedule(frame, 115200, 5'000'000, 13, 0);
    EXPECT_EQ(pacer.nextDue(), 5'000'000 + 87);
}

TEST(SimModel, UnplugCutsTheNextAnswerAndMarksItsLastByte) {
    sim::PalladorModel model;
    sim::Pacer pacer;
    const std::uint8_t request = sim::kRequestByte;
    model.unplugAfterNext(5);
    model.received(&request, 1, 0);
    model.service(0, 9600, pacer);
    const auto cut = pacer.takeDue(1'000'000);
    ASSERT_EQ(cut.size(), 5u);
    for (std::size_t i = 0; i < cut.size(); ++i) {
        EXPECT_EQ(cut[i].unplugsLine, i == 4) << "byte " << i;
        EXPECT_FALSE(cut[i].endsFrame) << "a cut frame is no frame";
    }
    // One answer only: the next is whole again.
    model.received(&request, 1, 0);
    model.service(2'000'000, 9600, pacer);
    const auto whole = pacer.takeDue(3'000'000);
    ASSERT_EQ(whole.size(), 14u);
    EXPECT_TRUE(whole.back().endsFrame);
    EXPECT_FALSE(whole.back().unplugsLine);

    // Unplugging after a whole frame still stamps it.
    model.unplugAfterNext(14);
    model.received(&request, 1, 0);
    model.service(4'000'000, 9600, pacer);
    const auto last = pacer.takeDue(5'000'000);
    ASSERT_EQ(last.size(), 14u);
    EXPECT_TRUE(last.back().endsFrame);
    EXPECT_TRUE(last.back().unplugsLine);
}

}  // namespace

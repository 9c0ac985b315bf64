// Line faults in the device's answers and the adapter's latency timer: what
// reaches the line, where the frame's end lies, and when the bytes go.
#include <gtest/gtest.h>

#include <set>

#include "sim/hex.h"
#include "sim/pacer.h"
#include "sim/pallador_model.h"

namespace {

using sim::FaultKind;
using sim::LineFault;

const sim::Frame kCounting = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                              0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D};

TEST(SimLineFaults, EachFaultChangesTheNextAnswerAndIsLoggedAtItsByte) {
    struct Case {
        LineFault fault;
        const char* answer;
        std::size_t frameEnd;  // index of the byte stamped as the frame's last
        const char* logged;    // T at 9600 baud from a line start at 0
    };
    const Case cases[] = {
        {{FaultKind::Lose, 0, {}}, "0102030405060708090A0B0C0D", 12, "1042:lose:0"},
        {{FaultKind::Lose, 13, {}}, "000102030405060708090A0B0C", 12, "14583:lose:13"},
        {{FaultKind::Stray, 0, {0xAA}}, "AA000102030405060708090A0B0C0D", 14, "1042:stray:0"},
        {{FaultKind::Stray, 5, {0x55, 0xEE}},
         "000102030455EE05060708090A0B0C0D",
         15,
         "6250:stray:5"},
        {{FaultKind::Stray, 14, {0xFF}}, "000102030405060708090A0B0C0DFF", 13, "15625:stray:14"},
        {{FaultKind::Corrupt, 1, {}}, "00FE02030405060708090A0B0C0D", 13, "2083:corrupt:1"},
        {{FaultKind::Corrupt, 13, {0x7F}}, "000102030405060708090A0B0C7F", 13, "14583:corrupt:13"},
    };
    for (const Case& c : cases) {
        sim::PalladorModel model;
        sim::Pacer pacer;
        model.source().fixed(kCounting);
        model.faults().setNext(c.fault);
        const std::uint8_t request = sim::kRequestByte;
        for (int answer = 0; answer < 2; ++answer) {
            model.received(&request, 1, 0);
            model.service(0, 9600, pacer);
        }
        std::vector<std::uint8_t> bytes;
        std::optional<std::size_t> frameEnd;
        for (const sim::ScheduledByte& byte : pacer.takeDue(1'000'000)) {
            if (byte.endsFrame && !frameEnd) frameEnd = bytes.size();
            bytes.push_back(byte.value);
        }
        const std::string text = sim::toHex(bytes);
        EXPECT_EQ(text, c.answer + sim::toHex(kCounting.data(), 14)) << c.logged << ": once only";
        EXPECT_EQ(frameEnd, c.frameEnd) << c.logged;
        EXPECT_EQ(model.faults().takeLog(), c.logged);
        EXPECT_EQ(model.faults().takeLog(), "") << "the log clears when read";
    }
}

TEST(SimLineFaults, RandomFaultsFollowTheSeedTheRateAndTheKinds) {
    const auto draw = [](std::uint32_t rate, std::uint32_t seed, std::vector<FaultKind> kinds) {
        sim::LineFaults faults;
        faults.setRandom(rate, seed, std::move(kinds));
        std::vector<std::optional<LineFault>> drawn;
        for (int i = 0; i < 10000; ++i) drawn.push_back(faults.take(14));
        return drawn;
    };
    const auto first = draw(10, 42, {FaultKind::Lose, FaultKind::Stray});
    const auto again = draw(10, 42, {FaultKind::Lose, FaultKind::Stray});
    std::size_t made = 0;
    std::set<std::size_t> strayPositions;
    std::set<int> kinds;
    for (std::size_t i = 0; i < first.size(); ++i) {
        ASSERT_EQ(first[i].has_value(), again[i].has_value()) << "answer " << i;
        if (!first[i]) continue;
        ++made;
        const LineFault& fault = *first[i];
        EXPECT_EQ(fault.position, again[i]->position);
        EXPECT_EQ(fault.bytes, again[i]->bytes);
        kinds.insert(static_cast<int>(fault.kind));
        if (fault.kind == FaultKind::Lose) {
            EXPECT_LE(fault.position, 13u);
        }
        if (fault.kind == FaultKind::Stray) {
            EXPECT_EQ(fault.bytes.size(), 1u);
            strayPositions.insert(fault.position);
        }
    }
    EXPECT_GT(made, 850u);
    EXPECT_LT(made, 1150u);
    EXPECT_EQ(kinds, (std::set<int>{0, 1}));
    EXPECT_EQ(strayPositions.size(), 15u) << "a stray may go before any byte or after the last";

    const auto corruptOnly = draw(1, 7, {FaultKind::Corrupt});
    for (const auto& fault : corruptOnly) {
        ASSERT_TRUE(fault);
        EXPECT_EQ(fault->kind, FaultKind::Corrupt);
        EXPECT_TRUE(fault->bytes.empty()) << "a random corruption inverts the byte";
    }
    EXPECT_FALSE(draw(0, 42, {FaultKind::Lose})[0]);
}

TEST(SimPacer, LatencyTimerHoldsBytesUntilItRunsOutOrAPacketFills) {
    sim::Pacer pacer;
    pacer.setLatency(16);
    const std::vector<std::uint8_t> frame(14, 0xAA);
    pacer.schedule(frame, 9600, 0, 13, 0);
    // The timer starts with the first byte in, 1042 us after the start.
    EXPECT_EQ(pacer.nextDue(), 17042);
    EXPECT_TRUE(pacer.takeDue(17041).empty());
    EXPECT_EQ(pacer.takeDue(17042).size(), 14u);

    // Five frames' worth at 115200: a full packet of 62 goes before the
    // timer, the rest 255 ms after its own first byte came.
    pacer.setLatency(255);
    const std::int64_t start = 1'000'000;
    pacer.schedule(std::vector<std::uint8_t>(70, 0xAA), 115200, start, -1, 0);
    EXPECT_EQ(pacer.nextDue(), sim::Pacer::crossedAt(start, 115200, 62));
    EXPECT_EQ(pacer.takeDue(start + 10'000).size(), 62u);
    const std::int64_t restIn = sim::Pacer::crossedAt(start, 115200, 63);
    EXPECT_EQ(pacer.nextDue(), restIn + 255'000);
    EXPECT_EQ(pacer.takeDue(restIn + 255'000).size(), 8u);

    // With bursts the timer starts when the first group is in.
    pacer.setBurst(8);
    pacer.setLatency(1);
    pacer.schedule(frame, 9600, 5'000'000, 13, 0);
    EXPECT_EQ(pacer.nextDue(), 5'000'000 + 8333 + 1000);
    EXPECT_EQ(pacer.takeDue(5'000'000 + 8333 + 1000).size(), 8u);
}

}  // namespace

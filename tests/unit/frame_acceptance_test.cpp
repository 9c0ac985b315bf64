// Which frames the receive cycle may publish, and how long it waits for the
// line at each speed.
#include "device/frame_acceptance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using Verdict = FrameAcceptance::Verdict;

enum class Fault { none, lose, stray, reported };

struct Device {
    const char* name;
    std::uint8_t unusedBits;
    bool atRest;  // each valuator at a point 0..3 mod 256, with noise
};

frame::Bytes drawFrame(const Device& device, std::mt19937& random, const int (&rest)[6]) {
    frame::Bytes bytes{};
    bytes[0] = static_cast<std::uint8_t>(random());
    bytes[1] = static_cast<std::uint8_t>(device.unusedBits | (random() & 0x0F));
    for (int n = 0; n < 6; ++n) {
        const int noise = static_cast<int>(random() % 5) - 2;
        const int value = device.atRest ? std::clamp(rest[n] + noise, 0, 1023)
                                        : static_cast<int>(random() % 1024);
        bytes[2 + 2 * n] = static_cast<std::uint8_t>(value >> 8);
        bytes[3 + 2 * n] = static_cast<std::uint8_t>(value);
    }
    return bytes;
}

// The line as a reader sees it: the device's frames back to back, one fault
// in frame `faulty`, and where each of the device's frames begins. The reader
// is the receive cycle's framing over that line: the early request keeps the
// next frame coming; a held frame's successor is read quiet, and is proved
// when the line ends there (nothing asked for after it); a frame found out
// of step costs the frames asked for, and a fresh one starts in step.
struct Line {
    std::vector<std::uint8_t> bytes;
    std::vector<bool> reported;
    std::vector<std::size_t> starts;
};

Line lineOf(const std::vector<frame::Bytes>& frames, int faulty, Fault fault, int at, int value) {
    Line line;
    for (int k = 0; k < static_cast<int>(frames.size()); ++k) {
        line.starts.push_back(line.bytes.size());
        for (int i = 0; i <= frame::kBytes; ++i) {
            if (k == faulty && i == at && fault == Fault::stray) {
                line.bytes.push_back(static_cast<std::uint8_t>(value));
                line.reported.push_back(false);
            }
            if (i == frame::kBytes || (k == faulty && i == at && fault == Fault::lose)) continue;
            const bool spoilt = k == faulty && i == at && fault == Fault::reported;
            line.bytes.push_back(static_cast<std::uint8_t>(frames[k][i] ^ (spoilt ? 0xA5 : 0)));
            line.reported.push_back(spoilt);
        }
    }
    return line;
}

bool reportedIn(const Line& line, std::size_t from, std::size_t count) {
    const auto first = line.reported.begin() + static_cast<std::ptrdiff_t>(from);
    return std::find(first, first + static_cast<std::ptrdiff_t>(count), true) !=
           first + static_cast<std::ptrdiff_t>(count);
}

// Every frame published, in order, until the frames run out.
std::vector<frame::Bytes> readLine(const Line& line, const frame::Bytes& detected, int& held) {
    FrameAcceptance acceptance;
    acceptance.restartAfterDetection(detected);
    const auto look = static_cast<std::size_t>(acceptance.lookAheadBytes());
    std::vector<frame::Bytes> published;
    std::size_t k = 1;
    for (std::size_t at = line.starts[1]; k + 2 < line.starts.size();) {
        frame::Bytes bytes{};
        std::copy_n(line.bytes.begin() + at, frame::kBytes, bytes.begin());
        const Verdict verdict = acceptance.judge(bytes, &line.bytes[at + frame::kBytes],
                                                 reportedIn(line, at, frame::kBytes + look));
        if (verdict == Verdict::publish) {
            published.push_back(bytes);
            at += frame::kBytes;
            ++k;
            continue;
        }
        held += verdict == Verdict::hold ? 1 : 0;
        if (verdict == Verdict::hold && at + 2 * frame::kBytes == line.starts[k + 2] &&
            !reportedIn(line, at + frame::kBytes, frame::kBytes)) {
            frame::Bytes quiet{};
            std::copy_n(line.bytes.begin() + at + frame::kBytes, frame::kBytes, quiet.begin());
            acceptance.quietFrameProved(quiet);
            published.push_back(bytes);
            published.push_back(quiet);
        } else {
            acceptance.restartAfterResync();
        }
        k += 2;
        at = line.starts[k];
    }
    return published;
}

TEST(FrameAcceptance, NoPublishedFrameDiffersFromOneTheDeviceSentAndACleanLineLosesNone) {
    const Device devices[] = {{"moving, unused bits set", 0xF0, false},
                              {"moving, unused bits clear", 0x00, false},
                              {"at rest, unused bits set", 0xF0, true},
                              {"at rest, unused bits clear", 0x00, true}};
    struct Faults {
        Fault fault;
        int positions;
        int values;
    };
    const Faults faults[] = {{Fault::none, 1, 256},
                             {Fault::lose, frame::kBytes, 1},
                             {Fault::stray, frame::kBytes + 1, 256},
                             {Fault::reported, frame::kBytes, 1}};
    std::mt19937 random(26);
    for (const Device& device : devices) {
        int cases = 0;
        int cleanHeld = 0;
        for (const Faults& kind : faults) {
            for (int at = 0; at < kind.positions; ++at) {
                for (int value = 0; value < kind.values; ++value, ++cases) {
                    int rest[6];
                    for (int& point : rest) point = static_cast<int>(random() % 4) * 256 + 2;
                    std::vector<frame::Bytes> frames;
                    for (int k = 0; k < 8; ++k) frames.push_back(drawFrame(device, random, rest));
                    const int faulty = 2 + static_cast<int>(random() % 3);
                    const Line line = lineOf(frames, faulty, kind.fault, at, value);
                    int held = 0;
                    const std::vector<frame::Bytes> published = readLine(line, frames[0], held);
                    const std::string where =
                        std::string(device.name) + ", fault " +
                        std::to_string(static_cast<int>(kind.fault)) + " at " + std::to_string(at) +
                        " of frame " + std::to_string(faulty) + ", value " + std::to_string(value);
                    for (const frame::Bytes& bytes : published) {
                        ASSERT_NE(std::find(frames.begin(), frames.end(), bytes), frames.end())
                            << where;
                    }
                    if (kind.fault == Fault::none) {
                        // Every frame the reader reached, in its order.
                        ASSERT_EQ(published,
                                  std::vector<frame::Bytes>(frames.begin() + 1,
                                                            frames.begin() + 1 + published.size()))
                            << where;
                        ASSERT_GE(published.size(), frames.size() - 3) << where;
                        cleanHeld += held;
                    }
                }
            }
        }
        std::printf("%s: %d lines, frames held on the clean ones: %d\n", device.name, cases,
                    cleanHeld);
    }
}

TEST(LineTiming, WaitsCoverTheirBytesAndTheAnswerTimeAtTheLineSpeed) {
    struct Row {
        const char* what;
        std::int32_t baud;
        std::int64_t readFrom, wordIn;  // after the request, microseconds
        std::uint32_t quietRest, strayWait, drainGap;
    };
    const Row rows[] = {
        {"slowest", 1200, 0, 0, 284, 18, 45},
        {"9600", 9600, 0, 0, 80, 4, 24},
        {"fastest", 115200, 0, 0, 53, 2, 21},
        {"no speed set", 0, 0, 0, 80, 4, 24},
        // the word's own two characters are not answer time
        {"5 ms to answer", 9600, 0, 7082, 80, 9, 29},
        {"behind a 16 ms latency timer", 115200, 0, 16300, 53, 19, 38},
        // the word was in before the read began: its time tells nothing
        {"a host that called late", 9600, 40000, 40100, 80, 4, 24},
    };
    for (const Row& row : rows) {
        LineTiming timing(row.baud);
        timing.answerSeen(1000, 1000 + row.readFrom, 1000 + row.wordIn);
        EXPECT_EQ(timing.quietRestMilliseconds(), row.quietRest) << row.what;
        EXPECT_EQ(timing.strayWaitMilliseconds(), row.strayWait) << row.what;
        EXPECT_EQ(timing.drainGapMilliseconds(), row.drainGap) << row.what;
    }
    // One late answer (or a late wake-up of ours) wears off again.
    LineTiming timing(9600);
    timing.answerSeen(0, 0, 22082);
    EXPECT_EQ(timing.strayWaitMilliseconds(), 24u);
    for (int n = 0; n < 30; ++n) {
        timing.answerSeen(0, 0, 2082);
    }
    EXPECT_EQ(timing.strayWaitMilliseconds(), 5u);
}

}  // namespace

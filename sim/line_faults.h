// Faults of the line between the device and the driver, made in the device's
// answers: a byte lost, stray bytes slipped in, a byte corrupted. One at a
// time on demand, or at random for long runs; each fault made is counted and
// logged with the moment its byte crossed (or would have crossed) the line.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace sim {

enum class FaultKind { Lose, Stray, Corrupt };

struct LineFault {
    FaultKind kind = FaultKind::Lose;
    // Lose, corrupt: the byte's index in the answer; stray: how many of the
    // answer's bytes go out before the stray ones.
    std::size_t position = 0;
    // Stray: the bytes slipped in. Corrupt: the replacement, or none for the
    // byte with its bits inverted.
    std::vector<std::uint8_t> bytes;
};

const char* faultKindName(FaultKind kind);
std::optional<FaultKind> parseFaultKind(const std::string& name);

// Applies the fault to an answer. False (answer untouched) when the answer
// is too short to hold the fault's position.
bool applyFault(const LineFault& fault, std::vector<std::uint8_t>& answer);

class LineFaults {
public:
    struct Entry {
        std::int64_t at;  // monotonic microseconds
        FaultKind kind;
        std::size_t position;
    };

    // The next answer gets this fault; it replaces one still pending.
    void setNext(LineFault fault) { next_ = std::move(fault); }
    // Every answer gets a fault with probability 1/rate (0: never), of a kind
    // drawn from `kinds`; the same seed gives the same faults.
    void setRandom(std::uint32_t rate, std::uint32_t seed, std::vector<FaultKind> kinds);
    std::uint32_t rate() const { return rate_; }

    // The fault for an answer of `length` bytes, if it gets one: the pending
    // one first, otherwise maybe a random one.
    std::optional<LineFault> take(std::size_t length);
    // Counts the fault and logs it with the moment of its byte.
    void made(const LineFault& fault, std::int64_t at);

    std::string counts() const;
    // "T:KIND:POS ..." of the faults made since the last call, which clears them.
    std::string takeLog();
    // "faults=off", or "faults=1/RATE fault-seed=SEED fault-kinds=KINDS".
    std::string randomMode() const;
    // The pending fault ("fault=KIND:POS[:HEX] "), then the random mode.
    std::string describe() const;
    // Nothing pending, no random mode, counts and log cleared.
    void reset();

private:
    std::optional<LineFault> next_;
    std::uint32_t rate_ = 0;
    std::uint32_t seed_ = 0;
    std::vector<FaultKind> kinds_;
    std::mt19937 random_;
    std::uint64_t made_[3] = {0, 0, 0};
    std::vector<Entry> log_;
};

}  // namespace sim

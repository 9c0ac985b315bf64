#include "bench/sim_control.h"

#include <cstdlib>

#include "bench/bench_host.h"

namespace {

constexpr int kReplyTimeoutMs = 10000;

}  // namespace

SimControl::SimControl(const std::string& address) {
    const auto colon = address.rfind(':');
    if (colon == std::string::npos) {
        return;
    }
    std::string error;
    socket_ = testing_support::connectTcp(
        address.substr(0, colon),
        static_cast<std::uint16_t>(std::atoi(address.c_str() + colon + 1)), error);
}

SimControl::~SimControl() {
    testing_support::closeSocket(socket_);
}

std::string SimControl::command(const std::string& line) {
    if (!connected()) {
        return {};
    }
    const std::string out = line + "\n";
    if (!testing_support::sendAll(socket_, out.data(), out.size())) {
        return {};
    }
    for (;;) {
        const auto end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string reply = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!reply.empty() && reply.back() == '\r') {
                reply.pop_back();
            }
            return reply;
        }
        char buffer[65536];
        const int got =
            testing_support::receiveSome(socket_, buffer, sizeof buffer, kReplyTimeoutMs);
        if (got <= 0) {
            return {};
        }
        pending_.append(buffer, static_cast<std::size_t>(got));
    }
}

namespace {

// Our wall clock minus our monotonic clock, from the closest of several
// pairs of monotonic readings around a wall-clock reading.
bool ourWallMinusMonotonic(std::int64_t& difference) {
    std::int64_t closest = -1;
    for (int i = 0; i < 50; ++i) {
        std::int64_t wall = 0;
        const std::int64_t before = bench::monotonicMicroseconds();
        if (!bench::wallClockMicroseconds(wall)) {
            return false;
        }
        const std::int64_t after = bench::monotonicMicroseconds();
        if (closest < 0 || after - before < closest) {
            closest = after - before;
            difference = wall - (before + (after - before) / 2);
        }
    }
    return true;
}

}  // namespace

ClockOffset measureClockOffset(SimControl& sim, int exchanges) {
    ClockOffset best;
    std::int64_t theirWallMinusMonotonic = 0;
    for (int i = 0; i < exchanges; ++i) {
        const std::int64_t sent = bench::monotonicMicroseconds();
        const std::string reply = sim.command("clock");
        const std::int64_t back = bench::monotonicMicroseconds();
        char* end = nullptr;
        const std::int64_t monotonic =
            reply.rfind("ok ", 0) == 0 ? std::strtoll(reply.c_str() + 3, &end, 10) : 0;
        const std::int64_t wall = end != nullptr ? std::strtoll(end, nullptr, 10) : 0;
        if (end == nullptr || wall == 0) {
            return {};
        }
        const std::int64_t roundTrip = back - sent;
        if (!best.valid || roundTrip < best.roundTripMicroseconds) {
            best.valid = true;
            best.roundTripMicroseconds = roundTrip;
            best.timedMicroseconds = monotonic - (sent + roundTrip / 2);
            theirWallMinusMonotonic = wall - monotonic;
        }
    }
    std::int64_t ours = 0;
    best.throughWallClock = best.valid && ourWallMinusMonotonic(ours);
    best.microseconds =
        best.throughWallClock ? ours - theirWallMinusMonotonic : best.timedMicroseconds;
    return best;
}

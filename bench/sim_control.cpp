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

ClockOffset measureClockOffset(SimControl& sim, int exchanges) {
    ClockOffset best;
    for (int i = 0; i < exchanges; ++i) {
        const std::int64_t sent = bench::monotonicMicroseconds();
        const std::string reply = sim.command("clock");
        const std::int64_t back = bench::monotonicMicroseconds();
        if (reply.rfind("ok ", 0) != 0) {
            return {};
        }
        const std::int64_t theirs = std::strtoll(reply.c_str() + 3, nullptr, 10);
        const std::int64_t roundTrip = back - sent;
        if (!best.valid || roundTrip < best.roundTripMicroseconds) {
            best.valid = true;
            best.roundTripMicroseconds = roundTrip;
            best.microseconds = theirs - (sent + roundTrip / 2);
        }
    }
    return best;
}

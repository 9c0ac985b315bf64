// The benchmarks' hold on the device simulator's control channel: one TCP
// connection, one command line out and one reply line back.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/socket.h"

class SimControl {
public:
    // Connects to "HOST:PORT"; connected() tells whether it worked.
    explicit SimControl(const std::string& address);
    ~SimControl();
    SimControl(const SimControl&) = delete;
    SimControl& operator=(const SimControl&) = delete;

    bool connected() const { return socket_ != testing_support::kNoSocket; }
    // The reply line without its end of line; empty when the channel failed.
    std::string command(const std::string& line);

private:
    testing_support::SocketHandle socket_ = testing_support::kNoSocket;
    std::string pending_;
};

// The simulator's clock (CLOCK_MONOTONIC) minus ours, from the "clock"
// command, found two ways. Through the wall clock: the simulator reads its
// two clocks together, and so do we, closely; this is the one used where
// the wall clock has microseconds. By timing the exchanges: of many, the one
// with the shortest round trip, its reply taken as read half-way through;
// the true offset lies within half that round trip of it, which checks the
// first.
struct ClockOffset {
    bool valid = false;
    bool throughWallClock = false;
    std::int64_t microseconds = 0;
    std::int64_t timedMicroseconds = 0;
    std::int64_t roundTripMicroseconds = 0;
};

ClockOffset measureClockOffset(SimControl& sim, int exchanges);

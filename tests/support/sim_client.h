// The test side of the device simulator's control channel. The wrapper that
// starts the simulator (tests/with_sim.sh) exports where it listens
// (PALLADOR_SIM_CONTROL, "127.0.0.1:PORT") and the name under which the
// driver opens the line (PALLADOR_SIM_PORT: COM7 under Wine, a path natively).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/socket.h"

namespace testing_support {

class SimClient {
public:
    struct Stamp {
        std::int64_t microseconds;  // CLOCK_MONOTONIC when the frame's last byte was written
        int valuator1;
    };

    // Null, with a test failure saying why, when the variables are missing
    // or the simulator does not answer.
    static std::unique_ptr<SimClient> fromEnvironment();

    ~SimClient();
    SimClient(const SimClient&) = delete;
    SimClient& operator=(const SimClient&) = delete;

    const std::string& portName() const { return portName_; }

    // Sends one command line and returns the one reply line, or
    // "error no reply from the simulator" after a time-out.
    std::string command(const std::string& line);
    // The command, with a test failure when the reply is not "ok ...".
    bool ok(const std::string& line);

    // Back to a device at rest answering every request, nothing pending.
    bool reset() { return ok("reset"); }
    // "attrs" as field -> value (empty when the line is down).
    std::map<std::string, std::string> attrs();
    bool send(const std::vector<std::uint8_t>& bytes);
    // Bytes the driver wrote since the last call.
    std::vector<std::uint8_t> received();
    // Collects received bytes until at least `count` came or the time-out
    // passed; the pseudo-terminal hands bytes over a little late.
    std::vector<std::uint8_t> receivedAtLeast(std::size_t count, int timeoutMs);
    std::vector<Stamp> stamps();

private:
    SimClient(SocketHandle socket, std::string portName);

    SocketHandle socket_;
    std::string portName_;
    std::string pending_;
};

// Frames and request bytes written as the control channel writes them.
std::string toHex(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> fromHex(const std::string& text);

}  // namespace testing_support

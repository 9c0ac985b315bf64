// The test's own end of a serial line, opened straight through the system
// (POSIX on Linux, Win32 under Wine) and kept minimal: enough to talk to the
// simulator without the driver's port class.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class RawLine {
public:
    enum class ReadEnd {
        Complete,  // every byte asked for arrived
        TimedOut,  // the deadline passed first
        HungUp,    // the line reported a hang-up or an error
    };

    // Linux reads a hung-up terminal as end of file; Wine's ReadFile just
    // times out (its WriteFile fails, as everywhere).
    static const bool kReadSeesHangup;

    RawLine() = default;
    ~RawLine();
    RawLine(const RawLine&) = delete;
    RawLine& operator=(const RawLine&) = delete;

    // Opens the port and sets it raw, 8 data bits, 1 stop bit, no parity,
    // RTS/CTS handshake, at `baud`. False with error().
    bool open(const std::string& name, unsigned baud = 9600);
    void close();
    bool isOpen() const;
    bool setBaud(unsigned baud);

    bool write(const std::vector<std::uint8_t>& bytes);
    // Reads until `count` bytes arrived or timeoutMs passed; `bytes` holds
    // what arrived.
    ReadEnd read(std::size_t count, int timeoutMs, std::vector<std::uint8_t>& bytes);

    const std::string& error() const { return error_; }

private:
    std::intptr_t handle_ = -1;
    std::string error_;
};

}  // namespace testing_support

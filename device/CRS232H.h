// The device's serial port: one object per open RS-232 line. It keeps the
// settings the line had when it was opened and puts them back on close, lets
// its owner prepare new settings in a working copy, and reads and writes
// synchronously. Every system failure is reported with the system's text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/platform.h"
#include "support/CMessageH.h"

using PortAttributes = platform::PortAttributes;

class CRS232H {
public:
    static constexpr std::size_t kMaxPortNameLength = 255;
    static constexpr std::int32_t kDebugThreshold = 4;
    static constexpr std::int32_t kClassLevel = 3;

    explicit CRS232H(const CMessageH* creatorLog = nullptr);
    ~CRS232H();
    CRS232H(const CRS232H&) = delete;
    CRS232H& operator=(const CRS232H&) = delete;

    bool openPort(const char* name);
    bool closePort();
    bool loadAttributes(PortAttributes* target);
    // Writes the given settings, or the working settings when none is given.
    bool applyAttributes(const PortAttributes* source = nullptr);
    bool getAttributes(PortAttributes* target) const;
    bool setAttributes(const PortAttributes* source);
    bool setBaudRate(std::int32_t rate);
    bool flushPort();
    std::int32_t writePort(const void* bytes, std::int32_t count);
    std::int32_t readPort(void* buffer, std::int32_t count);
    // Up to `count` bytes in one call, waiting at most `milliseconds` in all
    // whatever the working time-outs say (which the next readPort keeps).
    // Unlike readPort it tells a failure (reported, -1) from a silent line.
    std::int32_t readPortFor(void* buffer, std::int32_t count, std::uint32_t milliseconds);

    // Whether the UART reported a framing error, an overrun, a parity error
    // or a break since the last call; false where the line keeps no count.
    bool receiveErrorsSince() { return line.receiveErrorsSince(); }

    // The line holds no system handle while closed, after a failed open too.
    bool isOpen() const { return line.isOpen(); }

    // A read or write that the system failed on an open line means the line
    // is gone (an adapter pulled out, a hung-up terminal): the failure is
    // reported once, the handle closed without putting settings back on a
    // line that no longer takes them, and every later read and write fails
    // without a word until the line is reopened or closed by its owner.
    bool lineLost() const { return lost; }
    // The same port opened again, quietly while it is absent; the settings
    // found at this open are the ones closePort puts back.
    bool reopenPort();
    static bool isAcceptedBaudRate(std::int32_t rate);

private:
    void reportSystemError(const char* message) const;
    // After a failed transfer: reported, and the line dropped if it was open.
    void transferFailed(const char* message);
    // The settings found at an open: the working copy, and what close puts back.
    void takeOverLine();

    char portName[kMaxPortNameLength + 1] = {};
    platform::SerialLine line;
    PortAttributes savedAttributes{};
    PortAttributes workingAttributes{};
    std::unique_ptr<CMessageH> log;
    bool lost = false;
    // Another program holds the port: said once until it opens again.
    bool heldElsewhereTold = false;
};

// The far end of a pseudo-terminal, for tests of the serial port class that
// look at the line from the other side: the settings really in force, the
// bytes really written, and a hang-up. Only where the system has
// pseudo-terminals; elsewhere open() gives null and the tests skip.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testing_support {

struct LineSettings {
    // 0: no speed (B0), or a rate set beside the speed codes.
    unsigned baud = 0;
    // The rate is set apart from the speed codes (Linux: BOTHER); prepare()
    // sets `baud` so, and settings() tells only that it is.
    bool rateBesideCodes = false;
    unsigned byteSize = 0;
    bool twoStopBits = false;
    bool parityGenerated = false;
    bool parityOdd = false;
    bool parityChecked = false;
    bool handshake = false;
    bool raw = false;
    // A line that is not raw: whole lines (canonical), or bytes as they come
    // under the read controls VMIN and VTIME. Only prepare() reads these.
    bool canonical = true;
    std::uint8_t vmin = 1;
    std::uint8_t vtime = 0;
};

class PtyPeer {
public:
    static std::unique_ptr<PtyPeer> open();
    static const char* unavailableReason();

    virtual ~PtyPeer() = default;
    // The path the driver opens.
    virtual const std::string& portName() const = 0;
    // The settings in force on the driver's side, seen from this end.
    virtual LineSettings settings() const = 0;
    // Puts the line into these settings (and line processing when not raw)
    // before the driver opens it.
    virtual bool prepare(const LineSettings& settings) = 0;
    virtual bool send(const std::vector<std::uint8_t>& bytes) = 0;
    // What arrived within the time-out, up to `count` bytes.
    virtual std::vector<std::uint8_t> receive(std::size_t count, int timeoutMs) = 0;
    // Closes this end: the driver's side is hung up.
    virtual void hangUp() = 0;
};

// Standard input replaced, for the life of the object, by a pipe holding one
// byte: still there at the end means nobody read descriptor 0.
class StandardInputProbe {
public:
    static std::unique_ptr<StandardInputProbe> install();
    virtual ~StandardInputProbe() = default;
    virtual bool untouched() = 0;
};

}  // namespace testing_support

// What the line benchmarks share as hosts of the plug-in: a device made,
// initialised on the simulator's line and detected; the frame word behind a
// stored valuator; a sink for the plug-in's output; the simulator's status.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <streambuf>
#include <string>

#include "bench/sim_control.h"
#include "host/app/device_reader.h"
#include "support/CMessageH.h"

namespace bench {

// The device opened by `reader` on `port` at `baud`, then read until its
// first record is published. False (with a message on stderr naming
// `tool`, and the device closed) when either fails.
bool startDevice(host::DeviceReader& reader, const CMessageH* hostLog, const std::string& port,
                 int baud, const char* tool);

// Takers for the benchmarks' argument tables: the value as the C library
// reads a number, or as it is.
std::function<bool(const std::string&)> numberInto(double& into);
std::function<bool(const std::string&)> numberInto(int& into);
std::function<bool(const std::string&)> numberInto(long& into);
std::function<bool(const std::string&)> textInto(std::string& into);

// The host sees valuator 1 as the stored fixed-point word of its entry;
// this gives back the frame word that produced it. The steps of 2/1023 are
// wider than the fixed point's, but storing truncates toward zero, so 511
// and 512 (about -0.001 and +0.001) both store 0: that value names no word
// (-1), and the second of two such frames publishes nothing at all.
std::map<std::uint32_t, int> storedToWord();
// What a frame word stores as a valuator.
std::uint32_t storedValuator(std::uint16_t word);

// The simulator's control address and the port name the driver opens, as
// tests/with_sim.sh exports them. False, with a message on stderr naming
// `tool`, for a program started without it.
bool simFromEnvironment(const char* tool, std::string& control, std::string& port);

// The start of a line benchmark: its command line `parsed`, else `usage`
// on stderr; then the simulator as simFromEnvironment finds it.
bool startUp(const char* tool, bool parsed, const char* usage, std::string& control,
             std::string& port);

// One field of the simulator's "status" reply, "?" when missing.
std::string simStatusField(SimControl& sim, const std::string& key);

// "key=value" fields of one result line, blank-separated.
class Fields {
public:
    void add(const char* key, const std::string& value) {
        if (!line_.empty()) {
            line_ += ' ';
        }
        line_.append(key).append("=").append(value);
    }
    const std::string& line() const { return line_; }

private:
    std::string line_;
};

// A stream buffer that takes everything and keeps nothing.
class Discard : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

}  // namespace bench

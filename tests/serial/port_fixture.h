// What the serial port tests share: a log record whose lines carry no time
// stamps, and the device's own line settings.
#pragma once

#include <string>
#include <vector>

#include "device/CRS232H.h"
#include "support/CMessageH.h"
#include "tests/support/capture.h"

namespace serial_tests {

inline CMessageH plainLog(std::int32_t debugLevel = 0) {
    CMessageH log;
    log.dateStamp = 0;
    log.timeStamp = 0;
    log.threadStamp = 0;
    log.setName("HOST");
    log.debugLevel = debugLevel;
    return log;
}

// The output's lines without the "HOST: " header; a system text's own line
// end (Windows texts carry "\r\n") is dropped with the empty line after it.
inline std::vector<std::string> messages(const std::string& output) {
    std::vector<std::string> lines;
    for (std::string line : testing_support::splitLines(output)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(testing_support::withoutHeader(line, "HOST"));
        }
    }
    return lines;
}

// The settings the device applies after opening its port.
inline void applyDeviceSettings(PortAttributes& attributes) {
    attributes.dcb.fBinary = 1;
    attributes.dcb.fParity = 0;
    attributes.dcb.fOutxCtsFlow = 0;
    attributes.dcb.fRtsControl = platform::kRtsControlHandshake;
    attributes.dcb.ByteSize = 8;
    attributes.dcb.StopBits = platform::kOneStopBit;
    attributes.timeouts.ReadIntervalTimeout = 0;
    attributes.timeouts.ReadTotalTimeoutMultiplier = 0;
    attributes.timeouts.ReadTotalTimeoutConstant = 1000;
    attributes.timeouts.WriteTotalTimeoutMultiplier = 0;
    attributes.timeouts.WriteTotalTimeoutConstant = 0;
}

// Opens the port and sets it up as the device does, at `baud`.
inline bool openAsDevice(CRS232H& port, const std::string& name, std::int32_t baud) {
    PortAttributes attributes{};
    if (!port.openPort(name.c_str()) || !port.getAttributes(&attributes)) {
        return false;
    }
    applyDeviceSettings(attributes);
    return port.setAttributes(&attributes) && port.setBaudRate(baud) && port.applyAttributes();
}

}  // namespace serial_tests

#include "device/CRS232H.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

constexpr const char* kOpenFailed = "CRS232H: Opening port ";
constexpr const char* kCloseFailed = "CRS232H: Closing port ";
constexpr const char* kGetDcbFailed = "CRS232H: Getting attribute(DCB) from ";
constexpr const char* kGetTimeoutsFailed = "CRS232H: Getting attribute(COMMTIMEOUTS) from ";
constexpr const char* kSetDcbFailed = "CRS232H: Setting attribute(DCB) to ";
constexpr const char* kSetTimeoutsFailed = "CRS232H: Setting attribute(COMMTIMEOUTS) to ";
constexpr const char* kWriteFailed = "CRS232H: Writing to ";
constexpr const char* kReadFailed = "CRS232H: Reading from ";
constexpr const char* kNameTooLong = "CRS232H: Port name is too long. ";
constexpr const char* kBaudRefused = "CRS232H: Could not set the baud rate ";
constexpr const char* kHeldElsewhere = "CRS232H: Another program holds ";

constexpr std::int32_t kAcceptedBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

}  // namespace

CRS232H::CRS232H(const CMessageH* creatorLog)
    : log(createOwnLog(creatorLog, "CRS232H", kClassLevel)) {
    if (creatorLog == nullptr) {
        log->setDebugThreshold(kDebugThreshold);
    }
    log->debug("CRS232H: \"constructor\" called.", true);
}

CRS232H::~CRS232H() {
    log->debug("CRS232H: \"destructor\" called.", true);
    if (line.isOpen()) {
        closePort();
    }
}

bool CRS232H::isAcceptedBaudRate(std::int32_t rate) {
    for (const std::int32_t accepted : kAcceptedBaudRates) {
        if (rate == accepted) {
            return true;
        }
    }
    return false;
}

void CRS232H::reportSystemError(const char* message) const {
    // Taken before anything else can overwrite the system's last error.
    const std::string text = platform::lastErrorText();
    log->error(message, false);
    std::cout << portName << ": " << text << std::endl;
}

bool CRS232H::openPort(const char* name) {
    log->debug("CRS232H: \"openPort\" called.", true);
    const char* given = name != nullptr ? name : "";
    const std::size_t length = std::strlen(given);
    if (length > kMaxPortNameLength) {
        log->error(kNameTooLong, false);
        std::cout << kMaxPortNameLength << " < " << length << std::endl;
        return false;
    }
    // A second open would otherwise lose the first line, exclusive and
    // unrestored, for the rest of the process.
    if (line.isOpen()) {
        closePort();
    }
    std::memcpy(portName, given, length + 1);
    log->debugf("CRS232H: Opening %s.\n", portName);
    if (!line.open(portName)) {
        reportSystemError(kOpenFailed);
        return false;
    }
    takeOverLine();
    return true;
}

void CRS232H::takeOverLine() {
    lost = false;
    loadAttributes(&workingAttributes);
    loadAttributes(&savedAttributes);
}

bool CRS232H::reopenPort() {
    log->debug("CRS232H: \"reopenPort\" called.", true);
    if (!line.open(portName)) {
        // A port that is not there comes back by itself; one that another
        // program took stays away until the user frees it.
        if (platform::lastErrorMeansHeldElsewhere() && !heldElsewhereTold) {
            heldElsewhereTold = true;
            log->warning(kHeldElsewhere, false);
            std::cout << portName << "; waiting for it." << std::endl;
        } else {
            log->debugf("CRS232H: %s is not there yet.\n", portName);
        }
        return false;
    }
    heldElsewhereTold = false;
    takeOverLine();
    return true;
}

bool CRS232H::closePort() {
    // The owner's close ends an outage: nothing waits to be reopened.
    lost = false;
    if (!line.isOpen()) {
        return false;
    }
    bool result = applyAttributes(&savedAttributes);
    if (!line.close()) {
        reportSystemError(kCloseFailed);
        result = false;
    }
    return result;
}

bool CRS232H::loadAttributes(PortAttributes* target) {
    if (target == nullptr) {
        return false;
    }
    if (!line.getLineSettings(target->dcb)) {
        reportSystemError(kGetDcbFailed);
        return false;
    }
    if (!line.getTimeouts(target->timeouts)) {
        reportSystemError(kGetTimeoutsFailed);
        return false;
    }
    return true;
}

bool CRS232H::applyAttributes(const PortAttributes* source) {
    const PortAttributes& settings = source != nullptr ? *source : workingAttributes;
    if (!line.setLineSettings(settings.dcb)) {
        reportSystemError(kSetDcbFailed);
        return false;
    }
    if (!line.setTimeouts(settings.timeouts)) {
        reportSystemError(kSetTimeoutsFailed);
        return false;
    }
    if (source != nullptr) {
        workingAttributes = *source;
    }
    return true;
}

bool CRS232H::getAttributes(PortAttributes* target) const {
    if (target == nullptr) {
        return false;
    }
    *target = workingAttributes;
    return true;
}

bool CRS232H::setAttributes(const PortAttributes* source) {
    if (source == nullptr) {
        return false;
    }
    workingAttributes = *source;
    return true;
}

bool CRS232H::setBaudRate(std::int32_t rate) {
    if (!isAcceptedBaudRate(rate)) {
        log->error(kBaudRefused, false);
        std::cout << rate << std::endl;
        return false;
    }
    workingAttributes.dcb.BaudRate = static_cast<std::uint32_t>(rate);
    return true;
}

bool CRS232H::flushPort() {
    return true;
}

void CRS232H::transferFailed(const char* message) {
    if (lost) {
        return;
    }
    reportSystemError(message);
    if (line.isOpen()) {
        lost = true;
        line.close();
    }
}

std::int32_t CRS232H::writePort(const void* bytes, std::int32_t count) {
    // A negative count would reach the system as a huge unsigned one.
    const std::uint32_t wanted = count > 0 ? static_cast<std::uint32_t>(count) : 0;
    std::uint32_t written = 0;
    if (!line.write(bytes, wanted, written)) {
        transferFailed(kWriteFailed);
        return 0;
    }
    return static_cast<std::int32_t>(written);
}

std::int32_t CRS232H::readPort(void* buffer, std::int32_t count) {
    const std::uint32_t wanted = count > 0 ? static_cast<std::uint32_t>(count) : 0;
    std::uint32_t got = 0;
    if (!line.read(buffer, wanted, got)) {
        transferFailed(kReadFailed);
    }
    return static_cast<std::int32_t>(got);
}

std::int32_t CRS232H::readPortFor(void* buffer, std::int32_t count, std::uint32_t milliseconds) {
    const std::uint32_t wanted = count > 0 ? static_cast<std::uint32_t>(count) : 0;
    std::uint32_t got = 0;
    if (!line.readFor(buffer, wanted, milliseconds, got)) {
        transferFailed(kReadFailed);
        return -1;
    }
    return static_cast<std::int32_t>(got);
}

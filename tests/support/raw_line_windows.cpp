#include <windows.h>

#include <chrono>

#include "tests/support/raw_line.h"

namespace testing_support {

namespace {

HANDLE handleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

std::string lastError(const char* what) {
    return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

}  // namespace

const bool RawLine::kReadSeesHangup = false;

RawLine::~RawLine() {
    close();
}

bool RawLine::open(const std::string& name, unsigned baud) {
    close();
    const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error_ = lastError(("CreateFileA " + name).c_str());
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    // Short read slices, so read() can keep its own deadline.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadTotalTimeoutConstant = 20;
    if (!SetCommTimeouts(handle, &timeouts)) {
        error_ = lastError("SetCommTimeouts");
        return false;
    }
    return setBaud(baud);
}

void RawLine::close() {
    if (handle_ != -1) CloseHandle(handleOf(handle_));
    handle_ = -1;
}

bool RawLine::isOpen() const {
    return handle_ != -1;
}

bool RawLine::setBaud(unsigned baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handleOf(handle_), &dcb)) {
        error_ = lastError("GetCommState");
        return false;
    }
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!SetCommState(handleOf(handle_), &dcb)) {
        error_ = lastError("SetCommState");
        return false;
    }
    return true;
}

bool RawLine::write(const std::vector<std::uint8_t>& bytes) {
    DWORD written = 0;
    if (!WriteFile(handleOf(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) ||
        written != bytes.size()) {
        error_ = lastError("WriteFile");
        return false;
    }
    return true;
}

RawLine::ReadEnd RawLine::read(std::size_t count, int timeoutMs, std::vector<std::uint8_t>& bytes) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bytes.clear();
    while (bytes.size() < count) {
        if (Clock::now() >= deadline) return ReadEnd::TimedOut;
        std::uint8_t buffer[256];
        const DWORD wanted = static_cast<DWORD>(std::min(sizeof buffer, count - bytes.size()));
        DWORD got = 0;
        if (!ReadFile(handleOf(handle_), buffer, wanted, &got, nullptr)) {
            error_ = lastError("ReadFile");
            return ReadEnd::HungUp;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return ReadEnd::Complete;
}

}  // namespace testing_support

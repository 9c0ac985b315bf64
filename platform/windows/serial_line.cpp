// Serial line on Windows: a COM port through the Win32 communications
// interface, synchronous and exclusive. The settings record is the system's
// own DCB and COMMTIMEOUTS, so it is handed over byte for byte.
#include <windows.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {

static_assert(sizeof(Dcb) == sizeof(DCB), "Dcb mirrors DCB");
static_assert(offsetof(Dcb, DCBlength) == offsetof(DCB, DCBlength), "DCBlength");
static_assert(offsetof(Dcb, BaudRate) == offsetof(DCB, BaudRate), "BaudRate");
static_assert(offsetof(Dcb, wReserved) == offsetof(DCB, wReserved), "wReserved");
static_assert(offsetof(Dcb, XonLim) == offsetof(DCB, XonLim), "XonLim");
static_assert(offsetof(Dcb, XoffLim) == offsetof(DCB, XoffLim), "XoffLim");
static_assert(offsetof(Dcb, ByteSize) == offsetof(DCB, ByteSize), "ByteSize");
static_assert(offsetof(Dcb, Parity) == offsetof(DCB, Parity), "Parity");
static_assert(offsetof(Dcb, StopBits) == offsetof(DCB, StopBits), "StopBits");
static_assert(offsetof(Dcb, XonChar) == offsetof(DCB, XonChar), "XonChar");
static_assert(offsetof(Dcb, XoffChar) == offsetof(DCB, XoffChar), "XoffChar");
static_assert(offsetof(Dcb, ErrorChar) == offsetof(DCB, ErrorChar), "ErrorChar");
static_assert(offsetof(Dcb, EofChar) == offsetof(DCB, EofChar), "EofChar");
static_assert(offsetof(Dcb, EvtChar) == offsetof(DCB, EvtChar), "EvtChar");
static_assert(offsetof(Dcb, wReserved1) == offsetof(DCB, wReserved1), "wReserved1");

static_assert(sizeof(CommTimeouts) == sizeof(COMMTIMEOUTS), "CommTimeouts mirrors COMMTIMEOUTS");
static_assert(offsetof(CommTimeouts, ReadIntervalTimeout) ==
                  offsetof(COMMTIMEOUTS, ReadIntervalTimeout),
              "ReadIntervalTimeout");
static_assert(offsetof(CommTimeouts, ReadTotalTimeoutMultiplier) ==
                  offsetof(COMMTIMEOUTS, ReadTotalTimeoutMultiplier),
              "ReadTotalTimeoutMultiplier");
static_assert(offsetof(CommTimeouts, ReadTotalTimeoutConstant) ==
                  offsetof(COMMTIMEOUTS, ReadTotalTimeoutConstant),
              "ReadTotalTimeoutConstant");
static_assert(offsetof(CommTimeouts, WriteTotalTimeoutMultiplier) ==
                  offsetof(COMMTIMEOUTS, WriteTotalTimeoutMultiplier),
              "WriteTotalTimeoutMultiplier");
static_assert(offsetof(CommTimeouts, WriteTotalTimeoutConstant) ==
                  offsetof(COMMTIMEOUTS, WriteTotalTimeoutConstant),
              "WriteTotalTimeoutConstant");

// Bit fields have no offsets: compare the flag word of the two records with
// the same flags set, bit for bit.
using FlagWords = std::array<std::uint32_t, 7>;

template <typename Record>
constexpr FlagWords flagWordsOf() {
    Record dcb{};
    dcb.fBinary = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fTXContinueOnXoff = 1;
    dcb.fNull = 1;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fAbortOnError = 1;
    return std::bit_cast<FlagWords>(dcb);
}

static_assert(flagWordsOf<Dcb>() == flagWordsOf<DCB>(), "Dcb flag bits lie where DCB has them");
static_assert(kRtsControlHandshake == RTS_CONTROL_HANDSHAKE, "RTS handshake code");
static_assert(kOneStopBit == ONESTOPBIT && kTwoStopBits == TWOSTOPBITS, "stop bit codes");
static_assert(kNoParity == NOPARITY && kSpaceParity == SPACEPARITY, "parity codes");

bool refuseClosed() {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

bool sameTimeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// CreateFileA finds COM1 to COM9 by their bare names only: from COM10 on a
// port is reached through the device namespace, which takes the low
// numbers as well. Users write the bare name, so a COM<digits> name goes
// through the namespace; any other name is the user's to spell.
std::string systemPortName(const char* name) {
    const std::size_t length = std::strlen(name);
    const bool comPrefix = length > 3 && (name[0] == 'C' || name[0] == 'c') &&
                           (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm');
    const bool digits = comPrefix && std::all_of(name + 3, name + length,
                                                 [](char c) { return c >= '0' && c <= '9'; });
    return digits ? std::string("\\\\.\\") + name : std::string(name);
}

}  // namespace

// Windows keeps a line's settings itself. Beside the handle: the time-outs
// the owner set, and those in force, which differ while a read of our own
// waits by a time-out of its own (the system call is only made when they
// must change).
struct SerialLine::State {
    HANDLE handle;
    COMMTIMEOUTS configured{};
    COMMTIMEOUTS inForce{};

    bool putInForce(const COMMTIMEOUTS& wanted);
    bool readWith(const COMMTIMEOUTS& wanted, void* buffer, std::uint32_t count,
                  std::uint32_t& transferred);
};

bool SerialLine::State::putInForce(const COMMTIMEOUTS& wanted) {
    if (sameTimeouts(inForce, wanted)) {
        return true;
    }
    COMMTIMEOUTS system = wanted;
    if (!SetCommTimeouts(handle, &system)) {
        return false;
    }
    inForce = wanted;
    return true;
}

bool SerialLine::State::readWith(const COMMTIMEOUTS& wanted, void* buffer, std::uint32_t count,
                                 std::uint32_t& transferred) {
    if (!putInForce(wanted)) {
        return false;
    }
    DWORD done = 0;
    const BOOL ok = ReadFile(handle, buffer, count, &done, nullptr);
    transferred = done;
    if (ok == FALSE) {
        return false;
    }
    // A line that has gone away (an adapter pulled out, a hung-up terminal
    // under Wine) can let ReadFile time out as if it were merely silent;
    // asking for the line's state tells the two apart.
    if (done < count) {
        DCB probe{};
        probe.DCBlength = sizeof probe;
        if (!GetCommState(handle, &probe)) {
            return false;
        }
    }
    return true;
}

SerialLine::SerialLine() = default;

SerialLine::~SerialLine() {
    if (isOpen()) {
        close();
    }
}

bool SerialLine::open(const char* name) {
    if (isOpen()) {
        SetLastError(ERROR_BUSY);
        return false;
    }
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const HANDLE handle = CreateFileA(systemPortName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    state_ = std::make_unique<State>(State{handle});
    // What the port has now is in force until the owner sets its own.
    if (GetCommTimeouts(handle, &state_->inForce)) {
        state_->configured = state_->inForce;
    }
    return true;
}

bool SerialLine::close() {
    if (!isOpen()) {
        return refuseClosed();
    }
    const HANDLE handle = state_->handle;
    state_.reset();
    return CloseHandle(handle) != FALSE;
}

bool SerialLine::getLineSettings(Dcb& dcb) {
    if (!isOpen()) {
        return refuseClosed();
    }
    DCB system{};
    system.DCBlength = sizeof system;
    if (!GetCommState(state_->handle, &system)) {
        return false;
    }
    std::memcpy(&dcb, &system, sizeof dcb);
    return true;
}

bool SerialLine::getTimeouts(CommTimeouts& timeouts) {
    if (!isOpen()) {
        return refuseClosed();
    }
    COMMTIMEOUTS system{};
    if (!GetCommTimeouts(state_->handle, &system)) {
        return false;
    }
    // A wait of our own in force is not the line's setting.
    if (sameTimeouts(system, state_->inForce)) {
        system = state_->configured;
    }
    std::memcpy(&timeouts, &system, sizeof timeouts);
    return true;
}

bool SerialLine::setLineSettings(const Dcb& dcb) {
    if (!isOpen()) {
        return refuseClosed();
    }
    DCB system{};
    std::memcpy(&system, &dcb, sizeof system);
    return SetCommState(state_->handle, &system) != FALSE;
}

bool SerialLine::setTimeouts(const CommTimeouts& timeouts) {
    if (!isOpen()) {
        return refuseClosed();
    }
    COMMTIMEOUTS system{};
    std::memcpy(&system, &timeouts, sizeof system);
    if (!SetCommTimeouts(state_->handle, &system)) {
        return false;
    }
    state_->configured = system;
    state_->inForce = system;
    return true;
}

bool SerialLine::read(void* buffer, std::uint32_t count, std::uint32_t& transferred) {
    transferred = 0;
    if (!isOpen()) {
        return refuseClosed();
    }
    return state_->readWith(state_->configured, buffer, count, transferred);
}

// ReadFile itself waits for the whole count: one call, one wake-up.
bool SerialLine::readFor(void* buffer, std::uint32_t count, std::uint32_t milliseconds,
                         std::uint32_t& transferred) {
    transferred = 0;
    if (!isOpen()) {
        return refuseClosed();
    }
    COMMTIMEOUTS wait = state_->configured;
    wait.ReadIntervalTimeout = milliseconds == 0 ? MAXDWORD : 0;
    wait.ReadTotalTimeoutMultiplier = 0;
    wait.ReadTotalTimeoutConstant = milliseconds;
    return state_->readWith(wait, buffer, count, transferred);
}

// Reading the errors also clears them, as a port left with abort-on-error
// needs before it reads again.
bool SerialLine::receiveErrorsSince() {
    if (!isOpen()) {
        return false;
    }
    DWORD errors = 0;
    if (!ClearCommError(state_->handle, &errors, nullptr)) {
        return false;
    }
    return (errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_BREAK | CE_RXOVER)) != 0;
}

bool SerialLine::write(const void* bytes, std::uint32_t count, std::uint32_t& transferred) {
    transferred = 0;
    if (!isOpen()) {
        return refuseClosed();
    }
    DWORD done = 0;
    const BOOL ok = WriteFile(state_->handle, bytes, count, &done, nullptr);
    transferred = done;
    return ok != FALSE;
}

}  // namespace platform

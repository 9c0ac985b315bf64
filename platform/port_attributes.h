// The settings of a serial line as one record: the Win32 DCB followed by the
// Win32 COMMTIMEOUTS, in their published layout. The Windows backend hands
// the two halves to the system as they are (it asserts the layouts match);
// the Linux backend translates exactly the fields this driver uses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

enum : std::uint32_t {
    kDtrControlDisable = 0,
    kDtrControlEnable = 1,
    kDtrControlHandshake = 2,
};

enum : std::uint32_t {
    kRtsControlDisable = 0,
    kRtsControlEnable = 1,
    kRtsControlHandshake = 2,
    kRtsControlToggle = 3,
};

enum : std::uint8_t {
    kOneStopBit = 0,
    kOne5StopBits = 1,
    kTwoStopBits = 2,
};

enum : std::uint8_t {
    kNoParity = 0,
    kOddParity = 1,
    kEvenParity = 2,
    kMarkParity = 3,
    kSpaceParity = 4,
};

struct Dcb {
    std::uint32_t DCBlength;
    std::uint32_t BaudRate;
    std::uint32_t fBinary : 1;
    std::uint32_t fParity : 1;
    std::uint32_t fOutxCtsFlow : 1;
    std::uint32_t fOutxDsrFlow : 1;
    std::uint32_t fDtrControl : 2;
    std::uint32_t fDsrSensitivity : 1;
    std::uint32_t fTXContinueOnXoff : 1;
    std::uint32_t fOutX : 1;
    std::uint32_t fInX : 1;
    std::uint32_t fErrorChar : 1;
    std::uint32_t fNull : 1;
    std::uint32_t fRtsControl : 2;
    std::uint32_t fAbortOnError : 1;
    std::uint32_t fDummy2 : 17;
    std::uint16_t wReserved;
    std::uint16_t XonLim;
    std::uint16_t XoffLim;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    std::uint16_t wReserved1;
};

struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout;
    std::uint32_t ReadTotalTimeoutMultiplier;
    std::uint32_t ReadTotalTimeoutConstant;
    std::uint32_t WriteTotalTimeoutMultiplier;
    std::uint32_t WriteTotalTimeoutConstant;
};

struct PortAttributes {
    Dcb dcb;
    CommTimeouts timeouts;
};

static_assert(sizeof(Dcb) == 28, "DCB is 28 bytes");
static_assert(offsetof(Dcb, BaudRate) == 4, "DCB BaudRate offset");
static_assert(offsetof(Dcb, wReserved) == 12, "DCB bit fields are one word");
static_assert(offsetof(Dcb, ByteSize) == 18, "DCB ByteSize offset");
static_assert(offsetof(Dcb, Parity) == 19, "DCB Parity offset");
static_assert(offsetof(Dcb, StopBits) == 20, "DCB StopBits offset");
static_assert(offsetof(Dcb, wReserved1) == 26, "DCB wReserved1 offset");
static_assert(sizeof(CommTimeouts) == 20, "COMMTIMEOUTS is 20 bytes");
static_assert(sizeof(PortAttributes) == 48, "PortAttributes is 48 bytes");
static_assert(offsetof(PortAttributes, timeouts) == 28, "time-outs follow the DCB");

}  // namespace platform

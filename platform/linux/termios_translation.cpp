#include "platform/linux/termios_translation.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <iterator>

namespace platform::termios_translation {

namespace {

struct Speed {
    std::uint32_t baud;
    speed_t code;
};

// Every rate the terminal has a code for, so that whatever a line was found
// at can be put back on close; the device itself asks for 1200 to 115200.
constexpr Speed kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// The processing that binary transfer switches off, as cfmakeraw does, and
// the XON/XOFF of both directions, which a line here never does.
constexpr tcflag_t kRawInputOff =
    IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF;
constexpr tcflag_t kRawLocalOff = ECHO | ECHONL | ICANON | ISIG | IEXTEN;

// Far beyond any wait a caller means (about 35 years), and far from the
// range where microseconds would overflow.
constexpr std::uint64_t kLongestWaitMilliseconds = std::uint64_t{1} << 40;

int checkFraming(const Dcb& dcb) {
    if (dcb.ByteSize != 8) {
        return dcb.ByteSize >= 5 && dcb.ByteSize < 8 ? kModeNotOffered : kInvalidValue;
    }
    if (dcb.Parity > kSpaceParity || dcb.StopBits > kTwoStopBits) {
        return kInvalidValue;
    }
    if (dcb.Parity == kMarkParity || dcb.Parity == kSpaceParity || dcb.StopBits == kOne5StopBits) {
        return kModeNotOffered;
    }
    return 0;
}

// Flow controls and byte handling of the Win32 driver that a terminal here
// does not do: DSR flow and sensitivity, DTR handshaking, RTS toggling,
// XON/XOFF, error characters, null stripping, abort on error; and text mode,
// which Win32 itself does not have.
int checkHandling(const Dcb& dcb) {
    const bool notOffered =
        dcb.fBinary == 0 || dcb.fOutxDsrFlow != 0 || dcb.fDsrSensitivity != 0 || dcb.fOutX != 0 ||
        dcb.fInX != 0 || dcb.fErrorChar != 0 || dcb.fNull != 0 || dcb.fAbortOnError != 0 ||
        dcb.fDtrControl == kDtrControlHandshake || dcb.fRtsControl == kRtsControlToggle;
    return notOffered ? kModeNotOffered : 0;
}

}  // namespace

bool speedCodeOf(std::uint32_t baud, speed_t& code) {
    const auto* found = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                     [baud](const Speed& speed) { return speed.baud == baud; });
    if (found == std::end(kSpeeds)) {
        return false;
    }
    code = found->code;
    return true;
}

std::uint32_t baudOf(speed_t code) {
    const auto* found = std::find_if(std::begin(kSpeeds), std::end(kSpeeds),
                                     [code](const Speed& speed) { return speed.code == code; });
    return found != std::end(kSpeeds) ? found->baud : 0;
}

void makeBinary(termios& settings) {
    settings.c_iflag &= ~kRawInputOff;
    settings.c_oflag &= ~OPOST;
    settings.c_lflag &= ~kRawLocalOff;
}

int writeLineSettings(const Dcb& dcb, termios& settings, const termios& found) {
    speed_t speed = B0;
    const bool coded = speedCodeOf(dcb.BaudRate, speed);
    const bool keepsFoundSpeed = !coded && dcb.BaudRate == baudOf(cfgetospeed(&found));
    if (!coded && !keepsFoundSpeed) {
        return kInvalidValue;
    }
    if (const int refusal = checkFraming(dcb); refusal != 0) {
        return refusal;
    }
    if (const int refusal = checkHandling(dcb); refusal != 0) {
        return refusal;
    }
    termios result = settings;
    // Input first: on Linux setting the input speed sets the output one too.
    cfsetispeed(&result, keepsFoundSpeed ? cfgetispeed(&found) : speed);
    cfsetospeed(&result, keepsFoundSpeed ? cfgetospeed(&found) : speed);
    result.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    // No carrier to wait for, and a line that must be able to receive.
    result.c_cflag |= CS8 | CLOCAL | CREAD;
    if (dcb.StopBits == kTwoStopBits) {
        result.c_cflag |= CSTOPB;
    }
    if (dcb.Parity != kNoParity) {
        result.c_cflag |= dcb.Parity == kOddParity ? PARENB | PARODD : PARENB;
    }
    // Checking is the input side only: without it a parity bit is still
    // generated and stripped, but a byte with a bad one is passed on.
    result.c_iflag = dcb.fParity != 0 ? result.c_iflag | INPCK : result.c_iflag & ~INPCK;
    // CRTSCTS also holds all output until CTS is up, which a three-wire
    // cable never raises: only a record that asks for that gets it.
    if (dcb.fOutxCtsFlow != 0) {
        result.c_cflag |= CRTSCTS;
    }
    makeBinary(result);
    settings = result;
    return 0;
}

Dcb readLineSettings(const termios& settings, const Dcb& kept) {
    Dcb result = kept;
    result.BaudRate = baudOf(cfgetospeed(&settings));
    result.fBinary = 1;
    result.ByteSize = 8;
    result.StopBits = (settings.c_cflag & CSTOPB) != 0 ? kTwoStopBits : kOneStopBit;
    if ((settings.c_cflag & PARENB) == 0) {
        result.Parity = kNoParity;
    } else {
        result.Parity = (settings.c_cflag & PARODD) != 0 ? kOddParity : kEvenParity;
    }
    result.fParity = (settings.c_iflag & INPCK) != 0 ? 1 : 0;
    result.fOutxCtsFlow = (settings.c_cflag & CRTSCTS) != 0 ? 1 : 0;
    return result;
}

Dcb foundLineSettings(const termios& found) {
    Dcb kept{};
    kept.DCBlength = sizeof(Dcb);
    kept.fDtrControl = kDtrControlEnable;
    // A terminal found with CRTSCTS lets RTS follow its input buffer.
    kept.fRtsControl = (found.c_cflag & CRTSCTS) != 0 ? kRtsControlHandshake : kRtsControlEnable;
    return readLineSettings(found, kept);
}

int modemLinesDownAfterClose(const termios& found) {
    const bool down = cfgetospeed(&found) == B0 || (found.c_cflag & HUPCL) != 0;
    return down ? TIOCM_RTS | TIOCM_DTR : 0;
}

int checkTimeouts(const CommTimeouts& timeouts) {
    const bool notOffered = timeouts.ReadIntervalTimeout != 0 ||
                            timeouts.WriteTotalTimeoutMultiplier != 0 ||
                            timeouts.WriteTotalTimeoutConstant != 0;
    return notOffered ? kModeNotOffered : 0;
}

std::int64_t readWaitMicroseconds(const CommTimeouts& timeouts, std::uint32_t count) {
    const std::uint64_t milliseconds = std::uint64_t{timeouts.ReadTotalTimeoutMultiplier} * count +
                                       timeouts.ReadTotalTimeoutConstant;
    return static_cast<std::int64_t>(std::min(milliseconds, kLongestWaitMilliseconds)) * 1000;
}

bool raisesModemLines(const Dcb& dcb) {
    return dcb.fRtsControl == kRtsControlHandshake;
}

}  // namespace platform::termios_translation

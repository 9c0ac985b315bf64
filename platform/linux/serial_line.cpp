// Serial line on Linux: a terminal opened exclusively by its path, with the
// Win32-shaped settings record translated to termios field by field. Only
// the fields this driver sets travel to the terminal; the rest of the record
// is kept as last applied, so a record read back is the record written
// wherever the terminal agrees with it.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/platform.h"

namespace platform {

namespace {

// A raw line waits for input inside read() itself, a tenth of a second at a
// time: with VMIN 0 and VTIME 1 one read() returns as soon as a byte is
// there, or empty when the slice has passed. A byte that comes while the
// caller waits then costs one system call, where poll() and read() cost two.
constexpr cc_t kSliceDeciseconds = 1;
// The longest a slice can take: the terminal's timer runs in clock ticks
// and may fire a tick and some timer-wheel slack late. A read only waits in
// a slice while at least this much of its time is left; the rest of its
// wait goes to poll(), whose time-outs are exact, so no time-out is ever
// stretched by a slice.
constexpr std::int64_t kSliceLongestMicroseconds = 125000;

}  // namespace

struct SerialLine::Terminal {
    termios found;
    // The read controls in force, as this object last set or found them.
    bool canonical = false;
    cc_t vmin = 0;
    cc_t vtime = 0;

    void remember(const termios& settings) {
        canonical = (settings.c_lflag & ICANON) != 0;
        vmin = settings.c_cc[VMIN];
        vtime = settings.c_cc[VTIME];
    }
    bool slicing() const { return !canonical && vmin == 0 && vtime == kSliceDeciseconds; }
};

namespace {

constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

struct Speed {
    std::uint32_t baud;
    speed_t code;
};

// Every rate the terminal has a code for, so that whatever a line was found
// at can be put back on close; the device itself only asks for 1200..115200.
constexpr Speed kSpeeds[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool speedCodeOf(std::uint32_t baud, speed_t& code) {
    for (const Speed& speed : kSpeeds) {
        if (speed.baud == baud) {
            code = speed.code;
            return true;
        }
    }
    return false;
}

std::uint32_t baudOf(speed_t code) {
    for (const Speed& speed : kSpeeds) {
        if (speed.code == code) {
            return speed.baud;
        }
    }
    return 0;
}

// The processing that binary mode switches off, as cfmakeraw does.
constexpr tcflag_t kRawInputOff = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON;
constexpr tcflag_t kRawLocalOff = ECHO | ECHONL | ICANON | ISIG | IEXTEN;

bool isRaw(const termios& settings) {
    return (settings.c_iflag & kRawInputOff) == 0 && (settings.c_oflag & OPOST) == 0 &&
           (settings.c_lflag & kRawLocalOff) == 0;
}

void makeRaw(termios& settings) {
    settings.c_iflag &= ~kRawInputOff;
    settings.c_oflag &= ~OPOST;
    settings.c_lflag &= ~kRawLocalOff;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = kSliceDeciseconds;
}

// Back from binary mode: the line processing the terminal had when it was
// opened, or an ordinary terminal's when it was found raw already.
void makeCooked(termios& settings, const termios* found) {
    if (found != nullptr && !isRaw(*found)) {
        settings.c_iflag = (settings.c_iflag & ~kRawInputOff) | (found->c_iflag & kRawInputOff);
        settings.c_oflag = found->c_oflag;
        settings.c_lflag = (settings.c_lflag & ~kRawLocalOff) | (found->c_lflag & kRawLocalOff);
        std::copy(std::begin(found->c_cc), std::end(found->c_cc), std::begin(settings.c_cc));
        return;
    }
    settings.c_iflag |= BRKINT | ICRNL | IXON;
    settings.c_oflag |= OPOST | ONLCR;
    settings.c_lflag |= ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
}

bool fail(int code) {
    errno = code;
    return false;
}

// Milliseconds from now to the deadline, rounded up so that a wait never
// ends just short of it; 0 once it has passed.
int millisecondsUntil(std::int64_t deadline, std::int64_t now) {
    if (deadline <= now) {
        return 0;
    }
    const std::int64_t milliseconds = (deadline - now + 999) / 1000;
    return static_cast<int>(std::min<std::int64_t>(milliseconds, 0x7FFFFFFF));
}

std::int64_t totalMicroseconds(std::uint32_t multiplier, std::uint32_t constant,
                               std::uint32_t count) {
    return (static_cast<std::int64_t>(multiplier) * count + constant) * 1000;
}

}  // namespace

SerialLine::SerialLine() = default;

SerialLine::~SerialLine() {
    if (isOpen()) {
        close();
    }
}

bool SerialLine::isOpen() const {
    return handle_ != kClosed;
}

bool SerialLine::open(const char* name) {
    if (isOpen()) {
        return fail(EBUSY);
    }
    if (name == nullptr) {
        return fail(EFAULT);
    }
    // Non-blocking, so that the open does not wait for a carrier. Reads and
    // writes then block (see read() and write() for their time-outs).
    const int fd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    auto terminal = std::make_unique<Terminal>();
    // TIOCEXCL keeps other openers out (a privileged one excepted); the lock
    // keeps out every other instance of this driver, privileged or not.
    if (ioctl(fd, TIOCEXCL) != 0 || tcgetattr(fd, &terminal->found) != 0) {
        const int code = errno;
        ::close(fd);
        return fail(code);
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno == EWOULDBLOCK ? EBUSY : errno;
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return fail(code);
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int code = errno;
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return fail(code);
    }
    terminal->remember(terminal->found);
    handle_ = fd;
    terminal_ = std::move(terminal);
    applied_ = PortAttributes{};
    applied_.dcb.DCBlength = sizeof(Dcb);
    getLineSettings(applied_.dcb);
    return true;
}

bool SerialLine::close() {
    if (!isOpen()) {
        return fail(EBADF);
    }
    const int fd = static_cast<int>(handle_);
    handle_ = kClosed;
    // The settings record has no room for every terminal setting (VMIN,
    // CLOCAL, the control characters, ...), so whatever the owner put back
    // through it, the terminal gets exactly what it had when it was opened.
    // A terminal that is gone refuses; there is nothing left to restore.
    if (terminal_) {
        tcsetattr(fd, TCSANOW, &terminal_->found);
    }
    terminal_.reset();
    // The exclusive flag belongs to the terminal, not to this descriptor.
    ioctl(fd, TIOCNXCL);
    // Linux releases the descriptor even when close() reports EINTR.
    return ::close(fd) == 0 || errno == EINTR;
}

bool SerialLine::getState(PortAttributes& attributes) {
    return getLineSettings(attributes.dcb) && getTimeouts(attributes.timeouts);
}

bool SerialLine::setState(const PortAttributes& attributes) {
    return setLineSettings(attributes.dcb) && setTimeouts(attributes.timeouts);
}

bool SerialLine::getLineSettings(Dcb& dcb) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    termios settings{};
    if (tcgetattr(static_cast<int>(handle_), &settings) != 0) {
        return false;
    }
    Dcb result = applied_.dcb;
    result.BaudRate = baudOf(cfgetospeed(&settings));
    switch (settings.c_cflag & CSIZE) {
        case CS5:
            result.ByteSize = 5;
            break;
        case CS6:
            result.ByteSize = 6;
            break;
        case CS7:
            result.ByteSize = 7;
            break;
        default:
            result.ByteSize = 8;
            break;
    }
    if ((settings.c_cflag & CSTOPB) == 0) {
        result.StopBits = kOneStopBit;
    } else if (result.StopBits != kOne5StopBits) {
        result.StopBits = kTwoStopBits;
    }
    if ((settings.c_cflag & PARENB) == 0) {
        result.Parity = kNoParity;
    } else if ((settings.c_cflag & CMSPAR) != 0) {
        result.Parity = (settings.c_cflag & PARODD) != 0 ? kMarkParity : kSpaceParity;
    } else {
        result.Parity = (settings.c_cflag & PARODD) != 0 ? kOddParity : kEvenParity;
    }
    result.fParity = (settings.c_iflag & INPCK) != 0 ? 1 : 0;
    // One terminal flag stands for both directions of the handshake.
    const bool handshake = (settings.c_cflag & CRTSCTS) != 0;
    if (handshake && result.fOutxCtsFlow == 0 && result.fRtsControl != kRtsControlHandshake) {
        result.fOutxCtsFlow = 1;
        result.fRtsControl = kRtsControlHandshake;
    } else if (!handshake) {
        result.fOutxCtsFlow = 0;
        if (result.fRtsControl == kRtsControlHandshake) {
            result.fRtsControl = kRtsControlEnable;
        }
    }
    result.fBinary = isRaw(settings) ? 1 : 0;
    dcb = result;
    return true;
}

bool SerialLine::setLineSettings(const Dcb& dcb) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    const int fd = static_cast<int>(handle_);
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return false;
    }
    speed_t speed = B0;
    if (!speedCodeOf(dcb.BaudRate, speed)) {
        return fail(EINVAL);
    }
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);

    tcflag_t size = CS8;
    switch (dcb.ByteSize) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            return fail(EINVAL);
    }
    settings.c_cflag = (settings.c_cflag & ~CSIZE) | size;

    switch (dcb.StopBits) {
        case kOneStopBit:
            settings.c_cflag &= ~CSTOPB;
            break;
        case kOne5StopBits:
        case kTwoStopBits:
            settings.c_cflag |= CSTOPB;
            break;
        default:
            return fail(EINVAL);
    }

    settings.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    switch (dcb.Parity) {
        case kNoParity:
            break;
        case kOddParity:
            settings.c_cflag |= PARENB | PARODD;
            break;
        case kEvenParity:
            settings.c_cflag |= PARENB;
            break;
        case kMarkParity:
            settings.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case kSpaceParity:
            settings.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            return fail(EINVAL);
    }
    // Parity checking is the input side only: without it a parity bit is
    // still generated and stripped, but a byte with a bad one is passed on.
    if (dcb.fParity != 0) {
        settings.c_iflag |= INPCK;
    } else {
        settings.c_iflag &= ~INPCK;
    }

    if (dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == kRtsControlHandshake) {
        settings.c_cflag |= CRTSCTS;
    } else {
        settings.c_cflag &= ~CRTSCTS;
    }
    // The line has no carrier to wait for, and must be able to receive.
    settings.c_cflag |= CLOCAL | CREAD;

    if (dcb.fBinary != 0) {
        makeRaw(settings);
    } else {
        makeCooked(settings, terminal_ ? &terminal_->found : nullptr);
    }

    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        return false;
    }
    terminal_->remember(settings);
    applied_.dcb = dcb;
    return true;
}

bool SerialLine::getTimeouts(CommTimeouts& timeouts) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    timeouts = applied_.timeouts;
    return true;
}

bool SerialLine::setTimeouts(const CommTimeouts& timeouts) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    applied_.timeouts = timeouts;
    return true;
}

// A raw line takes VMIN 0 and VTIME of one slice before its first read, so
// that no read() can wait for more bytes than have come: found so, or set
// so by binary mode, this costs nothing. A line with line processing keeps
// its controls and is only read once poll() has seen a whole line.
bool SerialLine::prepareReads() {
    Terminal& terminal = *terminal_;
    if (terminal.canonical || terminal.slicing()) {
        return true;
    }
    const int fd = static_cast<int>(handle_);
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return false;
    }
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = kSliceDeciseconds;
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        return false;
    }
    terminal.remember(settings);
    return true;
}

// The read time-outs mean what they mean to ReadFile: a total time per call
// (multiplier per byte asked for, plus the constant; both 0: none), an
// interval time between two bytes once the first has come, and the two
// special cases of an interval of MAXDWORD.
//
// While a long enough wait is left, a read waits in the terminal's slice
// (one system call per arrival); the last part of a wait, a wait without an
// end, and a line with line processing go through poll() with the exact
// time left. A slice that passes empty is a silent line or a hung-up one,
// and the poll() that follows tells them apart.
bool SerialLine::read(void* buffer, std::uint32_t count, std::uint32_t& transferred) {
    transferred = 0;
    if (!isOpen()) {
        return fail(EBADF);
    }
    if (count == 0) {
        return true;
    }
    if (buffer == nullptr) {
        return fail(EFAULT);
    }
    if (!prepareReads()) {
        return false;
    }
    const int fd = static_cast<int>(handle_);
    const CommTimeouts& timeouts = applied_.timeouts;
    const bool slicing = terminal_->slicing();
    const std::int64_t start = monotonicMicroseconds();

    bool hasTotal = false;
    std::int64_t totalDeadline = 0;
    std::int64_t interval = 0;
    bool returnOnFirstByte = false;
    if (timeouts.ReadIntervalTimeout == kMaxDword && timeouts.ReadTotalTimeoutMultiplier == 0 &&
        timeouts.ReadTotalTimeoutConstant == 0) {
        // Only what has already arrived.
        hasTotal = true;
        totalDeadline = start;
    } else if (timeouts.ReadIntervalTimeout == kMaxDword &&
               timeouts.ReadTotalTimeoutMultiplier == kMaxDword &&
               timeouts.ReadTotalTimeoutConstant != 0 &&
               timeouts.ReadTotalTimeoutConstant != kMaxDword) {
        // Whatever the first arrival brings, or nothing after the constant.
        hasTotal = true;
        totalDeadline = start + static_cast<std::int64_t>(timeouts.ReadTotalTimeoutConstant) * 1000;
        returnOnFirstByte = true;
    } else {
        const std::int64_t total = totalMicroseconds(timeouts.ReadTotalTimeoutMultiplier,
                                                     timeouts.ReadTotalTimeoutConstant, count);
        hasTotal = total != 0;
        totalDeadline = start + total;
        if (timeouts.ReadIntervalTimeout != kMaxDword) {
            interval = static_cast<std::int64_t>(timeouts.ReadIntervalTimeout) * 1000;
        }
    }

    auto* bytes = static_cast<unsigned char*>(buffer);
    std::int64_t lastArrival = start;
    bool waited = false;
    bool sliceCameEmpty = false;
    while (transferred < count) {
        const std::int64_t now = monotonicMicroseconds();
        // Microseconds left to wait; -1: no end.
        std::int64_t left = hasTotal ? std::max<std::int64_t>(0, totalDeadline - now) : -1;
        if (interval != 0 && transferred > 0) {
            const std::int64_t gap = std::max<std::int64_t>(0, lastArrival + interval - now);
            left = left < 0 ? gap : std::min(left, gap);
        }
        if (left == 0 && waited) {
            break;
        }
        waited = true;

        ssize_t got = 0;
        if (slicing && !sliceCameEmpty && left >= kSliceLongestMicroseconds) {
            got = ::read(fd, bytes + transferred, count - transferred);
            if (got == 0) {
                sliceCameEmpty = true;
                continue;
            }
        } else {
            const int wait = left < 0 ? -1 : millisecondsUntil(now + left, now);
            pollfd entry{fd, POLLIN, 0};
            const int ready = poll(&entry, 1, wait);
            if (ready < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            if (ready == 0) {
                continue;
            }
            if ((entry.revents & POLLNVAL) != 0) {
                return fail(EBADF);
            }
            // Bytes that came before a hang-up are still delivered; read()
            // itself tells the hang-up apart (end of file, or EIO).
            if ((entry.revents & POLLIN) == 0) {
                if ((entry.revents & (POLLHUP | POLLERR)) != 0) {
                    return fail(EIO);
                }
                continue;
            }
            got = ::read(fd, bytes + transferred, count - transferred);
            if (got == 0) {
                return fail(EIO);
            }
            sliceCameEmpty = false;
        }
        if (got > 0) {
            transferred += static_cast<std::uint32_t>(got);
            lastArrival = monotonicMicroseconds();
            if (returnOnFirstByte) {
                break;
            }
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        return false;
    }
    return true;
}

namespace {

// The descriptor's non-blocking flag for the life of the object, so that a
// write with a time-out waits for room in poll(), never inside write().
class NonBlocking {
public:
    explicit NonBlocking(int fd) : fd_(fd), flags_(fcntl(fd, F_GETFL)) {
        ok_ = flags_ >= 0 && fcntl(fd_, F_SETFL, flags_ | O_NONBLOCK) == 0;
    }
    ~NonBlocking() {
        if (ok_) {
            const int code = errno;
            fcntl(fd_, F_SETFL, flags_);
            errno = code;
        }
    }
    NonBlocking(const NonBlocking&) = delete;
    NonBlocking& operator=(const NonBlocking&) = delete;
    bool ok() const { return ok_; }

private:
    int fd_;
    int flags_;
    bool ok_ = false;
};

}  // namespace

// A write waits for room on the line for at most its total time-out
// (multiplier per byte plus constant); both 0 means no time-out, and the
// write simply blocks until the line has taken every byte.
bool SerialLine::write(const void* bytes, std::uint32_t count, std::uint32_t& transferred) {
    transferred = 0;
    if (!isOpen()) {
        return fail(EBADF);
    }
    if (count == 0) {
        return true;
    }
    if (bytes == nullptr) {
        return fail(EFAULT);
    }
    const int fd = static_cast<int>(handle_);
    const CommTimeouts& timeouts = applied_.timeouts;
    const std::int64_t total = totalMicroseconds(timeouts.WriteTotalTimeoutMultiplier,
                                                 timeouts.WriteTotalTimeoutConstant, count);
    const auto* data = static_cast<const unsigned char*>(bytes);
    if (total == 0) {
        while (transferred < count) {
            const ssize_t put = ::write(fd, data + transferred, count - transferred);
            if (put > 0) {
                transferred += static_cast<std::uint32_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR) {
                continue;
            }
            return put < 0 ? false : fail(EIO);
        }
        return true;
    }

    const NonBlocking nonBlocking(fd);
    if (!nonBlocking.ok()) {
        return false;
    }
    const std::int64_t deadline = monotonicMicroseconds() + total;
    while (transferred < count) {
        const ssize_t put = ::write(fd, data + transferred, count - transferred);
        if (put > 0) {
            transferred += static_cast<std::uint32_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        const int wait = millisecondsUntil(deadline, monotonicMicroseconds());
        if (wait == 0) {
            break;
        }
        pollfd entry{fd, POLLOUT, 0};
        const int ready = poll(&entry, 1, wait);
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (ready > 0 && (entry.revents & POLLNVAL) != 0) {
            return fail(EBADF);
        }
        if (ready > 0 && (entry.revents & POLLOUT) == 0 &&
            (entry.revents & (POLLHUP | POLLERR)) != 0) {
            return fail(EIO);
        }
    }
    return true;
}

}  // namespace platform

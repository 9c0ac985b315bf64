// Serial line on Linux: a terminal opened exclusively by its path. The
// settings record travels through termios_translation; this file keeps the
// terminal itself: what the port takes over at open and puts back at close
// (the terminal's settings, its driver's latency), and the reads and writes.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "platform/linux/termios_translation.h"
#include "platform/platform.h"

namespace platform {

namespace translation = termios_translation;

namespace {

// A binary line never waits inside read() (VMIN 0, VTIME 0): the reader
// waits itself, in poll() for the first byte of a transfer and in a sleep
// for the line time of the bytes still on their way, so that a frame costs
// a few wake-ups instead of one per byte.
constexpr std::uint32_t kFallbackBaud = 9600;
// A byte that came this recently says the line is in the middle of a
// transfer, in units of one character's line time: the next ones follow back
// to back.
constexpr std::int64_t kTransferGapCharacters = 2;
// What a UART or an adapter may still hold once the terminal's own output
// queue is empty, and a scheduler's lateness, on top of the queue's line
// time: the longest the settings wait at close for the last bytes to leave.
constexpr std::int64_t kDrainAllowanceMicroseconds = 100000;

constexpr int kHandshakeLines = TIOCM_RTS | TIOCM_DTR;

bool fail(int code) {
    errno = code;
    return false;
}

int failure(int code) {
    errno = code;
    return -1;
}

// A pseudo-terminal, or a line whose driver has no UART behind it, answers
// the modem-line and serial-driver requests so: nothing to do there.
bool notOffered(int code) {
    return code == ENOTTY || code == EINVAL;
}

void readsNeverWait(termios& settings) {
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
}

// One character on the line at these settings, in microseconds: a start
// bit, the data bits, a parity bit, the stop bits.
std::int64_t characterMicroseconds(const Dcb& dcb) {
    const std::uint32_t baud = dcb.BaudRate != 0 ? dcb.BaudRate : kFallbackBaud;
    const std::uint32_t dataBits = dcb.ByteSize >= 5 && dcb.ByteSize <= 8 ? dcb.ByteSize : 8;
    const std::uint32_t bits =
        1 + dataBits + (dcb.Parity != kNoParity ? 1 : 0) + (dcb.StopBits == kTwoStopBits ? 2 : 1);
    return (std::int64_t{bits} * 1000000 + baud - 1) / baud;
}

// The end of a wait on the monotonic clock, or no end.
class Deadline {
public:
    static Deadline after(std::int64_t microseconds) {
        return Deadline(monotonicMicroseconds() + microseconds);
    }
    static Deadline never() { return Deadline(-1); }

    // Microseconds left, 0 once passed; -1 without an end.
    std::int64_t microsecondsLeft() const {
        if (at_ < 0) {
            return -1;
        }
        return std::max<std::int64_t>(0, at_ - monotonicMicroseconds());
    }
    // The time left for poll(): rounded up, so that a wait never ends just
    // short of the deadline; -1 without an end.
    int pollMilliseconds() const {
        const std::int64_t left = microsecondsLeft();
        if (left < 0) {
            return -1;
        }
        return static_cast<int>(std::min<std::int64_t>((left + 999) / 1000, 0x7FFFFFFF));
    }
    bool passed() const { return microsecondsLeft() == 0; }

private:
    explicit Deadline(std::int64_t at) : at_(at) {}
    std::int64_t at_;
};

void sleepUntil(std::int64_t at) {
    const timespec until{static_cast<time_t>(at / 1000000), static_cast<long>(at % 1000000) * 1000};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

// 1 when input (or the end of the line) is there to read, 0 when the wait
// ended first, -1 on a failure; a hang-up with nothing left to read is EIO.
int waitForInput(int fd, int milliseconds) {
    pollfd entry{fd, POLLIN, 0};
    const int ready = poll(&entry, 1, milliseconds);
    if (ready <= 0) {
        return ready < 0 && errno != EINTR ? -1 : 0;
    }
    if ((entry.revents & POLLNVAL) != 0) {
        return failure(EBADF);
    }
    // Bytes that came before a hang-up are still delivered; read() itself
    // tells the hang-up apart (end of file, or EIO).
    if ((entry.revents & POLLIN) != 0) {
        return 1;
    }
    return (entry.revents & (POLLHUP | POLLERR)) != 0 ? failure(EIO) : 0;
}

}  // namespace

struct SerialLine::State {
    explicit State(int descriptor) : fd(descriptor) {}

    int fd;
    // The terminal's own settings as found: they come back whole at close,
    // since the record has no room for most of them (VMIN, CLOCAL, the
    // control characters, ...).
    termios found{};
    // The record as last written: the fields the terminal has no place for.
    Dcb dcb{};
    CommTimeouts timeouts{};
    // A wait for the output to leave that ran out: the line is gone or held
    // back, and until something is written again a further wait would only
    // repeat that one, at the host's stop.
    bool outputStuck = false;
    // Set when this object asked the serial driver for low latency.
    bool lowLatencyAsked = false;
    // The driver's error counts as last seen; none where it keeps none.
    std::optional<serial_icounter_struct> errorCounts;
    // When the last bytes came in, on the monotonic clock.
    std::int64_t lastArrival = 0;
    // The line hands bytes over in groups (a receive FIFO, a USB packet):
    // a new transfer cannot be slept for as if its bytes followed the last
    // ones back to back, and the first group's arrival wakes the reader.
    bool groupedDelivery = false;

    bool takeOver();
    bool makeBinary();
    void askLowLatency();
    void release();
    void drainOutput();
    bool raiseHandshakeLines() const;
    enum class Wait;
    bool readBy(void* buffer, std::uint32_t count, const Deadline& deadline,
                std::uint32_t& transferred);
    bool readUntil(unsigned char* into, std::uint32_t count, const Deadline& deadline,
                   std::uint32_t& transferred);
    Wait waitForBytes(std::uint32_t missing, bool mayPace, const Deadline& deadline,
                      std::int64_t& due) const;
    void learnDelivery(bool guessedInVain, bool polled, std::uint32_t got);
};

// Exclusive use, and binary transfer from the first byte on (a Win32 port
// knows no other). On failure errno tells why, and nothing changed.
bool SerialLine::State::takeOver() {
    // The lock keeps out every other instance of this driver, privileged or
    // not; TIOCEXCL keeps out other openers (a privileged one excepted).
    // Taken in this order, a refused open never clears the flag of the
    // instance that holds the line.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        return false;
    }
    if (!makeBinary()) {
        const int code = errno;
        ioctl(fd, TIOCNXCL);
        return fail(code);
    }
    dcb = translation::foundLineSettings(found);
    askLowLatency();
    serial_icounter_struct counts{};
    if (ioctl(fd, TIOCGICOUNT, &counts) == 0) {
        errorCounts = counts;
    }
    return true;
}

// The settings as found, kept; reads and writes that block from here on (the
// open did not wait for a carrier); binary transfer with reads that never wait.
bool SerialLine::State::makeBinary() {
    const int flags = fcntl(fd, F_GETFL);
    if (tcgetattr(fd, &found) != 0 || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return false;
    }
    termios binary = found;
    translation::makeBinary(binary);
    readsNeverWait(binary);
    return tcsetattr(fd, TCSANOW, &binary) == 0;
}

// A USB adapter otherwise holds received bytes until its latency timer runs
// out (16 ms on FTDI-style parts), and every frame waits for it. A line
// whose driver offers no such setting goes on without it.
void SerialLine::State::askLowLatency() {
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        lowLatencyAsked = ioctl(fd, TIOCSSERIAL, &serial) == 0;
    }
}

// A change of speed or framing under a byte still on its way cuts it, so
// new settings wait for the output to leave: while the terminal's queue
// holds bytes, then while the UART's transmitter does where it tells. The
// wait is bounded by the line time of what is queued: a line that is gone
// or held back by flow control never holds up the caller (TCSADRAIN would
// wait for it without end).
void SerialLine::State::drainOutput() {
    if (outputStuck) {
        return;
    }
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0) {
        return;
    }
    const std::int64_t character = characterMicroseconds(dcb);
    const Deadline deadline = Deadline::after(queued * character + kDrainAllowanceMicroseconds);
    for (;;) {
        unsigned int transmitter = TIOCSER_TEMT;
        if (queued == 0 &&
            (ioctl(fd, TIOCSERGETLSR, &transmitter) != 0 || (transmitter & TIOCSER_TEMT) != 0)) {
            return;
        }
        const std::int64_t left = deadline.microsecondsLeft();
        if (left == 0) {
            outputStuck = true;
            return;
        }
        const std::int64_t pause = std::max<std::int64_t>(queued, 1) * character;
        sleepUntil(monotonicMicroseconds() + std::min(pause, left));
        if (ioctl(fd, TIOCOUTQ, &queued) != 0) {
            return;
        }
    }
}

// Everything takeOver() changed goes back, in reverse order; a terminal that
// is gone refuses, and there is nothing left to restore. The lines RTS and
// DTR as they were before the open cannot be known (the open raised them):
// what becomes of them is the found settings' to say, which come back
// whole; where those have them down after the last user, they go down now.
void SerialLine::State::release() {
    serial_struct serial{};
    if (lowLatencyAsked && ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags &= ~ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
    drainOutput();
    tcsetattr(fd, TCSANOW, &found);
    if (int drop = translation::modemLinesDownAfterClose(found); drop != 0) {
        // A line without modem lines refuses, and has nothing to drop.
        ioctl(fd, TIOCMBIC, &drop);
    }
    // The exclusive flag belongs to the terminal, not to this descriptor.
    ioctl(fd, TIOCNXCL);
}

// Linux has no input-only RTS handshake (CRTSCTS would hold output for CTS
// as well), and at these rates a frame never fills the input buffer: RTS and
// DTR simply stay up while the port is open.
bool SerialLine::State::raiseHandshakeLines() const {
    int lines = kHandshakeLines;
    return ioctl(fd, TIOCMBIS, &lines) == 0 || notOffered(errno);
}

SerialLine::SerialLine() = default;

SerialLine::~SerialLine() {
    if (isOpen()) {
        close();
    }
}

bool SerialLine::open(const char* name) {
    if (isOpen()) {
        return fail(EBUSY);
    }
    if (name == nullptr) {
        return fail(EFAULT);
    }
    const int fd = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    auto state = std::make_unique<State>(fd);
    if (!state->takeOver()) {
        const int code = errno;
        ::close(fd);
        return fail(code);
    }
    state_ = std::move(state);
    return true;
}

bool SerialLine::close() {
    if (!isOpen()) {
        return fail(EBADF);
    }
    const std::unique_ptr<State> state = std::move(state_);
    state->release();
    // Linux releases the descriptor even when close() reports EINTR.
    return ::close(state->fd) == 0 || errno == EINTR;
}

bool SerialLine::getLineSettings(Dcb& dcb) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    termios settings{};
    if (tcgetattr(state_->fd, &settings) != 0) {
        return false;
    }
    dcb = translation::readLineSettings(settings, state_->dcb);
    return true;
}

bool SerialLine::setLineSettings(const Dcb& dcb) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    termios settings{};
    if (tcgetattr(state_->fd, &settings) != 0) {
        return false;
    }
    const int refusal = translation::writeLineSettings(dcb, settings, state_->found);
    if (refusal != 0) {
        return fail(refusal);
    }
    readsNeverWait(settings);
    state_->drainOutput();
    if (tcsetattr(state_->fd, TCSANOW, &settings) != 0) {
        return false;
    }
    if (translation::raisesModemLines(dcb) && !state_->raiseHandshakeLines()) {
        return false;
    }
    state_->dcb = dcb;
    return true;
}

bool SerialLine::getTimeouts(CommTimeouts& timeouts) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    timeouts = state_->timeouts;
    return true;
}

// Only kept: the next read waits by them, and the terminal is not touched.
bool SerialLine::setTimeouts(const CommTimeouts& timeouts) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    if (const int refusal = translation::checkTimeouts(timeouts); refusal != 0) {
        return fail(refusal);
    }
    state_->timeouts = timeouts;
    return true;
}

// How a wait for missing bytes ended.
enum class SerialLine::State::Wait { slept, ready, passed, failed };

// In the middle of a transfer the missing bytes are on the wire back to
// back: it sleeps until the last of them is due (`due`) rather than wake at
// each. Otherwise, and after a sleep that did not bring them all (they are
// late, or the line paused), poll() waits for the next arrival.
SerialLine::State::Wait SerialLine::State::waitForBytes(std::uint32_t missing, bool mayPace,
                                                        const Deadline& deadline,
                                                        std::int64_t& due) const {
    const std::int64_t left = deadline.microsecondsLeft();
    if (left == 0) {
        return Wait::passed;
    }
    const std::int64_t character = characterMicroseconds(dcb);
    const std::int64_t now = monotonicMicroseconds();
    if (mayPace && now - lastArrival < kTransferGapCharacters * character) {
        due = lastArrival + character * missing;
        sleepUntil(left < 0 ? due : std::min(due, now + left));
        return Wait::slept;
    }
    const int ready = waitForInput(fd, deadline.pollMilliseconds());
    if (ready < 0) {
        return Wait::failed;
    }
    if (ready == 0) {
        return deadline.passed() ? Wait::passed : Wait::slept;
    }
    return Wait::ready;
}

// A sleep for a transfer not begun yet that found nothing says the line
// hands bytes over in groups; a single byte that woke the reader says it
// does not.
void SerialLine::State::learnDelivery(bool guessedInVain, bool polled, std::uint32_t got) {
    if (guessedInVain) {
        groupedDelivery = true;
    } else if (polled && got == 1) {
        groupedDelivery = false;
    }
}

// Takes what is in, and waits for the rest until the deadline. What is in
// is asked of the terminal first: a read() that finds nothing waits for
// the terminal's input work to be flushed, a costly wake-up of its own. A
// reader that has fallen behind the line finds its bytes in at once, and so
// catches up.
bool SerialLine::State::readUntil(unsigned char* into, std::uint32_t count,
                                  const Deadline& deadline, std::uint32_t& transferred) {
    bool slept = false;
    bool guessed = false;
    bool pollSawInput = false;
    std::int64_t due = -1;
    while (transferred < count) {
        int queued = 0;
        if (ioctl(fd, TIOCINQ, &queued) != 0) {
            return false;
        }
        learnDelivery(guessed && queued == 0, pollSawInput, static_cast<std::uint32_t>(queued));
        guessed = false;
        if (queued > 0 || pollSawInput) {
            const std::uint32_t wanted =
                std::min(count - transferred, static_cast<std::uint32_t>(std::max(queued, 1)));
            const ssize_t got = ::read(fd, into + transferred, wanted);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                // Readable with nothing to read is the end of the line.
                return got < 0 ? false : fail(EIO);
            }
            transferred += static_cast<std::uint32_t>(got);
            // Bytes found after a sleep came by its end at the latest; the
            // line's own pace, not the wake-up's lateness, times the next.
            const std::int64_t now = monotonicMicroseconds();
            lastArrival = due >= 0 ? std::min(now, due) : now;
            due = -1;
            pollSawInput = false;
            continue;
        }
        const bool beginning = transferred == 0;
        switch (waitForBytes(count - transferred, !slept && !(beginning && groupedDelivery),
                             deadline, due)) {
            case Wait::failed:
                return false;
            case Wait::passed:
                return true;
            case Wait::slept:
                // Bytes still missing after their time are late: each one's
                // arrival wakes the reader from here on.
                guessed = beginning && due >= 0;
                slept = true;
                break;
            case Wait::ready:
                due = -1;
                pollSawInput = true;
                break;
        }
    }
    return true;
}

bool SerialLine::State::readBy(void* buffer, std::uint32_t count, const Deadline& deadline,
                               std::uint32_t& transferred) {
    if (count == 0) {
        return true;
    }
    if (buffer == nullptr) {
        return fail(EFAULT);
    }
    return readUntil(static_cast<unsigned char*>(buffer), count, deadline, transferred);
}

// A total time-out per call, as ReadFile has it: the bytes that came before
// it passed are the result, and a silent line is no failure.
bool SerialLine::read(void* buffer, std::uint32_t count, std::uint32_t& transferred) {
    transferred = 0;
    if (!isOpen()) {
        return fail(EBADF);
    }
    const std::int64_t wait = translation::readWaitMicroseconds(state_->timeouts, count);
    return state_->readBy(buffer, count, wait != 0 ? Deadline::after(wait) : Deadline::never(),
                          transferred);
}

bool SerialLine::readFor(void* buffer, std::uint32_t count, std::uint32_t milliseconds,
                         std::uint32_t& transferred) {
    transferred = 0;
    if (!isOpen()) {
        return fail(EBADF);
    }
    return state_->readBy(buffer, count, Deadline::after(std::int64_t{milliseconds} * 1000),
                          transferred);
}

// The driver counts what the UART reported since the line was set up; only
// the growth since the last look matters.
bool SerialLine::receiveErrorsSince() {
    if (!isOpen() || !state_->errorCounts) {
        return false;
    }
    serial_icounter_struct counts{};
    if (ioctl(state_->fd, TIOCGICOUNT, &counts) != 0) {
        return false;
    }
    const serial_icounter_struct& last = *state_->errorCounts;
    const bool grew = counts.frame != last.frame || counts.overrun != last.overrun ||
                      counts.parity != last.parity || counts.brk != last.brk ||
                      counts.buf_overrun != last.buf_overrun;
    state_->errorCounts = counts;
    return grew;
}

// Writes have no time-out (a record that asks for one is refused): the line
// takes every byte, or the write fails.
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
    const auto* data = static_cast<const unsigned char*>(bytes);
    state_->outputStuck = false;
    while (transferred < count) {
        const ssize_t put = ::write(state_->fd, data + transferred, count - transferred);
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

}  // namespace platform

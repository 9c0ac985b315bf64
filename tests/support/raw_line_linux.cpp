#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "tests/support/raw_line.h"

namespace testing_support {

namespace {

speed_t speedOf(unsigned baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B9600;
    }
}

}  // namespace

const bool RawLine::kReadSeesHangup = true;

RawLine::~RawLine() {
    close();
}

bool RawLine::open(const std::string& name, unsigned baud) {
    close();
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error_ = "open " + name + ": " + std::strerror(errno);
        return false;
    }
    handle_ = fd;
    return setBaud(baud);
}

void RawLine::close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
}

bool RawLine::isOpen() const {
    return handle_ >= 0;
}

bool RawLine::setBaud(unsigned baud) {
    termios settings{};
    const int fd = static_cast<int>(handle_);
    if (tcgetattr(fd, &settings) != 0) {
        error_ = std::string("tcgetattr: ") + std::strerror(errno);
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CREAD | CLOCAL | CRTSCTS;
    settings.c_cflag &= ~CSTOPB;
    cfsetispeed(&settings, speedOf(baud));
    cfsetospeed(&settings, speedOf(baud));
    if (tcsetattr(fd, TCSANOW, &settings) != 0) {
        error_ = std::string("tcsetattr: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool RawLine::write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written =
            ::write(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            error_ = std::string("write: ") + std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

RawLine::ReadEnd RawLine::read(std::size_t count, int timeoutMs, std::vector<std::uint8_t>& bytes) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bytes.clear();
    while (bytes.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return ReadEnd::TimedOut;
        pollfd watched{static_cast<int>(handle_), POLLIN, 0};
        const int ready = poll(&watched, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return ReadEnd::TimedOut;
        std::uint8_t buffer[256];
        const std::size_t wanted = std::min(sizeof buffer, count - bytes.size());
        const ssize_t got = ready < 0 ? -1 : ::read(static_cast<int>(handle_), buffer, wanted);
        if (got < 0 && errno == EINTR) continue;
        // A hung-up terminal reads as end of file (0), an unplugged one as
        // EIO: both mean the line is gone.
        if (got <= 0) {
            error_ =
                got == 0 ? "end of file (hang-up)" : std::string("read: ") + std::strerror(errno);
            return ReadEnd::HungUp;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return ReadEnd::Complete;
}

}  // namespace testing_support

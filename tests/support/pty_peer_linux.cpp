#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "tests/support/pty_peer.h"

// The kernel's record with the rates beside the speed codes, which glibc's
// termios does not carry (asm/termbits.h cannot be included beside it).
struct termios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};

namespace testing_support {

namespace {

// The speed code that says "the rate is set beside the codes" (BOTHER).
constexpr speed_t kRateBesideCodes = CBAUDEX;
constexpr int kInputSpeedShift = 16;

struct Speed {
    unsigned baud;
    speed_t code;
};

constexpr Speed kSpeeds[] = {{0, B0},         {1200, B1200},   {2400, B2400},
                             {4800, B4800},   {9600, B9600},   {19200, B19200},
                             {38400, B38400}, {57600, B57600}, {115200, B115200}};

unsigned baudOf(speed_t code) {
    for (const Speed& speed : kSpeeds) {
        if (speed.code == code) {
            return speed.baud;
        }
    }
    return 0;
}

speed_t codeOf(unsigned baud) {
    for (const Speed& speed : kSpeeds) {
        if (speed.baud == baud) {
            return speed.code;
        }
    }
    return B9600;
}

class LinuxPtyPeer final : public PtyPeer {
public:
    LinuxPtyPeer(int master, int slave, std::string name)
        : master_(master), slave_(slave), name_(std::move(name)) {}

    ~LinuxPtyPeer() override {
        hangUp();
        if (slave_ >= 0) {
            ::close(slave_);
        }
    }

    const std::string& portName() const override { return name_; }

    LineSettings settings() const override {
        termios t{};
        LineSettings result;
        if (master_ < 0 || tcgetattr(master_, &t) != 0) {
            return result;
        }
        result.baud = baudOf(cfgetospeed(&t));
        result.rateBesideCodes = cfgetospeed(&t) == kRateBesideCodes;
        switch (t.c_cflag & CSIZE) {
            case CS5:
                result.byteSize = 5;
                break;
            case CS6:
                result.byteSize = 6;
                break;
            case CS7:
                result.byteSize = 7;
                break;
            default:
                result.byteSize = 8;
                break;
        }
        result.twoStopBits = (t.c_cflag & CSTOPB) != 0;
        result.parityGenerated = (t.c_cflag & PARENB) != 0;
        result.parityOdd = (t.c_cflag & PARODD) != 0;
        result.parityChecked = (t.c_iflag & INPCK) != 0;
        result.handshake = (t.c_cflag & CRTSCTS) != 0;
        result.raw = (t.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (t.c_oflag & OPOST) == 0 &&
                     (t.c_iflag & (ICRNL | IXON)) == 0;
        return result;
    }

    bool prepare(const LineSettings& s) override {
        termios t{};
        if (tcgetattr(slave_, &t) != 0) {
            return false;
        }
        if (s.raw) {
            cfmakeraw(&t);
        } else {
            t.c_iflag |= ICRNL | IXON;
            t.c_oflag |= OPOST | ONLCR;
            t.c_lflag |= ICANON | ECHO | ISIG;
            if (!s.canonical) {
                t.c_lflag &= ~ICANON;
                t.c_cc[VMIN] = s.vmin;
                t.c_cc[VTIME] = s.vtime;
            }
        }
        cfsetispeed(&t, codeOf(s.baud));
        cfsetospeed(&t, codeOf(s.baud));
        t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
        t.c_cflag |= s.byteSize == 7 ? CS7 : s.byteSize == 6 ? CS6 : s.byteSize == 5 ? CS5 : CS8;
        t.c_cflag |= (s.twoStopBits ? CSTOPB : 0) | (s.parityGenerated ? PARENB : 0) |
                     (s.parityOdd ? PARODD : 0) | (s.handshake ? CRTSCTS : 0);
        t.c_iflag = s.parityChecked ? (t.c_iflag | INPCK) : (t.c_iflag & ~INPCK);
        return tcsetattr(slave_, TCSANOW, &t) == 0 && (!s.rateBesideCodes || setRate(s.baud));
    }

    bool send(const std::vector<std::uint8_t>& bytes) override {
        return master_ >= 0 &&
               ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    std::vector<std::uint8_t> receive(std::size_t count, int timeoutMs) override {
        std::vector<std::uint8_t> bytes;
        const std::int64_t deadline =
            platform::monotonicMicroseconds() + static_cast<std::int64_t>(timeoutMs) * 1000;
        while (master_ >= 0 && bytes.size() < count) {
            const std::int64_t left = deadline - platform::monotonicMicroseconds();
            if (left <= 0) {
                break;
            }
            pollfd entry{master_, POLLIN, 0};
            if (poll(&entry, 1, static_cast<int>(left / 1000) + 1) <= 0) {
                continue;
            }
            std::uint8_t chunk[64];
            const std::size_t wanted = std::min(sizeof chunk, count - bytes.size());
            const ssize_t got = ::read(master_, chunk, wanted);
            if (got <= 0) {
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return bytes;
    }

    void hangUp() override {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }

private:
    bool setRate(unsigned baud) const {
        termios2 t{};
        if (ioctl(slave_, TCGETS2, &t) != 0) {
            return false;
        }
        t.c_cflag &= ~(CBAUD | CIBAUD);
        t.c_cflag |= kRateBesideCodes | (kRateBesideCodes << kInputSpeedShift);
        t.c_ispeed = baud;
        t.c_ospeed = baud;
        return ioctl(slave_, TCSETS2, &t) == 0;
    }

    int master_;
    int slave_;
    std::string name_;
};

class LinuxStandardInputProbe final : public StandardInputProbe {
public:
    LinuxStandardInputProbe(int saved, int readEnd) : saved_(saved), readEnd_(readEnd) {}

    ~LinuxStandardInputProbe() override {
        if (saved_ >= 0) {
            dup2(saved_, STDIN_FILENO);
            ::close(saved_);
        } else {
            ::close(STDIN_FILENO);
        }
        ::close(readEnd_);
    }

    bool untouched() override {
        pollfd entry{STDIN_FILENO, POLLIN, 0};
        return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
    }

private:
    int saved_;
    int readEnd_;
};

}  // namespace

std::unique_ptr<PtyPeer> PtyPeer::open() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        return nullptr;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    return std::make_unique<LinuxPtyPeer>(master, slave, name);
}

const char* PtyPeer::unavailableReason() {
    return "no pseudo-terminal available";
}

std::unique_ptr<StandardInputProbe> StandardInputProbe::install() {
    int ends[2] = {-1, -1};
    if (pipe(ends) != 0) {
        return nullptr;
    }
    const std::uint8_t marker = 0x5A;
    // A closed standard input is put back closed.
    const int saved = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    if (::write(ends[1], &marker, 1) != 1 || dup2(ends[0], STDIN_FILENO) < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        if (saved >= 0) {
            ::close(saved);
        }
        return nullptr;
    }
    ::close(ends[1]);
    return std::make_unique<LinuxStandardInputProbe>(saved, ends[0]);
}

}  // namespace testing_support

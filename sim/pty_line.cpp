#include "sim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace sim {

PtyLine::PtyLine(std::string linkPath) : link_(std::move(linkPath)) {}

PtyLine::~PtyLine() {
    hangup();
    if (!link_.empty() && !slavePath_.empty()) {
        // Only our own link goes: someone may have pointed the path elsewhere.
        std::vector<char> target(4096);
        const ssize_t length = readlink(link_.c_str(), target.data(), target.size() - 1);
        const std::string pointsAt(target.data(),
                                   static_cast<std::size_t>(std::max<ssize_t>(length, 0)));
        if (pointsAt == slavePath_ || pointsAt == unpluggedTarget()) {
            unlink(link_.c_str());
        }
    }
}

bool PtyLine::plug(std::string& error) {
    hangup();
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = std::string("openpty failed: ") + std::strerror(errno);
        return false;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    termios settings{};
    tcgetattr(slave, &settings);
    cfmakeraw(&settings);
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    tcsetattr(slave, TCSANOW, &settings);

    master_ = master;
    slave_ = slave;
    slavePath_ = name;
    startTerminalHolder();
    return publishLink(slavePath_, error);
}

void PtyLine::startTerminalHolder() {
    // The holder says when the terminal is its own: until then another
    // session leader opening the slave (wineserver, when the driver opens
    // the line at once) could still take it over.
    int ready[2] = {-1, -1};
    if (pipe2(ready, O_CLOEXEC) != 0) ready[0] = ready[1] = -1;
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child != 0) {
        holder_ = child;  // -1 when fork failed: the line works all the same
        if (ready[1] >= 0) close(ready[1]);
        if (ready[0] >= 0) {
            pollfd entry{ready[0], POLLIN, 0};
            char byte = 0;
            if (child > 0 && poll(&entry, 1, 2000) > 0) {
                (void)read(ready[0], &byte, 1);
            }
            close(ready[0]);
        }
        return;
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGHUP, SIG_IGN);
    signal(SIGINT, SIG_IGN);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(0);
    const long limit = std::min(sysconf(_SC_OPEN_MAX), 4096L);
    // Nothing of the simulator's stays open here, not even its output
    // (whoever reads that waits for every writer to close it).
    const int nothing = open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd) dup2(nothing, fd);
    for (int fd = 3; fd < limit; ++fd) {
        if (fd != slave_ && fd != ready[1]) close(fd);
    }
    setsid();
    ioctl(slave_, TIOCSCTTY, 0);
    if (ready[1] >= 0) {
        const char byte = 1;
        (void)write(ready[1], &byte, 1);
        close(ready[1]);
    }
    for (;;) pause();
}

bool PtyLine::publishLink(const std::string& target, std::string& error) const {
    if (link_.empty()) return true;
    // A fresh name beside the link, then rename over it: whoever opens the
    // link sees either the old line or the new one, never nothing.
    const std::string temporary = link_ + ".new." + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        error = "cannot create link " + temporary + ": " + std::strerror(errno);
        return false;
    }
    if (rename(temporary.c_str(), link_.c_str()) != 0) {
        error = "cannot move link to " + link_ + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string PtyLine::unpluggedTarget() const {
    return slavePath_ + ".unplugged";
}

void PtyLine::hangup() {
    // The terminal's name goes to the next pseudo-terminal anyone on the
    // machine opens once it is given up: a driver reopening the link then
    // would find another program's line. So the link leads nowhere first,
    // until the line is plugged again.
    std::string ignored;
    if (master_ >= 0) publishLink(unpluggedTarget(), ignored);
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    slave_ = -1;
    master_ = -1;
    if (holder_ > 0) {
        kill(holder_, SIGKILL);
        waitpid(holder_, nullptr, 0);
    }
    holder_ = -1;
}

bool PtyLine::attributes(termios& settings) const {
    return master_ >= 0 && tcgetattr(master_, &settings) == 0;
}

void PtyLine::discardPending() const {
    if (slave_ >= 0) tcflush(slave_, TCIFLUSH);
    if (master_ >= 0) tcflush(master_, TCIFLUSH);
}

}  // namespace sim

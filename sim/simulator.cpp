#include "sim/simulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "sim/clock.h"
#include "sim/line_attributes.h"

namespace sim {

namespace {

// Caps on what a test may leave unread: beyond them the oldest news is lost
// rather than memory.
constexpr std::size_t kMaxReceived = 1 << 20;
constexpr std::size_t kMaxStamps = 100000;
// With nothing due the loop still wakes now and then.
constexpr std::int64_t kIdleWake = 1000000;
// A hang-up discards whatever the driver's side has not read yet, so a
// planned unplug waits this long after its last byte: the driver, waiting
// in its read, takes the bytes in first.
constexpr std::int64_t kUnplugDelay = 50000;

bool writePortFile(const std::string& path, std::uint16_t port, std::string& error) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << port << '\n';
        if (!file.flush()) {
            error = "cannot write " + temporary;
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot move the port file to " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

Simulator::Simulator(Options options) : options_(std::move(options)), line_(options_.link) {}

bool Simulator::start(std::string& error) {
    if (!line_.plug(error)) return false;
    // A script wins over a frame, a frame over a mode.
    std::string initial = "mode " + options_.mode;
    if (!options_.script.empty()) {
        initial = "script " + options_.script;
    } else if (!options_.frame.empty()) {
        initial = "frame " + options_.frame;
    }
    std::vector<std::string> commands = {initial};
    if (!options_.restPoint.empty()) commands.push_back("rest-point " + options_.restPoint);
    if (!options_.travel.empty()) commands.push_back("travel " + options_.travel);
    if (!options_.noise.empty() || !options_.noiseSeed.empty()) {
        commands.push_back("noise " + (options_.noise.empty() ? "0" : options_.noise) + ' ' +
                           (options_.noiseSeed.empty() ? "1" : options_.noiseSeed));
    }
    for (const std::string& command : commands) {
        const std::string reply = execute(command);
        if (reply.rfind("ok", 0) != 0) {
            error = command + ": " + reply;
            return false;
        }
    }
    if (!control_.listen(static_cast<std::uint16_t>(options_.controlPort), error)) return false;
    if (!options_.portFile.empty() && !writePortFile(options_.portFile, control_.port(), error)) {
        return false;
    }
    return true;
}

void Simulator::run(const volatile std::sig_atomic_t* stop, const sigset_t* waitMask) {
    std::vector<pollfd> fds;
    while (!quit_ && !*stop) {
        const std::int64_t now = monotonicMicroseconds();
        serviceLine(now);

        fds.clear();
        const bool lineWatched = line_.isUp();
        if (lineWatched) fds.push_back({line_.master(), POLLIN, 0});
        const std::size_t controlAt = fds.size();
        control_.watch(fds);

        const std::int64_t wait =
            std::max<std::int64_t>(0, nextWake(now) - monotonicMicroseconds());
        timespec timeout{static_cast<time_t>(wait / 1000000),
                         static_cast<long>(wait % 1000000) * 1000};
        const int ready = ppoll(fds.data(), fds.size(), &timeout, waitMask);
        if (ready < 0) continue;  // a signal: look at the stop flag
        if (lineWatched && (fds[0].revents & POLLIN)) drainLine(monotonicMicroseconds());
        control_.service(fds.data() + controlAt, fds.size() - controlAt,
                         [this](const std::string& command) { return execute(command); });
    }
}

std::int64_t Simulator::nextWake(std::int64_t now) const {
    std::int64_t wake = now + kIdleWake;
    if (const auto due = pacer_.nextDue()) wake = std::min(wake, *due);
    if (const auto due = model_.nextAnswerDue()) wake = std::min(wake, *due);
    if (model_.silentAt(now)) wake = std::min(wake, model_.silentUntil());
    if (unplugAt_) wake = std::min(wake, *unplugAt_);
    return wake;
}

void Simulator::serviceLine(std::int64_t now) {
    if (!line_.isUp()) return;
    if (unplugAt_) {
        if (now >= *unplugAt_) {
            takeLineDown();
            if (options_.verbose) log("line unplugged");
            return;
        }
        // Being pulled out: requests still come in but go unanswered.
        drainLine(now);
        model_.dropRequests();
        return;
    }
    drainLine(now);
    const unsigned baud = currentBaud();
    model_.service(now, baud, pacer_);
    writeDue(now);
    // A stream's next frame follows as soon as the last one is out.
    model_.service(now, baud, pacer_);
}

unsigned Simulator::currentBaud() const {
    termios settings{};
    if (!line_.attributes(settings)) return 0;
    return baudOf(cfgetospeed(&settings));
}

void Simulator::drainLine(std::int64_t now) {
    std::uint8_t buffer[4096];
    for (;;) {
        const ssize_t got = read(line_.master(), buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            return;
        }
        const auto count = static_cast<std::size_t>(got);
        if (received_.size() + count <= kMaxReceived) {
            received_.insert(received_.end(), buffer, buffer + count);
        }
        model_.received(buffer, count, now);
        if (options_.verbose) log("line < " + std::to_string(count) + " bytes");
    }
}

// Everything due goes out in one write: a group handed over at once
// reaches the driver's side together, as a receiver's burst does. A byte
// after which the adapter is pulled out closes the write.
void Simulator::writeDue(std::int64_t now) {
    const std::vector<ScheduledByte> due = pacer_.takeDue(now);
    std::uint8_t values[256];
    std::size_t at = 0;
    while (at < due.size()) {
        std::size_t count = 0;
        bool unplugs = false;
        while (at + count < due.size() && count < sizeof values && !unplugs) {
            values[count] = due[at + count].value;
            unplugs = due[at + count].unplugsLine;
            ++count;
        }
        ssize_t written;
        do {
            written = write(line_.master(), values, count);
        } while (written < 0 && errno == EINTR);
        // A full line is a receiver overrun on a real one: the bytes are lost.
        const std::size_t taken = written < 0 ? 0 : static_cast<std::size_t>(written);
        overruns_ += count - taken;
        const std::int64_t writtenAt = monotonicMicroseconds();
        for (std::size_t i = 0; i < taken; ++i) {
            const ScheduledByte& byte = due[at + i];
            if (byte.endsFrame && stamping_ && stamps_.size() < kMaxStamps) {
                stamps_.push_back({writtenAt, byte.valuator1});
            }
        }
        if (unplugs) {
            pacer_.clear();
            model_.dropRequests();
            unplugAt_ = writtenAt + kUnplugDelay;
            return;
        }
        at += count;
    }
}

void Simulator::takeLineDown() {
    line_.hangup();
    pacer_.clear();
    model_.dropRequests();
    unplugAt_.reset();
}

void Simulator::log(const std::string& text) const {
    std::fprintf(stderr, "pallador-sim: %s\n", text.c_str());
}

}  // namespace sim

// The simulator as one single-threaded event loop: the line, the device
// model, its pacer and the control channel. Nothing here blocks; every wait
// is the loop's one ppoll with the nearest deadline.
#pragma once

#include <signal.h>

#include <csignal>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/control_server.h"
#include "sim/options.h"
#include "sim/pacer.h"
#include "sim/pallador_model.h"
#include "sim/pty_line.h"

namespace sim {

class Simulator {
public:
    explicit Simulator(Options options);

    // The line, its link, the frame source and the control channel; the
    // port file last, so whoever waits for it finds everything ready.
    bool start(std::string& error);
    // Until "quit" or until *stop turns non-zero. Signals are delivered only
    // while the loop waits, with waitMask in force.
    void run(const volatile std::sig_atomic_t* stop, const sigset_t* waitMask);

    std::string execute(const std::string& command);
    std::uint16_t controlPort() const { return control_.port(); }
    const PtyLine& line() const { return line_; }

private:
    struct Stamp {
        std::int64_t written;  // monotonic microseconds after the frame's last byte
        std::uint16_t valuator1;
    };

    void serviceLine(std::int64_t now);
    void drainLine(std::int64_t now);
    void writeDue(std::int64_t now);
    // The adapter pulled out: master closed, nothing queued, nothing owed.
    void takeLineDown();
    unsigned currentBaud() const;
    std::int64_t nextWake(std::int64_t now) const;
    void log(const std::string& text) const;

    // Commands (commands.cpp); each returns its reply line.
    std::string help(const std::string& args);
    std::string status(const std::string& args);
    std::string attrs(const std::string& args);
    std::string send(const std::string& args);
    std::string received(const std::string& args);
    std::string mode(const std::string& args);
    std::string frame(const std::string& args);
    std::string script(const std::string& args);
    std::string restPoint(const std::string& args);
    std::string travel(const std::string& args);
    std::string noise(const std::string& args);
    std::string silent(const std::string& args);
    std::string probeAnswer(const std::string& args);
    std::string stream(const std::string& args);
    std::string halfWord(const std::string& args);
    std::string burst(const std::string& args);
    std::string latency(const std::string& args);
    std::string answerDelay(const std::string& args);
    std::string lose(const std::string& args);
    std::string stray(const std::string& args);
    std::string corrupt(const std::string& args);
    std::string faults(const std::string& args);
    std::string faultLog(const std::string& args);
    std::string clock(const std::string& args);
    std::string stamps(const std::string& args);
    std::string hangup(const std::string& args);
    std::string hangupAfter(const std::string& args);
    std::string replug(const std::string& args);
    std::string reset(const std::string& args);
    std::string quit(const std::string& args);

    Options options_;
    PtyLine line_;
    ControlServer control_;
    PalladorModel model_;
    Pacer pacer_;
    std::vector<std::uint8_t> received_;
    bool stamping_ = false;
    std::vector<Stamp> stamps_;
    std::uint64_t overruns_ = 0;
    // Set once the last byte before a planned unplug is out: the line goes
    // down then, and until then the device answers nothing.
    std::optional<std::int64_t> unplugAt_;
    bool quit_ = false;
};

}  // namespace sim

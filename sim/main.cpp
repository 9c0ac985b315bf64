// pallador-sim: a Pallador on a pseudo-terminal, steered over TCP.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>

#include "build_info.h"
#include "sim/options.h"
#include "sim/simulator.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

}  // namespace

int main(int argc, char** argv) {
    sim::Options options;
    std::string error;
    if (!sim::parseOptions(argc, argv, options, error)) {
        std::cerr << "pallador-sim: " << error << '\n';
        return 2;
    }
    if (options.help) {
        std::cout << sim::usageText();
        return 0;
    }
    if (options.version) {
        std::cout << "pallador-sim " PALLADOR_VERSION "\n";
        return 0;
    }

    // Signals only ever arrive inside the loop's wait, so no state is torn.
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    if (options.exitWithParent) {
        const pid_t parent = getppid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        // The parent may have gone before the request took hold.
        if (getppid() != parent) return 0;
    }

    sim::Simulator simulator(options);
    if (!simulator.start(error)) {
        std::cerr << "pallador-sim: " << error << '\n';
        return 1;
    }
    std::cout << "pallador-sim: line " << simulator.line().slavePath();
    if (!options.link.empty()) std::cout << " at " << options.link;
    std::cout << "\npallador-sim: control on 127.0.0.1:" << simulator.controlPort() << '\n';
    std::cout.flush();

    simulator.run(&stopRequested, &waitMask);
    return 0;
}

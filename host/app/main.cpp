// pallador-host: reads a device through the plug-in, as a host program does,
// and shows what it publishes.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "build_info.h"
#include "host/app/calibrate.h"
#include "host/app/command_line.h"
#include "host/app/host_config.h"
#include "host/app/host_platform.h"
#include "host/app/session.h"
#include "host/kit/whole_file.h"

namespace {

host::Session* activeSession = nullptr;
std::atomic<bool> calibrationStopped{false};

void stopActiveSession() {
    if (activeSession != nullptr) {
        activeSession->requestStop();
    }
}

void stopCalibration() {
    calibrationStopped.store(true);
}

int usageError(const std::string& text) {
    std::fprintf(stderr, "pallador-host: %s\n%s", text.c_str(), host::kUsage);
    return 2;
}

std::string firstExisting(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates) {
        if (!path.empty() && host::fileExists(path)) {
            return path;
        }
    }
    return candidates.empty() ? std::string() : candidates.front();
}

std::string simulatorProgram() {
    const char* chosen = std::getenv("PALLADOR_SIM");
    if (chosen != nullptr && *chosen != '\0') {
        return chosen;
    }
    const std::string here = host::programDirectory();
    return firstExisting({host::pathJoin(here, "pallador-sim"),
                          host::pathJoin(host::pathJoin(here, "sim"), "pallador-sim")});
}

// Beside the program (a build tree, the Windows package), else where the
// installed layout puts it relative to the program.
std::string defaultPlugin() {
    const std::string here = host::programDirectory();
    return firstExisting({host::pathJoin(here, host::pluginFileName()),
                          host::pathJoin(host::pathJoin(here, PALLADOR_PLUGIN_DIR_FROM_PROGRAM),
                                         host::pluginFileName())});
}

void copyToStandardError(const std::string& path) {
    std::istringstream file(hostkit::wholeFile(path).value_or(""));
    std::string line;
    while (std::getline(file, line)) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

// The simulated device's line and its files, for --simulate; gone with it.
struct SimulatedLine {
    std::string workDirectory;
    host::SimulatorProcess simulator;

    ~SimulatedLine() {
        simulator.stop();
        if (!workDirectory.empty()) {
            host::removeTree(workDirectory);
        }
    }
};

// Starts the simulator and points the configuration's port at it: 0, or the
// program's exit status.
int startSimulation(const host::CommandLine& line, host::HostConfig& config, SimulatedLine& sim) {
    sim.workDirectory = host::makeTemporaryDirectory();
    if (sim.workDirectory.empty()) {
        std::fprintf(stderr, "pallador-host: no temporary directory for the simulator\n");
        return 1;
    }
    const std::string link = host::pathJoin(sim.workDirectory, "line");
    if (!host::overridePort(config, link)) {
        std::fprintf(stderr, "%s: no room for the simulator's port line (%zu option lines)\n",
                     line.configPath.c_str(), host::kMaxOptionLines);
        return 2;
    }
    std::string error;
    const std::string portFile = host::pathJoin(sim.workDirectory, "control-port");
    if (!sim.simulator.start(simulatorProgram(), link, portFile, error)) {
        std::fprintf(stderr, "pallador-host: %s\n", error.c_str());
        return 1;
    }
    std::istringstream port(hostkit::wholeFile(portFile).value_or(""));
    std::string number;
    port >> number;
    std::fprintf(stderr, "pallador-host: simulator on %s, control on 127.0.0.1:%s\n", link.c_str(),
                 number.c_str());
    return 0;
}

void applyCommandLine(const host::CommandLine& line, host::SessionSettings& settings) {
    settings.pluginPath = host::choosePlugin(line.pluginPath, settings.config, defaultPlugin());
    settings.debugLevel = line.debugLevel;
    settings.debugGiven = line.debugGiven;
    settings.frames = line.frames;
    settings.seconds = line.seconds;
    settings.mode = line.json                  ? host::OutputMode::json
                    : host::stdoutIsTerminal() ? host::OutputMode::live
                                               : host::OutputMode::plain;
}

// Runs the device until the end of the run; the exit status.
int runSession(host::SessionSettings settings) {
    std::string logDirectory;
    if (settings.mode == host::OutputMode::live) {
        logDirectory = host::makeTemporaryDirectory();
        settings.logPath = host::pathJoin(logDirectory, "plugin.log");
        host::enableAnsiEscapes();
    }
    settings.out = host::divertStandardOutput(settings.logPath);
    if (settings.out == nullptr) {
        std::fprintf(stderr, "pallador-host: cannot separate the plug-in's output\n");
        return 1;
    }
    int status = 0;
    {
        host::Session session(std::move(settings));
        activeSession = &session;
        host::installStopHandler(stopActiveSession);
        status = session.run();
        host::installStopHandler(nullptr);
        activeSession = nullptr;
    }
    std::cout.flush();
    std::fflush(stdout);
    if (status != 0 && !logDirectory.empty()) {
        copyToStandardError(host::pathJoin(logDirectory, "plugin.log"));
    }
    return status;
}

// pallador-host calibrate ...: the guided run, its output apart from the
// plug-in's, which goes to a file of its own.
int calibrate(const std::vector<std::string>& arguments) {
    const host::CalibrateLineResult parsed = host::parseCalibrateLine(arguments);
    if (!parsed.ok()) {
        std::fprintf(stderr, "pallador-host: %s\n%s", parsed.error.c_str(), host::kCalibrateUsage);
        return 2;
    }
    if (parsed.settings.help) {
        std::fputs(host::kCalibrateUsage, stdout);
        return 0;
    }
    host::CalibrateRun run;
    run.settings = parsed.settings;
    run.pluginPath = defaultPlugin();
    run.terminal = host::stdoutIsTerminal();
    if (run.terminal) {
        host::enableAnsiEscapes();
    }
    const std::string logDirectory = host::makeTemporaryDirectory();
    run.pluginLogPath = host::pathJoin(logDirectory, "plugin.log");
    run.out = host::divertStandardOutput(run.pluginLogPath);
    if (logDirectory.empty() || run.out == nullptr) {
        std::fprintf(stderr, "pallador-host: cannot separate the plug-in's output\n");
        return 1;
    }
    host::installStopHandler(stopCalibration);
    const int status = host::runCalibration(run, calibrationStopped);
    host::installStopHandler(nullptr);
    std::fflush(run.out);
    host::removeTree(logDirectory);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "calibrate") {
        return calibrate(std::vector<std::string>(argv + 2, argv + argc));
    }
    const host::CommandLineResult parsed =
        host::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.ok()) {
        return usageError(parsed.error);
    }
    const host::CommandLine& line = parsed.line;
    if (line.help) {
        std::fputs(host::kUsage, stdout);
        return 0;
    }
    if (line.version) {
        std::fputs("pallador-host " PALLADOR_VERSION "\n", stdout);
        return 0;
    }

    host::ConfigResult read = host::readConfigFile(line.configPath);
    if (!read.ok()) {
        std::fprintf(stderr, "%s\n", read.error.c_str());
        return 2;
    }
    host::SessionSettings settings;
    settings.config = std::move(read.config);
    SimulatedLine simulated;
    if (line.simulate) {
        if (const int status = startSimulation(line, settings.config, simulated); status != 0) {
            return status;
        }
    }
    applyCommandLine(line, settings);
    return runSession(std::move(settings));
}

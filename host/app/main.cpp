// pallador-host: reads a device through the plug-in, as a host program does,
// and shows what it publishes.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "host/app/command_line.h"
#include "host/app/host_config.h"
#include "host/app/host_platform.h"
#include "host/app/session.h"

namespace {

host::Session* activeSession = nullptr;

void stopActiveSession() {
    if (activeSession != nullptr) {
        activeSession->requestStop();
    }
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

void copyToStandardError(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
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

    host::ConfigResult read = host::readConfigFile(line.configPath);
    if (!read.ok()) {
        std::fprintf(stderr, "%s\n", read.error.c_str());
        return 2;
    }
    host::SessionSettings settings;
    settings.config = std::move(read.config);

    std::string workDirectory;
    host::SimulatorProcess simulator;
    const auto cleanUp = [&] {
        simulator.stop();
        if (!workDirectory.empty()) {
            host::removeTree(workDirectory);
        }
    };
    if (line.simulate) {
        workDirectory = host::makeTemporaryDirectory();
        if (workDirectory.empty()) {
            std::fprintf(stderr, "pallador-host: no temporary directory for the simulator\n");
            return 1;
        }
        const std::string link = host::pathJoin(workDirectory, "line");
        if (!host::overridePort(settings.config, link)) {
            std::fprintf(stderr, "%s: no room for the simulator's port line (%zu option lines)\n",
                         line.configPath.c_str(), host::kMaxOptionLines);
            cleanUp();
            return 2;
        }
        std::string error;
        const std::string portFile = host::pathJoin(workDirectory, "control-port");
        if (!simulator.start(simulatorProgram(), link, portFile, error)) {
            std::fprintf(stderr, "pallador-host: %s\n", error.c_str());
            cleanUp();
            return 1;
        }
        std::ifstream port(portFile);
        std::string number;
        port >> number;
        std::fprintf(stderr, "pallador-host: simulator on %s, control on 127.0.0.1:%s\n",
                     link.c_str(), number.c_str());
    }

    settings.pluginPath = !line.pluginPath.empty() ? line.pluginPath
                          : !settings.config.pluginPath.empty()
                              ? settings.config.pluginPath
                              : host::pathJoin(host::programDirectory(), host::pluginFileName());
    settings.debugLevel = line.debugLevel;
    settings.debugGiven = line.debugGiven;
    settings.frames = line.frames;
    settings.seconds = line.seconds;
    settings.mode = line.json                  ? host::OutputMode::json
                    : host::stdoutIsTerminal() ? host::OutputMode::live
                                               : host::OutputMode::plain;

    std::string logDirectory;
    if (settings.mode == host::OutputMode::live) {
        logDirectory = host::makeTemporaryDirectory();
        settings.logPath = host::pathJoin(logDirectory, "plugin.log");
        host::enableAnsiEscapes();
    }
    settings.out = host::divertStandardOutput(settings.logPath);
    if (settings.out == nullptr) {
        std::fprintf(stderr, "pallador-host: cannot separate the plug-in's output\n");
        cleanUp();
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
    cleanUp();
    return status;
}

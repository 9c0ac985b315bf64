// What the host program needs from the system beyond the plug-in's own
// platform layer: its console, its location, stop requests and the
// simulator child. One backend file per platform.
#pragma once

#include <cstdio>
#include <string>

namespace host {

// The directory holding the running program, without a trailing separator.
std::string programDirectory();
std::string pathJoin(const std::string& directory, const std::string& name);
bool fileExists(const std::string& path);
// A new private directory for the run's files; empty on failure.
std::string makeTemporaryDirectory();
void removeTree(const std::string& directory);

// The plug-in's file name on this system.
const char* pluginFileName();

bool stdoutIsTerminal();
// Lets the console interpret ANSI escapes (a no-op where it always does).
void enableAnsiEscapes();

// Separates the host's own output from the plug-in's: returns a stream on
// what standard output was, and sends standard output (where the plug-in
// writes) to `path`, or to standard error when the path is empty. Null on
// failure, with standard output left as it was.
std::FILE* divertStandardOutput(const std::string& path);

// Calls `onStop` once per Ctrl-C, SIGTERM or console close, from a signal
// handler or a system thread: it may only store atomics.
void installStopHandler(void (*onStop)());

// The device simulator as a child process on a line published at `link`.
class SimulatorProcess {
public:
    SimulatorProcess() = default;
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Starts `program` and waits until its control port file appears
    // (`portFile`); false with `error` set otherwise.
    bool start(const std::string& program, const std::string& link, const std::string& portFile,
               std::string& error);
    void stop();

private:
    long pid_ = -1;
};

}  // namespace host

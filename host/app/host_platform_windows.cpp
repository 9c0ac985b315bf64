#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/app/host_platform.h"

namespace host {

namespace {

void (*stopCallback)() = nullptr;

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            if (stopCallback != nullptr) {
                stopCallback();
            }
            // Handled: the loop ends by itself once the flag is seen.
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

std::string programDirectory() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return ".";
    }
    std::string text(path, length);
    const std::size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : text.substr(0, slash);
}

std::string pathJoin(const std::string& directory, const std::string& name) {
    return directory.empty() ? name : directory + "\\" + name;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string makeTemporaryDirectory() {
    char base[MAX_PATH + 1] = {};
    if (GetTempPathA(MAX_PATH, base) == 0) {
        return {};
    }
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string name = std::string(base) + "pallador-host." +
                                 std::to_string(GetCurrentProcessId()) + "." +
                                 std::to_string(attempt);
        if (CreateDirectoryA(name.c_str(), nullptr)) {
            return name;
        }
    }
    return {};
}

void removeTree(const std::string& directory) {
    std::error_code error;
    std::filesystem::remove_all(directory, error);
}

const char* pluginFileName() {
    return "pallador.dll";
}

bool stdoutIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

void enableAnsiEscapes() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(out, &mode)) {
        // ENABLE_VIRTUAL_TERMINAL_PROCESSING; older consoles ignore the request.
        SetConsoleMode(out, mode | 0x0004);
    }
}

std::FILE* divertStandardOutput(const std::string& path) {
    std::fflush(stdout);
    const int original = _dup(_fileno(stdout));
    if (original < 0) {
        return nullptr;
    }
    const int target = path.empty()
                           ? _dup(_fileno(stderr))
                           : _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
    std::FILE* stream = target >= 0 ? _fdopen(original, "w") : nullptr;
    if (stream == nullptr || _dup2(target, _fileno(stdout)) < 0) {
        if (stream != nullptr) {
            std::fclose(stream);
        } else {
            _close(original);
        }
        if (target >= 0) {
            _close(target);
        }
        return nullptr;
    }
    _close(target);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    return stream;
}

void installStopHandler(void (*onStop)()) {
    stopCallback = onStop;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

SimulatorProcess::~SimulatorProcess() {
    stop();
}

bool SimulatorProcess::start(const std::string& program, const std::string&, const std::string&,
                             std::string& error) {
    error = "--simulate needs the native simulator and is not offered by the Windows host (" +
            program +
            "): start pallador-sim on the Linux side with --link into the Wine prefix's "
            "dosdevices and point the port line at that COM name";
    return false;
}

void SimulatorProcess::stop() {
    pid_ = -1;
}

}  // namespace host

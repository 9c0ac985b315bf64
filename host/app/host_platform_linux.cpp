#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "host/app/host_platform.h"
#include "host/kit/deadline.h"

namespace host {

namespace {

void (*stopCallback)() = nullptr;

extern "C" void onSignal(int) {
    if (stopCallback != nullptr) {
        stopCallback();
    }
}

}  // namespace

std::string programDirectory() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return ".";
    }
    return self.parent_path().string();
}

std::string pathJoin(const std::string& directory, const std::string& name) {
    return directory.empty() ? name : directory + "/" + name;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string makeTemporaryDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/pallador-host.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return ::mkdtemp(name.data()) != nullptr ? std::string(name.data()) : std::string();
}

void removeTree(const std::string& directory) {
    std::error_code error;
    std::filesystem::remove_all(directory, error);
}

const char* pluginFileName() {
    return "libpallador.so";
}

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

void enableAnsiEscapes() {}

std::FILE* divertStandardOutput(const std::string& path) {
    std::fflush(stdout);
    const int original = ::dup(STDOUT_FILENO);
    if (original < 0) {
        return nullptr;
    }
    ::fcntl(original, F_SETFD, FD_CLOEXEC);
    const int target = path.empty()
                           ? ::dup(STDERR_FILENO)
                           : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::FILE* stream = target >= 0 ? ::fdopen(original, "w") : nullptr;
    if (stream == nullptr || ::dup2(target, STDOUT_FILENO) < 0) {
        if (stream != nullptr) {
            std::fclose(stream);
        } else {
            ::close(original);
        }
        if (target >= 0) {
            ::close(target);
        }
        return nullptr;
    }
    ::close(target);
    // The plug-in's lines reach the file (or standard error) as it writes them.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return stream;
}

void installStopHandler(void (*onStop)()) {
    stopCallback = onStop;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocked wait in the plug-in wakes up and sees the flag.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

SimulatorProcess::~SimulatorProcess() {
    stop();
}

namespace {

// In the child: the simulator in place of this program, or the reason why not.
[[noreturn]] void runSimulator(const std::string& program, const std::string& link,
                               const std::string& portFile, pid_t parent) {
    // A group of its own: Ctrl-C reaches the host, which ends the child.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) {
        ::_exit(127);
    }
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
    }
    std::vector<std::string> words = {
        program,          "--link", link,          "--mode", "sweep",
        "--control-port", "0",      "--port-file", portFile, "--exit-with-parent"};
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    std::fprintf(stderr, "pallador-host: cannot run %s: %s\n", program.c_str(),
                 std::strerror(errno));
    ::_exit(127);
}

}  // namespace

bool SimulatorProcess::start(const std::string& program, const std::string& link,
                             const std::string& portFile, std::string& error) {
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("cannot start the simulator: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        runSimulator(program, link, portFile, parent);
    }
    pid_ = pid;
    const hostkit::Deadline deadline(10);
    while (!deadline.passed()) {
        struct stat info {};
        if (::stat(portFile.c_str(), &info) == 0 && info.st_size > 0) {
            return true;
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid_ = -1;
            error = "the simulator " + program + " ended at its start";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error = "the simulator " + program + " did not come up within 10 s";
    stop();
    return false;
}

void SimulatorProcess::stop() {
    if (pid_ <= 0) {
        return;
    }
    const pid_t pid = static_cast<pid_t>(pid_);
    pid_ = -1;
    ::kill(pid, SIGTERM);
    const hostkit::Deadline patience(2.5);
    while (!patience.passed()) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

}  // namespace host

#include "program_run.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace host_testing {

namespace {

std::string scratchDirectory() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/host-test.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return ::mkdtemp(name.data()) != nullptr ? std::string(name.data()) : std::string("/tmp");
}

}  // namespace

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string writeTemporaryFile(const std::string& name, const std::string& text) {
    static const std::string directory = scratchDirectory();
    const std::string path = directory + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        lines.push_back(line);
    }
    return lines;
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

ProgramRun::ProgramRun(const std::vector<std::string>& arguments) : directory_(scratchDirectory()) {
    const std::string outPath = directory_ + "/out";
    const std::string errPath = directory_ + "/err";
    pid_ = ::fork();
    if (pid_ == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int none = ::open("/dev/null", O_RDONLY);
        ::dup2(none, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<std::string> words = arguments;
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

ProgramRun::~ProgramRun() {
    if (pid_ > 0 && status_ == -3) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    std::error_code error;
    std::filesystem::remove_all(directory_, error);
}

std::string ProgramRun::out() const {
    return fileText(directory_ + "/out");
}

std::string ProgramRun::err() const {
    return fileText(directory_ + "/err");
}

bool ProgramRun::waitForErr(const std::string& text, int timeoutMs) const {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        if (err().find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return err().find(text) != std::string::npos;
}

void ProgramRun::signal(int number) const {
    ::kill(pid_, number);
}

int ProgramRun::wait(int timeoutMs) {
    if (status_ != -3) {
        return status_;
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            return status_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

}  // namespace host_testing

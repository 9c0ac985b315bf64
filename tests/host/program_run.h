// The host program as a child process, its two output streams in files.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace host_testing {

class ProgramRun {
public:
    explicit ProgramRun(const std::vector<std::string>& arguments);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    std::string out() const;
    std::string err() const;
    // Waits until standard error holds `text` (true) or the time is up.
    bool waitForErr(const std::string& text, int timeoutMs) const;
    void signal(int number) const;
    // The exit status, or -1 when the program was still running after the
    // time (it is killed then), or -2 when it ended by a signal.
    int wait(int timeoutMs);

private:
    pid_t pid_ = -1;
    std::string directory_;
    int status_ = -3;
};

std::string fileText(const std::string& path);
std::string writeTemporaryFile(const std::string& name, const std::string& text);
std::vector<std::string> linesOf(const std::string& text);
std::size_t countOf(const std::string& text, const std::string& part);

}  // namespace host_testing

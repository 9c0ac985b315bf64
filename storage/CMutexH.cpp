#include "storage/CMutexH.h"

#include <iostream>
#include <string>

namespace {

constexpr const char* kLockFailed = "CMutexH: Locking mutex: ";
constexpr const char* kUnlockFailed = "CMutexH: Unlocking mutex: ";

// The system's text ends with its own line break on Windows; the report
// ends the line itself, so the text and the prefix stay on one line.
std::string withoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

platform::LockResult CMutexH::acquire() {
    const platform::LockResult result = platform::lockMutex(handle);
    if (result != platform::LockResult::acquired) {
        reportFailure(kLockFailed);
    }
    return result;
}

bool CMutexH::unlock() {
    if (platform::unlockMutex(handle)) {
        return true;
    }
    reportFailure(kUnlockFailed);
    return false;
}

void CMutexH::reportFailure(const char* prefix) const {
    // Read before anything else runs: writing the header may change the
    // thread's last error.
    const std::string text = withoutLineEnd(platform::lastErrorText());
    // A mutex whose host left the log out still reports, under its own name.
    if (log != nullptr) {
        log->error(prefix, false);
    } else {
        CMessageH("CMutexH").error(prefix, false);
    }
    std::cout << text << std::endl;
}

#include "storage/CMutexH.h"

#include <iostream>
#include <string>

namespace {

// A mutex whose host left the log out still reports, under its own name.
const CMessageH& fallbackLog() {
    static const CMessageH record = [] {
        CMessageH made;
        made.setName("CMutexH");
        return made;
    }();
    return record;
}

// The system's text ends with its own line break on Windows; the report
// ends the line itself, so the text and the prefix stay on one line.
std::string withoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

}  // namespace

bool CMutexH::lock() {
    if (platform::lockMutex(handle)) {
        return true;
    }
    reportFailure("CMutexH: Locking mutex: ");
    return false;
}

bool CMutexH::unlock() {
    if (platform::unlockMutex(handle)) {
        return true;
    }
    reportFailure("CMutexH: Unlocking mutex: ");
    return false;
}

void CMutexH::reportFailure(const char* prefix) const {
    // Read before anything else runs: writing the header may change the
    // thread's last error.
    const std::string text = withoutLineEnd(platform::lastErrorText());
    const CMessageH& target = log != nullptr ? *log : fallbackLog();
    target.error(prefix, false);
    std::cout << text << std::endl;
}

// The host's storage mutex as the plug-in sees it: a view over the host's
// object, of which only the system handle and the log are read.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "support/CMessageH.h"

class CMutexH {
public:
    // Waits without time-out. An abandoned or failed wait is reported
    // through the mutex's log with the system's text; only after a failed
    // one is the mutex not the caller's.
    platform::LockResult acquire();
    // True only for a plain successful wait.
    bool lock() { return acquire() == platform::LockResult::acquired; }
    // False, reported likewise, when the release was refused.
    bool unlock();

    // The layout shared with the host; the unnamed parts are the host's.
    std::uint8_t hostHead[68];
    platform::MutexHandle handle;
    std::uint8_t hostMiddle[8];
    CMessageH* log;

private:
    void reportFailure(const char* prefix) const;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(CMutexH, handle) == 68, "CMutexH handle offset");
static_assert(offsetof(CMutexH, log) == 80, "CMutexH log offset");
#endif

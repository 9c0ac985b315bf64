// The host's storage mutex on Windows: a Win32 mutex handle, waited for
// without time-out and released by its owner only.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

MutexHandle createMutex() {
    return CreateMutexA(nullptr, FALSE, nullptr);
}

void destroyMutex(MutexHandle mutex) {
    if (mutex != nullptr) {
        CloseHandle(mutex);
    }
}

LockResult lockMutex(MutexHandle mutex) {
    const DWORD result = WaitForSingleObject(mutex, INFINITE);
    if (result == WAIT_OBJECT_0) {
        return LockResult::acquired;
    }
    if (result == WAIT_ABANDONED) {
        // The wait succeeded and the caller owns the mutex, but the system
        // sets no error code for it; give the report a text that says what
        // happened instead of whatever error came before.
        SetLastError(ERROR_ABANDONED_WAIT_0);
        return LockResult::abandoned;
    }
    return LockResult::failed;
}

bool unlockMutex(MutexHandle mutex) {
    return ReleaseMutex(mutex) != 0;
}

}  // namespace platform

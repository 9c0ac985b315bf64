// The host's storage mutex on Linux: an error-checking pthread mutex, so a
// thread that does not own it cannot release it, and a robust one, so that a
// holder that ends without unlocking leaves it abandoned rather than stuck.
#include <pthread.h>

#include <cerrno>
#include <new>

#include "platform/platform.h"

namespace platform {

namespace {

// The pthread calls return their error instead of setting errno; the
// callers read the text through lastErrorText(), which reads errno.
bool succeeded(int result) {
    if (result != 0) {
        errno = result;
        return false;
    }
    return true;
}

}  // namespace

MutexHandle createMutex() {
    auto* mutex = new (std::nothrow) pthread_mutex_t;
    if (mutex == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    pthread_mutexattr_t attributes;
    if (!succeeded(pthread_mutexattr_init(&attributes))) {
        delete mutex;
        return nullptr;
    }
    const bool made = succeeded(pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ERRORCHECK)) &&
                      succeeded(pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST)) &&
                      succeeded(pthread_mutex_init(mutex, &attributes));
    pthread_mutexattr_destroy(&attributes);
    if (!made) {
        delete mutex;
        return nullptr;
    }
    return mutex;
}

void destroyMutex(MutexHandle mutex) {
    if (mutex == nullptr) {
        return;
    }
    auto* native = static_cast<pthread_mutex_t*>(mutex);
    pthread_mutex_destroy(native);
    delete native;
}

LockResult lockMutex(MutexHandle mutex) {
    if (mutex == nullptr) {
        errno = EINVAL;
        return LockResult::failed;
    }
    auto* native = static_cast<pthread_mutex_t*>(mutex);
    const int result = pthread_mutex_lock(native);
    if (result == EOWNERDEAD) {
        // Abandoned by a holder that ended: the caller owns it now, and
        // marking it consistent lets its later unlock release it for good.
        pthread_mutex_consistent(native);
        errno = EOWNERDEAD;
        return LockResult::abandoned;
    }
    return succeeded(result) ? LockResult::acquired : LockResult::failed;
}

bool unlockMutex(MutexHandle mutex) {
    if (mutex == nullptr) {
        errno = EINVAL;
        return false;
    }
    return succeeded(pthread_mutex_unlock(static_cast<pthread_mutex_t*>(mutex)));
}

}  // namespace platform

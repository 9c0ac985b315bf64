// The system's text for the last error on Linux.
#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace platform {

std::string lastErrorText() {
    const int code = errno;
    const char* text = std::strerror(code);
    return text != nullptr ? std::string(text) : std::string();
}

// The exclusive flag and the lock of another opener both refuse with EBUSY.
bool lastErrorMeansHeldElsewhere() {
    return errno == EBUSY;
}

}  // namespace platform

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/support/system_text.h"

namespace testing_support {

std::string notOwnerText() {
    return std::strerror(EPERM);
}
std::string abandonedText() {
    return std::strerror(EOWNERDEAD);
}
std::string closedLineText() {
    return std::strerror(EBADF);
}
std::string unpluggedLineText() {
    return std::strerror(EIO);
}

std::string openFailureText(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return "";
    }
    return std::strerror(errno);
}

}  // namespace testing_support

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

}  // namespace testing_support

#include "tests/support/port_names.h"

namespace testing_support {

std::string missingPortName() {
    return "/dev/pallador-no-such-port";
}

std::string missingPortNameOfLength(std::size_t length) {
    std::string name = "/dev/pallador-no-such-port-";
    name.resize(length, 'x');
    return name;
}

bool portsGoByNumber() {
    return false;
}

}  // namespace testing_support

#include "tests/support/port_names.h"

namespace testing_support {

std::string missingPortName() {
    return "COM42";
}

std::string missingPortNameOfLength(std::size_t length) {
    std::string name = "\\\\.\\PALLADOR-NO-SUCH-PORT-";
    name.resize(length, 'X');
    return name;
}

bool portsGoByNumber() {
    return true;
}

}  // namespace testing_support

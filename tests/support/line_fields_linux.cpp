#include "tests/support/line_fields.h"

namespace testing_support {

const char* const kCrtsctsUnderDeviceSettings = "0";

// The driver's own backend puts the whole terminal back as found.
std::map<std::string, std::string> restorableLineFields(std::map<std::string, std::string> attrs) {
    return attrs;
}

}  // namespace testing_support

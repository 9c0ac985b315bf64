#include "tests/support/line_fields.h"

namespace testing_support {

const char* const kCrtsctsUnderDeviceSettings = "1";

// Wine's serial driver turns every DCB it is given into terminal settings
// with CLOCAL set and VMIN and VTIME of its own: those follow Wine, not the
// DCB, which is what the port puts back.
std::map<std::string, std::string> restorableLineFields(std::map<std::string, std::string> attrs) {
    for (const char* field : {"clocal", "vmin", "vtime"}) {
        attrs.erase(field);
    }
    return attrs;
}

}  // namespace testing_support

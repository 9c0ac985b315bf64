// The line settings, as the simulator's "attrs" shows them, that closing a
// port must leave exactly as it found them on this platform.
#pragma once

#include <map>
#include <string>

namespace testing_support {

// `attrs` without the fields this platform's serial layer sets on its own
// whenever settings are applied, whatever they were before.
std::map<std::string, std::string> restorableLineFields(std::map<std::string, std::string> attrs);

// `attrs`' "crtscts" once the device's settings are applied (RTS handshaking,
// output that does not wait for CTS): the driver's own backend leaves the
// flag off, so that output never waits for CTS; Wine sets it for RTS
// handshaking, which shows that the DCB carried it.
extern const char* const kCrtsctsUnderDeviceSettings;

}  // namespace testing_support

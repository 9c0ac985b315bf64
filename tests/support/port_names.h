// Port names the serial tests need that differ between the platforms.
#pragma once

#include <string>

namespace testing_support {

// A name the system opens nothing under.
std::string missingPortName();

// A name of exactly `length` characters that names no port.
std::string missingPortNameOfLength(std::size_t length);

// True where ports go by number (COM1, COM10), so that the test wrapper
// must have given the line a name from COM10 up as well.
bool portsGoByNumber();

}  // namespace testing_support

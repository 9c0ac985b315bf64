// What the driver set on its side of the line, as the control channel tells it.
#pragma once

#include <termios.h>

#include <string>

namespace sim {

// The line speed in bits per second; 0 for B0 or a speed this table lacks.
unsigned baudOf(speed_t speed);

// "baud=9600 ispeed=9600 csize=8 ..." (fields listed in sim/README.md).
std::string describeAttributes(const termios& settings);

// True when bytes pass both ways untouched: no line editing, echo, signals,
// output processing or input translation.
bool isRaw(const termios& settings);

}  // namespace sim

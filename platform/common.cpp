// Platform operations that are built from the others, the same everywhere.
#include "platform/platform.h"

namespace platform {

double currentTime() {
    const ClockReading reading = readClock();
    return static_cast<double>(reading.seconds) + reading.milliseconds * 0.001;
}

// A line is open exactly while it holds its backend's state.
bool SerialLine::isOpen() const {
    return state_ != nullptr;
}

}  // namespace platform

// A line that goes away and comes back: an adapter pulled out and put back,
// a hub reset, a laptop that slept. The host only calls recvData again and
// again, so the device itself closes the dead line, opens it again by
// itself once it is back, and meanwhile keeps each call from spinning or
// filling the log.
#include <algorithm>
#include <cstdio>
#include <string>

#include "device/CRS232H.h"
#include "device/frame_reader.h"
#include "support/CMessageH.h"

namespace {

// Attempts to open the line again are this far apart, so that a host
// calling in a loop gets about one result a second while it is gone.
constexpr std::int64_t kReopenIntervalMicroseconds = 1000000;
// A waiting call looks at the run flag this often.
constexpr std::int64_t kRunFlagLookMicroseconds = 50000;

}  // namespace

// The port has reported the failure with the system's text; this says what
// comes of it, once per outage.
void FrameReader::reportOutage() {
    log.warning(("CPallador: Line to " + portName + " lost; reopening it once a second.").c_str(),
                true);
    reopenAt = now() + kReopenIntervalMicroseconds;
}

// Waits for the next attempt, then makes it. False while the line is still
// gone, or when the run flag ended the wait; true once the line is open
// again with the device's settings, and the device is to be found anew.
bool FrameReader::awaitLine() {
    if (reopenAt == 0) {
        reportOutage();
        return false;
    }
    for (std::int64_t left = reopenAt - now(); left > 0; left = reopenAt - now()) {
        if (!running()) {
            return false;
        }
        platform::sleepMilliseconds(
            static_cast<std::uint32_t>((std::min(left, kRunFlagLookMicroseconds) + 999) / 1000));
    }
    // The host's stop during the wait ends the outage for good.
    if (!running() || !port.lineLost()) {
        return false;
    }
    if (!port.reopenPort()) {
        reopenAt = now() + kReopenIntervalMicroseconds;
        return false;
    }
    reopenAt = 0;
    setUpLine();
    log.info(("CPallador: Line to " + portName + " is back; finding the device.").c_str(), true);
    detected_ = false;
    streamInterrupted = false;
    headCount = 0;
    provedFrame.reset();
    ownRequestAt = 0;
    lineTiming = LineTiming(baudRate);
    lineHealth.restart(now());
    return true;
}

// One line when the share of spoilt frames crosses a hundredth, one when it
// falls back; never more than one per window.
void FrameReader::reviewLineHealth() {
    const std::optional<LineHealth::Change> change = lineHealth.review(now());
    if (!change) {
        return;
    }
    char text[200];
    std::snprintf(text, sizeof text,
                  "%u of %u frames dropped in %.0f s (%u out of step, %u with line errors).",
                  change->dropped(), change->frames,
                  static_cast<double>(change->microseconds) / 1e6, change->outOfStep,
                  change->lineErrors);
    if (change->noisy) {
        log.warning(("CPallador: Line to " + portName + " is noisy: " + text).c_str(), true);
    } else {
        log.info(("CPallador: Line to " + portName + " is clean again: " + text).c_str(), true);
    }
}

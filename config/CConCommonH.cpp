#include "config/CConCommonH.h"

#include "platform/platform.h"

double currentTime() { return platform::currentTime(); }

void ControllerEntry::makeFresh() {
    outputNumber = 0;
    valuatorCount = 0;
    buttonCount = 0;
    for (std::uint32_t k = 0; k < kMaxChannels; ++k) {
        valuatorOrder[k] = 0;
        buttonOrder[k] = 0;
        valuatorScale[k][0] = 0.0f;
        valuatorScale[k][1] = 0.0f;
        valuatorScale[k][2] = 1.0f;
        valuatorScale[k][3] = 0.0f;
    }
    emulation.reset();
}

CConCommonH::CConCommonH(const CMessageH* creatorLog)
    : log(makeOwnLog(creatorLog, "CConCommonH", 3)) {
    log->debug("CConCommonH: \"constructor\" called.", true);
}

CConCommonH::~CConCommonH() {
    log->debug("CConCommonH: \"destructor\" called.", true);
    if (lookup) {
        clear();
    }
    if (ownsLog) {
        delete log;
    }
}

bool CConCommonH::allocate(std::uint32_t n, bool restrict) {
    if (n == 0) {
        return false;
    }
    if (lookup) {
        clear();
    }
    lookup = std::make_unique<ControllerEntry[]>(n);
    count = n;
    restrictIds = restrict;
    for (std::uint32_t i = 0; i < n; ++i) {
        lookup[i].makeFresh();
    }
    return true;
}

bool CConCommonH::setupController(std::uint32_t c, std::uint32_t output, std::uint32_t valuators,
                                  std::uint32_t buttons) {
    if (c == 0 || c > count || !lookup || valuators > ControllerEntry::kMaxChannels ||
        buttons > ControllerEntry::kMaxChannels) {
        return false;
    }
    ControllerEntry& e = entry(c);
    e.outputNumber = output;
    e.valuatorCount = valuators;
    e.buttonCount = buttons;
    for (std::uint32_t k = 1; k <= valuators; ++k) {
        e.valuatorOrder[k - 1] = k;
        e.valuatorScale[k - 1][0] = 0.0f;
        e.valuatorScale[k - 1][1] = 0.0f;
        e.valuatorScale[k - 1][2] = 1.0f;
        e.valuatorScale[k - 1][3] = 0.0f;
    }
    for (std::uint32_t k = 1; k <= buttons; ++k) {
        e.buttonOrder[k - 1] = k;
    }
    return true;
}

bool CConCommonH::setEmulation(std::uint32_t c, std::uint32_t number, const float (&init)[6],
                               const std::uint32_t (&axes)[6], std::uint32_t reset) {
    if (c == 0 || c > count || !lookup) {
        return false;
    }
    ControllerEntry& e = entry(c);
    if (!e.emulation) {
        e.emulation = std::make_unique<TrackerEmulation>();
    }
    e.emulation->trackerNumber = number;
    for (int axis = 0; axis < 6; ++axis) {
        e.emulation->initValues[axis] = init[axis];
        e.emulation->axisValuators[axis] = axes[axis];
    }
    e.emulation->resetButton = reset;
    e.emulation->lastTime = 0.0;
    return true;
}

bool CConCommonH::clear() {
    if (!lookup) {
        return false;
    }
    lookup.reset();
    count = 0;
    return true;
}

std::int32_t CConCommonH::numberTrackers(std::uint32_t first) {
    if (first == 0) {
        return 0;
    }
    std::int32_t numbered = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (lookup[i].emulation) {
            lookup[i].emulation->trackerNumber = first + static_cast<std::uint32_t>(numbered);
            ++numbered;
        }
    }
    return numbered;
}

double CConCommonH::scaleValue(std::uint32_t c, std::uint32_t r, float x) const {
    if (c == 0 || c > count || r == 0 || r > ControllerEntry::kMaxChannels || !lookup) {
        return 0.0;
    }
    const float(&scale)[4] = entry(c).valuatorScale[r - 1];
    const double value = x;
    const double square = value * value;
    const double cube = value * square;
    return (scale[0] * cube + scale[1] * square) + scale[2] * value + scale[3];
}

void CConCommonH::applyMapping(const float* raw, const std::int32_t* buttons,
                               ConData& out) const {
    const ControllerEntry& e = entry(1);
    for (std::uint32_t r = 1; r <= e.valuatorCount; ++r) {
        const auto y = static_cast<float>(scaleValue(1, r, raw[r - 1]));
        // setValuator drops output numbers 0 and those beyond the record.
        out.setValuator(e.valuatorOrder[r - 1], y);
    }
    for (std::uint32_t r = 1; r <= e.buttonCount; ++r) {
        out.setButton(e.buttonOrder[r - 1], buttons[r - 1]);
    }
    out.setId(e.outputNumber + controllerBase);
}

bool CConCommonH::resetEmulatedTracker(std::int32_t c, TraData* out, const ConData* from) const {
    if (out == nullptr || c < 1 || static_cast<std::uint32_t>(c) > count || !lookup) {
        return false;
    }
    const TrackerEmulation* emulation = entry(static_cast<std::uint32_t>(c)).emulation.get();
    if (emulation == nullptr) {
        return false;
    }
    if (from != nullptr) {
        out->setTimeStamp(from->getSeconds(), from->getMicroseconds());
    }
    out->setId(emulation->trackerNumber);
    for (int axis = 0; axis < 6; ++axis) {
        out->setPose(axis, emulation->initValues[axis]);
    }
    return true;
}

bool CConCommonH::emulateTracker(std::uint32_t c, TraData* out, const ConData* con) {
    return emulateTrackerAt(c, out, con, currentTime());
}

bool CConCommonH::emulateTrackerAt(std::uint32_t c, TraData* out, const ConData* con,
                                   double now) {
    if (c == 0 || c > count || out == nullptr || con == nullptr || !lookup ||
        !entry(c).emulation) {
        return false;
    }
    TrackerEmulation& emulation = *entry(c).emulation;
    if (emulation.resetButton != 0 && con->getButton(emulation.resetButton) == 1) {
        resetEmulatedTracker(static_cast<std::int32_t>(c), out, con);
        return true;
    }
    out->setTimeStamp(con->getSeconds(), con->getMicroseconds());
    out->setId(emulation.trackerNumber);
    if (emulation.lastTime == 0.0) {
        emulation.lastTime = now;
        resetEmulatedTracker(static_cast<std::int32_t>(c), out, con);
        return true;
    }
    stepTime = now - emulation.lastTime;
    emulation.lastTime = now;
    for (int axis = 0; axis < 6; ++axis) {
        const float speed = con->getValuator(emulation.axisValuators[axis]);
        const auto increment = static_cast<float>(speed * stepTime);
        const auto moved = static_cast<float>(out->getPose(axis) + increment);
        out->setPose(axis, moved);
    }
    return true;
}

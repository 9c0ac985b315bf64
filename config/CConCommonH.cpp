#include "config/CConCommonH.h"

#include "platform/platform.h"

ControllerEntry::ControllerEntry() {
    for (auto& coefficients : valuatorScale) {
        coefficients[0] = 0.0f;
        coefficients[1] = 0.0f;
        coefficients[2] = 1.0f;
        coefficients[3] = 0.0f;
    }
}

CConCommonH::CConCommonH(const CMessageH* creatorLog)
    : log(createOwnLog(creatorLog, "CConCommonH", 3)) {
    log->debug("CConCommonH: \"constructor\" called.", true);
}

CConCommonH::~CConCommonH() {
    log->debug("CConCommonH: \"destructor\" called.", true);
}

bool CConCommonH::allocate(std::uint32_t n, bool restrictToCounts) {
    if (n == 0 || n > kMaxControllers) {
        return false;
    }
    if (lookup) {
        clear();
    }
    lookup = std::make_unique<ControllerEntry[]>(n);
    count = n;
    restrictIds = restrictToCounts;
    return true;
}

ControllerEntry* CConCommonH::entry(std::uint32_t c) {
    if (!lookup || c == 0 || c > count) {
        return nullptr;
    }
    return &lookup[c - 1];
}

const ControllerEntry* CConCommonH::entry(std::uint32_t c) const {
    if (!lookup || c == 0 || c > count) {
        return nullptr;
    }
    return &lookup[c - 1];
}

bool CConCommonH::setupController(std::uint32_t c, std::uint32_t output, std::uint32_t valuators,
                                  std::uint32_t buttons) {
    ControllerEntry* e = entry(c);
    if (e == nullptr || valuators > ControllerEntry::kMaxElements ||
        buttons > ControllerEntry::kMaxElements) {
        return false;
    }
    e->outputNumber = output;
    e->valuatorCount = valuators;
    e->buttonCount = buttons;
    for (std::uint32_t k = 1; k <= valuators; ++k) {
        e->valuatorOrder[k - 1] = k;
        e->valuatorScale[k - 1][0] = 0.0f;
        e->valuatorScale[k - 1][1] = 0.0f;
        e->valuatorScale[k - 1][2] = 1.0f;
        e->valuatorScale[k - 1][3] = 0.0f;
    }
    for (std::uint32_t k = 1; k <= buttons; ++k) {
        e->buttonOrder[k - 1] = k;
    }
    return true;
}

bool CConCommonH::setEmulation(std::uint32_t c, std::uint32_t trackerNumber,
                               const std::array<float, TrackerEmulation::kAxes>& init,
                               const std::array<std::uint32_t, TrackerEmulation::kAxes>& axes,
                               std::uint32_t resetButton) {
    ControllerEntry* e = entry(c);
    if (e == nullptr) {
        return false;
    }
    if (!e->emulation) {
        e->emulation = std::make_unique<TrackerEmulation>();
    }
    e->emulation->trackerNumber = trackerNumber;
    e->emulation->initValues = init;
    e->emulation->axisValuators = axes;
    e->emulation->resetButton = resetButton;
    e->emulation->lastTime = 0.0;
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
    for (std::uint32_t c = 1; c <= count; ++c) {
        TrackerEmulation* emulation = lookup[c - 1].emulation.get();
        if (emulation != nullptr) {
            emulation->trackerNumber = first + static_cast<std::uint32_t>(numbered);
            ++numbered;
        }
    }
    return numbered;
}

double CConCommonH::scaleValue(std::uint32_t c, std::uint32_t r, float x) const {
    const ControllerEntry* e = entry(c);
    if (e == nullptr || r == 0 || r > ControllerEntry::kMaxElements) {
        return 0.0;
    }
    const float* a = e->valuatorScale[r - 1];
    const double x1 = x;
    const double x2 = x1 * x1;
    const double x3 = x1 * x2;
    return (a[0] * x3 + a[1] * x2) + a[2] * x1 + a[3];
}

bool CConCommonH::applyMapping(std::span<const float> rawValuators,
                               std::span<const std::int32_t> rawButtons, ConData& out) const {
    const ControllerEntry* e = entry(1);
    if (e == nullptr) {
        return false;
    }
    const std::uint32_t published = out.getValuatorCount();
    for (std::uint32_t r = 1; r <= e->valuatorCount && r <= rawValuators.size(); ++r) {
        const auto y = static_cast<float>(scaleValue(1, r, rawValuators[r - 1]));
        const std::uint32_t o = e->valuatorOrder[r - 1];
        if (o >= 1 && o <= published) {
            out.setValuator(o, y);
        }
    }
    for (std::uint32_t r = 1; r <= e->buttonCount && r <= rawButtons.size(); ++r) {
        out.setButton(e->buttonOrder[r - 1], rawButtons[r - 1]);
    }
    const std::uint64_t id = std::uint64_t{e->outputNumber} + controllerBase;
    if (id >= 1 && id <= 32) {
        out.setId(static_cast<std::uint32_t>(id));
    }
    return true;
}

bool CConCommonH::resetEmulatedTracker(std::int32_t c, TraData* out, const ConData* from) const {
    if (out == nullptr || c < 1) {
        return false;
    }
    const ControllerEntry* e = entry(static_cast<std::uint32_t>(c));
    if (e == nullptr || !e->emulation) {
        return false;
    }
    if (from != nullptr) {
        out->setTimeStamp(from->getSeconds(), from->getMicroseconds());
    }
    const TrackerEmulation& emulation = *e->emulation;
    out->setId(emulation.trackerNumber);
    for (int axis = 0; axis < TrackerEmulation::kAxes; ++axis) {
        out->setPose(axis, emulation.initValues[static_cast<std::size_t>(axis)]);
    }
    return true;
}

bool CConCommonH::emulateTracker(std::uint32_t c, TraData* out, const ConData* con) {
    return emulateTrackerAt(c, out, con, platform::currentTime());
}

bool CConCommonH::emulateTrackerAt(std::uint32_t c, TraData* out, const ConData* con, double now) {
    ControllerEntry* e = entry(c);
    if (e == nullptr || out == nullptr || con == nullptr || !e->emulation) {
        return false;
    }
    TrackerEmulation& emulation = *e->emulation;
    const auto controller = static_cast<std::int32_t>(c);
    // A held reset button keeps the clock running, so the first step after
    // the release integrates over the time since the last step before it.
    if (emulation.resetButton != 0 && con->getButton(emulation.resetButton) == 1) {
        return resetEmulatedTracker(controller, out, con);
    }
    out->setTimeStamp(con->getSeconds(), con->getMicroseconds());
    out->setId(emulation.trackerNumber);
    if (emulation.lastTime == 0.0) {
        emulation.lastTime = now;
        return resetEmulatedTracker(controller, out, con);
    }
    stepTime = now - emulation.lastTime;
    emulation.lastTime = now;
    // The pose accumulates in the fixed-point record itself: a change below
    // one unit of the record is lost, as the host would see it.
    for (int axis = 0; axis < TrackerEmulation::kAxes; ++axis) {
        const float v = con->getValuator(emulation.axisValuators[static_cast<std::size_t>(axis)]);
        const auto increment = static_cast<float>(v * stepTime);
        const float next = out->getPose(axis) + increment;
        out->setPose(axis, next);
    }
    return true;
}

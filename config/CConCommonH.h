// The controller mapping: which output controller, valuator and button each
// real one is published as, the response curve of every valuator, and the
// optional tracker emulation that integrates valuators into a pose.
#pragma once

#include <cstdint>
#include <memory>

#include "storage/ConData.h"
#include "storage/TraData.h"
#include "support/CMessageH.h"

struct DeviceConfig;
struct OptionLine;

// Wall-clock seconds with millisecond resolution.
double currentTime();

struct TrackerEmulation {
    std::uint32_t trackerNumber = 0;
    float initValues[6] = {};          // X, Y, Z, Azim, Elev, Roll
    std::uint32_t axisValuators[6] = {};  // output valuators driving each axis
    std::uint32_t resetButton = 0;
    double lastTime = 0.0;
};

struct ControllerEntry {
    static constexpr std::uint32_t kMaxChannels = 32;

    std::uint32_t outputNumber = 0;
    std::uint32_t valuatorCount = 0;
    std::uint32_t buttonCount = 0;
    std::uint32_t valuatorOrder[kMaxChannels] = {};
    std::uint32_t buttonOrder[kMaxChannels] = {};
    float valuatorScale[kMaxChannels][4] = {};  // a3, a2, a1, a0
    std::unique_ptr<TrackerEmulation> emulation;

    void makeFresh();
};

class CConCommonH {
public:
    explicit CConCommonH(const CMessageH* creatorLog = nullptr);
    ~CConCommonH();
    CConCommonH(const CConCommonH&) = delete;
    CConCommonH& operator=(const CConCommonH&) = delete;

    bool allocate(std::uint32_t n, bool restrict);
    bool setupController(std::uint32_t c, std::uint32_t output, std::uint32_t valuators,
                         std::uint32_t buttons);
    bool setEmulation(std::uint32_t c, std::uint32_t number, const float (&init)[6],
                      const std::uint32_t (&axes)[6], std::uint32_t reset);
    bool clear();
    std::int32_t numberTrackers(std::uint32_t first);
    double scaleValue(std::uint32_t c, std::uint32_t r, float x) const;
    bool resetEmulatedTracker(std::int32_t c, TraData* out, const ConData* from) const;
    bool emulateTracker(std::uint32_t c, TraData* out, const ConData* con);
    // One step at a given time, for callers that own the clock.
    bool emulateTrackerAt(std::uint32_t c, TraData* out, const ConData* con, double now);
    bool printMapping() const;
    bool parseOptions(DeviceConfig* config);

    // Publishes the raw readings of controller 1 into `out`: each valuator
    // through its curve and order, each button through its order, the id.
    void applyMapping(const float* raw, const std::int32_t* buttons, ConData& out) const;

    // Entry of real controller c (1-based); the caller keeps 1 <= c <= count.
    ControllerEntry& entry(std::uint32_t c) { return lookup[c - 1]; }
    const ControllerEntry& entry(std::uint32_t c) const { return lookup[c - 1]; }

    bool ownsLog = true;
    double stepTime = 0.0;
    std::uint32_t count = 0;
    bool restrictIds = true;
    std::unique_ptr<ControllerEntry[]> lookup;
    bool orderLocked = true;
    std::uint32_t numControllers = 0;
    std::uint32_t controllerBase = 0;
    CMessageH* log = nullptr;

private:
    bool parseEmulateTracker(const OptionLine& line);
    bool parseOrder(const OptionLine& line, bool buttons);
    bool parseScale(const OptionLine& line);
    bool parseControllerOrder(const OptionLine& line);
    void printPolynomial(const float (&scale)[4]) const;
};

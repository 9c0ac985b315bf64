// The controller mapping: what lies between the controllers, valuators and
// buttons the device delivers and the ones published in the host's
// controller list, with an optional tracker emulation that integrates six
// published valuators into a pose.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "config/DeviceConfig.h"
#include "config/options.h"
#include "storage/ConData.h"
#include "storage/TraData.h"
#include "support/CMessageH.h"

struct TrackerEmulation {
    static constexpr int kAxes = 6;  // X, Y, Z, Azim, Elev, Roll

    std::uint32_t trackerNumber = 0;
    std::array<float, kAxes> initValues{};
    // Output valuator numbers; 0 leaves the axis where it is.
    std::array<std::uint32_t, kAxes> axisValuators{};
    // Output button number; 0: none.
    std::uint32_t resetButton = 0;
    // Time of the last step; 0.0 until the first one.
    double lastTime = 0.0;
};

struct ControllerEntry {
    static constexpr std::uint32_t kMaxElements = 32;

    // Identity curve y = x on every valuator; nothing published.
    ControllerEntry();

    // 0: the controller is neither published nor reported.
    std::uint32_t outputNumber = 0;
    std::uint32_t valuatorCount = 0;
    std::uint32_t buttonCount = 0;
    // Indexed by real number; each element is an output number, 0 for none.
    std::uint32_t valuatorOrder[kMaxElements] = {};
    std::uint32_t buttonOrder[kMaxElements] = {};
    // a3, a2, a1, a0 of y = a3 x^3 + a2 x^2 + a1 x + a0.
    float valuatorScale[kMaxElements][4];
    std::unique_ptr<TrackerEmulation> emulation;
};

class CConCommonH {
public:
    // Record ids and entries per host list never exceed 32, so neither do
    // the controllers of one mapping.
    static constexpr std::uint32_t kMaxControllers = 32;

    explicit CConCommonH(const CMessageH* creatorLog);
    ~CConCommonH();
    CConCommonH(const CConCommonH&) = delete;
    CConCommonH& operator=(const CConCommonH&) = delete;

    bool allocate(std::uint32_t n, bool restrictToCounts);
    bool setupController(std::uint32_t c, std::uint32_t output, std::uint32_t valuators,
                         std::uint32_t buttons);
    bool setEmulation(std::uint32_t c, std::uint32_t trackerNumber,
                      const std::array<float, TrackerEmulation::kAxes>& init,
                      const std::array<std::uint32_t, TrackerEmulation::kAxes>& axes,
                      std::uint32_t resetButton);
    bool clear();
    std::int32_t numberTrackers(std::uint32_t first);

    double scaleValue(std::uint32_t c, std::uint32_t r, float x) const;

    // Publishes controller 1's raw readings into `out` through the mapping.
    // Real elements beyond the given readings are not published. Allocates
    // nothing; false when there is no controller to map.
    bool applyMapping(std::span<const float> rawValuators, std::span<const std::int32_t> rawButtons,
                      ConData& out) const;

    bool resetEmulatedTracker(std::int32_t c, TraData* out, const ConData* from) const;
    bool emulateTracker(std::uint32_t c, TraData* out, const ConData* con);
    // One emulation step at the given wall-clock time.
    bool emulateTrackerAt(std::uint32_t c, TraData* out, const ConData* con, double now);

    bool printMapping() const;
    bool parseOptions(DeviceConfig* config);

    // Real controller c (1-based), or null.
    const ControllerEntry* entry(std::uint32_t c) const;
    ControllerEntry* entry(std::uint32_t c);
    const CMessageH& logRecord() const { return *log; }

    // Set by the device before the options are parsed.
    bool orderLocked = true;
    std::uint32_t numControllers = 0;
    // Entries the host's controller list held before this device's.
    std::uint32_t controllerBase = 0;

private:
    // The handlers of the option keywords (their table is in parseOptions).
    LineResult parseEmulateTracker(const OptionLineView& line);
    LineResult parseValuatorOrder(const OptionLineView& line);
    LineResult parseButtonOrder(const OptionLineView& line);
    LineResult parseElementOrder(const OptionLineView& line, bool buttons);
    LineResult parseValuatorScale(const OptionLineView& line);
    LineResult parseControllerOrder(const OptionLineView& line);
    // The controller named first on a line of at least `minArgs` arguments;
    // a verdict when the line is refused (no arguments, an unknown
    // controller, too few arguments, checked in this order).
    LineVerdict readController(const OptionLineView& line, std::uint32_t minArgs,
                               std::uint32_t& c) const;

    void printPrefix(std::uint32_t c) const;
    void printValuators(std::uint32_t c, const ControllerEntry& e) const;
    void printButtons(std::uint32_t c, const ControllerEntry& e) const;
    void printEmulation(std::uint32_t c, const TrackerEmulation& emulation) const;

    double stepTime = 0.0;
    std::uint32_t count = 0;
    bool restrictIds = true;
    std::unique_ptr<ControllerEntry[]> lookup;
    std::unique_ptr<CMessageH> log;
};

// What a calibration measures of one analogue channel and the response
// curve it draws from that: the rest reading goes to 0, the ends of the
// travel to -1 and +1, and the curve rises all the way between them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "storage/ConData.h"

namespace host {

constexpr int kCalibratedChannels = 6;
constexpr int kReadingMax = 1023;

// The plug-in's value of a ten-bit reading, before any curve.
float valueOfReading(int reading);
// The reading behind a value published through the identity curve (three
// decimals, truncated), or nothing when no reading gives that value. Both
// 511 and 512 publish 0: that value reads as 511.5.
std::optional<double> readingOfPublished(float published);
// What the plug-in publishes for `reading` through the curve `a` (a3, a2, a1, a0).
float publishedThrough(const std::array<float, 4>& a, int reading);

// The readings of one channel over one phase of the calibration.
struct ChannelReadings {
    long long count = 0;
    double sum = 0;
    double low = kReadingMax;
    double high = 0;

    void add(double reading);
    double mean() const { return count > 0 ? sum / static_cast<double>(count) : 0; }
};

struct ChannelCalibration {
    double rest = 0;  // mean reading at rest
    int noise = 0;    // counts the rest readings strayed from their mean, rounded
    int restLow = 0;  // the readings seen at rest
    int restHigh = 0;
    int low = 0;  // the travel's ends
    int high = 0;
    bool deadBand = false;        // the curve holds every rest reading at 0
    bool deadBandWanted = false;  // asked for and needed, held or not
    std::array<float, 4> a{};     // a3, a2, a1, a0
    std::string refusal;          // why there is no curve ("never moved", ...)
    bool ok() const { return refusal.empty(); }
};

// A reach of fewer counts than this on either side of rest is no travel;
// rest readings as far apart were no rest.
constexpr int kMinimumReach = 32;

// The curve of one channel from its rest and travel readings. With
// `wantDeadBand`, every reading seen at rest (and a count beyond where the
// rest was noisy) is published as 0 where one cubic can do that and still
// rise monotonically; otherwise the curve is the one nearest a straight line.
ChannelCalibration calibrateChannel(const ChannelReadings& rest, const ChannelReadings& travel,
                                    bool wantDeadBand);

// "valuatorscale 1 [a3, a2, a1, a0] N" with the coefficients as the plug-in
// reads them back.
std::string scaleLine(int channel, const ChannelCalibration& calibration);

}  // namespace host

#include "host/app/calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace host {

namespace {

// The step between readings, as single precision holds it: the plug-in's own.
const double kStep = static_cast<double>(2.0f / 1023.0f);
// Published values are truncated to thousandths: below this a value is 0.
constexpr double kHeldAtZero = 0.0008;
constexpr double kEndTolerance = 0.01;

// y = c3 u^3 + c2 u^2 + c1 u about the rest value, u = x - rest.
struct Cubic {
    double c3 = 0;
    double c2 = 0;
    double c1 = 0;

    double at(double u) const { return ((c3 * u + c2) * u + c1) * u; }
};

// The cubic with slope c1 at rest that meets -1 at u = -below and +1 at
// u = above.
Cubic throughEnds(double c1, double above, double below) {
    const double upper = 1 - c1 * above;
    const double lower = -1 + c1 * below;
    const double determinant = above * above * below * below * (above + below);
    Cubic curve;
    curve.c1 = c1;
    curve.c3 = (upper * below * below - lower * above * above) / determinant;
    curve.c2 = (lower * above * above * above + upper * below * below * below) / determinant;
    // What is left of a term a straight line does not need is rounding.
    constexpr double kRounding = 1e-6;
    if (std::fabs(curve.c3) < kRounding) curve.c3 = 0;
    if (std::fabs(curve.c2) < kRounding) curve.c2 = 0;
    return curve;
}

// The slope is a parabola: its least over the travel is at an end or at
// its vertex.
bool rises(const Cubic& curve, double above, double below) {
    const auto slope = [&](double u) { return (3 * curve.c3 * u + 2 * curve.c2) * u + curve.c1; };
    double least = std::min(slope(-below), slope(above));
    if (curve.c3 != 0) {
        const double vertex = -curve.c2 / (3 * curve.c3);
        if (vertex > -below && vertex < above) least = std::min(least, slope(vertex));
    }
    return least >= 0;
}

// The steepest slope at rest that still holds +-band at 0, or nothing.
std::optional<Cubic> withDeadBand(double band, double above, double below, double preferred) {
    constexpr int kSteps = 4000;
    for (int step = 0; step < kSteps; ++step) {
        const Cubic curve = throughEnds(preferred * (kSteps - step) / kSteps, above, below);
        if (std::fabs(curve.at(band)) <= kHeldAtZero && std::fabs(curve.at(-band)) <= kHeldAtZero &&
            rises(curve, above, below)) {
            return curve;
        }
    }
    return std::nullopt;
}

// The rising curve whose slope at rest is nearest the straight line's.
std::optional<Cubic> nearestStraight(double above, double below, double preferred) {
    for (int step = 0; step < 3000; ++step) {
        for (const int sign : {1, -1}) {
            const Cubic curve = throughEnds(preferred * (1 + sign * step / 1000.0), above, below);
            if (curve.c1 > 0 && rises(curve, above, below)) return curve;
        }
    }
    return std::nullopt;
}

// The same curve in x: a3 x^3 + a2 x^2 + a1 x + a0 with x = u + rest.
std::array<float, 4> inValues(const Cubic& curve, double rest) {
    const double a3 = curve.c3;
    const double a2 = curve.c2 - 3 * curve.c3 * rest;
    const double a1 = curve.c1 - 2 * curve.c2 * rest + 3 * curve.c3 * rest * rest;
    const double a0 = -rest * (curve.c1 - rest * (curve.c2 - rest * curve.c3));
    return {static_cast<float>(a3), static_cast<float>(a2), static_cast<float>(a1),
            static_cast<float>(a0)};
}

// What the plug-in will publish, checked on the readings that matter.
std::string checkPublished(const ChannelCalibration& result) {
    if (std::fabs(publishedThrough(result.a, result.low) + 1) > kEndTolerance ||
        std::fabs(publishedThrough(result.a, result.high) - 1) > kEndTolerance) {
        return "its curve misses the ends of the travel in single precision";
    }
    const int centre = static_cast<int>(std::lround(result.rest));
    const int from = result.deadBand ? result.restLow : centre;
    for (int reading = from; reading <= (result.deadBand ? result.restHigh : centre); ++reading) {
        if (publishedThrough(result.a, reading) != 0.0f) {
            return "its curve does not hold the rest reading " + std::to_string(reading) + " at 0";
        }
    }
    return {};
}

std::string reachRefusal(const ChannelCalibration& result) {
    if (result.restHigh - result.restLow >= kMinimumReach) {
        return "did not stay at rest in step 1 (it read " + std::to_string(result.restLow) + ".." +
               std::to_string(result.restHigh) + ")";
    }
    const bool up = result.high - result.restHigh >= kMinimumReach;
    const bool down = result.restLow - result.low >= kMinimumReach;
    if (!up && !down) return "never moved";
    if (!up) return "moved only down, to " + std::to_string(result.low);
    if (!down) return "moved only up, to " + std::to_string(result.high);
    return {};
}

}  // namespace

float valueOfReading(int reading) {
    return static_cast<float>(static_cast<double>(reading) * kStep - 1.0);
}

float publishedThrough(const std::array<float, 4>& a, int reading) {
    const double x = valueOfReading(reading);
    const double y = (a[0] * x * x * x + a[1] * x * x) + a[2] * x + a[3];
    ConData record{};
    record.reset();
    record.setValuatorCount(1);
    record.setValuator(1, static_cast<float>(y));
    return record.getValuator(1);
}

std::optional<double> readingOfPublished(float published) {
    const int guess = static_cast<int>(std::lround((published + 1.0) / kStep));
    double sum = 0;
    int found = 0;
    for (int reading = std::max(guess - 1, 0); reading <= std::min(guess + 1, kReadingMax);
         ++reading) {
        if (publishedThrough({0, 0, 1, 0}, reading) == published) {
            sum += reading;
            ++found;
        }
    }
    return found > 0 ? std::optional<double>(sum / found) : std::nullopt;
}

void ChannelReadings::add(double reading) {
    ++count;
    sum += reading;
    low = std::min(low, reading);
    high = std::max(high, reading);
}

ChannelCalibration calibrateChannel(const ChannelReadings& rest, const ChannelReadings& travel,
                                    bool wantDeadBand) {
    ChannelCalibration result;
    if (rest.count == 0 || travel.count == 0) {
        result.refusal = "sent no readings";
        return result;
    }
    result.rest = rest.mean();
    result.noise =
        static_cast<int>(std::lround(std::max(result.rest - rest.low, rest.high - result.rest)));
    result.restLow = static_cast<int>(std::floor(rest.low));
    result.restHigh = static_cast<int>(std::ceil(rest.high));
    result.low = static_cast<int>(std::floor(std::min(travel.low, rest.low)));
    result.high = static_cast<int>(std::ceil(std::max(travel.high, rest.high)));
    result.refusal = reachRefusal(result);
    if (!result.ok()) return result;

    const double restValue = result.rest * kStep - 1.0;
    const double above = valueOfReading(result.high) - restValue;
    const double below = restValue - valueOfReading(result.low);
    const double straight = 2 / (above + below);
    std::optional<Cubic> curve;
    // A rest that showed more than one reading needs them all held at 0,
    // with a count to spare where it wandered.
    result.deadBandWanted = wantDeadBand && result.restHigh > result.restLow;
    if (result.deadBandWanted) {
        const double margin = rest.high > rest.low ? 1 : 0.5;
        const double band = std::max(result.rest - result.restLow, result.restHigh - result.rest);
        curve = withDeadBand((band + margin) * kStep, above, below, straight);
        result.deadBand = curve.has_value();
    }
    if (!curve) curve = nearestStraight(above, below, straight);
    if (!curve) {
        result.refusal = "travels too unevenly about its rest for one rising cubic";
        return result;
    }
    result.a = inValues(*curve, restValue);
    result.refusal = checkPublished(result);
    return result;
}

std::string scaleLine(int channel, const ChannelCalibration& calibration) {
    char text[160];
    // Nine significant digits bring a single-precision value back exactly.
    std::snprintf(text, sizeof text, "valuatorscale 1 [%.9g, %.9g, %.9g, %.9g] %d",
                  static_cast<double>(calibration.a[0]), static_cast<double>(calibration.a[1]),
                  static_cast<double>(calibration.a[2]), static_cast<double>(calibration.a[3]),
                  channel);
    return text;
}

}  // namespace host

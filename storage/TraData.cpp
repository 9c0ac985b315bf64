#include "storage/TraData.h"

#include <cstring>

#include "platform/platform.h"
#include "storage/fixed_point.h"

namespace {

constexpr double kPoseScale = 100000.0;
constexpr float kPoseUnit = 0.00001f;

}  // namespace

void TraData::clearPose() {
    std::memset(this, 0, offsetof(TraData, tail));
}

bool TraData::setPose(int axis, float value) {
    const std::int32_t stored =
        fixed_point::saturatingTruncate(static_cast<double>(value) * kPoseScale);
    pose[axis] = platform::hostToNet(static_cast<std::uint32_t>(stored));
    return true;
}

float TraData::getPose(int axis) const {
    const auto stored = static_cast<std::int32_t>(platform::netToHost(pose[axis]));
    return static_cast<float>(stored) * kPoseUnit;
}

bool TraData::setId(std::uint32_t number) {
    if (number == 0 || number > 32) {
        return false;
    }
    id = platform::hostToNet(number);
    return true;
}

std::uint32_t TraData::getId() const {
    return platform::netToHost(id);
}

bool TraData::setTimeStamp(std::int32_t newSeconds, std::int32_t newMicroseconds) {
    seconds = platform::hostToNet(static_cast<std::uint32_t>(newSeconds));
    microseconds = platform::hostToNet(static_cast<std::uint32_t>(newMicroseconds));
    return true;
}

std::int32_t TraData::getSeconds() const {
    return static_cast<std::int32_t>(platform::netToHost(seconds));
}

std::int32_t TraData::getMicroseconds() const {
    return static_cast<std::int32_t>(platform::netToHost(microseconds));
}

int sameTraData(const TraData& a, const TraData& b) {
    for (int axis = 0; axis < 6; ++axis) {
        if (a.getPose(axis) != b.getPose(axis)) {
            return 0;
        }
    }
    return 1;
}

// One tracker pose as it lies in the host's tracker list: 56 bytes, 32-bit
// integers in network byte order, pose values in fixed point x 100000.
#pragma once

#include <cstddef>
#include <cstdint>

class TraData {
public:
    // A new record has its first 44 bytes zero; the tail is never written.
    void clearPose();

    // The named accessors of the record's operations; the plug-in itself goes
    // through setPose and getPose by axis.
    bool setX(float value) { return setPose(0, value); }
    bool setY(float value) { return setPose(1, value); }
    bool setZ(float value) { return setPose(2, value); }
    bool setAzim(float value) { return setPose(3, value); }
    bool setElev(float value) { return setPose(4, value); }
    bool setRoll(float value) { return setPose(5, value); }

    float getX() const { return getPose(0); }
    float getY() const { return getPose(1); }
    float getZ() const { return getPose(2); }
    float getAzim() const { return getPose(3); }
    float getElev() const { return getPose(4); }
    float getRoll() const { return getPose(5); }

    bool setId(std::uint32_t number);
    std::uint32_t getId() const;
    bool setTimeStamp(std::int32_t seconds, std::int32_t microseconds);
    std::int32_t getSeconds() const;
    std::int32_t getMicroseconds() const;

    bool setPose(int axis, float value);
    float getPose(int axis) const;

    // The layout shared with the host.
    std::uint32_t id;
    std::uint32_t reserved1;
    std::uint32_t seconds;
    std::uint32_t microseconds;
    std::uint32_t reserved2;
    std::uint32_t pose[6];  // X, Y, Z, Azim, Elev, Roll
    std::uint8_t tail[12];
};

// 1 when all six pose values read back equal pairwise.
int sameTraData(const TraData& a, const TraData& b);

static_assert(sizeof(TraData) == 56, "TraData is 56 bytes");
static_assert(offsetof(TraData, id) == 0, "TraData id offset");
static_assert(offsetof(TraData, seconds) == 8, "TraData seconds offset");
static_assert(offsetof(TraData, microseconds) == 12, "TraData microseconds offset");
static_assert(offsetof(TraData, pose) == 20, "TraData X offset");
static_assert(offsetof(TraData, pose) + 5 * 4 == 40, "TraData Roll offset");
static_assert(offsetof(TraData, tail) == 44, "TraData reserved tail offset");

// The state of one controller as it lies in the host's controller list: 184
// bytes, network byte order but for buttonByteCount and the clock reading,
// valuators in fixed point x 1000.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

class ConData {
public:
    static constexpr std::uint32_t kMaxValuators = 32;
    static constexpr std::uint32_t kMaxButtons = 32;
    static constexpr std::uint32_t kValuatorOffset = 36;

    void reset();
    bool stampNow();
    bool setValuatorCount(std::uint32_t n);
    bool setButtonCount(std::uint32_t n);
    bool setId(std::uint32_t number);
    void setValuator(std::uint32_t index, float value);
    float getValuator(std::uint32_t index) const;
    bool setButton(std::uint32_t index, std::int32_t state);
    int getButton(std::uint32_t index) const;

    std::uint32_t getId() const;
    std::int32_t getSeconds() const;
    std::int32_t getMicroseconds() const;
    std::uint32_t getValuatorCount() const;
    std::uint32_t getButtonCount() const;

    // The layout shared with the host.
    std::uint32_t id;
    std::uint32_t reserved1;
    std::uint32_t seconds;
    std::uint32_t microseconds;
    std::uint32_t reserved2;
    std::uint32_t valuatorCount;
    std::uint32_t buttonCount;
    std::uint32_t valuatorOffset;
    std::uint32_t buttonOffset;
    std::uint32_t valuators[kMaxValuators];
    std::uint8_t buttons[kMaxButtons / 8];
    std::uint32_t buttonByteCount;  // native byte order
    platform::ClockReading clock;   // native byte order, not meant for the host

private:
    bool buttonAddressable(std::uint32_t index) const;
};

bool sameConData(const ConData& a, const ConData& b);

static_assert(sizeof(ConData) == 184, "ConData is 184 bytes");
static_assert(offsetof(ConData, id) == 0, "ConData id offset");
static_assert(offsetof(ConData, seconds) == 8, "ConData seconds offset");
static_assert(offsetof(ConData, microseconds) == 12, "ConData microseconds offset");
static_assert(offsetof(ConData, valuatorCount) == 20, "ConData valuatorCount offset");
static_assert(offsetof(ConData, buttonCount) == 24, "ConData buttonCount offset");
static_assert(offsetof(ConData, valuatorOffset) == 28, "ConData valuatorOffset offset");
static_assert(offsetof(ConData, buttonOffset) == 32, "ConData buttonOffset offset");
static_assert(offsetof(ConData, valuators) == 36, "ConData valuators offset");
static_assert(offsetof(ConData, buttons) == 164, "ConData buttons offset");
static_assert(offsetof(ConData, buttonByteCount) == 168, "ConData buttonByteCount offset");
static_assert(offsetof(ConData, clock) == 172, "ConData clock reading offset");

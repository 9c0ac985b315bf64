#include "storage/ConData.h"

#include <cstring>

#include "storage/fixed_point.h"

namespace {

constexpr float kValuatorScale = 1000.0f;
constexpr float kValuatorUnit = 0.001f;

std::uint32_t net(std::uint32_t value) {
    return platform::hostToNet(value);
}
std::uint32_t host(std::uint32_t value) {
    return platform::netToHost(value);
}

}  // namespace

void ConData::reset() {
    std::memset(valuators, 0, sizeof valuators);
    buttonByteCount = 4;
    std::memset(buttons, 0, sizeof buttons);
    id = 0;
    reserved1 = 0;
    reserved2 = 0;
    seconds = 0;
    microseconds = 0;
    valuatorCount = 0;
    buttonCount = 0;
}

bool ConData::stampNow() {
    clock = platform::readClock();
    seconds = net(static_cast<std::uint32_t>(clock.seconds));
    microseconds = net(static_cast<std::uint32_t>(clock.milliseconds) * 1000u);
    return true;
}

bool ConData::setValuatorCount(std::uint32_t n) {
    valuatorOffset = net(kValuatorOffset);
    if (n > kMaxValuators) {
        return false;
    }
    valuatorCount = net(n);
    return true;
}

bool ConData::setButtonCount(std::uint32_t n) {
    buttonOffset = net(kValuatorOffset + 4 * getValuatorCount());
    if (n > kMaxButtons) {
        return false;
    }
    buttonCount = net(n);
    return true;
}

bool ConData::setId(std::uint32_t number) {
    if (number == 0 || number > 32) {
        return false;
    }
    id = net(number);
    return true;
}

void ConData::setValuator(std::uint32_t index, float value) {
    if (index < 1 || index > getValuatorCount()) {
        return;
    }
    // The product is a single-precision one, as the record's format fixes.
    const float scaled = value * kValuatorScale;
    valuators[index - 1] = net(static_cast<std::uint32_t>(fixed_point::saturatingTruncate(scaled)));
}

float ConData::getValuator(std::uint32_t index) const {
    if (index < 1 || index > getValuatorCount()) {
        return 0.0f;
    }
    return static_cast<float>(static_cast<std::int32_t>(host(valuators[index - 1]))) *
           kValuatorUnit;
}

bool ConData::buttonAddressable(std::uint32_t index) const {
    if (index == 0 || index > kMaxButtons) {
        return false;
    }
    if ((index - 1) / 8 >= buttonByteCount) {
        return false;
    }
    return getButtonCount() >= index;
}

bool ConData::setButton(std::uint32_t index, std::int32_t state) {
    if (!buttonAddressable(index)) {
        return false;
    }
    const auto bit = static_cast<std::uint8_t>(1u << ((index - 1) % 8));
    if (state > 0) {
        buttons[(index - 1) / 8] |= bit;
    } else {
        buttons[(index - 1) / 8] &= static_cast<std::uint8_t>(~bit);
    }
    return true;
}

int ConData::getButton(std::uint32_t index) const {
    if (!buttonAddressable(index)) {
        return 0;
    }
    return (buttons[(index - 1) / 8] >> ((index - 1) % 8)) & 1;
}

std::uint32_t ConData::getId() const {
    return host(id);
}
std::int32_t ConData::getSeconds() const {
    return static_cast<std::int32_t>(host(seconds));
}
std::int32_t ConData::getMicroseconds() const {
    return static_cast<std::int32_t>(host(microseconds));
}
std::uint32_t ConData::getValuatorCount() const {
    return host(valuatorCount);
}
std::uint32_t ConData::getButtonCount() const {
    return host(buttonCount);
}

bool sameConData(const ConData& a, const ConData& b) {
    if (a.getValuatorCount() != b.getValuatorCount()) {
        return false;
    }
    if (a.getButtonCount() != b.getButtonCount()) {
        return false;
    }
    for (std::uint32_t i = 1; i <= a.getValuatorCount(); ++i) {
        if (a.getValuator(i) != b.getValuator(i)) {
            return false;
        }
    }
    // The record holds four button bytes; a larger buttonByteCount from a
    // foreign record must not make us read past them.
    const std::uint32_t byteCount = a.buttonByteCount < 4 ? a.buttonByteCount : 4;
    for (std::uint32_t j = 0; j < byteCount; ++j) {
        const std::uint8_t other = j < b.buttonByteCount ? b.buttons[j] : 0;
        if (a.buttons[j] != other) {
            return false;
        }
    }
    return true;
}

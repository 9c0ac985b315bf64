// The host's configuration record of one device: its name and up to 32
// option lines, already split into keyword and arguments. The plug-in reads
// it during initialisation and writes nothing into it but the `used` flags.
#pragma once

#include <cstddef>
#include <cstdint>

struct OptionLine {
    static constexpr std::uint32_t kMaxArgs = 64;

    std::uint32_t lineNumber;
    const char* name;
    const char* args[kMaxArgs];
    std::uint32_t argCount;
    std::uint8_t used;
    std::uint8_t padding[3];
};

struct DeviceConfig {
    static constexpr std::uint32_t kMaxLines = 32;

    std::uint32_t hostHead;
    const char* deviceName;
    std::uint8_t hostFields[268];
    OptionLine lines[kMaxLines];
    std::uint32_t lineCount;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(OptionLine) == 272, "OptionLine is 272 bytes");
static_assert(offsetof(OptionLine, lineNumber) == 0, "OptionLine lineNumber offset");
static_assert(offsetof(OptionLine, name) == 4, "OptionLine name offset");
static_assert(offsetof(OptionLine, args) == 8, "OptionLine args offset");
static_assert(offsetof(OptionLine, argCount) == 264, "OptionLine argCount offset");
static_assert(offsetof(OptionLine, used) == 268, "OptionLine used offset");
static_assert(sizeof(DeviceConfig) == 8984, "DeviceConfig is 8984 bytes");
static_assert(offsetof(DeviceConfig, deviceName) == 4, "DeviceConfig deviceName offset");
static_assert(offsetof(DeviceConfig, lines) == 276, "DeviceConfig lines offset");
static_assert(offsetof(DeviceConfig, lineCount) == 8980, "DeviceConfig lineCount offset");
#endif

// The host's description of its storage and run flag, handed to init.
#pragma once

#include <cstddef>
#include <cstdint>

class CDataStorage;

struct InitInfo {
    CDataStorage* trackerStorage;
    CDataStorage* controllerStorage;
    std::uint8_t reserved[36];
    std::int32_t* runFlag;  // read atomically: the host clears it from another thread
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(InitInfo) == 48, "InitInfo is 48 bytes");
static_assert(offsetof(InitInfo, trackerStorage) == 0, "InitInfo trackerStorage offset");
static_assert(offsetof(InitInfo, controllerStorage) == 4, "InitInfo controllerStorage offset");
static_assert(offsetof(InitInfo, runFlag) == 44, "InitInfo runFlag offset");
#endif

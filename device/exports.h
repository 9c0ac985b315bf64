// The two functions the host finds by name in the library.
#pragma once

#include "device/CBase.h"

struct DeviceConfig;

#if defined(_WIN32)
#define PALLADOR_EXPORT __declspec(dllexport)
#else
#define PALLADOR_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
PALLADOR_EXPORT CBase* createDev(DeviceConfig* config, const CMessageH* logRecord);
PALLADOR_EXPORT bool deleteDev(CBase* device);
}

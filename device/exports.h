// The two functions the host finds by name in the library.
#pragma once

#include "device/CBase.h"
#include "platform/export.h"

struct DeviceConfig;

extern "C" {
PALLADOR_EXPORT CBase* createDev(DeviceConfig* config, const CMessageH* logRecord);
PALLADOR_EXPORT bool deleteDev(CBase* device);
}

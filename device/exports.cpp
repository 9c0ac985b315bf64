#include "device/exports.h"

#include <new>

#include "device/CPallador.h"

extern "C" {

CBase* createDev(DeviceConfig* config, const CMessageH* logRecord) {
    // Nothing may escape into a host that knows no C++ exceptions.
    try {
        return new CPallador(config, logRecord);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool deleteDev(CBase* device) {
    if (device == nullptr) {
        return false;
    }
    delete static_cast<CPallador*>(device);
    return true;
}
}

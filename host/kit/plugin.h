// The plug-in as a host loads it: the library by path, its two exports by
// name, and the library freed again when the object goes.
#pragma once

#include <string>

#include "device/CBase.h"
#include "platform/platform.h"
#include "support/CMessageH.h"

struct DeviceConfig;

namespace hostkit {

class Plugin {
public:
    using CreateDev = CBase* (*)(DeviceConfig* config, const CMessageH* logRecord);
    using DeleteDev = bool (*)(CBase* device);

    // Loads the library at `path`; loaded() tells whether it and both
    // exports were found, error() says what was missing.
    explicit Plugin(const std::string& path);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    bool loaded() const { return createDev_ != nullptr && deleteDev_ != nullptr; }
    const std::string& error() const { return error_; }

    // Null when the library is not loaded.
    CBase* createDev(DeviceConfig* config, const CMessageH* logRecord) const;
    // False when the library is not loaded.
    bool deleteDev(CBase* device) const;

private:
    platform::LibraryHandle library_ = nullptr;
    CreateDev createDev_ = nullptr;
    DeleteDev deleteDev_ = nullptr;
    std::string error_;
};

}  // namespace hostkit

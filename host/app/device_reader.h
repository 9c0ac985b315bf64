// A device read frame by frame through the plug-in, for tools that want
// each reading rather than each change: the controller record as it stands
// after every frame the device sent.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "device/CBase.h"
#include "host/app/host_config.h"
#include "host/kit/config.h"
#include "host/kit/init_record.h"
#include "host/kit/plugin.h"
#include "host/kit/storage.h"

namespace host {

class DeviceReader {
public:
    explicit DeviceReader(const std::string& pluginPath);
    ~DeviceReader();
    DeviceReader(const DeviceReader&) = delete;
    DeviceReader& operator=(const DeviceReader&) = delete;

    // Empty when the plug-in is loaded.
    const std::string& loadError() const;

    // Creates the device on these lines and initialises it; false when the
    // plug-in refuses either (it has said why on its log).
    bool open(const HostConfig& config);
    void close();

    // One receive call: the controller record after it when the device
    // sent a frame, nothing when the call probed or failed.
    std::optional<ConData> nextFrame();
    // Until the device sends a frame (true), `seconds` have passed or
    // `stop` is set.
    bool awaitFrame(double seconds, const std::atomic<bool>* stop = nullptr);
    // The emulated tracker as it stands, if there is one.
    std::optional<TraData> tracker();

    // Safe from a signal handler: the current call ends soon.
    void stop() { initRecord_.setRunning(false); }
    bool stopped() const { return !initRecord_.running(); }

private:
    hostkit::Plugin plugin_;
    hostkit::Storage trackers_{hostkit::StorageKind::tracker};
    hostkit::Storage controllers_{hostkit::StorageKind::controller};
    hostkit::InitRecord initRecord_{&trackers_, &controllers_};
    std::unique_ptr<hostkit::Config> config_;
    CBase* device_ = nullptr;
};

}  // namespace host

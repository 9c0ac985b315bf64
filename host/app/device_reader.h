// A device driven through the plug-in as a host drives it: the library,
// the storages, the init record and the device's life. It is read either
// as a host reads it, by the changes the masks report, or frame by frame
// for tools that want each reading: the controller record as it stands
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

    bool loaded() const { return plugin_.loaded(); }
    const std::string& loadError() const;

    // Creates the device on these lines and initialises it, handing it
    // `log` and the run flag as `running`; false when the plug-in refuses
    // either (it has said why on its log).
    bool open(const HostConfig& config, const CMessageH* log = nullptr, bool running = true);
    void close();
    bool isOpen() const { return device_ != nullptr; }

    // One receive call on fresh masks; its result.
    std::int32_t receive();
    // The same call, and what it did: whether it changed an entry, and
    // whether it only probed for the device. The one rule for that, for
    // every reader of the device.
    struct Call {
        std::int32_t result = -1;
        bool changed = false;
        bool probed = false;
    };
    Call call();
    UpdateMasks& masks() { return *initRecord_.masks(); }
    // The published record of that id, read under the storage's mutex.
    std::optional<ConData> controllerWithId(std::uint32_t id);
    std::optional<TraData> trackerWithId(std::uint32_t id);

    // One receive call: the controller record after it when the device
    // sent a frame, nothing when the call probed or failed.
    std::optional<ConData> nextFrame();
    // Until the device sends a frame (true), `seconds` have passed or
    // `stop` is set.
    bool awaitFrame(double seconds, const std::atomic<bool>* stop = nullptr);

    // Safe from a signal handler or another thread: the current call ends soon.
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

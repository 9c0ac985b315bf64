#include "host/app/device_reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

namespace host {

namespace {

// A call that takes this long without news was probing for the device.
constexpr double kProbeSeconds = 0.5;

// The entry of that id in the storage, read under its mutex.
template <typename Record>
std::optional<Record> entryWithId(hostkit::Storage& storage,
                                  Record* (hostkit::Storage::*entry)(std::uint32_t),
                                  std::uint32_t id) {
    storage.lock();
    std::optional<Record> found;
    for (std::uint32_t i = 1; i <= std::min(storage.count(), 32u) && !found; ++i) {
        const Record* record = (storage.*entry)(i);
        if (record != nullptr && record->getId() == id) {
            found = *record;
        }
    }
    storage.unlock();
    return found;
}

}  // namespace

DeviceReader::DeviceReader(const std::string& pluginPath) : plugin_(pluginPath) {}

DeviceReader::~DeviceReader() {
    close();
}

const std::string& DeviceReader::loadError() const {
    return plugin_.error();
}

bool DeviceReader::open(const HostConfig& config, const CMessageH* log, bool running) {
    close();
    config_ = std::make_unique<hostkit::Config>(config.deviceName);
    for (const OptionText& option : config.options) {
        config_->add(option.lineNumber, option.keyword, option.arguments);
    }
    controllers_.setCount(0);
    trackers_.setCount(0);
    device_ = plugin_.createDev(config_->get(), log);
    if (device_ == nullptr) {
        return false;
    }
    initRecord_.setRunning(running);
    const bool initialised = device_->init(initRecord_.get()) == 1;
    std::cout.flush();
    std::fflush(stdout);
    if (!initialised) {
        close();
        return false;
    }
    device_->configure();
    device_->start();
    return true;
}

void DeviceReader::close() {
    if (device_ == nullptr) {
        return;
    }
    device_->stop();
    plugin_.deleteDev(device_);
    device_ = nullptr;
    std::cout.flush();
    std::fflush(stdout);
}

std::int32_t DeviceReader::receive() {
    initRecord_.clearMasks();
    if (device_ == nullptr) {
        return -1;
    }
    const std::int32_t result = device_->recvData(initRecord_.masks(), 0);
    std::cout.flush();
    std::fflush(stdout);
    return result;
}

std::optional<ConData> DeviceReader::controllerWithId(std::uint32_t id) {
    return entryWithId(controllers_, &hostkit::Storage::controller, id);
}

std::optional<TraData> DeviceReader::trackerWithId(std::uint32_t id) {
    return entryWithId(trackers_, &hostkit::Storage::tracker, id);
}

std::optional<ConData> DeviceReader::nextFrame() {
    const auto start = std::chrono::steady_clock::now();
    const std::int32_t result = receive();
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A probe waits a second for the device; a quick call read a frame,
    // even one that changed nothing and so published nothing.
    if (result != 1 || took >= kProbeSeconds) {
        return std::nullopt;
    }
    // The device's own entry, also before it has published anything: a
    // device whose first frame matched the blank record has not.
    controllers_.lock();
    std::optional<ConData> record;
    if (const ConData* entry = controllers_.controller(1)) {
        record = *entry;
    }
    controllers_.unlock();
    return record;
}

bool DeviceReader::awaitFrame(double seconds, const std::atomic<bool>* stop) {
    const auto start = std::chrono::steady_clock::now();
    while (!stopped() && (stop == nullptr || !stop->load()) &&
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
               seconds) {
        if (nextFrame()) {
            return true;
        }
    }
    return false;
}

std::optional<TraData> DeviceReader::tracker() {
    trackers_.lock();
    std::optional<TraData> pose;
    if (trackers_.count() >= 1) {
        pose = *trackers_.tracker(1);
    }
    trackers_.unlock();
    return pose;
}

}  // namespace host

#include "host/app/device_reader.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "host/kit/deadline.h"

namespace host {

namespace {

// A probe pauses a second for the device's answer: a call that took most
// of that without news was probing. Frames take milliseconds, so only a
// badly stalled host mistakes one for a probe, and loses that one reading.
constexpr double kProbeSeconds = 0.75;

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

bool anyMarked(const UpdateMask& mask) {
    return (mask.bytes[0] | mask.bytes[1] | mask.bytes[2] | mask.bytes[3]) != 0;
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

DeviceReader::Call DeviceReader::call() {
    const hostkit::Deadline probing(kProbeSeconds);
    Call call;
    call.result = receive();
    const UpdateMasks& marked = masks();
    call.changed = anyMarked(marked.controller) || anyMarked(marked.tracker);
    // A quick call read a frame, even one that changed nothing and so
    // published nothing.
    call.probed = call.result == 1 && !call.changed && probing.passed();
    return call;
}

std::optional<ConData> DeviceReader::nextFrame() {
    const Call made = call();
    if (made.result != 1 || made.probed) {
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
    const hostkit::Deadline deadline(seconds);
    while (!stopped() && (stop == nullptr || !stop->load()) && !deadline.passed()) {
        if (nextFrame()) {
            return true;
        }
    }
    return false;
}

}  // namespace host

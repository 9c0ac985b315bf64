#include "host/kit/storage.h"

namespace hostkit {

namespace {

std::size_t listSize(StorageKind kind) {
    return Storage::kEntries * (kind == StorageKind::tracker ? sizeof(TraData) : sizeof(ConData));
}

}  // namespace

void clearStamps(CMessageH& log) {
    log.dateStamp = 0;
    log.timeStamp = 0;
    log.threadStamp = 0;
}

Storage::Storage(StorageKind kind)
    : kind_(kind),
      list_(kind == StorageKind::tracker ? "tracker list" : "controller list", listSize(kind)),
      count_(kind == StorageKind::tracker ? "tracker count" : "controller count",
             sizeof(std::uint32_t)) {
    log_.setName("CDataStorage");
    clearStamps(log_);
    mutexLog_.setName("CMutexH");
    clearStamps(mutexLog_);

    mutex_.handle = platform::createMutex();
    mutex_.log = &mutexLog_;

    if (kind == StorageKind::tracker) {
        storage_.trackerList = list_.as<TraData>();
    } else {
        storage_.controllerList = list_.as<ConData>();
    }
    storage_.log = &log_;
    storage_.mutex = &mutex_;
    storage_.count = count_.as<std::uint32_t>();
}

Storage::~Storage() {
    platform::destroyMutex(mutex_.handle);
}

TraData* Storage::tracker(std::uint32_t index) {
    if (kind_ != StorageKind::tracker || index == 0 || index > kEntries) {
        return nullptr;
    }
    return list_.as<TraData>() + (index - 1);
}

ConData* Storage::controller(std::uint32_t index) {
    if (kind_ != StorageKind::controller || index == 0 || index > kEntries) {
        return nullptr;
    }
    return list_.as<ConData>() + (index - 1);
}

bool Storage::lock() {
    return platform::lockMutex(mutex_.handle) == platform::LockResult::acquired;
}

bool Storage::unlock() {
    return platform::unlockMutex(mutex_.handle);
}

std::string Storage::checkGuards() const {
    std::string description;
    appendDescription(description, list_.checkGuards());
    appendDescription(description, count_.checkGuards());
    return description;
}

}  // namespace hostkit

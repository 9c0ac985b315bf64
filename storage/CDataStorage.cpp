#include "storage/CDataStorage.h"

namespace {

// The texts the storage reports, as the host's own storage writes them.
// Two are irregular on purpose and must stay so: the tracker variant's
// foreign-list text has no class prefix, and the controller variant says
// "Datt Storage".
constexpr const char* kNoMutex = "CDataStorage: Mutex has not been set up yet.";
constexpr const char* kTooBig = "CDataStorage: The new number is too big.";
constexpr const char* kZero = "CDataStorage: the number of data is zero.";
constexpr const char* kDeleteControllersFirst = "Delete controller data list first.";
constexpr const char* kDeleteTrackersFirst = "CDataStorage: Delete tracker data list first.";
constexpr const char* kNoTrackerList = "CDataStorage: Data storage has not been created yet.";
constexpr const char* kNoControllerList = "CDataStorage: Datt Storage has not been created yet.";

}  // namespace

void CDataStorage::report(const char* text) const {
    // A storage whose host left the log out still reports, under its own name.
    if (log != nullptr) {
        log->error(text, true);
    } else {
        CMessageH("CDataStorage").error(text, true);
    }
}

platform::LockResult CDataStorage::acquire() {
    if (mutex == nullptr) {
        report(kNoMutex);
        return platform::LockResult::failed;
    }
    return mutex->acquire();
}

bool CDataStorage::lock() {
    return acquire() == platform::LockResult::acquired;
}

bool CDataStorage::unlock() {
    if (mutex == nullptr) {
        report(kNoMutex);
        return false;
    }
    return mutex->unlock();
}

// A list without a count cannot be addressed: it counts as no list at all,
// so nothing ever reads or writes through a null count.
std::uint32_t CDataStorage::trackerCount() const {
    return trackerList != nullptr && count != nullptr ? *count : 0;
}

std::uint32_t CDataStorage::controllerCount() const {
    return controllerList != nullptr && count != nullptr ? *count : 0;
}

bool CDataStorage::setTrackerNumber(std::uint32_t n) {
    return setNumber(n, trackerList != nullptr, controllerList != nullptr, kDeleteControllersFirst,
                     kNoTrackerList);
}

bool CDataStorage::setControllerNumber(std::uint32_t n) {
    return setNumber(n, controllerList != nullptr, trackerList != nullptr, kDeleteTrackersFirst,
                     kNoControllerList);
}

bool CDataStorage::setNumber(std::uint32_t n, bool ownList, bool otherList,
                             const char* otherListText, const char* noListText) {
    const char* refusal = nullptr;
    if (n > kMaxEntries) {
        refusal = kTooBig;
    } else if (otherList) {
        refusal = otherListText;
    } else if (!ownList || count == nullptr) {
        refusal = noListText;
    } else if (mutex == nullptr) {
        refusal = kNoMutex;
    } else if (n == 0) {
        refusal = kZero;
    }
    if (refusal != nullptr) {
        report(refusal);
        return false;
    }
    *count = n;
    return true;
}

TraData* CDataStorage::getTracker(std::uint32_t index) const {
    if (index == 0 || index > trackerCount()) {
        return nullptr;
    }
    return trackerList + (index - 1);
}

ConData* CDataStorage::getController(std::uint32_t index) const {
    if (index == 0 || index > controllerCount()) {
        return nullptr;
    }
    return controllerList + (index - 1);
}

StorageLock::StorageLock(CDataStorage& storage)
    : storage_(storage), held_(storage.acquire() != platform::LockResult::failed) {}

StorageLock::~StorageLock() {
    if (held_) {
        storage_.unlock();
    }
}

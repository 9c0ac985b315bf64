#include "storage/CDataStorage.h"

namespace {

// A storage whose host left the log out still reports, under its own name.
const CMessageH& fallbackLog() {
    static const CMessageH record = [] {
        CMessageH made;
        made.setName("CDataStorage");
        return made;
    }();
    return record;
}

}  // namespace

const CMessageH& CDataStorage::reportLog() const {
    return log != nullptr ? *log : fallbackLog();
}

void CDataStorage::report(const char* text) const {
    reportLog().error(text, true);
}

bool CDataStorage::lock() {
    if (mutex == nullptr) {
        report("CDataStorage: Mutex has not been set up yet.");
        return false;
    }
    return mutex->lock();
}

bool CDataStorage::unlock() {
    if (mutex == nullptr) {
        report("CDataStorage: Mutex has not been set up yet.");
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
    if (n > kMaxEntries) {
        report("CDataStorage: The new number is too big.");
        return false;
    }
    if (controllerList != nullptr) {
        report("Delete controller data list first.");
        return false;
    }
    if (trackerList == nullptr || count == nullptr) {
        report("CDataStorage: Data storage has not been created yet.");
        return false;
    }
    if (mutex == nullptr) {
        report("CDataStorage: Mutex has not been set up yet.");
        return false;
    }
    if (n == 0) {
        report("CDataStorage: the number of data is zero.");
        return false;
    }
    *count = n;
    return true;
}

bool CDataStorage::setControllerNumber(std::uint32_t n) {
    if (n > kMaxEntries) {
        report("CDataStorage: The new number is too big.");
        return false;
    }
    if (trackerList != nullptr) {
        report("CDataStorage: Delete tracker data list first.");
        return false;
    }
    if (controllerList == nullptr || count == nullptr) {
        report("CDataStorage: Datt Storage has not been created yet.");
        return false;
    }
    if (mutex == nullptr) {
        report("CDataStorage: Mutex has not been set up yet.");
        return false;
    }
    if (n == 0) {
        report("CDataStorage: the number of data is zero.");
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

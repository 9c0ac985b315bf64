// The device's share of tracker emulation: the set-up inside init and the
// tracker step of every receive cycle.
#include "config/CConCommonH.h"
#include "config/CTraCommonH.h"
#include "device/CPallador.h"
#include "storage/CDataStorage.h"
#include "storage/UpdateMask.h"

namespace {

// The texts of the device's tracker share, together.
constexpr const char* kNoTrackerStorage = "CPallador: tracker data storage pointer is empty.";
constexpr const char* kNoTrackerEntry = "CPallador: Could not find tracker data entry.";
constexpr const char* kEntryFound = "CPallador: TraData storage found";
constexpr const char* kEntryMissing = "CPallador: TraData storage not found";

}  // namespace

bool CPallador::setUpTrackerEmulation() {
    CDataStorage* storage = initInfo.trackerStorage;
    if (storage == nullptr) {
        log->error(kNoTrackerStorage, true);
        return false;
    }
    trackerOptions = std::make_unique<CTraCommonH>(log.get());
    trackerOptions->inputConnector = inputConnector;
    trackerOptions->outputCount = static_cast<std::uint32_t>(emulatedTrackers);
    trackerOptions->setTrackerCount(static_cast<std::uint32_t>(emulatedTrackers));
    trackerOptions->setTracker(1, 1, nullptr, nullptr, nullptr);
    if (!trackerOptions->parseOptions(config)) {
        return false;
    }

    {
        const StorageLock lock(*storage);
        if (lock.held()) {
            trackerOptions->outputBase = storage->trackerCount();
            storage->setTrackerNumber(trackerOptions->outputCount + trackerOptions->outputBase);
            trackerEntry = storage->getTracker(trackerOptions->outputBase + 1);
        }
        if (trackerEntry != nullptr) {
            controllerMapping->resetEmulatedTracker(1, trackerEntry, nullptr);
            trackerEntry->setId(trackerEntry->getId() + trackerOptions->outputBase);
        } else {
            log->error(kNoTrackerEntry, true);
        }
    }
    if (trackerEntry == nullptr) {
        return false;
    }
    modeCode = 1;
    return true;
}

bool CPallador::publishEmulatedTracker(UpdateMask& trackerMask) {
    controllerMapping->emulateTracker(1, &curTracker, &curController);
    if (sameTraData(prevTracker, curTracker) != 0) {
        return true;
    }
    bool found = true;
    const StorageLock lock(*initInfo.trackerStorage);
    trackerEntry =
        lock.held() ? initInfo.trackerStorage->getTracker(trackerOptions->outputBase + 1) : nullptr;
    if (trackerEntry != nullptr) {
        log->debug(kEntryFound, true);
        const std::uint32_t id =
            controllerMapping->entry(1)->emulation->trackerNumber + trackerOptions->outputBase;
        curTracker.setId(id);
        *trackerEntry = curTracker;
        trackerMask.mark(id);
    } else {
        log->error(kEntryMissing, true);
        found = false;
    }
    prevTracker = curTracker;
    return found;
}

#include "host/kit/init_record.h"

#include <atomic>

namespace hostkit {

InitRecord::InitRecord(Storage* trackerStorage, Storage* controllerStorage)
    : masks_("update masks", sizeof(UpdateMasks)) {
    info_.trackerStorage = trackerStorage != nullptr ? trackerStorage->get() : nullptr;
    info_.controllerStorage = controllerStorage != nullptr ? controllerStorage->get() : nullptr;
    info_.runFlag = &runFlag_;
}

void InitRecord::setRunning(bool running) {
    std::atomic_ref<std::int32_t>(runFlag_).store(running ? 1 : 0);
}

bool InitRecord::running() const {
    return std::atomic_ref<std::int32_t>(runFlag_).load() != 0;
}

void InitRecord::clearMasks() {
    masks()->tracker.clear();
    masks()->controller.clear();
}

}  // namespace hostkit

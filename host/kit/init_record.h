// The record a host hands to init: its two storages and its run flag, with
// the pair of update masks that every receive call fills. The masks lie in
// guarded memory.
#pragma once

#include <cstdint>
#include <string>

#include "device/InitInfo.h"
#include "host/kit/guarded_block.h"
#include "host/kit/storage.h"
#include "storage/UpdateMask.h"

namespace hostkit {

class InitRecord {
public:
    // Either storage may be absent; the run flag starts set.
    InitRecord(Storage* trackerStorage, Storage* controllerStorage);
    InitRecord(const InitRecord&) = delete;
    InitRecord& operator=(const InitRecord&) = delete;

    // Its fields may be changed for fault tests.
    InitInfo* get() { return &info_; }

    // Safe from any thread while the plug-in reads the flag.
    void setRunning(bool running);
    bool running() const;

    UpdateMasks* masks() { return masks_.as<UpdateMasks>(); }
    void clearMasks();

    std::string checkGuards() const { return masks_.checkGuards(); }

private:
    // Read through atomic_ref, hence mutable for the const reader.
    alignas(4) mutable std::int32_t runFlag_ = 1;
    GuardedBlock masks_;
    InitInfo info_{};
};

}  // namespace hostkit

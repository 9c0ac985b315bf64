// A host data storage for the plug-in: the storage object, a list with room
// for 32 entries, the count, the logs and a real system mutex. The list and
// the count lie in guarded memory.
#pragma once

#include <cstdint>
#include <string>

#include "host/kit/guarded_block.h"
#include "storage/CDataStorage.h"
#include "storage/CMutexH.h"
#include "storage/ConData.h"
#include "storage/TraData.h"
#include "support/CMessageH.h"

namespace hostkit {

enum class StorageKind { tracker, controller };

class Storage {
public:
    static constexpr std::uint32_t kEntries = CDataStorage::kMaxEntries;

    // The logs have no stamps, so every line the storage prints is
    // "CDataStorage: " or "CMutexH: " followed by its level and text.
    explicit Storage(StorageKind kind);
    ~Storage();
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;

    // The object the plug-in is handed. Its fields may be changed for fault
    // tests (a null mutex, a second list); the kit's memory stays owned here.
    CDataStorage* get() { return &storage_; }
    StorageKind kind() const { return kind_; }

    // The count as the host reads and writes it, without the mutex.
    std::uint32_t count() const { return *count_.as<std::uint32_t>(); }
    void setCount(std::uint32_t n) { *count_.as<std::uint32_t>() = n; }

    // Entry 1 to 32 of the list, whatever the count; null for another index
    // or on a storage of the other kind.
    TraData* tracker(std::uint32_t index);
    ConData* controller(std::uint32_t index);
    const void* listAddress() const { return list_.data(); }

    CMessageH& log() { return log_; }
    CMessageH& mutexLog() { return mutexLog_; }
    CMutexH& mutex() { return mutex_; }

    // The host's own hold on the mutex, for tests that keep it from
    // another thread.
    bool lock();
    bool unlock();

    // Empty while the list and the count are fenced intact.
    std::string checkGuards() const;

private:
    StorageKind kind_;
    GuardedBlock list_;
    GuardedBlock count_;
    CMessageH log_;
    CMessageH mutexLog_;
    CMutexH mutex_{};
    CDataStorage storage_{};
};

// A record without date, time or thread stamps, under the given name.
void clearStamps(CMessageH& log);

}  // namespace hostkit

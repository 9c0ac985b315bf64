// The host's data storage as the plug-in sees it: a view over the host's
// object holding one list of tracker or controller records, its count, its
// log and its mutex. The plug-in reads and writes only these fields.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/CMutexH.h"
#include "storage/ConData.h"
#include "storage/TraData.h"
#include "support/CMessageH.h"

class CDataStorage {
public:
    static constexpr std::uint32_t kMaxEntries = 32;

    // Neither takes the mutex on behalf of the others: callers bracket every
    // use of the count and the entries with lock and unlock (StorageLock
    // below does both). Without a mutex both report it and answer false.
    // lock is true only for a plain successful wait; acquire tells an
    // abandoned wait, which leaves the mutex the caller's, from a failed one.
    bool lock();
    platform::LockResult acquire();
    bool unlock();

    // The count when this storage holds that kind of list, else 0.
    std::uint32_t trackerCount() const;
    std::uint32_t controllerCount() const;

    // Set the count of a storage of that kind; false, reported, and the
    // count unchanged when refused.
    bool setTrackerNumber(std::uint32_t n);
    bool setControllerNumber(std::uint32_t n);

    // Entry i, 1-based; null without such a list, for 0 or beyond the count.
    TraData* getTracker(std::uint32_t index) const;
    ConData* getController(std::uint32_t index) const;

    // The layout shared with the host; the unnamed parts are the host's.
    void* hostHead;
    TraData* trackerList;
    ConData* controllerList;
    CMessageH* log;
    void* hostWord;
    CMutexH* mutex;
    void* hostPair[2];
    std::uint32_t* count;

private:
    void report(const char* text) const;
    bool setNumber(std::uint32_t n, bool ownList, bool otherList, const char* otherListText,
                   const char* noListText);
};

// A storage's mutex for one scope. After a failed wait the mutex is not
// the caller's: `held` is false, nothing it guards may be touched, and it is
// not released. Otherwise (an abandoned wait included) it is released at
// the end of the scope.
class StorageLock {
public:
    explicit StorageLock(CDataStorage& storage);
    ~StorageLock();
    StorageLock(const StorageLock&) = delete;
    StorageLock& operator=(const StorageLock&) = delete;

    bool held() const { return held_; }

private:
    CDataStorage& storage_;
    bool held_;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(CDataStorage, trackerList) == 4, "CDataStorage tracker list offset");
static_assert(offsetof(CDataStorage, controllerList) == 8, "CDataStorage controller list offset");
static_assert(offsetof(CDataStorage, log) == 12, "CDataStorage log offset");
static_assert(offsetof(CDataStorage, mutex) == 20, "CDataStorage mutex offset");
static_assert(offsetof(CDataStorage, count) == 32, "CDataStorage count offset");
#endif

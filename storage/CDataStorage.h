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
    // use of the count and the entries with lock and unlock. Without a mutex
    // both report it and answer false.
    bool lock();
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
    const CMessageH& reportLog() const;
    void report(const char* text) const;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(CDataStorage, trackerList) == 4, "CDataStorage tracker list offset");
static_assert(offsetof(CDataStorage, controllerList) == 8, "CDataStorage controller list offset");
static_assert(offsetof(CDataStorage, log) == 12, "CDataStorage log offset");
static_assert(offsetof(CDataStorage, mutex) == 20, "CDataStorage mutex offset");
static_assert(offsetof(CDataStorage, count) == 32, "CDataStorage count offset");
#endif

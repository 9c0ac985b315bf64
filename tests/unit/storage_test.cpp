#include "host/kit/storage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "storage/CDataStorage.h"
#include "storage/UpdateMask.h"
#include "tests/support/capture.h"

namespace {

using hostkit::Storage;
using hostkit::StorageKind;
using testing_support::captureOutput;

// Every line a kit storage prints starts with its log's header.
std::string storageError(const std::string& text) {
    return "CDataStorage: ERROR: " + text + "\n";
}

struct Attempt {
    bool result;
    std::string output;
    std::uint32_t count;
};

Attempt setNumber(Storage& storage, bool tracker, std::uint32_t n) {
    Attempt attempt{};
    attempt.output = captureOutput([&] {
        attempt.result =
            tracker ? storage.get()->setTrackerNumber(n) : storage.get()->setControllerNumber(n);
    });
    attempt.count = storage.count();
    return attempt;
}

// A storage laid out as described, the count at 7 so a refusal shows.
struct Shape {
    const char* name;
    bool trackerList;
    bool controllerList;
    bool mutex;
};

void shape(Storage& storage, const Shape& wanted, TraData* trackerList, ConData* controllerList) {
    CDataStorage* view = storage.get();
    view->trackerList = wanted.trackerList ? trackerList : nullptr;
    view->controllerList = wanted.controllerList ? controllerList : nullptr;
    view->mutex = wanted.mutex ? &storage.mutex() : nullptr;
    storage.setCount(7);
}

TEST(StorageCount, SettingTheTrackerNumberChecksInOrder) {
    Storage storage(StorageKind::tracker);
    Storage other(StorageKind::controller);
    TraData* trackers = storage.tracker(1);
    ConData* controllers = other.controller(1);
    struct Case {
        Shape shape;
        std::uint32_t n;
        const char* message;
    };
    const Case cases[] = {
        {{"no list at all", false, false, false}, 33, "CDataStorage: The new number is too big."},
        {{"controller list", false, true, true}, 5, "Delete controller data list first."},
        {{"both lists, no mutex", true, true, false}, 0, "Delete controller data list first."},
        {{"no list", false, false, true},
         5,
         "CDataStorage: Data storage has not been created yet."},
        {{"no mutex", true, false, false}, 0, "CDataStorage: Mutex has not been set up yet."},
        {{"well formed", true, false, true}, 0, "CDataStorage: the number of data is zero."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape.name);
        shape(storage, c.shape, trackers, controllers);
        const Attempt attempt = setNumber(storage, true, c.n);
        EXPECT_FALSE(attempt.result);
        EXPECT_EQ(attempt.output, storageError(c.message));
        EXPECT_EQ(attempt.count, 7u);
    }
}

TEST(StorageCount, SettingTheControllerNumberChecksInOrder) {
    Storage storage(StorageKind::controller);
    Storage other(StorageKind::tracker);
    TraData* trackers = other.tracker(1);
    ConData* controllers = storage.controller(1);
    struct Case {
        Shape shape;
        std::uint32_t n;
        const char* message;
    };
    const Case cases[] = {
        {{"no list at all", false, false, false}, 33, "CDataStorage: The new number is too big."},
        {{"tracker list", true, false, true}, 5, "CDataStorage: Delete tracker data list first."},
        {{"both lists, no mutex", true, true, false},
         0,
         "CDataStorage: Delete tracker data list first."},
        {{"no list", false, false, true},
         5,
         "CDataStorage: Datt Storage has not been created yet."},
        {{"no mutex", false, true, false}, 0, "CDataStorage: Mutex has not been set up yet."},
        {{"well formed", false, true, true}, 0, "CDataStorage: the number of data is zero."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shape.name);
        shape(storage, c.shape, trackers, controllers);
        const Attempt attempt = setNumber(storage, false, c.n);
        EXPECT_FALSE(attempt.result);
        EXPECT_EQ(attempt.output, storageError(c.message));
        EXPECT_EQ(attempt.count, 7u);
    }
}

TEST(StorageCount, AcceptedNumbersAreStoredSilentlyUpToThirtyTwo) {
    Storage trackers(StorageKind::tracker);
    Storage controllers(StorageKind::controller);
    for (const std::uint32_t n : {1u, 32u}) {
        Attempt attempt = setNumber(trackers, true, n);
        EXPECT_TRUE(attempt.result);
        EXPECT_EQ(attempt.output, "");
        EXPECT_EQ(attempt.count, n);
        attempt = setNumber(controllers, false, n);
        EXPECT_TRUE(attempt.result);
        EXPECT_EQ(attempt.output, "");
        EXPECT_EQ(attempt.count, n);
    }
    EXPECT_EQ(trackers.checkGuards(), "");
    EXPECT_EQ(controllers.checkGuards(), "");
}

TEST(StorageCount, EachCountBelongsToItsOwnKindOfList) {
    Storage controllers(StorageKind::controller);
    controllers.setCount(5);
    EXPECT_EQ(controllers.get()->trackerCount(), 0u);
    EXPECT_EQ(controllers.get()->controllerCount(), 5u);
    Storage trackers(StorageKind::tracker);
    trackers.setCount(4);
    EXPECT_EQ(trackers.get()->trackerCount(), 4u);
    EXPECT_EQ(trackers.get()->controllerCount(), 0u);
}

TEST(StorageEntries, ControllerEntriesLieAtTheirStrideWithinTheCount) {
    Storage storage(StorageKind::controller);
    storage.setCount(3);
    const auto* list = static_cast<const unsigned char*>(storage.listAddress());
    const CDataStorage* view = storage.get();
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(view->getController(1)), list);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(view->getController(3)), list + 368);
    EXPECT_EQ(view->getController(4), nullptr);
    EXPECT_EQ(view->getController(0), nullptr);
    EXPECT_EQ(view->getTracker(1), nullptr);
}

TEST(StorageEntries, TrackerEntriesLieAtTheirStrideWithinTheCount) {
    Storage storage(StorageKind::tracker);
    storage.setCount(2);
    const auto* list = static_cast<const unsigned char*>(storage.listAddress());
    const CDataStorage* view = storage.get();
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(view->getTracker(2)), list + 56);
    EXPECT_EQ(view->getTracker(3), nullptr);
    EXPECT_EQ(view->getTracker(0), nullptr);
    EXPECT_EQ(view->getController(1), nullptr);
}

TEST(StorageEntries, ReservingBehindTwoForeignEntriesUsesTheThird) {
    Storage storage(StorageKind::controller);
    storage.setCount(2);
    CDataStorage* view = storage.get();
    std::uint32_t base = 0;
    const std::string output = captureOutput([&] {
        ASSERT_TRUE(view->lock());
        base = view->controllerCount();
        ASSERT_TRUE(view->setControllerNumber(base + 1));
        ConData* entry = view->getController(base + 1);
        ASSERT_NE(entry, nullptr);
        entry->reset();
        entry->setId(1 + base);
        ASSERT_TRUE(view->unlock());
    });
    EXPECT_EQ(output, "");
    EXPECT_EQ(base, 2u);
    EXPECT_EQ(storage.count(), 3u);
    EXPECT_EQ(storage.controller(3)->getId(), 3u);
    EXPECT_EQ(storage.controller(2)->getId(), 0u);
    EXPECT_EQ(storage.checkGuards(), "");
}

TEST(StorageFaults, MissingMutexIsReportedAndRefused) {
    Storage storage(StorageKind::controller);
    storage.get()->mutex = nullptr;
    bool locked = true;
    bool unlocked = true;
    const std::string output = captureOutput([&] {
        locked = storage.get()->lock();
        unlocked = storage.get()->unlock();
    });
    EXPECT_FALSE(locked);
    EXPECT_FALSE(unlocked);
    EXPECT_EQ(output, storageError("CDataStorage: Mutex has not been set up yet.") +
                          storageError("CDataStorage: Mutex has not been set up yet."));
}

TEST(StorageFaults, MissingLogStillReportsUnderTheStorageName) {
    Storage storage(StorageKind::tracker);
    storage.get()->log = nullptr;
    bool result = true;
    const std::string output = captureOutput([&] { result = storage.get()->setTrackerNumber(33); });
    EXPECT_FALSE(result);
    // The stand-in record has the default stamps; only the end is fixed.
    const std::string tail = "]: ERROR: CDataStorage: The new number is too big.\n";
    ASSERT_GE(output.size(), tail.size());
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail);
    EXPECT_NE(output.find(" CDataStorage["), std::string::npos) << output;
}

TEST(StorageFaults, ListWithoutCountIsNoList) {
    Storage storage(StorageKind::tracker);
    storage.setCount(3);
    storage.get()->count = nullptr;
    const CDataStorage* view = storage.get();
    EXPECT_EQ(view->trackerCount(), 0u);
    EXPECT_EQ(view->getTracker(1), nullptr);
    bool result = true;
    const std::string output = captureOutput([&] { result = storage.get()->setTrackerNumber(4); });
    EXPECT_FALSE(result);
    EXPECT_EQ(output, storageError("CDataStorage: Data storage has not been created yet."));
    EXPECT_EQ(storage.count(), 3u);
}

std::string maskBytes(const UpdateMask& mask) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", mask.bytes[0], mask.bytes[1],
                  mask.bytes[2], mask.bytes[3]);
    return text;
}

TEST(UpdateMasks, RecordIdsAreBitsInNetworkOrder) {
    const struct {
        std::uint32_t id;
        const char* bytes;
    } cases[] = {{1, "00 00 00 01"}, {9, "00 00 01 00"}, {32, "80 00 00 00"}};
    for (const auto& c : cases) {
        UpdateMask mask{{0xFF, 0xFF, 0xFF, 0xFF}};
        mask.clear();
        EXPECT_TRUE(mask.mark(c.id));
        EXPECT_EQ(maskBytes(mask), c.bytes) << "record " << c.id;
    }
}

TEST(UpdateMasks, IdsOutsideOneToThirtyTwoMarkNothing) {
    UpdateMask mask{};
    EXPECT_FALSE(mask.mark(0));
    EXPECT_FALSE(mask.mark(33));
    EXPECT_EQ(maskBytes(mask), "00 00 00 00");
}

}  // namespace

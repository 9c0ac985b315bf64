#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

#include "host/kit/config.h"
#include "host/kit/init_record.h"
#include "host/kit/storage.h"
#include "tests/support/config_text.h"

namespace {

using hostkit::Config;
using hostkit::InitRecord;
using hostkit::Storage;
using hostkit::StorageKind;

TEST(HostGuards, StrayWritePastTheLastEntryIsNamed) {
    Storage storage(StorageKind::controller);
    EXPECT_EQ(storage.checkGuards(), "");
    // A copy one byte too long into the 32nd entry.
    auto* last = reinterpret_cast<unsigned char*>(storage.controller(32));
    last[sizeof(ConData)] = 0;
    EXPECT_EQ(storage.checkGuards(),
              "controller list: 1 guard byte(s) changed after the block, "
              "first at +0 (00)");
}

TEST(HostGuards, StrayWritesBeforeTheListAndAroundTheCountAreNamed) {
    Storage storage(StorageKind::tracker);
    auto* first = reinterpret_cast<unsigned char*>(storage.tracker(1));
    first[-1] = 0x11;
    first[-2] = 0x22;
    auto* count = reinterpret_cast<unsigned char*>(storage.get()->count);
    count[4] = 0x33;
    EXPECT_EQ(storage.checkGuards(),
              "tracker list: 2 guard byte(s) changed before the block, first at -2 (22); "
              "tracker count: 1 guard byte(s) changed after the block, first at +0 (33)");
}

TEST(HostGuards, WritesInsideTheBlocksLeaveTheGuardsIntact) {
    Storage storage(StorageKind::tracker);
    std::memset(storage.tracker(1), 0xFF, sizeof(TraData) * Storage::kEntries);
    storage.setCount(0xFFFFFFFFu);
    EXPECT_EQ(storage.checkGuards(), "");

    Config config("pallador");
    std::memset(config.get(), 0, sizeof(DeviceConfig));
    EXPECT_EQ(config.checkGuards(), "");
    reinterpret_cast<unsigned char*>(config.get())[sizeof(DeviceConfig)] = 1;
    EXPECT_EQ(config.checkGuards(),
              "configuration record: 1 guard byte(s) changed after the block, first at +0 (01)");

    InitRecord init(nullptr, &storage);
    init.masks()->controller.mark(32);
    EXPECT_EQ(init.checkGuards(), "");
    reinterpret_cast<unsigned char*>(init.masks())[8] = 0;
    EXPECT_NE(init.checkGuards(), "");
}

TEST(HostStorage, IsWellFormedForItsKind) {
    Storage controllers(StorageKind::controller);
    const CDataStorage* view = controllers.get();
    EXPECT_EQ(view->trackerList, nullptr);
    EXPECT_EQ(static_cast<const void*>(view->controllerList), controllers.listAddress());
    EXPECT_EQ(view->mutex, &controllers.mutex());
    EXPECT_NE(view->mutex->handle, nullptr);
    EXPECT_EQ(view->mutex->log, &controllers.mutexLog());
    EXPECT_EQ(view->log, &controllers.log());
    EXPECT_EQ(controllers.count(), 0u);
    EXPECT_EQ(controllers.tracker(1), nullptr);
    EXPECT_EQ(controllers.controller(33), nullptr);
}

TEST(HostConfig, TextBecomesNumberedLinesWithBracketedVectorsKept) {
    Config config = testing_support::configFromText(
        "# devices\n"
        "pallador\n"
        "SerialPort com7\n"
        "\n"
        "valuatorscale 1 [0.5, 1, 0, 0]  2\n"
        "emulatetracker\n");
    const DeviceConfig* record = config.get();
    EXPECT_STREQ(record->deviceName, "pallador");
    ASSERT_EQ(record->lineCount, 3u);
    EXPECT_EQ(record->lines[0].lineNumber, 3u);
    EXPECT_STREQ(record->lines[0].name, "SerialPort");
    ASSERT_EQ(record->lines[0].argCount, 1u);
    EXPECT_STREQ(record->lines[0].args[0], "com7");
    EXPECT_EQ(record->lines[1].lineNumber, 5u);
    ASSERT_EQ(record->lines[1].argCount, 3u);
    EXPECT_STREQ(record->lines[1].args[0], "1");
    EXPECT_STREQ(record->lines[1].args[1], "[0.5, 1, 0, 0]");
    EXPECT_STREQ(record->lines[1].args[2], "2");
    EXPECT_EQ(record->lines[2].lineNumber, 6u);
    EXPECT_EQ(record->lines[2].argCount, 0u);
    EXPECT_EQ(config.usedFlags(), "000");
}

TEST(HostConfig, RefusesLinesBeyondWhatTheRecordHolds) {
    Config config("pallador");
    for (std::uint32_t i = 0; i < DeviceConfig::kMaxLines; ++i) {
        EXPECT_TRUE(config.add(i + 1, "order", {"1"}));
    }
    EXPECT_FALSE(config.add(33, "order", {"1"}));
    EXPECT_EQ(config.get()->lineCount, 32u);

    Config wide("pallador");
    EXPECT_FALSE(wide.add(1, "buttonorder", std::vector<std::string>(65, "1")));
    EXPECT_TRUE(wide.add(1, "buttonorder", std::vector<std::string>(64, "1")));
    EXPECT_EQ(wide.checkGuards(), "");
}

TEST(HostInit, RunFlagClearedOnAnotherThreadIsSeenThroughTheRecord) {
    Storage trackers(StorageKind::tracker);
    Storage controllers(StorageKind::controller);
    InitRecord init(&trackers, &controllers);
    InitInfo* info = init.get();
    EXPECT_EQ(info->trackerStorage, trackers.get());
    EXPECT_EQ(info->controllerStorage, controllers.get());
    ASSERT_NE(info->runFlag, nullptr);
    EXPECT_NE(*info->runFlag, 0);
    std::thread([&] { init.setRunning(false); }).join();
    EXPECT_EQ(*info->runFlag, 0);
    EXPECT_FALSE(init.running());
    init.setRunning(true);
    EXPECT_EQ(*info->runFlag, 1);

    init.masks()->tracker.mark(1);
    init.clearMasks();
    EXPECT_FALSE(init.masks()->tracker.isMarked(1));
}

}  // namespace

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "host/kit/storage.h"
#include "storage/CDataStorage.h"
#include "tests/support/capture.h"
#include "tests/support/system_text.h"

namespace {

using hostkit::Storage;
using hostkit::StorageKind;
using testing_support::captureOutput;

// A host thread that takes the storage's mutex and keeps it until told.
class Holder {
public:
    explicit Holder(Storage& storage) {
        std::promise<bool> taken;
        auto takenResult = taken.get_future();
        thread_ = std::thread([&storage, &taken, this] {
            taken.set_value(storage.lock());
            release_.get_future().wait();
            storage.unlock();
        });
        locked_ = takenResult.get();
    }
    ~Holder() {
        release();
        thread_.join();
    }
    bool locked() const { return locked_; }
    void release() {
        if (!released_) {
            released_ = true;
            release_.set_value();
        }
    }

private:
    std::promise<void> release_;
    std::thread thread_;
    bool locked_ = false;
    bool released_ = false;
};

TEST(StorageMutex, LockWaitsWhileAnotherThreadHoldsTheMutex) {
    Storage storage(StorageKind::controller);
    Holder holder(storage);
    ASSERT_TRUE(holder.locked());

    std::atomic<bool> acquired{false};
    std::thread device([&] {
        if (storage.get()->lock()) {
            acquired = true;
            storage.get()->unlock();
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_FALSE(acquired.load());
    holder.release();
    device.join();
    EXPECT_TRUE(acquired.load());
}

TEST(StorageMutex, NonOwnerUnlockReportsTheSystemTextOnOneLine) {
    Storage storage(StorageKind::tracker);
    Holder holder(storage);
    ASSERT_TRUE(holder.locked());
    bool result = true;
    const std::string output = captureOutput([&] { result = storage.get()->unlock(); });
    EXPECT_FALSE(result);
    const std::string text = testing_support::notOwnerText();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(output, "CMutexH: ERROR: CMutexH: Unlocking mutex: " + text + "\n");
}

TEST(StorageMutex, UnlockingAFreeMutexIsRefusedLikewise) {
    Storage storage(StorageKind::controller);
    bool result = true;
    const std::string output = captureOutput([&] { result = storage.get()->unlock(); });
    EXPECT_FALSE(result);
    EXPECT_EQ(output, "CMutexH: ERROR: CMutexH: Unlocking mutex: " +
                          testing_support::notOwnerText() + "\n");
}

// An abandoned wait is reported but leaves the mutex the caller's, and the
// scope's end releases it for good; a failed wait is reported once and
// nothing is released after it.
TEST(StorageMutex, AbandonedWaitIsOwnedAndReleasedFailedWaitIsNot) {
    Storage storage(StorageKind::controller);
    std::thread([&] { ASSERT_TRUE(storage.lock()); }).join();
    bool locked = true;
    bool held = false;
    std::string output = captureOutput([&] {
        locked = storage.get()->lock();
        EXPECT_TRUE(storage.get()->unlock());
    });
    EXPECT_FALSE(locked);
    const std::string abandoned =
        "CMutexH: ERROR: CMutexH: Locking mutex: " + testing_support::abandonedText() + "\n";
    EXPECT_EQ(output, abandoned);

    std::thread([&] { ASSERT_TRUE(storage.lock()); }).join();
    output = captureOutput([&] { held = StorageLock(*storage.get()).held(); });
    EXPECT_TRUE(held);
    EXPECT_EQ(output, abandoned);
    bool again = false;
    std::thread([&] {
        again = storage.lock();
        storage.unlock();
    }).join();
    EXPECT_TRUE(again) << "released for good: another thread takes it without a report";

    const platform::MutexHandle handle = storage.mutex().handle;
    storage.mutex().handle = nullptr;
    output = captureOutput([&] { held = StorageLock(*storage.get()).held(); });
    storage.mutex().handle = handle;
    EXPECT_FALSE(held);
    const std::string prefix = "CMutexH: ERROR: CMutexH: Locking mutex: ";
    EXPECT_EQ(output.compare(0, prefix.size(), prefix), 0) << output;
    EXPECT_EQ(output.find('\n'), output.size() - 1) << "one report, no unlock: " << output;
}

TEST(StorageMutex, MutexWithoutLogStillReports) {
    Storage storage(StorageKind::controller);
    storage.mutex().log = nullptr;
    bool result = true;
    const std::string output = captureOutput([&] { result = storage.get()->unlock(); });
    EXPECT_FALSE(result);
    const std::string tail =
        "]: ERROR: CMutexH: Unlocking mutex: " + testing_support::notOwnerText() + "\n";
    ASSERT_GE(output.size(), tail.size());
    EXPECT_EQ(output.substr(output.size() - tail.size()), tail);
}

}  // namespace

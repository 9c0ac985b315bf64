// deleteDev gives back everything the device took, whatever state it is in:
// never initialised, after an init refused by its options or by the port,
// after receiving (with and without stop). Each life is counted from
// createDev to deleteDev: as many blocks handed back as were taken.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "allocation_counter.h"
#include "device/CBase.h"
#include "device/exports.h"
#include "host/kit/config.h"
#include "host/kit/init_record.h"
#include "host/kit/storage.h"
#include "support/CMessageH.h"
#include "tests/support/capture.h"
#include "tests/support/port_names.h"
#include "tests/support/sim_client.h"

namespace {

using testing_support::captureOutput;

struct Balance {
    std::size_t news = 0;
    std::size_t deletes = 0;
    std::size_t mallocs = 0;
    std::size_t frees = 0;
};

struct Options {
    std::string port;
    std::vector<std::pair<std::string, std::vector<std::string>>> lines;
    bool init = true;
    bool receive = false;
    bool stop = false;
};

class Teardown : public ::testing::Test {
protected:
    void SetUp() override {
        sim = testing_support::SimClient::fromEnvironment();
        ASSERT_TRUE(sim);
        ASSERT_TRUE(sim->reset());
        ASSERT_TRUE(sim->ok("mode fresh"));
        hostLog.setName("HOST");
        hostLog.debugLevel = 1;
        hostLog.debugThreshold = 1;
    }

    // One life of a device; the host's records are made outside the count.
    Balance live(const Options& options) {
        hostkit::Config config("pallador0");
        std::uint32_t lineNumber = 1;
        config.add(lineNumber++, "port", {options.port});
        for (const auto& [keyword, arguments] : options.lines) {
            config.add(lineNumber++, keyword, arguments);
        }
        hostkit::Storage trackers(hostkit::StorageKind::tracker);
        hostkit::Storage controllers(hostkit::StorageKind::controller);
        hostkit::InitRecord initRecord(&trackers, &controllers);
        if (options.receive) {
            // Nothing left from the last life on the line, and two bytes for
            // the first word, so the first call probes at once.
            EXPECT_TRUE(sim->reset());
            EXPECT_TRUE(sim->ok("mode fresh"));
            EXPECT_TRUE(sim->send({0xFF, 0xFF}));
        }
        bool published = false;
        Balance balance;
        captureOutput([&] {
            allocation_counter::start();
            CBase* device = createDev(config.get(), &hostLog);
            if (device != nullptr && options.init) {
                const std::int32_t ready = device->init(initRecord.get());
                for (int call = 0; ready == 1 && options.receive && call < 4 && !published;
                     ++call) {
                    device->recvData(initRecord.masks(), 0);
                    published = initRecord.masks()->controller.isMarked(1);
                }
            }
            if (device != nullptr && options.stop) {
                device->stop();
            }
            deleteDev(device);
            allocation_counter::stop();
        });
        EXPECT_EQ(published, options.receive) << "the device was to publish a record";
        balance.news = allocation_counter::newCalls();
        balance.deletes = allocation_counter::deleteCalls();
        balance.mallocs = allocation_counter::mallocCalls();
        balance.frees = allocation_counter::freeCalls();
        return balance;
    }

    // The same life twice: the first pays for what a process allocates
    // only once (stream buffers, time zone), the second is counted.
    void expectBalanced(const Options& options) {
        live(options);
        const Balance balance = live(options);
        EXPECT_GT(balance.news, 0u) << "the counter saw the device being made";
        EXPECT_EQ(balance.deletes, balance.news) << "operator new blocks not handed back";
        if (allocation_counter::countsMalloc()) {
            EXPECT_EQ(balance.frees, balance.mallocs) << "malloc blocks not handed back";
        }
    }

    std::unique_ptr<testing_support::SimClient> sim;
    CMessageH hostLog;
};

const std::vector<std::string> kEmulation = {"1", "[0,0,1,0,0,0]", "1", "2", "3", "4", "5", "6",
                                             "7"};

TEST_F(Teardown, NeverInitialisedDeviceGivesBackEverything) {
    expectBalanced({sim->portName(), {}, false, false, false});
}

TEST_F(Teardown, InitRefusedByItsOptionsGivesBackEverything) {
    expectBalanced({sim->portName(), {{"baud", {"9600", "19200"}}}, true, false, false});
    expectBalanced(
        {sim->portName(),
         {{"emulatetracker", kEmulation}, {"valuatorscale", {"1", "2", "all"}}, {"frobnicate", {}}},
         true,
         false,
         false});
}

TEST_F(Teardown, InitThatCouldNotOpenThePortGivesBackEverything) {
    expectBalanced({testing_support::missingPortName(), {}, true, false, false});
}

TEST_F(Teardown, DeviceDeletedWhileReceivingGivesBackEverything) {
    expectBalanced({sim->portName(), {{"emulatetracker", kEmulation}}, true, true, false});
}

TEST_F(Teardown, DeviceDeletedAfterStopGivesBackEverything) {
    expectBalanced({sim->portName(), {{"baud", {"19200"}}}, true, true, true});
}

}  // namespace

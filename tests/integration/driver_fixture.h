// The plug-in as the host loads it (libpallador.so, or pallador.dll under
// Wine), driven through the host-side kit against the device simulator.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/CBase.h"
#include "host/kit/config.h"
#include "host/kit/init_record.h"
#include "host/kit/plugin.h"
#include "host/kit/storage.h"
#include "storage/UpdateMask.h"
#include "support/CMessageH.h"
#include "tests/support/capture.h"
#include "tests/support/sim_client.h"

namespace testing_support {

struct OptionText {
    std::string keyword;
    std::vector<std::string> arguments;
};

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the device on the simulator's line with these extra options
    // and runs init; returns init's result, the output in `initOutput`.
    std::int32_t createAndInit(const std::vector<OptionText>& options = {},
                               bool withTrackerStorage = false);
    std::int32_t receive();
    // Calls receive until the device has been detected (at most a few calls).
    void detect();
    // The frame as the simulator sends it: buttons word and six valuators.
    static std::string frameHex(std::uint16_t buttons, const std::vector<int>& valuators);
    bool controllerMarked(std::uint32_t id) const;
    bool trackerMarked(std::uint32_t id) const;
    bool masksClear() const;

    std::unique_ptr<SimClient> sim;
    std::unique_ptr<hostkit::Plugin> plugin;
    CMessageH hostLog;
    std::unique_ptr<hostkit::Storage> trackers;
    std::unique_ptr<hostkit::Storage> controllers;
    std::unique_ptr<hostkit::Config> config;
    std::unique_ptr<hostkit::InitRecord> initRecord;
    CBase* device = nullptr;
    std::string initOutput;
    std::string lastOutput;
};

}  // namespace testing_support

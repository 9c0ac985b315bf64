#include "driver_fixture.h"

#include <cstdio>

namespace testing_support {

void DriverTest::SetUp() {
    sim = SimClient::fromEnvironment();
    ASSERT_TRUE(sim);
    ASSERT_TRUE(sim->reset());
    plugin = std::make_unique<hostkit::Plugin>(PALLADOR_PLUGIN_PATH);
    ASSERT_TRUE(plugin->loaded()) << plugin->error();
    hostLog.setName("HOST");
    hostkit::clearStamps(hostLog);
    hostLog.debugLevel = 1;
    hostLog.debugThreshold = 1;
    trackers = std::make_unique<hostkit::Storage>(hostkit::StorageKind::tracker);
    controllers = std::make_unique<hostkit::Storage>(hostkit::StorageKind::controller);
}

void DriverTest::TearDown() {
    if (device != nullptr) {
        captureOutput([&] {
            device->stop();
            plugin->deleteDev(device);
        });
        device = nullptr;
    }
    for (const std::string& damage :
         {trackers ? trackers->checkGuards() : std::string(),
          controllers ? controllers->checkGuards() : std::string(),
          config ? config->checkGuards() : std::string(),
          initRecord ? initRecord->checkGuards() : std::string()}) {
        EXPECT_EQ(damage, "") << "the plug-in wrote outside its own entries";
    }
}

std::int32_t DriverTest::createAndInit(const std::vector<OptionText>& options,
                                       bool withTrackerStorage) {
    config = std::make_unique<hostkit::Config>("pallador0");
    std::uint32_t lineNumber = 10;
    config->add(lineNumber++, "port", {sim->portName()});
    for (const OptionText& option : options) {
        config->add(lineNumber++, option.keyword, option.arguments);
    }
    initRecord = std::make_unique<hostkit::InitRecord>(
        withTrackerStorage ? trackers.get() : nullptr, controllers.get());
    std::int32_t result = -1;
    initOutput = captureOutput([&] {
        device = plugin->createDev(config->get(), &hostLog);
        if (device != nullptr) {
            result = device->init(initRecord->get());
        }
    });
    return result;
}

std::int32_t DriverTest::receive() {
    std::int32_t result = -1;
    lastOutput = captureOutput([&] { result = device->recvData(initRecord->masks(), 0); });
    return result;
}

void DriverTest::detect() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        ASSERT_EQ(receive(), 1) << lastOutput;
        if (lastOutput.find("CPallador: AD-box detected.") != std::string::npos) {
            return;
        }
    }
    FAIL() << "device not detected: " << lastOutput;
}

std::string DriverTest::frameHex(std::uint16_t buttons, const std::vector<int>& valuators) {
    std::string hex;
    char cell[8];
    std::snprintf(cell, sizeof cell, "%04X", buttons);
    hex += cell;
    for (int value : valuators) {
        std::snprintf(cell, sizeof cell, "%04X", static_cast<unsigned>(value) & 0xFFFFu);
        hex += cell;
    }
    return hex;
}

bool DriverTest::controllerMarked(std::uint32_t id) const {
    return initRecord->masks()->controller.isMarked(id);
}

bool DriverTest::trackerMarked(std::uint32_t id) const {
    return initRecord->masks()->tracker.isMarked(id);
}

bool DriverTest::masksClear() const {
    const UpdateMasks* masks = initRecord->masks();
    for (int i = 0; i < 4; ++i) {
        if (masks->tracker.bytes[i] != 0 || masks->controller.bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace testing_support

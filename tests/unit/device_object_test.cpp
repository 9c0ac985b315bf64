#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/DeviceConfig.h"
#include "device/CPallador.h"
#include "device/exports.h"
#include "support/CMessageH.h"
#include "tests/support/capture.h"

namespace {

using testing_support::captureOutput;

// The host's record for these tests: no stamps, so every line is exact.
CMessageH hostRecord(const char* name, std::int32_t debugLevel) {
    CMessageH log;
    log.dateStamp = 0;
    log.timeStamp = 0;
    log.threadStamp = 0;
    log.setName(name);
    log.debugLevel = debugLevel;
    log.setDebugThreshold(4);
    return log;
}

const CMessageH& logOf(CBase* device) {
    return static_cast<CPallador*>(device)->logRecord();
}

class DeviceObject : public testing::Test {
protected:
    DeviceConfig config{};
};

TEST_F(DeviceObject, WithoutHostRecordIsNamedCPalladorAndPrintsNoDebug) {
    CBase* device = nullptr;
    const std::string created = captureOutput([&] { device = createDev(&config, nullptr); });
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(created, "");
    const CMessageH& log = logOf(device);
    EXPECT_STREQ(log.name, "CPallador");
    EXPECT_EQ(log.classLevel, 1);
    EXPECT_EQ(log.debugLevel, 0);
    EXPECT_EQ(log.dateStamp, 1);
    EXPECT_EQ(log.threadStamp, 1);
    EXPECT_FALSE(log.isDebugEnabled());
    bool deleted = false;
    EXPECT_EQ(captureOutput([&] { deleted = deleteDev(device); }), "");
    EXPECT_TRUE(deleted);
}

TEST_F(DeviceObject, HostRecordIsCopiedWithClassLevelOne) {
    CMessageH host = hostRecord("HOST", 1);
    host.setClassLevel(9);
    std::strcpy(host.warningPrefix, "WARN");
    const CMessageH original = host;
    CBase* device = nullptr;
    const std::string created = captureOutput([&] { device = createDev(&config, &host); });
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(created, "HOST: DEBUG: CPallador: \"constructor\" called.\n");
    const CMessageH& log = logOf(device);
    EXPECT_STREQ(log.name, "HOST");
    EXPECT_STREQ(log.warningPrefix, "WARN");
    EXPECT_EQ(log.classLevel, 1);
    EXPECT_EQ(std::memcmp(&log, &host, offsetof(CMessageH, classLevel)), 0);
    EXPECT_EQ(std::memcmp(&host, &original, sizeof host), 0) << "host record changed";
    EXPECT_NE(&log, &host);

    bool deleted = false;
    EXPECT_EQ(captureOutput([&] { deleted = deleteDev(device); }),
              "HOST: DEBUG: CPallador: \"destructor\" called.\n");
    EXPECT_TRUE(deleted);
    EXPECT_EQ(std::memcmp(&host, &original, sizeof host), 0) << "host record changed";
}

TEST_F(DeviceObject, HostRecordThatClosesTheGateHidesConstructorLine) {
    CMessageH host = hostRecord("HOST", 3);  // level 3, threshold 4: not the device's class
    CBase* device = nullptr;
    EXPECT_EQ(captureOutput([&] { device = createDev(&config, &host); }), "");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(deleteDev(device)); }), "");
}

TEST_F(DeviceObject, LaterChangesToTheHostRecordDoNotReachTheDevice) {
    CMessageH host = hostRecord("HOST", 0);
    CBase* device = createDev(&config, &host);
    ASSERT_NE(device, nullptr);
    host.debugLevel = 1;
    host.setName("OTHER");
    EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(device->start()); }), "");
    EXPECT_STREQ(logOf(device).name, "HOST");
    deleteDev(device);
}

TEST_F(DeviceObject, SmallOperationsAnswerAndLog) {
    CMessageH host = hostRecord("HOST", 1);
    CBase* device = createDev(&config, &host);
    ASSERT_NE(device, nullptr);

    std::int32_t mode = 0;
    EXPECT_EQ(captureOutput([&] { mode = device->configure(); }),
              "HOST: DEBUG: CPallador: \"configure\" called.\n");
    EXPECT_EQ(mode, 1);

    bool started = false;
    EXPECT_EQ(captureOutput([&] { started = device->start(); }),
              "HOST: DEBUG: CPallador: \"start\" called.\n");
    EXPECT_TRUE(started);

    // Never initialised: there is no port to close, and stop still succeeds.
    for (int i = 0; i < 2; ++i) {
        bool stopped = false;
        EXPECT_EQ(captureOutput([&] { stopped = device->stop(); }),
                  "HOST: DEBUG: CPallador: \"stop\" called.\n");
        EXPECT_TRUE(stopped);
    }
    EXPECT_EQ(device->configure(), 1);
    deleteDev(device);
}

TEST_F(DeviceObject, SendIsRefusedWithOneWarningEveryTime) {
    CMessageH host = hostRecord("CPallador", 0);
    CBase* device = createDev(&config, &host);
    ASSERT_NE(device, nullptr);
    const std::int32_t arguments[][2] = {{0, 0}, {1, 2}, {-1, 0x7FFFFFFF}};
    for (const auto& pair : arguments) {
        std::int32_t result = 0;
        EXPECT_EQ(captureOutput([&] { result = device->send(pair[0], pair[1]); }),
                  "CPallador: WARNING: CPallador: Can not send any data.\n");
        EXPECT_EQ(result, -1);
    }
    deleteDev(device);
}

TEST_F(DeviceObject, DisabledHostRecordSilencesEvenTheWarning) {
    CMessageH host = hostRecord("HOST", 1);
    host.enabled = 0;
    CBase* device = nullptr;
    EXPECT_EQ(captureOutput([&] {
                  device = createDev(&config, &host);
                  ASSERT_NE(device, nullptr);
                  EXPECT_EQ(device->send(0, 0), -1);
                  EXPECT_EQ(device->configure(), 1);
                  EXPECT_TRUE(deleteDev(device));
              }),
              "");
}

TEST_F(DeviceObject, DeleteOfNullIsRefused) {
    bool deleted = true;
    EXPECT_EQ(captureOutput([&] { deleted = deleteDev(nullptr); }), "");
    EXPECT_FALSE(deleted);
}

TEST_F(DeviceObject, ConfigurationRecordIsLeftUntouched) {
    config.deviceName = "pallador0";
    config.lineCount = 0;
    unsigned char original[sizeof config];
    std::memcpy(original, &config, sizeof config);
    CBase* device = createDev(&config, nullptr);
    ASSERT_NE(device, nullptr);
    device->configure();
    device->start();
    device->stop();
    EXPECT_TRUE(deleteDev(device));
    EXPECT_EQ(std::memcmp(&config, original, sizeof config), 0);
}

}  // namespace

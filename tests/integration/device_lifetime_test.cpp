// deleteDev in every state a device can be in: never initialised, after an
// init that failed before or at the port, while receiving, after stop. The
// device goes without an error, and the line is closed with the settings it
// had before.
#include <map>

#include "driver_fixture.h"
#include "fault_lines.h"
#include "tests/support/line_fields.h"
#include "tests/support/port_names.h"
#include "tests/support/raw_line.h"

namespace testing_support {
namespace {

const std::string kDestructor = "HOST: DEBUG: CPallador: \"destructor\" called.";
const std::string kMappingDestructor = "HOST: DEBUG: CConCommonH: \"destructor\" called.";
const std::string kPortDestructor = "HOST: DEBUG: CRS232H: \"destructor\" called.";

class DeviceLifetime : public DriverTest {
protected:
    // A line as new, whatever earlier users left on it: raw at 9600, no
    // handshake, reads waiting for one byte.
    std::map<std::string, std::string> pristineLine() {
        EXPECT_TRUE(sim->ok("hangup"));
        EXPECT_TRUE(sim->ok("replug"));
        std::map<std::string, std::string> attrs = sim->attrs();
        EXPECT_EQ(attrs["crtscts"], "0");
        EXPECT_EQ(attrs["vmin"], "1");
        return attrs;
    }

    // deleteDev, which must succeed; its output.
    std::string deleteDevice() {
        bool deleted = false;
        const std::string output = captureOutput([&] { deleted = plugin->deleteDev(device); });
        device = nullptr;
        EXPECT_TRUE(deleted);
        return output;
    }

    // The line is free for the next user and works: it opens, and the
    // device answers a request through it.
    void expectLineFreeAndWorking() {
        RawLine line;
        ASSERT_TRUE(line.open(sim->portName())) << line.error();
        ASSERT_TRUE(line.write({0x55}));
        std::vector<std::uint8_t> answer;
        EXPECT_EQ(line.read(14, 2000, answer), RawLine::ReadEnd::Complete);
    }
};

TEST_F(DeviceLifetime, NeverInitialisedDeviceGoesWithoutTouchingTheLine) {
    const std::map<std::string, std::string> before = sim->attrs();
    config = std::make_unique<hostkit::Config>("pallador0");
    config->add(10, "port", {sim->portName()});
    const std::string created =
        captureOutput([&] { device = plugin->createDev(config->get(), &hostLog); });
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(outputLines(created),
              std::vector<std::string>{"HOST: DEBUG: CPallador: \"constructor\" called."});
    EXPECT_EQ(outputLines(deleteDevice()), std::vector<std::string>{kDestructor});
    EXPECT_EQ(sim->attrs(), before);
    EXPECT_EQ(config->usedFlags(), "0");
    EXPECT_FALSE(plugin->deleteDev(nullptr));
}

TEST_F(DeviceLifetime, InitRefusedByItsOptionsLeavesOnlyWhatItBuilt) {
    const std::map<std::string, std::string> before = sim->attrs();
    // Refused in the device's own options: nothing else was built yet.
    ASSERT_EQ(createAndInit({{"baud", {"9600", "19200"}}}), -1) << initOutput;
    EXPECT_EQ(outputLines(deleteDevice()), std::vector<std::string>{kDestructor});

    // Refused by the unknown-option check: the mapping was built, the entry
    // reserved, the port not yet opened.
    ASSERT_EQ(createAndInit({{"baudrat", {"9600"}}}), -1) << initOutput;
    EXPECT_EQ(outputLines(deleteDevice()),
              (std::vector<std::string>{kDestructor, kMappingDestructor}));

    // With tracker emulation the tracker options go too.
    ASSERT_EQ(
        createAndInit({{"emulatetracker", {"1", "[0,0,0,0,0,0]", "1", "2", "3", "4", "5", "6"}},
                       {"frobnicate", {}}},
                      true),
        -1)
        << initOutput;
    EXPECT_EQ(
        outputLines(deleteDevice()),
        (std::vector<std::string>{kDestructor, "HOST: DEBUG: CTraCommonH: \"destructor\" called.",
                                  kMappingDestructor}));
    EXPECT_EQ(sim->attrs(), before) << "the port was never opened";
    expectLineFreeAndWorking();
}

TEST_F(DeviceLifetime, InitThatCouldNotOpenThePortLeavesNothingToClose) {
    ASSERT_EQ(createAndInit({{"port", {missingPortName()}}}), -1) << initOutput;
    const std::string output = deleteDevice();
    EXPECT_EQ(outputLines(output),
              (std::vector<std::string>{kDestructor, kMappingDestructor, kPortDestructor}));
}

TEST_F(DeviceLifetime, DeviceDeletedWhileReceivingClosesTheLineAndPutsItsSettingsBack) {
    const std::map<std::string, std::string> before = pristineLine();
    ASSERT_TRUE(sim->ok("mode fresh"));
    ASSERT_EQ(createAndInit({{"baud", {"19200"}}}), 1) << initOutput;
    EXPECT_EQ(sim->attrs()["baud"], "19200");
    EXPECT_EQ(sim->attrs()["crtscts"], kCrtsctsUnderDeviceSettings);
    ASSERT_TRUE(sim->send({0xFF, 0xFF}));
    detect();
    ASSERT_EQ(receive(), 1) << lastOutput;
    ASSERT_TRUE(controllerMarked(1));

    // No stop: the device's own end closes the port.
    const std::string output = deleteDevice();
    EXPECT_EQ(outputLines(output),
              (std::vector<std::string>{kDestructor, kMappingDestructor, kPortDestructor}));
    EXPECT_EQ(restorableLineFields(sim->attrs()), restorableLineFields(before));
    expectLineFreeAndWorking();
}

TEST_F(DeviceLifetime, DeviceDeletedAfterStopClosesNothingTwice) {
    const std::map<std::string, std::string> before = pristineLine();
    ASSERT_EQ(createAndInit({{"baud", {"38400"}}}), 1) << initOutput;
    EXPECT_EQ(sim->attrs()["baud"], "38400");
    ASSERT_TRUE(sim->send({0xFF, 0xFF}));
    detect();
    std::string output = captureOutput([&] { EXPECT_TRUE(device->stop()); });
    EXPECT_EQ(problemLines(output), std::vector<std::string>{}) << output;
    EXPECT_EQ(restorableLineFields(sim->attrs()), restorableLineFields(before))
        << "stop puts the settings back";
    output = deleteDevice();
    EXPECT_EQ(outputLines(output),
              (std::vector<std::string>{kDestructor, kMappingDestructor, kPortDestructor}));
    EXPECT_EQ(restorableLineFields(sim->attrs()), restorableLineFields(before));
    expectLineFreeAndWorking();
}

}  // namespace
}  // namespace testing_support

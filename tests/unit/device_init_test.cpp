// Device initialisation without a serial line: every failure in the order
// the steps produce it, the device's own options and the storage reservation.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/CBase.h"
#include "device/exports.h"
#include "device/line_settings.h"
#include "host/kit/config.h"
#include "host/kit/init_record.h"
#include "host/kit/storage.h"
#include "support/CMessageH.h"
#include "tests/support/capture.h"
#include "tests/support/port_names.h"

namespace {

using testing_support::captureOutput;
using testing_support::missingPortName;
using testing_support::splitLines;

constexpr const char* kCreated = "Data storage list structure just created";

class DeviceInit : public testing::Test {
protected:
    DeviceInit() : config("pallador0") {
        hostLog.setName("HOST");
        hostkit::clearStamps(hostLog);
    }

    ~DeviceInit() override {
        if (device != nullptr) {
            captureOutput([&] { deleteDev(device); });
        }
        for (const std::string& damage :
             {trackers.checkGuards(), controllers.checkGuards(), config.checkGuards()}) {
            EXPECT_EQ(damage, "") << "the device wrote outside its own entries";
        }
    }

    void add(const std::string& keyword, const std::vector<std::string>& arguments) {
        ASSERT_TRUE(config.add(lineNumber++, keyword, arguments));
    }

    // createDev and init with the kit's storages; the output in `output`.
    std::int32_t initWith(hostkit::Storage* trackerStorage, hostkit::Storage* controllerStorage) {
        record = std::make_unique<hostkit::InitRecord>(trackerStorage, controllerStorage);
        return initRaw(record->get());
    }

    std::int32_t initRaw(InitInfo* info) {
        std::int32_t result = 0;
        output = captureOutput([&] {
            if (device == nullptr) {
                device = createDev(config.get(), &hostLog);
            }
            result = device->init(info);
        });
        return result;
    }

    std::vector<std::string> lines() const { return splitLines(output); }

    std::string openFailure(const std::string& port) const {
        return "HOST: ERROR: CRS232H: Opening port " + port + ": ";
    }

    CMessageH hostLog;
    hostkit::Config config;
    hostkit::Storage trackers{hostkit::StorageKind::tracker};
    hostkit::Storage controllers{hostkit::StorageKind::controller};
    std::unique_ptr<hostkit::InitRecord> record;
    std::uint32_t lineNumber = 3;
    CBase* device = nullptr;
    std::string output;
};

bool startsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

TEST_F(DeviceInit, WithoutInitInfoFailsBeforeAnythingElse) {
    EXPECT_EQ(initRaw(nullptr), -1);
    EXPECT_EQ(output, "HOST: ERROR: CPallador: Init info is empty.\n");
    EXPECT_EQ(device->configure(), 1);
}

TEST_F(DeviceInit, BadPortAndBaudLinesAreBothReportedBeforeAnyObjectIsCreated) {
    add("baud", {"9600", "19200"});
    add("port", {});
    add("valuatororder", {"1", "9", "9", "9", "9", "9", "9"});  // would be refused
    EXPECT_EQ(initWith(nullptr, &controllers), -1);
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           kCreated,
                           "HOST: ERROR: CPallador: Too many args found for BaudRate at line 3.",
                           "HOST: ERROR: CPallador: Incomplete option line found for SerialPort "
                           "at line 4.",
                       }));
    EXPECT_EQ(config.usedFlags(), "000");
    EXPECT_EQ(controllers.count(), 0u) << "no controller entry reserved";
    EXPECT_EQ(device->configure(), 3);
}

TEST_F(DeviceInit, RejectedMappingOptionFailsBeforeTheStorageIsTouched) {
    add("port", {missingPortName()});
    add("emulatetracker", {"1", "[0,0,0,0,0,0]", "1", "2", "3", "4", "5", "6", "13"});
    EXPECT_EQ(initWith(&trackers, &controllers), -1);
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           kCreated,
                           "HOST: ERROR: Invalid button ID found for EmulateTracker option at "
                           "line 4. Ignored.",
                       }));
    EXPECT_EQ(controllers.count(), 0u);
    EXPECT_EQ(trackers.count(), 0u);
}

TEST_F(DeviceInit, EmulationWithoutTrackerStorageFailsBeforeTrackerOptions) {
    add("emulatetracker", {"1", "[0,0,1.5,0,0,0]", "1", "2", "3", "4", "5", "6"});
    add("sensoroffset", {"1", "x"});  // faulty, but never parsed
    EXPECT_EQ(initWith(nullptr, &controllers), -1);
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           kCreated,
                           "HOST: ERROR: CPallador: tracker data storage pointer is empty.",
                       }));
    EXPECT_EQ(controllers.count(), 0u);
    EXPECT_EQ(device->configure(), 3) << "the tracker set-up never completed";
}

TEST_F(DeviceInit, WithoutControllerStorageFailsAfterTheTrackerSetUp) {
    add("emulatetracker", {"1", "[0,0,1.5,0,0,0]", "1", "2", "3", "4", "5", "6"});
    EXPECT_EQ(initWith(&trackers, nullptr), -1);
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           kCreated,
                           "HOST: ERROR: CPallador: controller data storage pointer is empty.",
                       }));
    EXPECT_EQ(trackers.count(), 1u) << "the tracker entry was reserved first";
    EXPECT_EQ(device->configure(), 1);
}

TEST_F(DeviceInit, UnknownOptionFailsAfterReservingAndBeforeThePortIsOpened) {
    add("port", {missingPortName()});
    add("colour", {"blue"});
    controllers.setCount(1);
    EXPECT_EQ(initWith(nullptr, &controllers), -1);
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           kCreated,
                           "HOST: ERROR: CConfigH: Unknown option \"colour\" found at line 4.",
                       }));
    EXPECT_EQ(controllers.count(), 2u);
    EXPECT_EQ(config.usedFlags(), "10");
}

TEST_F(DeviceInit, ReportCarriesTheConfiguredPortEvenWhenItCannotBeOpened) {
    const std::string port = missingPortName();
    add("SerialPort", {"first"});
    add("BaudRate", {"19200"});
    add("PORT", {port});
    EXPECT_EQ(initWith(nullptr, &controllers), -1);
    const std::vector<std::string> got = lines();
    ASSERT_GE(got.size(), 4u) << output;
    EXPECT_EQ(got.front(), kCreated);
    EXPECT_EQ(got[1], "HOST: INFO: DEVICE NAME           : pallador0");
    EXPECT_NE(output.find("\nHOST: INFO: SERIAL PORT           : " + port + "\n"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("\nHOST: INFO: BAUD RATE             : 19200\n"), std::string::npos);
    // The report is complete before the port is tried; the failure comes
    // right after it (the system text may carry line breaks of its own).
    std::size_t closing = got.size();
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i] == "HOST: INFO: -----------------------") {
            closing = i;
        }
    }
    ASSERT_LT(closing + 1, got.size()) << output;
    EXPECT_TRUE(startsWith(got[closing + 1], openFailure(port))) << got[closing + 1];
    EXPECT_EQ(config.usedFlags(), "111");
    EXPECT_EQ(controllers.count(), 1u);
    EXPECT_EQ(device->configure(), 3);
}

TEST_F(DeviceInit, SecondInitIsRefusedAndReservesNothingMore) {
    add("port", {missingPortName()});
    controllers.setCount(1);
    EXPECT_EQ(initWith(nullptr, &controllers), -1);
    ASSERT_EQ(controllers.count(), 2u) << "entry 2 for the device, behind the one there";
    EXPECT_EQ(initRaw(record->get()), -1);
    EXPECT_EQ(output, "HOST: ERROR: CPallador: init has already been called on this device.\n");
    EXPECT_EQ(controllers.count(), 2u);
}

TEST_F(DeviceInit, DebugLinesTraceTheStepsInOrder) {
    hostLog.debugLevel = 1;
    hostLog.setDebugThreshold(1);
    add("port", {missingPortName()});
    EXPECT_EQ(initWith(nullptr, &controllers), -1);
    const std::vector<std::string> got = lines();
    ASSERT_GE(got.size(), 3u) << output;
    EXPECT_EQ(got[0], "HOST: DEBUG: CPallador: \"constructor\" called.");
    EXPECT_EQ(got[1], "HOST: DEBUG: CPallador: \"init\" called.");
    EXPECT_EQ(got[2], kCreated);
}

// A port left with every flag of the Win32 driver set gets a binary line:
// the flags that would fail, drop or hold back bytes are cleared, the ones
// the Pallador needs set, and the rest stays as found.
TEST(LineSettings, ABinaryLineWhateverThePortWasLeftWith) {
    platform::PortAttributes attributes{};
    std::memset(&attributes, 0xFF, sizeof attributes);
    applyLineSettings(attributes);
    const platform::Dcb& dcb = attributes.dcb;
    const unsigned cleared[] = {dcb.fAbortOnError, dcb.fNull,        dcb.fOutX,
                                dcb.fInX,          dcb.fOutxDsrFlow, dcb.fDsrSensitivity,
                                dcb.fErrorChar,    dcb.fParity,      dcb.fOutxCtsFlow};
    for (const unsigned flag : cleared) {
        EXPECT_EQ(flag, 0u);
    }
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fRtsControl, platform::kRtsControlHandshake);
    EXPECT_EQ(dcb.fDtrControl, 3u) << "left as found";
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.StopBits, platform::kOneStopBit);
    EXPECT_EQ(attributes.timeouts.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(attributes.timeouts.ReadIntervalTimeout, 0u);
}

}  // namespace

// The port class on the simulator's line: the same checks natively and, in
// the Windows build, through the Win32 communications interface under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "device/CRS232H.h"
#include "platform/platform.h"
#include "tests/serial/port_fixture.h"
#include "tests/support/line_fields.h"
#include "tests/support/port_names.h"
#include "tests/support/raw_line.h"
#include "tests/support/sim_client.h"

namespace serial_tests {
namespace {

using testing_support::captureOutput;
using testing_support::RawLine;
using testing_support::SimClient;
using Bytes = std::vector<std::uint8_t>;

class SimPort : public testing::Test {
protected:
    void SetUp() override {
        sim = SimClient::fromEnvironment();
        ASSERT_TRUE(sim);
        if (sim->command("status").find("line=down") != std::string::npos) {
            ASSERT_TRUE(sim->ok("replug"));
        }
        ASSERT_TRUE(sim->reset());
        ASSERT_TRUE(sim->ok("mode passive"));
        name = sim->portName();
    }

    // Leaves the line at `baud` as another program would: set, and not put back.
    void leaveLineAt(unsigned baud) {
        RawLine other;
        ASSERT_TRUE(other.open(name, baud)) << other.error();
        other.close();
    }

    std::unique_ptr<SimClient> sim;
    std::string name;
    CMessageH log = plainLog();
};

TEST_F(SimPort, DeviceSettingsReachTheLineAndTheFoundOnesComeBackOnClose) {
    leaveLineAt(4800);
    CRS232H port(&log);
    std::string out = captureOutput([&] { ASSERT_TRUE(port.openPort(name.c_str())); });
    EXPECT_EQ(out, "");
    PortAttributes found{};
    ASSERT_TRUE(port.getAttributes(&found));
    EXPECT_EQ(found.dcb.BaudRate, 4800u);

    out = captureOutput([&] {
        PortAttributes attributes = found;
        applyDeviceSettings(attributes);
        ASSERT_TRUE(port.setAttributes(&attributes));
        ASSERT_TRUE(port.setBaudRate(19200));
        ASSERT_TRUE(port.applyAttributes());
    });
    EXPECT_EQ(out, "");
    auto attrs = sim->attrs();
    EXPECT_EQ(attrs["baud"], "19200");
    EXPECT_EQ(attrs["cstopb"], "0");
    EXPECT_EQ(attrs["crtscts"], testing_support::kCrtsctsUnderDeviceSettings);
    EXPECT_EQ(attrs["raw"], "1");

    EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(port.closePort()); }), "");
    EXPECT_EQ(sim->attrs()["baud"], "4800");
    EXPECT_EQ(captureOutput([&] { EXPECT_FALSE(port.closePort()); }), "");
}

TEST_F(SimPort, CloseLeavesEveryTerminalSettingAsItWasFound) {
    // A new line: raw at 9600, no handshake, no CLOCAL, reads waiting for
    // one byte. The device's settings differ in most of that.
    ASSERT_TRUE(sim->ok("hangup"));
    ASSERT_TRUE(sim->ok("replug"));
    const auto found = sim->attrs();
    ASSERT_EQ(found.at("vmin"), "1");
    ASSERT_EQ(found.at("clocal"), "0");
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, name, 38400));
    EXPECT_EQ(sim->attrs()["baud"], "38400");
    EXPECT_EQ(sim->attrs()["crtscts"], testing_support::kCrtsctsUnderDeviceSettings);
    EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(port.closePort()); }), "");
    EXPECT_EQ(testing_support::restorableLineFields(sim->attrs()),
              testing_support::restorableLineFields(found));
}

TEST_F(SimPort, BaudRateTakesEffectOnlyWhenApplied) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, name, 9600));
    EXPECT_EQ(sim->attrs()["baud"], "9600");
    const auto refused = messages(captureOutput([&] { EXPECT_FALSE(port.setBaudRate(14400)); }));
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0], "ERROR: CRS232H: Could not set the baud rate 14400");
    EXPECT_TRUE(port.setBaudRate(115200));
    EXPECT_EQ(sim->attrs()["baud"], "9600");
    ASSERT_TRUE(port.applyAttributes());
    EXPECT_EQ(sim->attrs()["baud"], "115200");
}

TEST_F(SimPort, BytesTravelUnchangedBothWays) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, name, 9600));
    const Bytes written = {0x55, 0x00, 0x0A, 0x0D, 0x11, 0x13, 0x7F, 0xFF};
    EXPECT_EQ(port.writePort(written.data(), static_cast<std::int32_t>(written.size())), 8);
    EXPECT_EQ(sim->receivedAtLeast(written.size(), 2000), written);

    const Bytes frame = {0x0F, 0xFF, 0x02, 0x00, 0x0D, 0x0A, 0x03,
                         0xFF, 0x00, 0x00, 0x11, 0x13, 0x80, 0x01};
    ASSERT_TRUE(sim->send(frame));
    Bytes got(frame.size());
    std::int32_t count = 0;
    const auto out = captureOutput(
        [&] { count = port.readPort(got.data(), static_cast<std::int32_t>(got.size())); });
    EXPECT_EQ(count, 14);
    EXPECT_EQ(got, frame);
    EXPECT_EQ(out, "");
}

// A read with a short wait of its own first: the port's second is in force
// again for the next plain read.
TEST_F(SimPort, OneByteReadOnASilentLineTimesOutAfterOneSecond) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, name, 9600));
    std::uint8_t byte = 0;
    std::int32_t got = -1;
    std::int64_t start = platform::monotonicMicroseconds();
    auto out = captureOutput([&] { got = port.readPortFor(&byte, 1, 40); });
    std::int64_t elapsed = platform::monotonicMicroseconds() - start;
    EXPECT_EQ(got, 0);
    EXPECT_EQ(out, "");
    EXPECT_GE(elapsed, 30000);
    EXPECT_LT(elapsed, 500000);

    start = platform::monotonicMicroseconds();
    out = captureOutput([&] { got = port.readPort(&byte, 1); });
    elapsed = platform::monotonicMicroseconds() - start;
    EXPECT_EQ(got, 0);
    EXPECT_EQ(out, "");
    EXPECT_GE(elapsed, 900000);
    EXPECT_LT(elapsed, 1500000);
}

// Whichever transfer meets the hung-up line first says so, with the
// system's text; the line is dropped, and nothing more is said of it.
TEST_F(SimPort, HungUpLineIsReportedByTheFirstTransferOnly) {
    for (const bool readFirst : {true, false}) {
        SCOPED_TRACE(readFirst ? "read first" : "write first");
        CRS232H port(&log);
        ASSERT_TRUE(openAsDevice(port, name, 9600));
        ASSERT_TRUE(sim->ok("hangup"));
        std::uint8_t byte = 0;
        const std::function<void()> read = [&] { EXPECT_EQ(port.readPort(&byte, 1), 0); };
        const std::function<void()> write = [&] { EXPECT_EQ(port.writePort(&byte, 1), 0); };
        auto out = messages(captureOutput(readFirst ? read : write));
        ASSERT_EQ(out.size(), 1u);
        const std::string head =
            (readFirst ? "ERROR: CRS232H: Reading from " : "ERROR: CRS232H: Writing to ") + name +
            ": ";
        EXPECT_EQ(out[0].rfind(head, 0), 0u) << out[0];
        EXPECT_GT(out[0].size(), head.size()) << "no system text";
        EXPECT_TRUE(port.lineLost());
        EXPECT_FALSE(port.isOpen());
        EXPECT_EQ(captureOutput([&] {
                      (readFirst ? write : read)();
                      EXPECT_FALSE(port.closePort());
                  }),
                  "");
        EXPECT_FALSE(port.lineLost()) << "the owner's close ends the outage";
        ASSERT_TRUE(sim->ok("replug"));
    }
}

// Users write COM10 and up as they write COM1; Windows opens those only
// through its device namespace. The wrapper gives the line such a name
// under Wine only.
TEST_F(SimPort, PortNumberedTenAndUpOpensByItsBareName) {
    const char* tenUp = std::getenv("PALLADOR_SIM_PORT_TEN_UP");
    if (tenUp == nullptr) {
        ASSERT_FALSE(testing_support::portsGoByNumber())
            << "the test wrapper claimed no COM10..COM19 name for the line";
        GTEST_SKIP() << "ports here have no numbers";
    }
    ASSERT_TRUE(sim->ok("mode rest"));
    CRS232H port(&log);
    EXPECT_EQ(captureOutput([&] { ASSERT_TRUE(openAsDevice(port, tenUp, 9600)); }), "");
    const std::uint8_t request = 0x55;
    ASSERT_EQ(port.writePort(&request, 1), 1);
    Bytes answer(14);
    EXPECT_EQ(port.readPortFor(answer.data(), 14, 1000), 14);
    EXPECT_EQ(port.readPortFor(answer.data(), 1, 100), 0) << "more than one answer";
    EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(port.closePort()); }), "");
}

}  // namespace
}  // namespace serial_tests

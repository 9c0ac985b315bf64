// The port class where no line is open: refused names, a missing port, and
// every operation on a port that is closed or failed to open.
#include <gtest/gtest.h>

#include "device/CRS232H.h"
#include "tests/serial/port_fixture.h"
#include "tests/support/port_names.h"
#include "tests/support/pty_peer.h"

namespace serial_tests {
namespace {

using testing_support::captureOutput;
using testing_support::missingPortName;
using testing_support::missingPortNameOfLength;

TEST(PortNameCheck, NameOf256CharactersIsRefusedBeforeAnythingIsTouched) {
    const CMessageH log = plainLog();
    CRS232H port(&log);
    const std::string name = missingPortNameOfLength(256);
    bool opened = true;
    const auto out = messages(captureOutput([&] { opened = port.openPort(name.c_str()); }));
    EXPECT_FALSE(opened);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "ERROR: CRS232H: Port name is too long. 255 < 256");
    // Not even a failed open: the port is still simply closed.
    EXPECT_EQ(captureOutput([&] { EXPECT_FALSE(port.closePort()); }), "");
}

TEST(PortNameCheck, NameOf255CharactersGoesToTheSystem) {
    const CMessageH log = plainLog();
    CRS232H port(&log);
    const std::string name = missingPortNameOfLength(255);
    const auto out = messages(captureOutput([&] { EXPECT_FALSE(port.openPort(name.c_str())); }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].rfind("ERROR: CRS232H: Opening port " + name + ": ", 0), 0u) << out[0];
}

TEST(MissingPort, OpenReportsTheNameAndTheSystemText) {
    const CMessageH log = plainLog();
    CRS232H port(&log);
    const std::string name = missingPortName();
    const auto out = messages(captureOutput([&] { EXPECT_FALSE(port.openPort(name.c_str())); }));
    ASSERT_EQ(out.size(), 1u);
    const std::string head = "ERROR: CRS232H: Opening port " + name + ": ";
    ASSERT_EQ(out[0].rfind(head, 0), 0u) << out[0];
    EXPECT_GT(out[0].size(), head.size()) << "no system text";
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(captureOutput([&] { EXPECT_FALSE(port.closePort()); }), "");
}

// A failed open and a port never opened hold no system handle: reads and
// writes fail with their messages and never reach another descriptor
// (descriptor 0 above all, which an unset handle would be).
void expectReadAndWriteRefused(CRS232H& port, const std::string& name) {
    auto probe = testing_support::StandardInputProbe::install();
    std::uint8_t byte = 0;
    const auto readOut = messages(captureOutput([&] { EXPECT_EQ(port.readPort(&byte, 1), 0); }));
    ASSERT_EQ(readOut.size(), 1u);
    EXPECT_EQ(readOut[0].rfind("ERROR: CRS232H: Reading from " + name + ": ", 0), 0u) << readOut[0];
    const std::uint8_t request = 0x52;
    const auto writeOut =
        messages(captureOutput([&] { EXPECT_EQ(port.writePort(&request, 1), 0); }));
    ASSERT_EQ(writeOut.size(), 1u);
    EXPECT_EQ(writeOut[0].rfind("ERROR: CRS232H: Writing to " + name + ": ", 0), 0u) << writeOut[0];
    if (probe) {
        EXPECT_TRUE(probe->untouched()) << "standard input was read";
    }
}

TEST(ClosedPort, ReadsAndWritesFailBeforeAnyOpen) {
    const CMessageH log = plainLog();
    CRS232H port(&log);
    expectReadAndWriteRefused(port, "");
}

TEST(ClosedPort, ReadsAndWritesFailAfterAFailedOpen) {
    const CMessageH log = plainLog();
    CRS232H port(&log);
    const std::string name = missingPortName();
    captureOutput([&] { port.openPort(name.c_str()); });
    expectReadAndWriteRefused(port, name);
}

TEST(ClosedPort, SettingsCannotBeReadOrAppliedWithoutALine) {
    const CMessageH log = plainLog();
    CRS232H port(&log);
    PortAttributes attributes{};
    auto out = messages(captureOutput([&] { EXPECT_FALSE(port.loadAttributes(&attributes)); }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].rfind("ERROR: CRS232H: Getting attribute(DCB) from : ", 0), 0u) << out[0];
    out = messages(captureOutput([&] { EXPECT_FALSE(port.applyAttributes()); }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].rfind("ERROR: CRS232H: Setting attribute(DCB) to : ", 0), 0u) << out[0];
}

TEST(WorkingSettings, NullRecordsAreRefused) {
    CRS232H port;
    EXPECT_FALSE(port.getAttributes(nullptr));
    EXPECT_FALSE(port.setAttributes(nullptr));
    EXPECT_FALSE(port.loadAttributes(nullptr));
}

TEST(WorkingSettings, OnlyAcceptedBaudRatesAreStored) {
    const CMessageH log = plainLog();
    CRS232H port(&log);
    for (const std::int32_t rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
        EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(port.setBaudRate(rate)); }), "");
        PortAttributes attributes{};
        port.getAttributes(&attributes);
        EXPECT_EQ(attributes.dcb.BaudRate, static_cast<std::uint32_t>(rate));
    }
    for (const std::int32_t rate : {14400, 0, -9600, 110, 230400}) {
        const auto out = messages(captureOutput([&] { EXPECT_FALSE(port.setBaudRate(rate)); }));
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0], "ERROR: CRS232H: Could not set the baud rate " + std::to_string(rate));
        PortAttributes attributes{};
        port.getAttributes(&attributes);
        EXPECT_EQ(attributes.dcb.BaudRate, 115200u);
    }
}

TEST(PortLog, OwnRecordIsNamedAfterTheClassAndPrintsNoDebugLines) {
    const auto out = captureOutput([] {
        CRS232H port;
        port.setBaudRate(14400);
    });
    // Stamped header: date, time, name and thread id.
    EXPECT_NE(out.find(" CRS232H["), std::string::npos) << out;
    EXPECT_NE(out.find("]: ERROR: CRS232H: Could not set the baud rate 14400\n"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("DEBUG"), std::string::npos) << out;
}

TEST(PortLog, CreatorsRecordAtClassLevelShowsTheDebugLines) {
    CMessageH log = plainLog(3);
    log.debugThreshold = 4;
    const std::string name = missingPortName();
    const auto out = messages(captureOutput([&] {
        CRS232H port(&log);
        port.openPort(name.c_str());
    }));
    ASSERT_EQ(out.size(), 5u);
    EXPECT_EQ(out[0], "DEBUG: CRS232H: \"constructor\" called.");
    EXPECT_EQ(out[1], "DEBUG: CRS232H: \"openPort\" called.");
    EXPECT_EQ(out[2], "DEBUG: CRS232H: Opening " + name + ".");
    EXPECT_EQ(out[3].rfind("ERROR: CRS232H: Opening port " + name + ": ", 0), 0u);
    EXPECT_EQ(out[4], "DEBUG: CRS232H: \"destructor\" called.");
}

TEST(PortLog, CreatorsRecordBelowThresholdAtAnotherLevelShowsNone) {
    CMessageH log = plainLog(1);
    log.debugThreshold = 4;
    const auto out = captureOutput([&] { CRS232H port(&log); });
    EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace serial_tests

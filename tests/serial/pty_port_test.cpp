// The port class on a pseudo-terminal of the test's own, where the far end
// sees more than the simulator's line shows: every flag in force, the exact
// system texts, standard input left alone, exclusive opens.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "device/CRS232H.h"
#include "platform/platform.h"
#include "tests/serial/port_fixture.h"
#include "tests/support/pty_peer.h"

namespace serial_tests {
namespace {

using testing_support::captureOutput;
using testing_support::LineSettings;
using testing_support::PtyPeer;

class PtyPort : public testing::Test {
protected:
    void SetUp() override {
        peer = PtyPeer::open();
        if (!peer) {
            GTEST_SKIP() << PtyPeer::unavailableReason();
        }
    }

    std::unique_ptr<PtyPeer> peer;
    CMessageH log = plainLog();
};

// A pseudo-terminal always keeps 8 data bits without a parity bit, whatever
// it is told; everything else here it keeps as set.
LineSettings foundSettings() {
    LineSettings s;
    s.baud = 4800;
    s.byteSize = 8;
    s.twoStopBits = true;
    s.parityGenerated = false;
    s.parityOdd = false;
    s.parityChecked = true;
    s.handshake = false;
    s.raw = false;
    return s;
}

TEST_F(PtyPort, OpenReadsTheSettingsTheLineHas) {
    ASSERT_TRUE(peer->prepare(foundSettings()));
    CRS232H port(&log);
    EXPECT_EQ(captureOutput([&] { ASSERT_TRUE(port.openPort(peer->portName().c_str())); }), "");
    PortAttributes a{};
    ASSERT_TRUE(port.getAttributes(&a));
    EXPECT_EQ(a.dcb.BaudRate, 4800u);
    EXPECT_EQ(a.dcb.ByteSize, 8u);
    EXPECT_EQ(a.dcb.StopBits, platform::kTwoStopBits);
    EXPECT_EQ(a.dcb.Parity, platform::kNoParity);
    EXPECT_EQ(a.dcb.fParity, 1u);
    EXPECT_EQ(a.dcb.fOutxCtsFlow, 0u);
    EXPECT_NE(a.dcb.fRtsControl, platform::kRtsControlHandshake);
    EXPECT_EQ(a.dcb.DCBlength, 28u);
    // A Win32 port knows no other transfer than binary, and the line is
    // binary from its open on.
    EXPECT_EQ(a.dcb.fBinary, 1u);
    EXPECT_TRUE(peer->settings().raw);
    EXPECT_EQ(peer->settings().baud, 4800u);
}

TEST_F(PtyPort, DeviceSettingsAreInForceAndTheFoundOnesComeBackOnClose) {
    ASSERT_TRUE(peer->prepare(foundSettings()));
    CRS232H port(&log);
    const auto out =
        captureOutput([&] { ASSERT_TRUE(openAsDevice(port, peer->portName(), 19200)); });
    EXPECT_EQ(out, "");

    const LineSettings inForce = peer->settings();
    EXPECT_EQ(inForce.baud, 19200u);
    EXPECT_EQ(inForce.byteSize, 8u);
    EXPECT_FALSE(inForce.twoStopBits);
    EXPECT_FALSE(inForce.handshake) << "output must not wait for CTS";
    EXPECT_TRUE(inForce.raw);
    EXPECT_FALSE(inForce.parityChecked);
    EXPECT_FALSE(inForce.parityGenerated);

    EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(port.closePort()); }), "");
    const LineSettings back = peer->settings();
    const LineSettings found = foundSettings();
    EXPECT_EQ(back.baud, found.baud);
    EXPECT_EQ(back.byteSize, found.byteSize);
    EXPECT_EQ(back.twoStopBits, found.twoStopBits);
    EXPECT_EQ(back.parityGenerated, found.parityGenerated);
    EXPECT_EQ(back.parityOdd, found.parityOdd);
    EXPECT_EQ(back.parityChecked, found.parityChecked);
    EXPECT_EQ(back.handshake, found.handshake);
    EXPECT_EQ(back.raw, found.raw);

    // The working copy became the restored settings.
    PortAttributes working{};
    port.getAttributes(&working);
    EXPECT_EQ(working.dcb.BaudRate, 4800u);
    EXPECT_EQ(working.dcb.StopBits, platform::kTwoStopBits);
    EXPECT_EQ(working.dcb.fParity, 1u);
}

TEST_F(PtyPort, OpeningAgainPutsTheFirstOpensSettingsBackFirst) {
    ASSERT_TRUE(peer->prepare(foundSettings()));
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 19200));
    EXPECT_EQ(captureOutput([&] { ASSERT_TRUE(port.openPort(peer->portName().c_str())); }), "");
    PortAttributes found{};
    port.getAttributes(&found);
    EXPECT_EQ(found.dcb.BaudRate, 4800u);
    EXPECT_EQ(peer->settings().baud, 4800u);
    EXPECT_TRUE(port.closePort());
}

TEST_F(PtyPort, SettingsReadBackAsApplied) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 57600));
    PortAttributes applied{};
    port.getAttributes(&applied);
    PortAttributes read{};
    ASSERT_TRUE(port.loadAttributes(&read));
    EXPECT_EQ(read.dcb.BaudRate, 57600u);
    EXPECT_EQ(read.dcb.fBinary, 1u);
    EXPECT_EQ(read.dcb.fParity, 0u);
    EXPECT_EQ(read.dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(read.dcb.fRtsControl, platform::kRtsControlHandshake);
    EXPECT_EQ(read.dcb.ByteSize, 8u);
    EXPECT_EQ(read.dcb.StopBits, platform::kOneStopBit);
    EXPECT_EQ(read.timeouts.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(std::memcmp(&read, &applied, sizeof read), 0);
}

TEST_F(PtyPort, RefusedSettingsAreReportedAndLeaveTheLineAsItWas) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 9600));
    PortAttributes bad{};
    port.getAttributes(&bad);
    bad.dcb.ByteSize = 9;
    const std::string name = peer->portName();
    const auto out = messages(captureOutput([&] { EXPECT_FALSE(port.applyAttributes(&bad)); }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "ERROR: CRS232H: Setting attribute(DCB) to " + name + ": Invalid argument");
    PortAttributes working{};
    port.getAttributes(&working);
    EXPECT_EQ(working.dcb.ByteSize, 8u);
    EXPECT_EQ(peer->settings().byteSize, 8u);
}

TEST_F(PtyPort, ShortReadReturnsWhatCameWithinTheTimeOut) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 9600));
    ASSERT_TRUE(peer->send({0x12, 0x34}));
    std::uint8_t bytes[4] = {};
    EXPECT_EQ(port.readPort(bytes, 4), 2);
    EXPECT_EQ(bytes[0], 0x12);
    EXPECT_EQ(bytes[1], 0x34);
}

// Microseconds that `read` took.
template <typename Read>
std::int64_t timed(Read read) {
    const std::int64_t start = platform::monotonicMicroseconds();
    read();
    return platform::monotonicMicroseconds() - start;
}

void setReadTimeouts(CRS232H& port, std::uint32_t interval, std::uint32_t constant) {
    PortAttributes attributes{};
    ASSERT_TRUE(port.getAttributes(&attributes));
    attributes.timeouts.ReadIntervalTimeout = interval;
    attributes.timeouts.ReadTotalTimeoutMultiplier = 0;
    attributes.timeouts.ReadTotalTimeoutConstant = constant;
    ASSERT_TRUE(port.setAttributes(&attributes));
    ASSERT_TRUE(port.applyAttributes());
}

TEST_F(PtyPort, BytesThatComeOneByOneAreReadAsTheyCome) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 9600));
    std::thread device([&] {
        for (std::uint8_t value : {0x01, 0x02, 0x03}) {
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            peer->send({value});
        }
    });
    std::uint8_t bytes[3] = {};
    std::int32_t got = 0;
    const std::int64_t took = timed([&] { got = port.readPort(bytes, 3); });
    device.join();
    EXPECT_EQ(got, 3);
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[2], 0x03);
    EXPECT_GE(took, 100000);
    EXPECT_LT(took, 800000) << "waited for the time-out after the last byte";

    // One byte at a time, as the receive cycle reads: each read ends with
    // its byte, long before the one-second time-out.
    std::thread again([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        peer->send({0x55});
    });
    std::uint8_t byte = 0;
    const std::int64_t one = timed([&] { got = port.readPort(&byte, 1); });
    again.join();
    EXPECT_EQ(got, 1);
    EXPECT_EQ(byte, 0x55);
    EXPECT_GE(one, 150000);
    EXPECT_LT(one, 600000);
}

// A frame read in one call with a wait of its own: the bytes that come at
// the line's pace are all in by its end, a silent line keeps it waiting no
// longer, and the port's own time-outs hold again for the next read.
TEST_F(PtyPort, ReadWithAWaitOfItsOwnTakesAWholeFrameAndLeavesTheTimeOutsAlone) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 9600));
    std::uint8_t bytes[14] = {};
    std::thread device([&] {
        for (std::uint8_t value = 0; value < 14; ++value) {
            std::this_thread::sleep_for(std::chrono::microseconds(1042));
            peer->send({value});
        }
    });
    std::int32_t got = port.readPortFor(bytes, 14, 500);
    device.join();
    EXPECT_EQ(got, 14);
    EXPECT_EQ(bytes[13], 13);

    const std::int64_t silent = timed([&] { got = port.readPortFor(bytes, 1, 30); });
    EXPECT_EQ(got, 0);
    EXPECT_GE(silent, 30000);
    EXPECT_LT(silent, 280000);

    // Half a second: far past the 30 ms a leaked wait would leave, half a
    // second short of the port's own.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        peer->send({0x55});
    });
    const std::int64_t one = timed([&] { got = port.readPort(bytes, 1); });
    late.join();
    EXPECT_EQ(got, 1) << "the port's one second holds again";
    EXPECT_GE(one, 500000);
    PortAttributes read{};
    ASSERT_TRUE(port.loadAttributes(&read));
    EXPECT_EQ(read.timeouts.ReadTotalTimeoutConstant, 1000u);
}

TEST_F(PtyPort, TimeOutsThatEndBetweenTenthsOfASecondAreKept) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 9600));
    for (const std::uint32_t milliseconds : {3u, 60u, 250u}) {
        setReadTimeouts(port, 0, milliseconds);
        std::uint8_t byte = 0;
        std::int32_t got = -1;
        const std::int64_t took = timed([&] { got = port.readPort(&byte, 1); });
        EXPECT_EQ(got, 0);
        EXPECT_GE(took, milliseconds * 1000) << milliseconds << " ms";
        EXPECT_LT(took, milliseconds * 1000 + 300000) << milliseconds << " ms";
    }
}

// Win32 modes that the device never uses are refused, not emulated; the
// line keeps what it had.
TEST_F(PtyPort, ModesTheLineDoesNotOfferAreRefusedAndTheOldSettingsKept) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 9600));
    const std::string name = peer->portName();
    PortAttributes sevenBits{};
    port.getAttributes(&sevenBits);
    sevenBits.dcb.ByteSize = 7;
    auto out = messages(captureOutput([&] { EXPECT_FALSE(port.applyAttributes(&sevenBits)); }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0],
              "ERROR: CRS232H: Setting attribute(DCB) to " + name + ": Operation not supported");

    PortAttributes interval{};
    port.getAttributes(&interval);
    interval.timeouts.ReadIntervalTimeout = 150;
    out = messages(captureOutput([&] { EXPECT_FALSE(port.applyAttributes(&interval)); }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "ERROR: CRS232H: Setting attribute(COMMTIMEOUTS) to " + name +
                          ": Operation not supported");

    PortAttributes read{};
    ASSERT_TRUE(port.loadAttributes(&read));
    EXPECT_EQ(read.dcb.ByteSize, 8u);
    EXPECT_EQ(read.timeouts.ReadIntervalTimeout, 0u);
    EXPECT_EQ(read.timeouts.ReadTotalTimeoutConstant, 1000u);
    EXPECT_EQ(peer->settings().byteSize, 8u);
}

// A short wait between reads, as a caller that polls the line sets it: the
// next read keeps it at once, and the old one comes back as simply.
TEST_F(PtyPort, TimeOutChangedBetweenReadsHoldsForTheNextRead) {
    platform::SerialLine line;
    ASSERT_TRUE(line.open(peer->portName().c_str()));
    platform::CommTimeouts timeouts{};
    timeouts.ReadTotalTimeoutConstant = 20;
    ASSERT_TRUE(line.setTimeouts(timeouts));
    std::uint8_t byte = 0;
    std::uint32_t got = 1;
    const std::int64_t shortWait = timed([&] { EXPECT_TRUE(line.read(&byte, 1, got)); });
    EXPECT_EQ(got, 0u);
    EXPECT_GE(shortWait, 20000);
    EXPECT_LT(shortWait, 250000);

    timeouts.ReadTotalTimeoutConstant = 1000;
    ASSERT_TRUE(line.setTimeouts(timeouts));
    std::thread device([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        peer->send({0x5A});
    });
    const std::int64_t longWait = timed([&] { EXPECT_TRUE(line.read(&byte, 1, got)); });
    device.join();
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(byte, 0x5A);
    EXPECT_GE(longWait, 200000);
    EXPECT_TRUE(line.close());
}

TEST_F(PtyPort, HangUpWhileWaitingFailsTheReadAtOnce) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 9600));
    setReadTimeouts(port, 0, 3000);
    const std::string name = peer->portName();
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        peer->hangUp();
    });
    std::uint8_t byte = 0;
    std::string out;
    const std::int64_t took =
        timed([&] { out = captureOutput([&] { EXPECT_EQ(port.readPort(&byte, 1), 0); }); });
    unplug.join();
    const auto lines = messages(out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "ERROR: CRS232H: Reading from " + name + ": Input/output error");
    EXPECT_GE(took, 250000);
    EXPECT_LT(took, 1500000) << "waited for the time-out";
    captureOutput([&] { port.closePort(); });
}

// A line left without line processing but with its own read controls (at
// least 5 bytes, or a second's gap between two) is read under the port's
// time-outs all the same.
TEST_F(PtyPort, LineFoundWithItsOwnReadControlsKeepsThePortsTimeOut) {
    LineSettings found = foundSettings();
    found.canonical = false;
    found.vmin = 5;
    found.vtime = 10;
    ASSERT_TRUE(peer->prepare(found));
    CRS232H port(&log);
    ASSERT_TRUE(port.openPort(peer->portName().c_str()));
    setReadTimeouts(port, 0, 300);
    ASSERT_TRUE(peer->send({0x42}));
    std::uint8_t bytes[4] = {};
    std::int32_t got = 0;
    const std::int64_t took = timed([&] { got = port.readPort(bytes, 4); });
    EXPECT_EQ(got, 1);
    EXPECT_EQ(bytes[0], 0x42);
    EXPECT_GE(took, 300000);
    EXPECT_LT(took, 800000) << "waited under the line's own controls";
    EXPECT_TRUE(port.closePort());
}

TEST_F(PtyPort, HungUpLineIsReportedOnceAndDroppedThenReopenedUnderItsName) {
    // The name users configure outlives the terminal behind it, as a
    // /dev/serial/by-id link does.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("pty-port-" + std::to_string(platform::monotonicMicroseconds()));
    std::filesystem::create_directories(folder);
    const std::string name = (folder / "line").string();
    std::filesystem::create_symlink(peer->portName(), name);
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, name, 9600));
    peer->hangUp();
    std::uint8_t byte = 0;
    const std::int64_t start = platform::monotonicMicroseconds();
    auto out = messages(captureOutput([&] { EXPECT_EQ(port.readPort(&byte, 1), 0); }));
    EXPECT_LT(platform::monotonicMicroseconds() - start, 500000) << "waited for the time-out";
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "ERROR: CRS232H: Reading from " + name + ": Input/output error");
    EXPECT_TRUE(port.lineLost());
    EXPECT_FALSE(port.isOpen()) << "a line that is gone holds no handle";
    // Said once: every later transfer fails without a word, a read with a
    // wait of its own as a failure, not a silence.
    EXPECT_EQ(captureOutput([&] {
                  EXPECT_EQ(port.readPortFor(&byte, 1, 50), -1);
                  EXPECT_EQ(port.writePort(&byte, 1), 0);
                  EXPECT_FALSE(port.reopenPort()) << "the terminal went with its peer";
              }),
              "");
    EXPECT_TRUE(port.lineLost());

    // Put back under the same name, the line opens again with the settings
    // it has now; the owner's close puts those back, and ends the outage.
    peer = PtyPeer::open();
    ASSERT_TRUE(peer);
    ASSERT_TRUE(peer->prepare(foundSettings()));
    std::filesystem::remove(name);
    std::filesystem::create_symlink(peer->portName(), name);
    EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(port.reopenPort()); }), "");
    EXPECT_FALSE(port.lineLost());
    PortAttributes found{};
    ASSERT_TRUE(port.getAttributes(&found));
    EXPECT_EQ(found.dcb.BaudRate, 4800u);
    ASSERT_TRUE(port.setBaudRate(9600) && port.applyAttributes());
    EXPECT_EQ(peer->settings().baud, 9600u);
    EXPECT_EQ(port.writePort(&byte, 1), 1);
    EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(port.closePort()); }), "");
    EXPECT_EQ(peer->settings().baud, 4800u);
    std::filesystem::remove_all(folder);
}

TEST_F(PtyPort, ClosedPortRefusesEverythingAndClosingTwiceDoesNothing) {
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 9600));
    EXPECT_TRUE(port.closePort());
    EXPECT_EQ(captureOutput([&] { EXPECT_FALSE(port.closePort()); }), "");
    const std::string name = peer->portName();
    ASSERT_TRUE(peer->send({0x55}));
    auto probe = testing_support::StandardInputProbe::install();
    std::uint8_t byte = 0;
    const auto out = messages(captureOutput([&] { EXPECT_EQ(port.readPort(&byte, 1), 0); }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "ERROR: CRS232H: Reading from " + name + ": Bad file descriptor");
    ASSERT_TRUE(probe);
    EXPECT_TRUE(probe->untouched());
}

TEST_F(PtyPort, SecondOpenOfTheSameLineIsRefused) {
    CRS232H first(&log);
    ASSERT_TRUE(first.openPort(peer->portName().c_str()));
    CRS232H second(&log);
    const std::string name = peer->portName();
    const auto out = messages(captureOutput([&] { EXPECT_FALSE(second.openPort(name.c_str())); }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "ERROR: CRS232H: Opening port " + name + ": Device or resource busy");
    first.closePort();
    EXPECT_TRUE(second.openPort(name.c_str()));
}

TEST_F(PtyPort, NameOf255CharactersOpensTheLineItNames) {
    namespace fs = std::filesystem;
    const fs::path base = fs::temp_directory_path() /
                          ("pallador-serial-" + std::to_string(platform::monotonicMicroseconds()));
    fs::path dir = base;
    fs::create_directories(dir);
    std::string name = (dir / "l").string();
    const std::size_t missing = 255 - name.size();
    name = (dir / std::string(missing + 1, 'l')).string();
    ASSERT_EQ(name.size(), 255u);
    fs::create_symlink(peer->portName(), name);
    CRS232H port(&log);
    EXPECT_TRUE(port.openPort(name.c_str()));
    EXPECT_TRUE(port.closePort());
    // A longer name changes nothing about the port that is open.
    ASSERT_TRUE(port.openPort(name.c_str()));
    const std::string tooLong = name + "x";
    const auto out = messages(captureOutput([&] { EXPECT_FALSE(port.openPort(tooLong.c_str())); }));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "ERROR: CRS232H: Port name is too long. 255 < 256");
    EXPECT_TRUE(port.isOpen());
    EXPECT_TRUE(port.closePort());
    fs::remove_all(base);
}

// A line found at a speed the record has no rate for reads as 0; the port
// puts that record back at close without a word, and the line its speed.
TEST_F(PtyPort, LineFoundAtASpeedWithoutARateGetsItBackAtClose) {
    struct Found {
        const char* what;
        unsigned baud;
        bool rateBesideCodes;
    };
    for (const Found& c :
         {Found{"no speed (B0)", 0, false}, Found{"250000 beside the codes", 250000, true}}) {
        SCOPED_TRACE(c.what);
        const auto line = PtyPeer::open();
        ASSERT_TRUE(line);
        LineSettings settings = foundSettings();
        settings.baud = c.baud;
        settings.rateBesideCodes = c.rateBesideCodes;
        ASSERT_TRUE(line->prepare(settings));
        ASSERT_EQ(line->settings().rateBesideCodes, c.rateBesideCodes);
        CRS232H port(&log);
        ASSERT_TRUE(port.openPort(line->portName().c_str()));
        PortAttributes found{};
        ASSERT_TRUE(port.getAttributes(&found));
        EXPECT_EQ(found.dcb.BaudRate, 0u);
        ASSERT_TRUE(port.setBaudRate(9600));
        ASSERT_TRUE(port.applyAttributes());
        ASSERT_EQ(line->settings().baud, 9600u);
        EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(port.closePort()); }), "");
        EXPECT_EQ(line->settings().baud, 0u);
        EXPECT_EQ(line->settings().rateBesideCodes, c.rateBesideCodes);
    }
}

// The last request written before the port closes reaches the device
// whole, and a line that is gone does not hold the close up.
TEST_F(PtyPort, CloseLetsTheLastRequestLeaveAndDoesNotWaitForAGoneLine) {
    ASSERT_TRUE(peer->prepare(foundSettings()));
    CRS232H port(&log);
    ASSERT_TRUE(openAsDevice(port, peer->portName(), 9600));
    const std::uint8_t request = 0x55;
    ASSERT_EQ(port.writePort(&request, 1), 1);
    EXPECT_EQ(captureOutput([&] { EXPECT_TRUE(port.closePort()); }), "");
    EXPECT_EQ(peer->receive(2, 300), std::vector<std::uint8_t>{0x55});

    ASSERT_TRUE(openAsDevice(port, peer->portName(), 9600));
    ASSERT_EQ(port.writePort(&request, 1), 1);
    peer->hangUp();
    const std::int64_t took = timed([&] { captureOutput([&] { port.closePort(); }); });
    EXPECT_LT(took, 1000000);
    EXPECT_FALSE(port.isOpen());
}

}  // namespace
}  // namespace serial_tests

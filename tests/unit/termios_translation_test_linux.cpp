// The settings record and termios, both ways, without a terminal: what a
// line on Linux carries, what it refuses, that whatever a line was found
// with can be written back, and what becomes of its modem lines after us.
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/termios_translation.h"

namespace {

using namespace platform;
using namespace platform::termios_translation;

// A rate set apart from the speed codes (the kernel's BOTHER).
constexpr speed_t kRateBesideTheCodes = CBAUDEX;

constexpr tcflag_t kFraming = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS | CLOCAL | CREAD;

// The record the device writes: 8N1 at 9600, RTS handshaking, output that
// does not wait for CTS.
Dcb deviceRecord() {
    Dcb dcb{};
    dcb.DCBlength = sizeof(Dcb);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fRtsControl = kRtsControlHandshake;
    dcb.fDtrControl = kDtrControlEnable;
    dcb.ByteSize = 8;
    return dcb;
}

// A terminal as a new one comes: line editing, echo, CR/NL mapping, XON/XOFF.
termios cookedTerminal(speed_t speed, tcflag_t cflag) {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | INPCK;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    t.c_cflag = cflag;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return t;
}

struct Written {
    std::string what;
    std::function<void(Dcb&)> change;
    tcflag_t framing;
    bool parityChecked;
};

TEST(TermiosTranslation, RecordsTheLineCarriesAreWrittenAsTheyAsk) {
    const std::vector<Written> cases = {
        {"device's settings: output never waits for CTS", [](Dcb&) {}, CS8 | CLOCAL | CREAD, false},
        {"output waits for CTS when asked", [](Dcb& d) { d.fOutxCtsFlow = 1; },
         CS8 | CRTSCTS | CLOCAL | CREAD, false},
        {"odd parity, checked",
         [](Dcb& d) {
             d.Parity = kOddParity;
             d.fParity = 1;
         },
         CS8 | PARENB | PARODD | CLOCAL | CREAD, true},
        {"even parity, two stop bits",
         [](Dcb& d) {
             d.Parity = kEvenParity;
             d.StopBits = kTwoStopBits;
         },
         CS8 | PARENB | CSTOPB | CLOCAL | CREAD, false},
    };
    for (const Written& c : cases) {
        SCOPED_TRACE(c.what);
        Dcb dcb = deviceRecord();
        c.change(dcb);
        termios t = cookedTerminal(B38400, CS7 | PARENB | CMSPAR | CRTSCTS | CSTOPB);
        const termios found = t;
        ASSERT_EQ(writeLineSettings(dcb, t, found), 0);
        EXPECT_EQ(t.c_cflag & kFraming, c.framing);
        EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parityChecked);
        EXPECT_EQ(cfgetospeed(&t), B9600);
        EXPECT_EQ(cfgetispeed(&t), B9600);
        // Binary transfer: no line processing of any kind is left.
        EXPECT_EQ(t.c_iflag & ~INPCK, 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    }
    // RTS handshaking alone raises the modem lines.
    Dcb enabled = deviceRecord();
    EXPECT_TRUE(raisesModemLines(enabled));
    enabled.fRtsControl = kRtsControlEnable;
    EXPECT_FALSE(raisesModemLines(enabled));
}

struct Refused {
    std::string what;
    std::function<void(Dcb&)> change;
    int error;
};

TEST(TermiosTranslation, ModesTheLineDoesNotOfferAreRefusedAndTheTerminalKept) {
    const std::vector<Refused> cases = {
        {"7 data bits", [](Dcb& d) { d.ByteSize = 7; }, ENOTSUP},
        {"5 data bits", [](Dcb& d) { d.ByteSize = 5; }, ENOTSUP},
        {"9 data bits", [](Dcb& d) { d.ByteSize = 9; }, EINVAL},
        {"4 data bits", [](Dcb& d) { d.ByteSize = 4; }, EINVAL},
        {"mark parity", [](Dcb& d) { d.Parity = kMarkParity; }, ENOTSUP},
        {"space parity", [](Dcb& d) { d.Parity = kSpaceParity; }, ENOTSUP},
        {"parity code 5", [](Dcb& d) { d.Parity = 5; }, EINVAL},
        {"1.5 stop bits", [](Dcb& d) { d.StopBits = kOne5StopBits; }, ENOTSUP},
        {"stop bit code 3", [](Dcb& d) { d.StopBits = 3; }, EINVAL},
        {"text mode", [](Dcb& d) { d.fBinary = 0; }, ENOTSUP},
        {"DSR flow", [](Dcb& d) { d.fOutxDsrFlow = 1; }, ENOTSUP},
        {"DSR sensitivity", [](Dcb& d) { d.fDsrSensitivity = 1; }, ENOTSUP},
        {"DTR handshake", [](Dcb& d) { d.fDtrControl = kDtrControlHandshake; }, ENOTSUP},
        {"RTS toggle", [](Dcb& d) { d.fRtsControl = kRtsControlToggle; }, ENOTSUP},
        {"XON/XOFF output", [](Dcb& d) { d.fOutX = 1; }, ENOTSUP},
        {"XON/XOFF input", [](Dcb& d) { d.fInX = 1; }, ENOTSUP},
        {"error character", [](Dcb& d) { d.fErrorChar = 1; }, ENOTSUP},
        {"null stripping", [](Dcb& d) { d.fNull = 1; }, ENOTSUP},
        {"abort on error", [](Dcb& d) { d.fAbortOnError = 1; }, ENOTSUP},
        {"14400 baud", [](Dcb& d) { d.BaudRate = 14400; }, EINVAL},
        {"0 baud", [](Dcb& d) { d.BaudRate = 0; }, EINVAL},
    };
    for (const Refused& c : cases) {
        SCOPED_TRACE(c.what);
        Dcb dcb = deviceRecord();
        c.change(dcb);
        const termios before = cookedTerminal(B4800, CS8 | CSTOPB);
        termios t = before;
        EXPECT_EQ(writeLineSettings(dcb, t, before), c.error);
        EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
    }
}

struct Found {
    std::string what;
    termios terminal;
    std::uint32_t baud;
    std::uint8_t parity;
    std::uint8_t stopBits;
    std::uint32_t ctsFlow;
    std::uint32_t rtsControl;
};

TEST(TermiosTranslation, WhateverALineIsFoundWithReadsAsARecordThatWritesBack) {
    const std::vector<Found> cases = {
        {"new terminal", cookedTerminal(B38400, CS8 | CREAD), 38400, kNoParity, kOneStopBit, 0,
         kRtsControlEnable},
        {"7 data bits, mark parity: nearest is 8, odd",
         cookedTerminal(B1200, CS7 | PARENB | PARODD | CMSPAR), 1200, kOddParity, kOneStopBit, 0,
         kRtsControlEnable},
        {"even parity, two stop bits, hardware handshake",
         cookedTerminal(B115200, CS8 | PARENB | CSTOPB | CRTSCTS), 115200, kEvenParity,
         kTwoStopBits, 1, kRtsControlHandshake},
        {"a rate above the device's", cookedTerminal(B4000000, CS8), 4000000, kNoParity,
         kOneStopBit, 0, kRtsControlEnable},
        {"no speed: B0", cookedTerminal(B0, CS8), 0, kNoParity, kOneStopBit, 0, kRtsControlEnable},
        {"a rate beside the codes", cookedTerminal(kRateBesideTheCodes, CS8), 0, kNoParity,
         kOneStopBit, 0, kRtsControlEnable},
    };
    for (const Found& c : cases) {
        SCOPED_TRACE(c.what);
        const Dcb found = foundLineSettings(c.terminal);
        EXPECT_EQ(found.DCBlength, 28u);
        EXPECT_EQ(found.BaudRate, c.baud);
        EXPECT_EQ(found.fBinary, 1u);
        EXPECT_EQ(found.ByteSize, 8u);
        EXPECT_EQ(found.Parity, c.parity);
        EXPECT_EQ(found.StopBits, c.stopBits);
        EXPECT_EQ(found.fParity, 1u);
        EXPECT_EQ(found.fOutxCtsFlow, c.ctsFlow);
        EXPECT_EQ(found.fRtsControl, c.rtsControl);
        EXPECT_EQ(found.fDtrControl, kDtrControlEnable);

        // Written over the device's settings, as at close.
        termios written = c.terminal;
        ASSERT_EQ(writeLineSettings(deviceRecord(), written, c.terminal), 0);
        ASSERT_EQ(writeLineSettings(found, written, c.terminal), 0);
        EXPECT_EQ(cfgetospeed(&written), cfgetospeed(&c.terminal));
        EXPECT_EQ(cfgetispeed(&written), cfgetispeed(&c.terminal));
        const Dcb back = readLineSettings(written, found);
        EXPECT_EQ(std::memcmp(&back, &found, sizeof back), 0);
    }
}

TEST(TermiosTranslation, ModemLinesGoDownAfterUsWhereTheFoundSettingsHaveThemDown) {
    struct Lines {
        std::string what;
        termios found;
        int down;
    };
    const std::vector<Lines> cases = {
        {"dropped at the last close", cookedTerminal(B9600, CS8 | HUPCL), TIOCM_RTS | TIOCM_DTR},
        {"kept at the last close", cookedTerminal(B9600, CS8), 0},
        {"never raised at B0", cookedTerminal(B0, CS8), TIOCM_RTS | TIOCM_DTR},
    };
    for (const Lines& c : cases) {
        EXPECT_EQ(modemLinesDownAfterClose(c.found), c.down) << c.what;
    }
}

TEST(TermiosTranslation, ReadsWaitATotalTimePerCallAndOtherTimeOutsAreRefused) {
    struct Wait {
        CommTimeouts timeouts;
        std::uint32_t count;
        std::int64_t microseconds;
    };
    const std::vector<Wait> waits = {
        {{0, 0, 1000, 0, 0}, 1, 1000000},
        {{0, 0, 3, 0, 0}, 14, 3000},
        {{0, 10, 5, 0, 0}, 3, 35000},
        {{0, 0, 0, 0, 0}, 14, 0},
        {{0, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0}, 0xFFFFFFFF, (std::int64_t{1} << 40) * 1000},
    };
    for (const Wait& w : waits) {
        EXPECT_EQ(checkTimeouts(w.timeouts), 0);
        EXPECT_EQ(readWaitMicroseconds(w.timeouts, w.count), w.microseconds);
    }
    const std::vector<CommTimeouts> refused = {
        {150, 0, 3000, 0, 0}, {0xFFFFFFFF, 0, 0, 0, 0}, {0xFFFFFFFF, 0xFFFFFFFF, 100, 0, 0},
        {0, 0, 1000, 10, 0},  {0, 0, 1000, 0, 500},
    };
    for (const CommTimeouts& t : refused) {
        EXPECT_EQ(checkTimeouts(t), ENOTSUP)
            << t.ReadIntervalTimeout << " " << t.WriteTotalTimeoutMultiplier << " "
            << t.WriteTotalTimeoutConstant;
    }
}

}  // namespace

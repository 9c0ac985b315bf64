#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <regex>
#include <string>

#include "platform/platform.h"
#include "support/CMessageH.h"
#include "tests/support/capture.h"

namespace {

using testing_support::captureOutput;

// A record whose header is just "NAME: ", so lines can be compared exactly.
CMessageH plainRecord(const char* name) {
    CMessageH log;
    log.dateStamp = 0;
    log.timeStamp = 0;
    log.threadStamp = 0;
    log.setName(name);
    return log;
}

std::string bytesAt(const void* record, std::size_t offset, std::size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(record) + offset;
    std::string text;
    char cell[4];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(cell, sizeof cell, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += cell;
    }
    return text;
}

bool allZero(const void* record, std::size_t offset, std::size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(record) + offset;
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

std::string localStamp(const char* format, std::time_t when) {
    char text[100] = {};
    std::strftime(text, sizeof text, format, std::localtime(&when));
    return text;
}

std::string threadTag() {
    // Appended, not chained with operator+: GCC 12 at -O3 misreads the
    // chain's inlined copies as overlapping (-Wrestrict).
    std::string tag = "[";
    tag += std::to_string(platform::currentThreadId());
    tag += "]: ";
    return tag;
}

struct GateCase {
    std::int32_t debugLevel;
    std::int32_t debugThreshold;
    std::int32_t classLevel;
    bool open;
};

// ---- DEBUG gate ------------------------------------------------------------

TEST(MessageLogGate, LevelsThresholdsAndClassLevelsDecideDebugLines) {
    const GateCase cases[] = {
        {3, 4, 3, true},  {3, 4, 1, false},  {1, 4, 1, true},   {1, 4, 3, false},
        {4, 4, 1, true},  {4, 4, 3, true},   {7, 4, 3, true},   {7, 4, 0, true},
        {1, 1, 3, true},  {2, 1, 1, true},   {-1, 1, 3, false}, {0, 1, 0, false},
        {0, 4, 0, false}, {0, -5, 3, false}, {-2, -3, 1, true}, {-2, 4, -2, true},
    };
    for (const GateCase& c : cases) {
        CMessageH log = plainRecord("GATE");
        log.debugLevel = c.debugLevel;
        log.setDebugThreshold(c.debugThreshold);
        log.setClassLevel(c.classLevel);
        const std::string where = "debugLevel " + std::to_string(c.debugLevel) + ", threshold " +
                                  std::to_string(c.debugThreshold) + ", classLevel " +
                                  std::to_string(c.classLevel);
        EXPECT_EQ(log.isDebugEnabled(), c.open) << where;
        const std::string out = captureOutput([&] {
            log.debug("step", true);
            log.debugf("value %d\n", 5);
        });
        EXPECT_EQ(out, c.open ? "GATE: DEBUG: step\nGATE: DEBUG: value 5\n" : "") << where;
    }
}

TEST(MessageLogGate, DefaultRecordNeverPrintsDebug) {
    CMessageH log;
    EXPECT_FALSE(log.isDebugEnabled());
    EXPECT_EQ(captureOutput([&] {
                  log.debug("hidden", true);
                  log.debugf("hidden %s\n", "too");
              }),
              "");
}

TEST(MessageLogGate, DisabledRecordPrintsNothingButStillAnswersTheGate) {
    CMessageH log = plainRecord("OFF");
    log.enabled = 0;
    log.debugLevel = 1;
    log.setClassLevel(1);
    log.setDebugThreshold(4);
    EXPECT_EQ(captureOutput([&] {
                  log.info("info", true);
                  log.error("error", true);
                  log.warning("warning", true);
                  log.debug("debug", true);
                  log.debugf("debugf %d\n", 1);
                  log.info("open", false);
              }),
              "");
    EXPECT_TRUE(log.isDebugEnabled());
    log.setClassLevel(3);
    EXPECT_FALSE(log.isDebugEnabled());
}

// ---- line format -------------------------------------------------------------

TEST(MessageLogLine, EachLevelPrintsItsWordAndText) {
    CMessageH log = plainRecord("CPallador");
    log.debugLevel = 1;
    log.setClassLevel(1);
    const std::string out = captureOutput([&] {
        log.info("CPallador: report.", true);
        log.error("CPallador: Init info is empty.", true);
        log.warning("CPallador: Can not send any data.", true);
        log.debug("CPallador: \"init\" called.", true);
    });
    EXPECT_EQ(out,
              "CPallador: INFO: CPallador: report.\n"
              "CPallador: ERROR: CPallador: Init info is empty.\n"
              "CPallador: WARNING: CPallador: Can not send any data.\n"
              "CPallador: DEBUG: CPallador: \"init\" called.\n");
}

TEST(MessageLogLine, HostLevelWordsAreUsed) {
    CMessageH log = plainRecord("HOST");
    std::strcpy(log.errorPrefix, "FEHLER");
    std::strcpy(log.infoPrefix, "I");
    EXPECT_EQ(captureOutput([&] {
                  log.error("x", true);
                  log.info("y", true);
              }),
              "HOST: FEHLER: x\nHOST: I: y\n");
}

TEST(MessageLogLine, OpenLineIsFinishedByTheCaller) {
    CMessageH log = plainRecord("CRS232H");
    const std::string out = captureOutput([&] {
        log.error("CRS232H: Can not open port ", false);
        std::cout << "com7" << std::endl;
        log.info("next", true);
    });
    EXPECT_EQ(out, "CRS232H: ERROR: CRS232H: Can not open port com7\nCRS232H: INFO: next\n");
}

TEST(MessageLogLine, EveryStampCombinationBuildsItsHeader) {
    for (int flags = 0; flags < 8; ++flags) {
        CMessageH log;
        log.setName("STAMP");
        log.dateStamp = (flags & 1) ? 1 : 0;
        log.timeStamp = (flags & 2) ? 1 : 0;
        log.threadStamp = (flags & 4) ? 2 : 0;  // any non-zero value counts
        const std::time_t before = std::time(nullptr);
        const std::string out = captureOutput([&] { log.info("text", true); });
        const std::time_t after = std::time(nullptr);

        std::string format;
        if (log.dateStamp != 0) format += "%b %d ";
        if (log.timeStamp != 0) format += "%X ";
        const std::string tail =
            "STAMP" + std::string(log.threadStamp != 0 ? threadTag() : ": ") + "INFO: text\n";
        const std::string early = format.empty() ? "" : localStamp(format.c_str(), before);
        const std::string late = format.empty() ? "" : localStamp(format.c_str(), after);
        EXPECT_TRUE(out == early + tail || out == late + tail)
            << "flags " << flags << ": got '" << out << "', expected '" << early + tail << "'";
    }
}

TEST(MessageLogLine, StampsHaveTheirFixedShapes) {
    CMessageH log;
    log.setName("SHAPE");
    const std::string out = captureOutput([&] { log.warning("w", true); });
    const std::regex full("[A-Z][a-z]{2} [0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] SHAPE\\[" +
                          std::to_string(platform::currentThreadId()) + "\\]: WARNING: w\n");
    EXPECT_TRUE(std::regex_match(out, full)) << out;

    log.dateStamp = 1;
    log.timeStamp = 0;
    log.threadStamp = 0;
    const std::string dateOnly = captureOutput([&] { log.warning("w", true); });
    EXPECT_TRUE(
        std::regex_match(dateOnly, std::regex("[A-Z][a-z]{2} [0-3][0-9] SHAPE: WARNING: w\n")))
        << dateOnly;

    log.dateStamp = 0;
    log.timeStamp = 1;
    const std::string timeOnly = captureOutput([&] { log.warning("w", true); });
    EXPECT_TRUE(std::regex_match(
        timeOnly, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9] SHAPE: WARNING: w\n")))
        << timeOnly;
}

// A stamp is made in the log's own record: the C runtime's shared one, which
// another thread may be reading at that moment, stays as it was.
TEST(MessageLogLine, StampsLeaveTheSharedLocalTimeRecordAlone) {
    const std::time_t epoch = 0;
    const std::tm* shared = std::localtime(&epoch);
    ASSERT_NE(shared, nullptr);
    const int year = shared->tm_year;
    CMessageH log;
    captureOutput([&] { log.info("stamped", true); });
    EXPECT_EQ(shared->tm_year, year);
}

// ---- formatted DEBUG lines -----------------------------------------------------

TEST(MessageLogDebugf, OpenGateWritesFormattedTextWithoutEndOfLine) {
    CMessageH log = plainRecord("CRS232H");
    log.debugLevel = 3;
    log.setClassLevel(3);
    log.setDebugThreshold(4);
    const std::string out = captureOutput([&] {
        log.debugf("CRS232H: Opening %s at %d.", "com2", 9600);
        std::cout << " done" << std::endl;
        log.debugf("CRS232H: Opening %s.\n", "com3");
    });
    EXPECT_EQ(out,
              "CRS232H: DEBUG: CRS232H: Opening com2 at 9600. done\n"
              "CRS232H: DEBUG: CRS232H: Opening com3.\n");
}

TEST(MessageLogDebugf, ClosedGateLeavesStdoutUntouched) {
    CMessageH log = plainRecord("QUIET");
    log.debugLevel = 1;
    log.setClassLevel(3);
    log.setDebugThreshold(4);
    const std::string out = captureOutput([&] {
        std::cout << "before ";
        log.debugf("CRS232H: Opening %s.\n", "com2");
        std::cout << "after" << std::endl;
    });
    EXPECT_EQ(out, "before after\n");
}

TEST(MessageLogDebugf, LongExpansionIsCutAt255Characters) {
    CMessageH log = plainRecord("LONG");
    log.debugLevel = 1;
    log.setClassLevel(1);
    const std::string longText(300, 'x');
    const std::string out = captureOutput([&] { log.debugf("%s", longText.c_str()); });
    EXPECT_EQ(out, "LONG: DEBUG: " + std::string(255, 'x'));

    // A cut line still ends where its format ends it, so the next line
    // stands on its own.
    const std::string mixed = captureOutput([&] {
        log.debugf("ab%s\n", longText.c_str());
        log.error("next", true);
    });
    EXPECT_EQ(mixed, "LONG: DEBUG: ab" + std::string(252, 'x') + "\nLONG: ERROR: next\n");
}

// ---- names and the host's text fields --------------------------------------------

TEST(MessageLogName, ShortNameLeavesTheRestOfTheFieldZero) {
    CMessageH log;
    std::memset(log.name, 0x5A, sizeof log.name);
    log.setName("ABCDE");
    EXPECT_EQ(bytesAt(&log, 4, 6), "41 42 43 44 45 00");
    EXPECT_TRUE(allZero(&log, 9, 95));
    EXPECT_EQ(bytesAt(&log, 104, 5), "49 4E 46 4F 00");  // "INFO" untouched
}

TEST(MessageLogName, OverlongNameIsCutToATerminatedField) {
    CMessageH log;
    const std::string longName(150, 'n');
    log.setName(longName.c_str());
    EXPECT_EQ(std::string(log.name), std::string(99, 'n'));
    EXPECT_EQ(log.name[99], '\0');
    EXPECT_STREQ(log.infoPrefix, "INFO");

    log.setName(std::string(100, 'm').c_str());
    EXPECT_EQ(std::string(log.name), std::string(99, 'm'));
}

TEST(MessageLogName, HostFieldsWithoutTerminatorAreNeverReadPast) {
    CMessageH host = plainRecord("HOST");
    std::memset(host.name, 'N', sizeof host.name);
    std::memset(host.infoPrefix, 'I', sizeof host.infoPrefix);
    std::memset(host.errorPrefix, 'E', sizeof host.errorPrefix);
    std::memset(host.warningPrefix, 'W', sizeof host.warningPrefix);
    std::memset(host.debugPrefix, 'D', sizeof host.debugPrefix);
    host.debugLevel = 1;
    const auto own = createOwnLog(&host, "CBase", 1);
    const std::string name(100, 'N');
    const std::string out = captureOutput([&] {
        own->info("i", true);
        own->error("e", true);
        own->warning("w", true);
        own->debug("d", true);
        own->debugf("f%d\n", 1);
    });
    EXPECT_EQ(out, name + ": " + std::string(100, 'I') + ": i\n" + name + ": " +
                       std::string(100, 'E') + ": e\n" + name + ": " + std::string(100, 'W') +
                       ": w\n" + name + ": " + std::string(100, 'D') + ": d\n" + name + ": " +
                       std::string(100, 'D') + ": f1\n");
}

// ---- the host-shared layout --------------------------------------------------------

TEST(MessageLogLayout, DefaultRecordBytes) {
    CMessageH log;
    EXPECT_EQ(bytesAt(&log, 0, 4), "01 01 01 01");
    EXPECT_EQ(bytesAt(&log, 4, 8), "4D 45 53 53 41 47 45 00");  // MESSAGE
    EXPECT_TRUE(allZero(&log, 12, 92));
    EXPECT_EQ(bytesAt(&log, 104, 5), "49 4E 46 4F 00");
    EXPECT_TRUE(allZero(&log, 109, 95));
    EXPECT_EQ(bytesAt(&log, 204, 6), "45 52 52 4F 52 00");
    EXPECT_TRUE(allZero(&log, 210, 94));
    EXPECT_EQ(bytesAt(&log, 304, 8), "57 41 52 4E 49 4E 47 00");
    EXPECT_TRUE(allZero(&log, 312, 92));
    EXPECT_EQ(bytesAt(&log, 404, 6), "44 45 42 55 47 00");
    EXPECT_TRUE(allZero(&log, 410, 94));
    EXPECT_EQ(bytesAt(&log, 504, 12), "01 00 00 00 00 00 00 00 00 00 00 00");
}

TEST(MessageLogLayout, FieldsLieAtTheHostOffsets) {
    CMessageH log;
    std::memset(static_cast<void*>(&log), 0, sizeof log);
    log.dateStamp = 0x11;
    log.timeStamp = 0x22;
    log.threadStamp = 0x33;
    log.enabled = 0x44;
    log.name[0] = 'n';
    log.infoPrefix[0] = 'i';
    log.errorPrefix[0] = 'e';
    log.warningPrefix[0] = 'w';
    log.debugPrefix[99] = 'd';
    log.setDebugThreshold(0x01020304);
    log.debugLevel = -2;
    log.setClassLevel(0x7F000005);
    EXPECT_EQ(bytesAt(&log, 0, 5), "11 22 33 44 6E");
    EXPECT_EQ(bytesAt(&log, 104, 1), "69");
    EXPECT_EQ(bytesAt(&log, 204, 1), "65");
    EXPECT_EQ(bytesAt(&log, 304, 1), "77");
    EXPECT_EQ(bytesAt(&log, 503, 1), "64");
    EXPECT_EQ(bytesAt(&log, 504, 12), "04 03 02 01 FE FF FF FF 05 00 00 7F");
}

TEST(MessageLogLayout, HostBytesReadAsFields) {
    unsigned char bytes[sizeof(CMessageH)] = {};
    bytes[3] = 1;
    std::memcpy(bytes + 4, "HOSTLOG", 7);
    std::memcpy(bytes + 404, "DBG", 3);
    const unsigned char levels[12] = {4, 0, 0, 0, 2, 0, 0, 0, 9, 0, 0, 0};
    std::memcpy(bytes + 504, levels, sizeof levels);
    CMessageH log;
    std::memcpy(static_cast<void*>(&log), bytes, sizeof bytes);
    EXPECT_EQ(log.debugThreshold, 4);
    EXPECT_EQ(log.debugLevel, 2);
    EXPECT_EQ(log.classLevel, 9);
    EXPECT_FALSE(log.isDebugEnabled());
    log.setClassLevel(2);
    EXPECT_EQ(captureOutput([&] { log.debug("x", true); }), "HOSTLOG: DBG: x\n");
}

// ---- ownership convention --------------------------------------------------------------

TEST(MessageLogOwnership, CopyOfCreatorKeepsEverythingButClassLevel) {
    CMessageH host = plainRecord("HOST");
    host.debugLevel = 3;
    host.setDebugThreshold(4);
    host.setClassLevel(7);
    const CMessageH original = host;
    const auto own = createOwnLog(&host, "CConCommonH", 3);
    EXPECT_STREQ(own->name, "HOST");
    EXPECT_EQ(own->classLevel, 3);
    EXPECT_EQ(std::memcmp(own.get(), &host, offsetof(CMessageH, classLevel)), 0);
    EXPECT_EQ(std::memcmp(&host, &original, sizeof host), 0) << "creator's record changed";
    EXPECT_TRUE(own->isDebugEnabled());
}

TEST(MessageLogOwnership, WithoutCreatorTheClassNamesADefaultRecord) {
    const auto own = createOwnLog(nullptr, "CRS232H", 3);
    CMessageH expected;
    expected.setName("CRS232H");
    expected.setClassLevel(3);
    EXPECT_EQ(std::memcmp(own.get(), &expected, sizeof expected), 0);
    EXPECT_STREQ(own->name, "CRS232H");
    EXPECT_EQ(own->debugLevel, 0);
    EXPECT_FALSE(own->isDebugEnabled());
}

}  // namespace

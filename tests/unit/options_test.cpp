#include "config/options.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

#include "host/kit/config.h"
#include "support/CMessageH.h"
#include "tests/support/capture.h"
#include "tests/support/config_text.h"

namespace {

using hostkit::Config;
using testing_support::captureOutput;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

CMessageH plainLog(const char* name) {
    CMessageH log;
    log.setName(name);
    log.dateStamp = 0;
    log.timeStamp = 0;
    log.threadStamp = 0;
    return log;
}

TEST(OptionKeywords, MatchWithoutRegardToCase) {
    EXPECT_EQ(compareNoCase("ValuatorScale", "valuatorscale"), 0);
    EXPECT_EQ(compareNoCase("BAUDRATE", "baudrate"), 0);
    EXPECT_NE(compareNoCase("baudrates", "baudrate"), 0);
    EXPECT_NE(compareNoCase("baudrat", "baudrate"), 0);
    EXPECT_EQ(compareNoCase("a", "B"), -1);
    EXPECT_EQ(compareNoCase("b", "A"), 1);
    EXPECT_EQ(compareNoCase("", ""), 0);
}

TEST(OptionKeywords, LowerCasingChangesOnlyLetters) {
    char text[] = "SerialPort COM7 [1,2]";
    toLowerInPlace(text);
    EXPECT_STREQ(text, "serialport com7 [1,2]");
}

TEST(OptionNumbers, IntegersTakeTheirBaseFromTheirPrefix) {
    EXPECT_EQ(toInteger("010"), 8);
    EXPECT_EQ(toInteger("0x0A"), 10);
    EXPECT_EQ(toInteger("0X10"), 16);
    EXPECT_EQ(toInteger("12"), 12);
    EXPECT_EQ(toInteger("  7abc"), 7);
    EXPECT_EQ(toInteger("-1"), -1);
    EXPECT_EQ(toInteger("all"), 0);
    EXPECT_EQ(toInteger(""), 0);
    // Compared unsigned, -1 fails every upper bound.
    EXPECT_GT(static_cast<std::uint32_t>(toInteger("-1")), 32u);
}

TEST(OptionNumbers, IntegersSaturateAtTheThirtyTwoBitRange) {
    EXPECT_EQ(toInteger("4294967297"), kMax);  // not 1
    EXPECT_EQ(toInteger("2147483648"), kMax);
    EXPECT_EQ(toInteger("2147483647"), kMax);
    EXPECT_EQ(toInteger("-2147483649"), kMin);
    EXPECT_EQ(toInteger("0x100000001"), kMax);
    EXPECT_EQ(toInteger("99999999999999999999999"), kMax);
}

TEST(OptionNumbers, DecimalIntegersIgnorePrefixesAndSaturate) {
    EXPECT_EQ(toDecimalInteger("9600"), 9600);
    EXPECT_EQ(toDecimalInteger("010"), 10);
    EXPECT_EQ(toDecimalInteger("0x10"), 0);
    EXPECT_EQ(toDecimalInteger("4294976896"), kMax);  // not 9600
    EXPECT_EQ(toDecimalInteger("-4294967297"), kMin);
}

TEST(OptionNumbers, RealsReadDecimalAndExponentNotation) {
    EXPECT_DOUBLE_EQ(toReal("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(toReal("-2.5e1"), -25.0);
    EXPECT_DOUBLE_EQ(toReal(".25"), 0.25);
    EXPECT_DOUBLE_EQ(toReal(" +3"), 3.0);
    EXPECT_DOUBLE_EQ(toReal("1,5"), 1.0);
    EXPECT_DOUBLE_EQ(toReal("zero"), 0.0);
    EXPECT_DOUBLE_EQ(toReal(""), 0.0);
}

// Words are not numbers: neither infinity nor "not a number" may reach a
// curve or a transform, and hexadecimal is not a notation for reals.
TEST(OptionNumbers, RealsTakeNoInfinityNanOrHexadecimal) {
    EXPECT_DOUBLE_EQ(toReal("inf"), 0.0);
    EXPECT_DOUBLE_EQ(toReal("-INFINITY"), 0.0);
    EXPECT_DOUBLE_EQ(toReal("nan"), 0.0);
    EXPECT_DOUBLE_EQ(toReal("0x10"), 0.0);
    EXPECT_TRUE(isInvalidZero(toReal("inf"), "inf"));
    EXPECT_TRUE(isInvalidZero(toReal("nan"), "nan"));
    for (const char* vector : {"[1,nan,3,4]", "[1,1e39,3,4]"}) {
        float values[4] = {9, 9, 9, 9};
        readVector(vector, values, 4);
        EXPECT_FLOAT_EQ(values[0], 1.0f) << vector;
        EXPECT_FLOAT_EQ(values[1], 0.0f) << vector;
        EXPECT_FLOAT_EQ(values[2], 0.0f) << vector;
    }
}

// Reals for curves and transforms are single precision: a value beyond it
// is refused like a word, one at its edge is kept.
TEST(OptionNumbers, RealsBeyondSinglePrecisionAreRefused) {
    float value = 7.0f;
    EXPECT_TRUE(readReal("3.4e38", value));
    EXPECT_FLOAT_EQ(value, 3.4e38f);
    EXPECT_TRUE(readReal("1e-50", value));
    EXPECT_EQ(value, 0.0f);
    for (const char* text : {"1e39", "-1e39", "1e400", "inf", "two"}) {
        EXPECT_FALSE(readReal(text, value)) << text;
    }
}

// Restores the process's locale when the test ends.
class LocaleGuard {
public:
    LocaleGuard() : saved_(std::setlocale(LC_ALL, nullptr)) {}
    ~LocaleGuard() { std::setlocale(LC_ALL, saved_.c_str()); }
    // True when one of the common names of a locale whose decimal point is
    // the given one exists here.
    bool selectLocaleWithPoint(const char* decimalPoint) {
        for (const char* name :
             {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR", "German_Germany.1252",
              "German", "de-DE", "ps_AF.UTF-8", "ps_AF.utf8", "ps_AF"}) {
            if (std::setlocale(LC_ALL, name) != nullptr &&
                std::string(std::localeconv()->decimal_point) == decimalPoint) {
                return true;
            }
        }
        return false;
    }

private:
    std::string saved_;
};

// The point of a number is put in the locale's spelling in full, whatever
// its length: Pashto's is two bytes of UTF-8.
TEST(OptionNumbers, TheDecimalPointIsReplacedWhole) {
    EXPECT_EQ(withDecimalPoint("-1.5e3", "\xD9\xAB"),
              "-1\xD9\xAB"
              "5e3");
    EXPECT_EQ(withDecimalPoint(" 2.25", ","), " 2,25");
    EXPECT_EQ(withDecimalPoint("12", ","), "12");
}

TEST(OptionNumbers, RealsKeepThePointUnderAnyLocale) {
    LocaleGuard locale;
    int tried = 0;
    for (const char* decimalPoint : {",", "\xD9\xAB"}) {
        if (!locale.selectLocaleWithPoint(decimalPoint)) {
            continue;
        }
        ++tried;
        SCOPED_TRACE(std::setlocale(LC_ALL, nullptr));
        EXPECT_DOUBLE_EQ(toReal("1.5"), 1.5);
        EXPECT_DOUBLE_EQ(toReal("-0.25e2"), -25.0);
        EXPECT_DOUBLE_EQ(toReal("1,5"), 1.0);
        float values[4] = {};
        readVector("[1.5,2.25,-3.5,4]", values, 4);
        EXPECT_FLOAT_EQ(values[0], 1.5f);
        EXPECT_FLOAT_EQ(values[1], 2.25f);
        EXPECT_FLOAT_EQ(values[2], -3.5f);
        EXPECT_FLOAT_EQ(values[3], 4.0f);
    }
    if (tried == 0) {
        GTEST_SKIP() << "no locale with another decimal point on this machine";
    }
}

TEST(OptionNumbers, OnlyALetterMakesAZeroInvalid) {
    EXPECT_FALSE(isInvalidZero(toReal("0"), "0"));
    EXPECT_FALSE(isInvalidZero(toReal("-0"), "-0"));
    EXPECT_TRUE(isInvalidZero(toReal("zero"), "zero"));
    EXPECT_FALSE(isInvalidZero(toReal("-"), "-"));
    EXPECT_FALSE(isInvalidZero(toReal("+"), "+"));
    EXPECT_FALSE(isInvalidZero(toReal(""), ""));
    EXPECT_FALSE(isInvalidZero(toReal("5abc"), "5abc"));
}

TEST(OptionVectors, MissingFieldsStayZero) {
    float four[4] = {9, 9, 9, 9};
    readVector("[1,2]", four, 4);
    EXPECT_FLOAT_EQ(four[0], 1.0f);
    EXPECT_FLOAT_EQ(four[1], 2.0f);
    EXPECT_FLOAT_EQ(four[2], 0.0f);
    EXPECT_FLOAT_EQ(four[3], 0.0f);

    float six[6] = {9, 9, 9, 9, 9, 9};
    readVector("[1, 2,x,4,5,6]", six, 6);
    EXPECT_FLOAT_EQ(six[0], 1.0f);
    EXPECT_FLOAT_EQ(six[1], 2.0f);
    for (int i = 2; i < 6; ++i) {
        EXPECT_FLOAT_EQ(six[i], 0.0f) << "field " << i;
    }

    readVector("1,2,3,4", four, 4);
    for (float value : four) {
        EXPECT_FLOAT_EQ(value, 0.0f);
    }
}

TEST(UnknownOptions, NoLinesMeansNothingToReport) {
    Config config("pallador");
    const CMessageH log = plainLog("CPallador");
    bool result = false;
    EXPECT_EQ(captureOutput([&] { result = reportUnknownOptions(*config.get(), log); }), "");
    EXPECT_TRUE(result);
}

TEST(UnknownOptions, EveryUnusedLineIsReportedInSlotOrder) {
    Config config = testing_support::configFromText(
        "pallador\n"
        "port com7\n"
        "\n"
        "baudrat 9600\n"
        "ValuatorScale all 1\n"
        "Orderx 1\n");
    ASSERT_EQ(config.lineCount(), 4u);
    config.line(0).used = 1;
    config.line(2).used = 1;
    const CMessageH log = plainLog("CPallador");
    bool result = true;
    const std::string output =
        captureOutput([&] { result = reportUnknownOptions(*config.get(), log); });
    EXPECT_FALSE(result);
    EXPECT_EQ(output,
              "CPallador: ERROR: CConfigH: Unknown option \"baudrat\" found at line 4.\n"
              "CPallador: ERROR: CConfigH: Unknown option \"Orderx\" found at line 6.\n");
    EXPECT_EQ(config.usedFlags(), "1010");
    EXPECT_EQ(config.checkGuards(), "");
}

// Every refusal of every parser has one shape: the lead, the failure phrase,
// the option's name with its "at line " words, the number and the ending.
TEST(OptionMessages, EndWithTheLineNumber) {
    Config config("pallador");
    ASSERT_TRUE(config.add(12, "valuatorscale", {}));
    const CMessageH log = plainLog("CPallador");
    const OptionLineView plain(config.line(0), "ValuatorScale", log, "", false);
    const OptionLineView device(config.line(0), "BaudRate", log, "CPallador: ", false);
    struct Case {
        std::function<LineResult()> reject;
        const char* expected;
    };
    const Case cases[] = {
        {[&] { return plain.reject(phrase::kIncomplete); },
         "CPallador: ERROR: Incomplete option line found for ValuatorScale at line 12.\n"},
        {[&] { return plain.rejectOption(phrase::kInvalidValuator); },
         "CPallador: ERROR: Invalid valuator ID found for ValuatorScale option at line 12.\n"},
        {[&] { return device.rejectOption(phrase::kInvalidArg, ". Ignored."); },
         "CPallador: ERROR: CPallador: Invalid arg found for BaudRate option at line 12. "
         "Ignored.\n"},
        {[&] { return plain.rejectLine("Can not change the order on input connector at line "); },
         "CPallador: ERROR: Can not change the order on input connector at line 12.\n"},
    };
    for (const Case& c : cases) {
        LineResult result = LineResult::accepted;
        EXPECT_EQ(captureOutput([&] { result = c.reject(); }), c.expected);
        EXPECT_EQ(result, LineResult::rejected);
    }
}

// The host's counts are not trusted: nothing is read beyond the 32 slots
// or the 64 argument pointers, and null pointers read as empty text.
TEST(MalformedConfig, LineCountAboveThirtyTwoCoversOnlyTheSlots) {
    Config config("pallador");
    for (std::uint32_t i = 0; i < 32; ++i) {
        ASSERT_TRUE(config.add(i + 1, "known", {}));
        config.line(i).used = 1;
    }
    config.line(31).used = 0;
    config.setLineCount(1000);
    EXPECT_EQ(lineCountOf(*config.get()), 32u);
    const CMessageH log = plainLog("CPallador");
    bool result = true;
    const std::string output =
        captureOutput([&] { result = reportUnknownOptions(*config.get(), log); });
    EXPECT_FALSE(result);
    EXPECT_EQ(output, "CPallador: ERROR: CConfigH: Unknown option \"known\" found at line 32.\n");
    EXPECT_EQ(config.checkGuards(), "");
}

TEST(MalformedConfig, ArgCountAboveSixtyFourCoversOnlyThePointers) {
    Config config("pallador");
    std::vector<std::string> arguments(64, "1");
    arguments[63] = "last";
    ASSERT_TRUE(config.add(5, "valuatororder", arguments));
    config.setArgCount(0, 65);
    const OptionLine& line = config.line(0);
    EXPECT_EQ(argCountOf(line), 64u);
    EXPECT_STREQ(argumentAt(line, 63), "last");
    EXPECT_STREQ(argumentAt(line, 64), "");
    EXPECT_STREQ(argumentAt(line, 0xFFFFFFFFu), "");
    config.setArgCount(0, 0xFFFFFFFFu);
    EXPECT_EQ(argCountOf(line), 64u);
}

TEST(MalformedConfig, NullPointersReadAsEmptyText) {
    Config config("pallador");
    ASSERT_TRUE(config.add(7, "baud", {"9600", "extra"}));
    config.clearArgument(0, 1);
    const OptionLine& line = config.line(0);
    EXPECT_STREQ(argumentAt(line, 0), "9600");
    EXPECT_STREQ(argumentAt(line, 1), "");
    EXPECT_STREQ(argumentAt(line, 2), "");
    EXPECT_EQ(toInteger(argumentAt(line, 1)), 0);
    EXPECT_FALSE(isInvalidZero(toReal(argumentAt(line, 1)), argumentAt(line, 1)));
}

TEST(MalformedConfig, NullKeywordMatchesNothingAndIsReportedNameless) {
    Config config("pallador");
    ASSERT_TRUE(config.add(9, "baud", {"9600"}));
    config.clearKeyword(0);
    EXPECT_FALSE(keywordIs(config.line(0), "baud"));
    EXPECT_FALSE(keywordIs(config.line(0), ""));
    const CMessageH log = plainLog("CPallador");
    bool result = true;
    const std::string output =
        captureOutput([&] { result = reportUnknownOptions(*config.get(), log); });
    EXPECT_FALSE(result);
    EXPECT_EQ(output, "CPallador: ERROR: CConfigH: Unknown option \"\" found at line 9.\n");
}

}  // namespace

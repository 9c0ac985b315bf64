#include "config/options.h"

#include <cctype>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>

namespace {

std::int32_t saturate(long long value) {
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the longest prefix in decimal or exponent notation, after
// leading white space and an optional sign; 0 when there is no number.
// Words such as inf and nan and hexadecimal forms are not numbers here:
// they read as 0, as in the 32-bit C runtime, so an infinity or a NaN never
// reaches a curve or a transform.
std::size_t decimalPrefix(const char* text) {
    const char* cursor = text;
    while (std::isspace(static_cast<unsigned char>(*cursor)) != 0) {
        ++cursor;
    }
    if (*cursor == '+' || *cursor == '-') {
        ++cursor;
    }
    bool digits = false;
    while (isDigit(*cursor)) {
        ++cursor;
        digits = true;
    }
    if (*cursor == '.') {
        ++cursor;
        while (isDigit(*cursor)) {
            ++cursor;
            digits = true;
        }
    }
    if (!digits) {
        return 0;
    }
    if (*cursor == 'e' || *cursor == 'E') {
        const char* exponent = cursor + 1;
        if (*exponent == '+' || *exponent == '-') {
            ++exponent;
        }
        if (isDigit(*exponent)) {
            while (isDigit(*exponent)) {
                ++exponent;
            }
            cursor = exponent;
        }
    }
    return static_cast<std::size_t>(cursor - text);
}

// The C locale's strtod. A host may have set another locale (a German one
// would read "1.5" as 1); the decimal point here is always ".".
double strtodClassic(const char* text, const char** end) {
    const std::size_t length = decimalPrefix(text);
    if (length == 0) {
        if (end != nullptr) {
            *end = text;
        }
        return 0.0;
    }
    const std::lconv* conventions = std::localeconv();
    const char* point = conventions != nullptr && conventions->decimal_point != nullptr &&
                                conventions->decimal_point[0] != '\0'
                            ? conventions->decimal_point
                            : ".";
    const std::string_view prefix(text, length);
    const std::string copy = withDecimalPoint(prefix, point);
    char* stop = nullptr;
    const double value = std::strtod(copy.c_str(), &stop);
    if (end != nullptr) {
        // The copy is the whole prefix in the locale's spelling, so strtod
        // takes all of it; the copy's length differs by the point's bytes.
        *end = stop == copy.c_str() ? text : text + length;
    }
    return value;
}

std::int32_t readInteger(const char* text, int base) {
    if (text == nullptr) {
        return 0;
    }
    // strtoll covers the whole 32-bit range and beyond; clamp as a 32-bit
    // long would (strtol there saturates at LONG_MIN / LONG_MAX).
    errno = 0;
    return saturate(std::strtoll(text, nullptr, base));
}

// A real in single precision; false for one beyond it.
bool toSingle(double value, float& single) {
    single = static_cast<float>(value);
    return !std::isinf(single);
}

}  // namespace

void toLowerInPlace(char* text) {
    if (text == nullptr) {
        return;
    }
    for (; *text != '\0'; ++text) {
        *text = static_cast<char>(std::tolower(static_cast<unsigned char>(*text)));
    }
}

int compareNoCase(const char* a, const char* b) {
    // Byte by byte on lower-cased values, as comparing two lower-cased copies
    // would, without the copies.
    const auto* left = reinterpret_cast<const unsigned char*>(a != nullptr ? a : "");
    const auto* right = reinterpret_cast<const unsigned char*>(b != nullptr ? b : "");
    for (;; ++left, ++right) {
        const auto l = static_cast<unsigned char>(std::tolower(*left));
        const auto r = static_cast<unsigned char>(std::tolower(*right));
        if (l != r) {
            return l < r ? -1 : 1;
        }
        if (l == '\0') {
            return 0;
        }
    }
}

std::int32_t toInteger(const char* text) {
    return readInteger(text, 0);
}

std::int32_t toDecimalInteger(const char* text) {
    return readInteger(text, 10);
}

std::string withDecimalPoint(std::string_view prefix, const char* decimalPoint) {
    std::string copy;
    copy.reserve(prefix.size() + std::strlen(decimalPoint));
    for (const char c : prefix) {
        if (c == '.') {
            copy += decimalPoint;
        } else {
            copy += c;
        }
    }
    return copy;
}

double toReal(const char* text) {
    if (text == nullptr) {
        return 0.0;
    }
    return strtodClassic(text, nullptr);
}

bool isInvalidZero(double value, const char* text) {
    return value == 0.0 && text != nullptr &&
           std::isalpha(static_cast<unsigned char>(text[0])) != 0;
}

bool readReal(const char* text, float& value) {
    const double read = toReal(text);
    return !isInvalidZero(read, text) && toSingle(read, value);
}

void readVector(const char* text, float* values, int count) {
    for (int i = 0; i < count; ++i) {
        values[i] = 0.0f;
    }
    if (text == nullptr || text[0] != '[') {
        return;
    }
    // The template "[%f,%f,...]": the scan stops at the first field that
    // does not convert; blanks before a number are skipped as by %f.
    const char* cursor = text + 1;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            if (*cursor != ',') {
                return;
            }
            ++cursor;
        }
        while (std::isspace(static_cast<unsigned char>(*cursor)) != 0) {
            ++cursor;
        }
        const char* end = cursor;
        float value = 0.0f;
        if (!toSingle(strtodClassic(cursor, &end), value) || end == cursor) {
            return;
        }
        values[i] = value;
        cursor = end;
    }
}

std::uint32_t lineCountOf(const DeviceConfig& config) {
    return config.lineCount < DeviceConfig::kMaxLines ? config.lineCount : DeviceConfig::kMaxLines;
}

std::uint32_t argCountOf(const OptionLine& line) {
    return line.argCount < OptionLine::kMaxArgs ? line.argCount : OptionLine::kMaxArgs;
}

const char* argumentAt(const OptionLine& line, std::uint32_t index) {
    if (index >= argCountOf(line) || line.args[index] == nullptr) {
        return "";
    }
    return line.args[index];
}

bool keywordIs(const OptionLine& line, const char* word) {
    return line.name != nullptr && compareNoCase(line.name, word) == 0;
}

bool readyToParse(bool hasTable, const DeviceConfig* config, const CMessageH& log,
                  const char* noTableText, const char* noConfigText) {
    if (!hasTable) {
        log.error(noTableText, true);
        return false;
    }
    if (config == nullptr) {
        log.error(noConfigText, true);
        return false;
    }
    return true;
}

OptionLineView::OptionLineView(const OptionLine& line, const char* name, const CMessageH& log,
                               const char* lead, bool earlierLineRejected)
    : line_(line), name_(name), log_(log), lead_(lead), earlierLineRejected_(earlierLineRejected) {}

LineResult OptionLineView::reject(const char* failurePhrase) const {
    log_.error(lead_, false);
    std::cout << failurePhrase << name_ << " at line " << line_.lineNumber << "." << std::endl;
    return LineResult::rejected;
}

LineResult OptionLineView::rejectOption(const char* failurePhrase, const char* ending) const {
    log_.error(lead_, false);
    std::cout << failurePhrase << name_ << " option at line " << line_.lineNumber << ending
              << std::endl;
    return LineResult::rejected;
}

LineResult OptionLineView::rejectLine(const char* text) const {
    log_.error(lead_, false);
    std::cout << text << line_.lineNumber << "." << std::endl;
    return LineResult::rejected;
}

bool reportUnknownOptions(const DeviceConfig& config, const CMessageH& log) {
    bool result = true;
    const std::uint32_t count = lineCountOf(config);
    for (std::uint32_t slot = 0; slot < count; ++slot) {
        const OptionLine& line = config.lines[slot];
        if (line.used != 0) {
            continue;
        }
        log.error("CConfigH: Unknown option \"", false);
        std::cout << (line.name != nullptr ? line.name : "") << "\" found at line "
                  << line.lineNumber << "." << std::endl;
        result = false;
    }
    return result;
}

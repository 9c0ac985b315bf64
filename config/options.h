// The conventions every option parser follows: keyword matching without
// regard to case, the reading of numbers, vectors and words, the shape of a
// rejection message, and the check for lines that nobody took.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/DeviceConfig.h"
#include "support/CMessageH.h"

// 0 for equal strings, -1 or 1 by the first differing byte, case ignored.
int compareNoCase(const char* a, const char* b);
void toLowerInPlace(char* text);

// strtol with base 0, as the 32-bit C runtime does it: saturating at the
// 32-bit range whatever the width of long.
std::int32_t toInteger(const char* text);
// atoi of the 32-bit C runtime (decimal only), likewise saturating.
std::int32_t toDecimalInteger(const char* text);
// strtod in the C locale, whatever locale the host process has set.
double toReal(const char* text);
// The number text `prefix` (blanks, sign, digits, one ".", exponent) with its
// "." replaced by the whole of `decimalPoint`, which may be several bytes
// long (a UTF-8 Arabic decimal separator, say), so that the locale's strtod
// reads it as the C locale would.
std::string withDecimalPoint(std::string_view prefix, const char* decimalPoint);

// The number-or-invalid rule: a value of 0 read from an argument whose first
// character is a letter is invalid.
bool isInvalidZero(double value, const char* text);
// A real argument under the number-or-invalid rule, in single precision, as
// curves and transforms keep it. False for a word that reads as 0 ("inf",
// "nan", "two") and for a value beyond single precision ("1e39"), which
// would otherwise reach a curve or a transform as an infinity.
bool readReal(const char* text, float& value);

// A bracketed vector such as "[1,2,3,4]" read into `count` floats (4 or 6),
// cleared to 0 first; fields after the first that fails stay 0, and a field
// beyond single precision fails like a word. Only for arguments that begin
// with "[". Read in the C locale.
void readVector(const char* text, float* values, int count);

// The argument k (0-based) of a line, with a null pointer read as "" and an
// index beyond the valid arguments read as "".
const char* argumentAt(const OptionLine& line, std::uint32_t index);
// Slots actually present: lineCount, but never more than the record holds.
std::uint32_t lineCountOf(const DeviceConfig& config);
// Arguments actually present: argCount, but never more than the line holds.
std::uint32_t argCountOf(const OptionLine& line);
// True when the line's keyword equals one of the given words, case ignored.
bool keywordIs(const OptionLine& line, const char* word);

// The failure phrases every parser's messages begin with.
namespace phrase {
inline constexpr const char* kIncomplete = "Incomplete option line found for ";
inline constexpr const char* kTooMany = "Too many args found for ";
inline constexpr const char* kInvalidArg = "Invalid arg found for ";
inline constexpr const char* kInvalidString = "Invalid string found for ";
inline constexpr const char* kInvalidUnit = "Invalid unit found for ";
inline constexpr const char* kInvalidController = "Invalid controller ID found for ";
inline constexpr const char* kInvalidValuator = "Invalid valuator ID found for ";
inline constexpr const char* kInvalidButton = "Invalid button ID found for ";
inline constexpr const char* kInvalidTracker = "Invalid tracker ID found for ";
inline constexpr const char* kInvalidId = "Invalid ID found in ";
inline constexpr const char* kSameId = "Same ID found more than once in ";
}  // namespace phrase

// What a keyword's handler made of its line: taken (marked used), refused
// (its one message printed; the parser fails at the end) or left alone (no
// message, not marked: another parser or the unknown-option check has it).
enum class LineResult { accepted, rejected, leftAlone };
// The outcome of a check a handler makes on the way: nothing when the
// handler goes on, otherwise what the line came to.
using LineVerdict = std::optional<LineResult>;

// One option line as its handler sees it: the arguments, whether an earlier
// line of the same parser was refused, and the one way to refuse this line.
// Every refusal is one line of output: the log's ERROR header with the
// parser's lead text, then the failure phrase, the option's name and its
// "at line " words, the line number and the ending.
class OptionLineView {
public:
    OptionLineView(const OptionLine& line, const char* name, const CMessageH& log, const char* lead,
                   bool earlierLineRejected);

    std::uint32_t argCount() const { return argCountOf(line_); }
    const char* arg(std::uint32_t index) const { return argumentAt(line_, index); }
    bool earlierLineRejected() const { return earlierLineRejected_; }

    // "<phrase><Name> at line <n>."
    LineResult reject(const char* failurePhrase) const;
    // "<phrase><Name> option at line <n><ending>"
    LineResult rejectOption(const char* failurePhrase, const char* ending = ".") const;
    // "<text><n>.", for the one message that names no option.
    LineResult rejectLine(const char* text) const;

private:
    const OptionLine& line_;
    const char* name_;
    const CMessageH& log_;
    const char* lead_;
    bool earlierLineRejected_;
};

// One row of a parser's keyword table: the keywords that act identically,
// the option's name in messages, and the member that handles the line.
template <class Parser>
struct OptionKeyword {
    static constexpr std::size_t kMaxAliases = 3;
    const char* aliases[kMaxAliases];
    const char* name;
    LineResult (Parser::*handle)(const OptionLineView& line);
};

// The checks before a parser's walk: its table and the host's record must
// be there; a missing one is reported with the parser's own text.
bool readyToParse(bool hasTable, const DeviceConfig* config, const CMessageH& log,
                  const char* noTableText, const char* noConfigText);

// The walk every parser makes: each line once, in slot order, handled by
// the first row one of whose keywords it has (case ignored); lines with no
// such keyword are left alone. False when any line was refused.
template <class Parser, std::size_t N>
bool parseOptionLines(Parser& parser, DeviceConfig& config, const OptionKeyword<Parser> (&table)[N],
                      const CMessageH& log, const char* lead) {
    bool rejected = false;
    const std::uint32_t count = lineCountOf(config);
    for (std::uint32_t slot = 0; slot < count; ++slot) {
        OptionLine& line = config.lines[slot];
        for (const OptionKeyword<Parser>& row : table) {
            bool matches = false;
            for (const char* alias : row.aliases) {
                matches = matches || (alias != nullptr && keywordIs(line, alias));
            }
            if (!matches) {
                continue;
            }
            const OptionLineView view(line, row.name, log, lead, rejected);
            const LineResult result = (parser.*row.handle)(view);
            if (result == LineResult::accepted) {
                line.used = 1;
            }
            rejected = rejected || result == LineResult::rejected;
            break;
        }
    }
    return !rejected;
}

// Every line not marked used, one message each; true when there was none.
bool reportUnknownOptions(const DeviceConfig& config, const CMessageH& log);

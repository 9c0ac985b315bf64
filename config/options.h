// The conventions every option parser follows: keyword matching without
// regard to case, the reading of numbers, vectors and words, the shape of a
// rejection message, and the check for lines that nobody took.
#pragma once

#include <cstdint>

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

// The number-or-invalid rule: a value of 0 read from an argument whose first
// character is a letter is invalid.
bool isInvalidZero(double value, const char* text);

// A bracketed vector such as "[1,2,3,4]" read into `count` floats (4 or 6),
// cleared to 0 first; fields after the first that fails stay 0. Only for
// arguments that begin with "[". Read in the C locale.
void readVector(const char* text, float* values, int count);

// The argument k (0-based) of a line, with a null pointer read as "" and an
// index beyond the valid arguments read as "".
const char* argumentAt(const OptionLine& line, std::uint32_t index);
// The line's keyword; null stays null (it matches no keyword).
const char* keywordOf(const OptionLine& line);
// Slots actually present: lineCount, but never more than the record holds.
std::uint32_t lineCountOf(const DeviceConfig& config);
// Arguments actually present: argCount, but never more than the line holds.
std::uint32_t argCountOf(const OptionLine& line);
// True when the line's keyword equals one of the given words, case ignored.
bool keywordIs(const OptionLine& line, const char* word);

// One rejected line: the log's ERROR header (with `lead` as its text, "" for
// the mapping and tracker parsers, "CPallador: " for the device), then the
// failure phrase, the option phrase, the line number and the ending.
void reportOptionError(const CMessageH& log, const char* lead, const char* failurePhrase,
                       const char* optionPhrase, std::uint32_t lineNumber,
                       const char* ending = ".");

// Every line not marked used, one message each; true when there was none.
bool reportUnknownOptions(const DeviceConfig& config, const CMessageH& log);

// What both fuzz targets share: a quiet standard output, a log record, a
// fresh output stream state per run, and a finding that stops the fuzzer.
#pragma once

#include <string>

#include "support/CMessageH.h"

namespace fuzzsupport {

// Standard output goes nowhere (formatting still runs), unless the
// environment sets PALLADOR_FUZZ_OUTPUT, for reading what a crash file does.
void quietOutput();

// Every run starts from the stream state a freshly started host has: a
// tracker report leaves fixed notation behind for all later floats.
void resetOutputState();

// A host log record without stamps; with debug, every DEBUG line is written.
CMessageH hostLog(bool debug);

// Reports what broke and aborts, which libFuzzer records as a crash.
[[noreturn]] void finding(const std::string& what);
// A finding when `description` (a guard check's result) is not empty.
void expectIntact(const std::string& description);

}  // namespace fuzzsupport

// Reading the plug-in's output in fault tests: its lines, the errors among
// them, and the entries it left in the host's storage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/ConData.h"

namespace testing_support {

// The output as lines. A system text may bring its own line end (Windows
// texts end in "\r\n"); that end and the empty line it leaves are dropped.
std::vector<std::string> outputLines(const std::string& output);

// The lines that begin with `prefix`, in order.
std::vector<std::string> linesStartingWith(const std::string& output, const std::string& prefix);

// The ERROR and WARNING lines of the host's log record ("HOST: ...").
std::vector<std::string> problemLines(const std::string& output);

bool hasLine(const std::string& output, const std::string& line);

// All 184 bytes of an entry, to tell whether anything wrote it.
std::vector<std::uint8_t> recordBytes(const ConData* entry);

// Valuator `index` (1..32) as stored: thousandths, in host byte order.
std::int32_t storedValuator(const ConData* entry, std::uint32_t index);

}  // namespace testing_support

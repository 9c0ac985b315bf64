// Published records as text: one plain line, or one JSON line, each.
#pragma once

#include <string>

#include "storage/ConData.h"
#include "storage/TraData.h"

namespace host {

// `t` is the host's time of the record in seconds since the run began.
std::string plainLine(double t, const ConData& record);
std::string plainLine(double t, const TraData& record);
std::string jsonLine(double t, const ConData& record);
std::string jsonLine(double t, const TraData& record);

// The counts a record claims, held to what the record can carry.
std::uint32_t valuatorsOf(const ConData& record);
std::uint32_t buttonsOf(const ConData& record);

}  // namespace host

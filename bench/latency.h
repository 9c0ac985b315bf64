// Latency from the simulator's last-byte stamps to the host's stamps of the
// records it found in its entry, both on CLOCK_MONOTONIC in microseconds and
// matched by the frame's valuator-1 word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FrameStamp {
    std::int64_t microseconds;
    int word;  // valuator 1 of the frame
};

struct LatencySummary {
    std::size_t matched = 0;
    std::size_t unmatched = 0;
    double medianMicroseconds = 0.0;
    double p99Microseconds = 0.0;
    double maxMicroseconds = 0.0;
};

// The pairs of a "stamps" reply ("ok T:V T:V ..."); empty for anything else.
std::vector<FrameStamp> parseStamps(const std::string& reply);

// Each host stamp is paired with the device frame of the same word nearest
// in time (words repeat only after 1024 frames, more than a second at any
// rate measured). A host stamp without such a frame within half a second
// counts as unmatched.
LatencySummary summariseLatency(const std::vector<FrameStamp>& device,
                                const std::vector<FrameStamp>& host);

// The p-quantile (0..1) of ascending values, nearest rank; 0 for none.
double quantile(const std::vector<double>& ascending, double p);

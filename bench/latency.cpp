#include "bench/latency.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

namespace {

constexpr std::int64_t kMatchWindowMicroseconds = 500000;

}  // namespace

std::vector<FrameStamp> parseStamps(const std::string& reply) {
    std::vector<FrameStamp> stamps;
    if (reply.rfind("ok", 0) != 0) {
        return stamps;
    }
    std::istringstream in(reply.substr(2));
    std::string pair;
    while (in >> pair) {
        const auto colon = pair.find(':');
        if (colon == std::string::npos) {
            return {};
        }
        stamps.push_back(
            {std::strtoll(pair.c_str(), nullptr, 10), std::atoi(pair.c_str() + colon + 1)});
    }
    return stamps;
}

LatencySummary summariseLatency(const std::vector<FrameStamp>& device,
                                const std::vector<FrameStamp>& host) {
    std::map<int, std::vector<std::int64_t>> byWord;
    for (const FrameStamp& s : device) {
        byWord[s.word].push_back(s.microseconds);
    }
    for (auto& [word, times] : byWord) {
        std::sort(times.begin(), times.end());
    }
    LatencySummary summary;
    std::vector<double> latencies;
    latencies.reserve(host.size());
    for (const FrameStamp& h : host) {
        const auto found = byWord.find(h.word);
        if (found == byWord.end()) {
            ++summary.unmatched;
            continue;
        }
        const std::vector<std::int64_t>& times = found->second;
        const auto after = std::lower_bound(times.begin(), times.end(), h.microseconds);
        std::int64_t best = kMatchWindowMicroseconds + 1;
        std::int64_t latency = 0;
        for (auto it : {after, after == times.begin() ? times.end() : after - 1}) {
            if (it == times.end()) {
                continue;
            }
            const std::int64_t d = h.microseconds - *it;
            if (std::llabs(d) < best) {
                best = std::llabs(d);
                latency = d;
            }
        }
        if (best > kMatchWindowMicroseconds) {
            ++summary.unmatched;
            continue;
        }
        latencies.push_back(static_cast<double>(latency));
    }
    std::sort(latencies.begin(), latencies.end());
    summary.matched = latencies.size();
    summary.medianMicroseconds = quantile(latencies, 0.5);
    summary.p99Microseconds = quantile(latencies, 0.99);
    summary.maxMicroseconds = latencies.empty() ? 0.0 : latencies.back();
    return summary;
}

double quantile(const std::vector<double>& ascending, double p) {
    if (ascending.empty()) {
        return 0.0;
    }
    const auto rank =
        static_cast<std::size_t>(std::ceil(p * static_cast<double>(ascending.size())));
    return ascending[std::clamp<std::size_t>(rank, 1, ascending.size()) - 1];
}

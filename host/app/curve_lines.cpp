#include "host/app/curve_lines.h"

#include <cstdlib>
#include <optional>
#include <set>
#include <vector>

#include "host/app/calibration.h"
#include "host/app/host_config.h"
#include "host/kit/config.h"

namespace host {

namespace {

// A line's text without its ending, and the ending.
struct TextLine {
    std::string text;
    std::string ending;
};

std::vector<TextLine> linesOf(const std::string& text) {
    std::vector<TextLine> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        const bool last = end == std::string::npos;
        end = last ? text.size() : end;
        const bool crlf = end > at && text[end - 1] == '\r';
        lines.push_back(
            {text.substr(at, end - at - (crlf ? 1 : 0)), last ? "" : (crlf ? "\r\n" : "\n")});
        at = end + 1;
    }
    return lines;
}

// The real valuators of controller 1 a curve line sets, or nothing for any
// other line.
std::optional<std::set<int>> curveChannels(const std::vector<std::string>& words) {
    if (words.size() < 4 || !isKeyword(words[0], "valuatorscale") ||
        std::strtol(words[1].c_str(), nullptr, 0) != 1) {
        return std::nullopt;
    }
    std::set<int> channels;
    for (std::size_t i = 3; i < words.size(); ++i) {
        if (isKeyword(words[i], "all")) {
            for (int channel = 1; channel <= kCalibratedChannels; ++channel)
                channels.insert(channel);
            break;
        }
        channels.insert(static_cast<int>(std::strtol(words[i].c_str(), nullptr, 0)));
    }
    return channels;
}

// The line kept for the channels not calibrated, its comment after them.
std::string narrowed(const std::string& line, const hostkit::ConfigLine& split,
                     const std::set<int>& kept) {
    std::string text = split.words[0] + ' ' + split.words[1] + ' ' + split.words[2];
    for (const int channel : kept) text += ' ' + std::to_string(channel);
    if (split.commentAt != std::string::npos) text += "  " + line.substr(split.commentAt);
    return text;
}

}  // namespace

std::string withCurves(const std::string& text, const std::map<int, std::string>& curves) {
    const std::vector<TextLine> lines = linesOf(text);
    const std::string ending = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::vector<TextLine> kept;
    std::optional<std::size_t> insertAt;
    for (const TextLine& line : lines) {
        const hostkit::ConfigLine split = hostkit::splitConfigLine(line.text);
        if (!split.words.empty() && isKeyword(split.words[0], "valuatororder") && !insertAt) {
            insertAt = kept.size();
        }
        const std::optional<std::set<int>> channels = curveChannels(split.words);
        if (!channels) {
            kept.push_back(line);
            continue;
        }
        std::set<int> others;
        for (const int channel : *channels) {
            if (curves.count(channel) == 0) others.insert(channel);
        }
        if (others.size() == channels->size()) {
            kept.push_back(line);
            continue;
        }
        if (!insertAt) insertAt = kept.size();
        if (!others.empty()) kept.push_back({narrowed(line.text, split, others), line.ending});
    }
    if (!kept.empty() && kept.back().ending.empty()) kept.back().ending = ending;
    std::vector<TextLine> added;
    for (const auto& [channel, curve] : curves) added.push_back({curve, ending});
    kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(insertAt.value_or(kept.size())),
                added.begin(), added.end());
    std::string result;
    for (const TextLine& line : kept) result += line.text + line.ending;
    return result;
}

}  // namespace host

// The control commands. Every reply is one line: "ok" with its data, or
// "error" with the reason; no command changes anything when it fails.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

#include "sim/clock.h"
#include "sim/hex.h"
#include "sim/line_attributes.h"
#include "sim/script.h"
#include "sim/simulator.h"

namespace sim {

namespace {

constexpr std::size_t kMaxAnswerLength = 1000;
constexpr long kMaxSilentMilliseconds = 3600 * 1000;
// Noise is a few of the low bits; more would be a broken channel.
constexpr long kMaxNoise = 64;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A whole decimal number within [low, high], or nothing.
bool parseNumber(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text.size() > 10) return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && value >= low && value <= high;
}

std::string onOff(bool on) {
    return on ? "on" : "off";
}

const char kLineDown[] = "error line is hung up (replug first)";

// The command's words, split at blanks.
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> found;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(" \t", at)) != std::string::npos) {
        const std::size_t end = text.find_first_of(" \t", at);
        found.push_back(text.substr(at, end - at));
        at = end;
    }
    return found;
}

// "lose,stray": known kinds, each once.
bool parseKinds(const std::string& text, std::vector<FaultKind>& kinds) {
    kinds.clear();
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = text.find(',', at);
        const auto kind = parseFaultKind(text.substr(at, comma - at));
        if (!kind || std::find(kinds.begin(), kinds.end(), *kind) != kinds.end()) return false;
        kinds.push_back(*kind);
        if (comma == std::string::npos) return true;
        at = comma + 1;
    }
}

// One item for every channel, or one for each of the six, comma-separated.
std::optional<std::vector<std::string>> channelItems(const std::string& text) {
    std::vector<std::string> items;
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = text.find(',', at);
        items.push_back(text.substr(at, comma - at));
        if (comma == std::string::npos) break;
        at = comma + 1;
    }
    if (items.size() == 1) items.resize(kValuatorCount, items.front());
    if (items.size() != static_cast<std::size_t>(kValuatorCount)) return std::nullopt;
    return items;
}

bool parseChannelValues(const std::string& text, long high, Valuators& values) {
    const auto items = channelItems(text);
    if (!items) return false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        long value = 0;
        if (!parseNumber((*items)[i], 0, high, value)) return false;
        values[i] = static_cast<std::uint16_t>(value);
    }
    return true;
}

// "LO-HI" items, each end a reading 0..1023 and LO below HI.
bool parseTravel(const std::string& text, Valuators& low, Valuators& high) {
    const auto items = channelItems(text);
    if (!items) return false;
    for (std::size_t i = 0; i < low.size(); ++i) {
        const std::string& item = (*items)[i];
        const std::size_t dash = item.find('-');
        long from = 0;
        long to = 0;
        if (dash == std::string::npos ||
            !parseNumber(item.substr(0, dash), 0, kValuatorMax, from) ||
            !parseNumber(item.substr(dash + 1), 0, kValuatorMax, to) || from >= to) {
            return false;
        }
        low[i] = static_cast<std::uint16_t>(from);
        high[i] = static_cast<std::uint16_t>(to);
    }
    return true;
}

// The channels whose rest point lies outside their travel, as "1,4".
std::string restOutsideTravel(const Valuators& rest, const Valuators& low, const Valuators& high) {
    std::string channels;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] < low[i] || rest[i] > high[i]) {
            channels.append(channels.empty() ? "" : ",").append(std::to_string(i + 1));
        }
    }
    return channels;
}

}  // namespace

std::string Simulator::execute(const std::string& command) {
    using Handler = std::string (Simulator::*)(const std::string&);
    static const std::map<std::string, Handler> table = {
        {"help", &Simulator::help},
        {"status", &Simulator::status},
        {"attrs", &Simulator::attrs},
        {"send", &Simulator::send},
        {"received", &Simulator::received},
        {"mode", &Simulator::mode},
        {"frame", &Simulator::frame},
        {"script", &Simulator::script},
        {"rest-point", &Simulator::restPoint},
        {"travel", &Simulator::travel},
        {"noise", &Simulator::noise},
        {"silent", &Simulator::silent},
        {"probe-answer", &Simulator::probeAnswer},
        {"stream", &Simulator::stream},
        {"half-word", &Simulator::halfWord},
        {"burst", &Simulator::burst},
        {"latency", &Simulator::latency},
        {"answer-delay", &Simulator::answerDelay},
        {"lose", &Simulator::lose},
        {"stray", &Simulator::stray},
        {"corrupt", &Simulator::corrupt},
        {"faults", &Simulator::faults},
        {"fault-log", &Simulator::faultLog},
        {"stamps", &Simulator::stamps},
        {"clock", &Simulator::clock},
        {"hangup", &Simulator::hangup},
        {"hangup-after", &Simulator::hangupAfter},
        {"replug", &Simulator::replug},
        {"reset", &Simulator::reset},
        {"quit", &Simulator::quit},
    };
    const std::string line = trimmed(command);
    const auto space = line.find(' ');
    const std::string name = line.substr(0, space);
    const std::string args =
        space == std::string::npos ? std::string() : trimmed(line.substr(space));
    const auto entry = table.find(name);
    std::string reply = entry == table.end() ? "error unknown command '" + name + "' (try help)"
                                             : (this->*entry->second)(args);
    if (options_.verbose) log("control: " + line + " -> " + reply.substr(0, 200));
    return reply;
}

std::string Simulator::help(const std::string&) {
    return "ok commands: attrs send received mode frame script rest-point travel noise silent "
           "probe-answer stream "
           "half-word burst latency answer-delay lose stray corrupt faults fault-log stamps clock "
           "hangup "
           "hangup-after replug reset status quit";
}

std::string Simulator::status(const std::string&) {
    std::string reply = std::string("ok line=") + (line_.isUp() ? "up" : "down");
    reply += " pts=" + line_.slavePath();
    if (!line_.linkPath().empty()) reply += " link=" + line_.linkPath();
    reply += ' ' + model_.describe();
    reply += " silent=" + std::string(model_.silentAt(monotonicMicroseconds()) ? "yes" : "no");
    reply += " burst=" + std::to_string(pacer_.burst());
    reply += " latency=" + std::to_string(pacer_.latency());
    reply += " answer-delay=" + std::to_string(model_.answerDelay() / 1000);
    reply += " stamps=" + onOff(stamping_);
    reply += " overruns=" + std::to_string(overruns_);
    reply += ' ' + model_.faults().describe();
    return reply;
}

std::string Simulator::attrs(const std::string&) {
    termios settings{};
    if (!line_.isUp()) return kLineDown;
    if (!line_.attributes(settings)) return "error cannot read the line settings";
    return "ok " + describeAttributes(settings);
}

std::string Simulator::send(const std::string& args) {
    const auto bytes = fromHex(args);
    if (!bytes || bytes->empty()) return "error usage: send HEX (pairs of hex digits)";
    if (!line_.isUp()) return kLineDown;
    std::size_t sent = 0;
    while (sent < bytes->size()) {
        const ssize_t written = write(line_.master(), bytes->data() + sent, bytes->size() - sent);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
        sent += static_cast<std::size_t>(written);
    }
    overruns_ += bytes->size() - sent;
    return "ok sent=" + std::to_string(sent);
}

std::string Simulator::received(const std::string&) {
    // Whatever the driver wrote before asking is in by now, unless the
    // kernel still holds it; the client's waiting helper covers that.
    if (line_.isUp()) drainLine(monotonicMicroseconds());
    const std::string hex = toHex(received_);
    received_.clear();
    return hex.empty() ? "ok" : "ok " + hex;
}

std::string Simulator::mode(const std::string& args) {
    const std::int64_t now = monotonicMicroseconds();
    if (args == "passive") {
        model_.setAnswering(false);
        model_.dropRequests();
    } else if (args == "rest") {
        model_.source().rest();
    } else if (args == "sweep") {
        model_.source().sweep(now);
    } else if (args == "fresh") {
        model_.source().fresh();
    } else {
        return "error usage: mode passive|rest|sweep|fresh";
    }
    if (args != "passive") model_.setAnswering(true);
    return "ok mode=" + args;
}

std::string Simulator::frame(const std::string& args) {
    Frame frame{};
    if (!parseFrame(args, frame)) return "error usage: frame HEX (14 bytes in hex)";
    model_.source().fixed(frame);
    model_.setAnswering(true);
    return "ok mode=frame " + toHex(frame.data(), frame.size());
}

std::string Simulator::script(const std::string& args) {
    if (args.empty()) return "error usage: script FILE";
    std::ifstream file(args);
    if (!file) return "error cannot open " + args;
    ParsedScript parsed = parseScript(file);
    if (!parsed.error.empty()) return "error " + args + ": " + parsed.error;
    const std::size_t lines = parsed.entries.size();
    model_.source().script(std::move(parsed.entries));
    model_.setAnswering(true);
    return "ok mode=script lines=" + std::to_string(lines);
}

std::string Simulator::restPoint(const std::string& args) {
    Valuators rest{};
    if (!parseChannelValues(args, kValuatorMax, rest)) {
        return "error usage: rest-point V|V1,V2,V3,V4,V5,V6 (readings 0 to 1023)";
    }
    Valuators low{};
    Valuators high{};
    for (std::size_t i = 0; i < rest.size(); ++i) {
        low[i] = model_.source().channels()[i].low;
        high[i] = model_.source().channels()[i].high;
    }
    const std::string outside = restOutsideTravel(rest, low, high);
    if (!outside.empty()) return "error rest point outside the travel of valuator " + outside;
    model_.source().setRestPoints(rest);
    return "ok " + words(describeChannels(model_.source()))[0];
}

std::string Simulator::travel(const std::string& args) {
    Valuators low{};
    Valuators high{};
    if (!parseTravel(args, low, high)) {
        return "error usage: travel LO-HI|LO-HI,...(six) (readings 0 to 1023, LO below HI)";
    }
    Valuators rest{};
    for (std::size_t i = 0; i < rest.size(); ++i) rest[i] = model_.source().channels()[i].rest;
    const std::string outside = restOutsideTravel(rest, low, high);
    if (!outside.empty()) return "error travel leaves out the rest point of valuator " + outside;
    model_.source().setTravel(low, high);
    return "ok " + words(describeChannels(model_.source()))[1];
}

std::string Simulator::noise(const std::string& args) {
    const std::vector<std::string> parts = words(args);
    Valuators counts{};
    long seed = 1;
    if (parts.size() == 1 && parts[0] == "off") {
        model_.source().setNoise(counts, 1);
        return "ok noise=off";
    }
    if (parts.empty() || parts.size() > 2 || !parseChannelValues(parts[0], kMaxNoise, counts) ||
        (parts.size() == 2 && !parseNumber(parts[1], 0, 4294967295, seed))) {
        return "error usage: noise N|N1,N2,N3,N4,N5,N6 [SEED] | noise off (N 0 to 64 counts; "
               "SEED 0 to 4294967295, default 1)";
    }
    model_.source().setNoise(counts, static_cast<std::uint32_t>(seed));
    const std::vector<std::string> described = words(describeChannels(model_.source()));
    return "ok " + described[2] + (described.size() > 3 ? ' ' + described[3] : "");
}

std::string Simulator::silent(const std::string& args) {
    long milliseconds = 0;
    if (!parseNumber(args, 0, kMaxSilentMilliseconds, milliseconds)) {
        return "error usage: silent MS (0 to 3600000)";
    }
    model_.switchOff(monotonicMicroseconds() + milliseconds * 1000, pacer_);
    return "ok silent=" + std::to_string(milliseconds);
}

std::string Simulator::probeAnswer(const std::string& args) {
    long count = 0;
    if (!parseNumber(args, 0, kMaxAnswerLength, count)) {
        return "error usage: probe-answer N (0 to 1000 bytes)";
    }
    model_.answerNextWith(static_cast<std::size_t>(count));
    return "ok probe-answer=" + std::to_string(count);
}

std::string Simulator::stream(const std::string& args) {
    if (args != "on" && args != "off") return "error usage: stream on|off";
    model_.setStreaming(args == "on");
    if (args == "off") pacer_.clear();
    return "ok stream=" + args;
}

std::string Simulator::halfWord(const std::string& args) {
    long word = 0;
    long silence = 0;
    const auto blank = args.find(' ');
    const std::string wordText = args.substr(0, blank);
    const std::string silenceText = blank == std::string::npos ? "" : args.substr(blank + 1);
    if ((!wordText.empty() && !parseNumber(wordText, 0, kFrameWords - 1, word)) ||
        (!silenceText.empty() && !parseNumber(silenceText, 0, 600000, silence))) {
        return "error usage: half-word [W [MS]] (word 0 to 6, default 0; then MS silent)";
    }
    model_.cutNextFrameInWord(static_cast<std::size_t>(word), silence);
    return "ok half-word=" + std::to_string(word) + " bytes=" + std::to_string(2 * word + 1) +
           " silent=" + std::to_string(silence);
}

std::string Simulator::burst(const std::string& args) {
    long bytes = 0;
    if (!parseNumber(args, 1, kMaxAnswerLength, bytes)) {
        return "error usage: burst N (bytes handed over at once, 1 to 1000; 1: one by one)";
    }
    pacer_.setBurst(static_cast<std::size_t>(bytes));
    return "ok burst=" + std::to_string(bytes);
}

std::string Simulator::latency(const std::string& args) {
    long milliseconds = 0;
    if (!parseNumber(args, 0, 255, milliseconds)) {
        return "error usage: latency MS (an adapter's latency timer, 0 to 255; 0: none)";
    }
    pacer_.setLatency(static_cast<unsigned>(milliseconds));
    return "ok latency=" + std::to_string(milliseconds);
}

std::string Simulator::answerDelay(const std::string& args) {
    long milliseconds = 0;
    if (!parseNumber(args, 0, 1000, milliseconds)) {
        return "error usage: answer-delay MS (from a request to its answer, 0 to 1000)";
    }
    model_.setAnswerDelay(milliseconds * 1000);
    return "ok answer-delay=" + std::to_string(milliseconds);
}

std::string Simulator::lose(const std::string& args) {
    long index = 0;
    if (!parseNumber(args, 0, static_cast<long>(kFrameBytes) - 1, index)) {
        return "error usage: lose I (byte 0 to 13 of the next answer)";
    }
    model_.faults().setNext({FaultKind::Lose, static_cast<std::size_t>(index), {}});
    return "ok lose=" + std::to_string(index);
}

std::string Simulator::stray(const std::string& args) {
    const std::vector<std::string> parts = words(args);
    long at = 0;
    std::optional<std::vector<std::uint8_t>> bytes;
    if (parts.size() >= 2) bytes = fromHex(args.substr(args.find_first_of(" \t")));
    if (parts.size() < 2 || !parseNumber(parts[0], 0, static_cast<long>(kFrameBytes), at) ||
        !bytes || bytes->empty() || bytes->size() > 16) {
        return "error usage: stray AT HEX (after byte AT 0 to 14 of the next answer, 1 to 16 "
               "bytes)";
    }
    model_.faults().setNext({FaultKind::Stray, static_cast<std::size_t>(at), *bytes});
    return "ok stray=" + std::to_string(at) + ':' + toHex(*bytes);
}

std::string Simulator::corrupt(const std::string& args) {
    const std::vector<std::string> parts = words(args);
    long index = 0;
    std::optional<std::vector<std::uint8_t>> value = std::vector<std::uint8_t>{};
    if (parts.size() == 2) value = fromHex(parts[1]);
    if (parts.empty() || parts.size() > 2 ||
        !parseNumber(parts[0], 0, static_cast<long>(kFrameBytes) - 1, index) || !value ||
        (parts.size() == 2 && value->size() != 1)) {
        return "error usage: corrupt I [VALUE] (byte 0 to 13 of the next answer; VALUE one hex "
               "byte, default the byte inverted)";
    }
    model_.faults().setNext({FaultKind::Corrupt, static_cast<std::size_t>(index), *value});
    return "ok corrupt=" + std::to_string(index) + ':' +
           (value->empty() ? "inverted" : toHex(*value));
}

std::string Simulator::faults(const std::string& args) {
    const std::vector<std::string> parts = words(args);
    if (parts.empty()) return "ok faults " + model_.faults().counts();
    if (parts.size() == 1 && (parts[0] == "off" || parts[0] == "0")) {
        model_.faults().setRandom(0, 0, {});
        return "ok faults=off";
    }
    long rate = 0;
    long seed = 0;
    std::vector<FaultKind> kinds = {FaultKind::Lose, FaultKind::Stray};
    if (parts.size() < 2 || parts.size() > 3 || !parseNumber(parts[0], 0, 1000000000, rate) ||
        !parseNumber(parts[1], 0, 4294967295, seed) ||
        (parts.size() == 3 && !parseKinds(parts[2], kinds))) {
        return "error usage: faults [RATE SEED [KINDS]] | faults off (RATE 0 to 1000000000, "
               "0: off; SEED 0 to 4294967295; KINDS a comma list of lose,stray,corrupt)";
    }
    if (rate == 0) kinds.clear();
    model_.faults().setRandom(static_cast<std::uint32_t>(rate), static_cast<std::uint32_t>(seed),
                              kinds);
    return "ok " + model_.faults().randomMode();
}

std::string Simulator::faultLog(const std::string& args) {
    if (!args.empty()) return "error usage: fault-log";
    const std::string log = model_.faults().takeLog();
    return log.empty() ? "ok" : "ok " + log;
}

// The simulator's clock, for a client whose own monotonic clock is another
// one (a program under Wine). The client either brackets the reply with its
// own readings, or reaches the monotonic clock through the wall clock that
// both of them can read: the wall-clock reading lies half-way between two
// monotonic ones here.
std::string Simulator::clock(const std::string& args) {
    if (!args.empty()) return "error usage: clock";
    const std::int64_t before = monotonicMicroseconds();
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    const std::int64_t after = monotonicMicroseconds();
    const std::int64_t wallMicroseconds =
        static_cast<std::int64_t>(wall.tv_sec) * 1000000 + wall.tv_nsec / 1000;
    return "ok " + std::to_string(before + (after - before) / 2) + ' ' +
           std::to_string(wallMicroseconds);
}

std::string Simulator::stamps(const std::string& args) {
    if (args == "on" || args == "off") {
        stamping_ = args == "on";
        stamps_.clear();
        return "ok stamps=" + args;
    }
    if (!args.empty()) return "error usage: stamps [on|off]";
    std::string reply = "ok";
    for (const Stamp& stamp : stamps_) {
        reply += ' ' + std::to_string(stamp.written) + ':' + std::to_string(stamp.valuator1);
    }
    stamps_.clear();
    return reply;
}

std::string Simulator::hangup(const std::string&) {
    takeLineDown();
    return "ok line=down";
}

std::string Simulator::hangupAfter(const std::string& args) {
    long count = 0;
    if (!parseNumber(args, 1, static_cast<long>(kFrameBytes), count)) {
        return "error usage: hangup-after N (1 to 14 bytes of the next answer)";
    }
    if (!line_.isUp()) return kLineDown;
    model_.unplugAfterNext(static_cast<std::size_t>(count));
    return "ok hangup-after=" + std::to_string(count);
}

std::string Simulator::replug(const std::string&) {
    pacer_.clear();
    model_.dropRequests();
    unplugAt_.reset();
    std::string error;
    if (!line_.plug(error)) return "error " + error;
    return "ok line=up pts=" + line_.slavePath();
}

std::string Simulator::reset(const std::string&) {
    model_.reset();
    pacer_.clear();
    unplugAt_.reset();
    pacer_.setBurst(1);
    pacer_.setLatency(0);
    stamping_ = false;
    stamps_.clear();
    line_.discardPending();
    received_.clear();
    overruns_ = 0;
    return std::string("ok line=") + (line_.isUp() ? "up" : "down");
}

std::string Simulator::quit(const std::string&) {
    quit_ = true;
    return "ok bye";
}

}  // namespace sim

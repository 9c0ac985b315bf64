#include "host/app/calibrate.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "host/app/calibration.h"
#include "host/app/command_line.h"
#include "host/app/curve_lines.h"
#include "host/app/device_reader.h"
#include "host/app/host_config.h"
#include "host/kit/arguments.h"
#include "host/kit/deadline.h"
#include "host/kit/whole_file.h"

namespace host {

const char* const kCalibrateUsage =
    "usage: pallador-host calibrate CONFIG [--write] [--rest-seconds S] [--travel-seconds S]\n"
    "                               [--no-dead-band] [--plugin PATH]\n"
    "  --write             put the curves into CONFIG (the old file kept as CONFIG.bak)\n"
    "  --rest-seconds S    how long the controls are left at rest (default 3)\n"
    "  --travel-seconds S  end the travel phase after S seconds instead of at Enter\n"
    "  --no-dead-band      curves nearest a straight line, even where the rest is noisy\n"
    "  --plugin PATH       the plug-in library (default as for a run)\n";

namespace {

using Clock = std::chrono::steady_clock;
using Readings = std::array<ChannelReadings, kCalibratedChannels>;

// The plug-in takes a few seconds to find a device that is there; after
// this long it is not.
constexpr double kAnswerSeconds = 10;
constexpr int kBarWidth = 52;
constexpr auto kRedrawInterval = std::chrono::milliseconds(50);

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string fileText(const std::string& path) {
    return hostkit::wholeFile(path).value_or("");
}

// Only the lines that reach the device's line: the curves stay y = x.
HostConfig lineOnly(const HostConfig& config) {
    HostConfig only = config;
    only.options.clear();
    for (const OptionText& option : config.options) {
        for (const char* keyword : {"port", "serialport", "baud", "baudrate"}) {
            if (isKeyword(option.keyword, keyword)) only.options.push_back(option);
        }
    }
    return only;
}

// The reach so far over the whole reading range: '=' reached, '+' the rest
// point, '#' where the control is now.
std::string reachBar(const ChannelReadings& travel, double rest, double now) {
    const auto cell = [](double reading) {
        return std::clamp(static_cast<int>(reading * kBarWidth / (kReadingMax + 1)), 0,
                          kBarWidth - 1);
    };
    std::string bar(kBarWidth, '.');
    if (travel.count > 0) {
        for (int i = cell(travel.low); i <= cell(travel.high); ++i) bar[i] = '=';
    }
    bar[cell(rest)] = '+';
    bar[cell(now)] = '#';
    return "[" + bar + "]";
}

class Calibration {
public:
    Calibration(const CalibrateRun& run, const std::atomic<bool>& stop, const ConfigResult& read)
        : run_(run),
          stop_(stop),
          read_(read),
          reader_(choosePlugin(run.settings.pluginPath, read.config, run.pluginPath)) {}

    int execute();

private:
    void say(const char* format, const std::string& text = "") const;
    void pluginSaid() const;
    int openDevice(const HostConfig& config);
    bool awaitDevice();
    void readRest();
    void readTravel();
    bool sample(std::array<double, kCalibratedChannels>& now);
    void drawBars(const std::array<double, kCalibratedChannels>& now, bool again) const;
    int report(std::map<int, std::string>& curves) const;
    int writeCurves(const std::string& original, const std::map<int, std::string>& curves);

    const CalibrateRun& run_;
    const std::atomic<bool>& stop_;
    const ConfigResult& read_;
    DeviceReader reader_;
    std::string port_;
    Readings rest_{};
    Readings travel_{};
};

void Calibration::say(const char* format, const std::string& text) const {
    std::fprintf(run_.out, format, text.c_str());
    std::fflush(run_.out);
}

// The plug-in's own account of a refusal, from its log.
void Calibration::pluginSaid() const {
    if (run_.pluginLogPath.empty()) return;
    std::istringstream log(fileText(run_.pluginLogPath));
    std::string line;
    while (std::getline(log, line)) {
        if (line.find("ERROR") != std::string::npos) say("  the plug-in: %s\n", line);
    }
}

// The configuration as the plug-in takes it, then the device's line alone
// with identity curves: 0, or the exit status of a refusal.
int Calibration::openDevice(const HostConfig& config) {
    const std::string& path = run_.settings.configPath;
    if (!reader_.loaded()) {
        say("pallador-host: %s\n", reader_.loadError());
        return 1;
    }
    const bool accepted = reader_.open(config);
    reader_.close();
    const bool lineOpens = reader_.open(lineOnly(config));
    if (!lineOpens) {
        say("pallador-host: the plug-in cannot open the device's line %s; nothing written.\n",
            port_);
        pluginSaid();
        return 1;
    }
    if (!accepted) {
        reader_.close();
        say("pallador-host: the plug-in rejects %s; nothing written.\n", path);
        pluginSaid();
        return 2;
    }
    return 0;
}

bool Calibration::awaitDevice() {
    say("Waiting for the device on %s ...\n", port_);
    return reader_.awaitFrame(kAnswerSeconds, &stop_);
}

// One frame's readings, or false when the call brought none.
bool Calibration::sample(std::array<double, kCalibratedChannels>& now) {
    const std::optional<ConData> record = reader_.nextFrame();
    if (!record) return false;
    for (int i = 0; i < kCalibratedChannels; ++i) {
        const std::optional<double> reading =
            readingOfPublished(record->getValuator(static_cast<std::uint32_t>(i + 1)));
        if (!reading) return false;
        now[static_cast<std::size_t>(i)] = *reading;
    }
    return true;
}

void Calibration::readRest() {
    if (run_.onPhase) run_.onPhase("rest");
    say("\nStep 1 of 2: leave every control at rest (%s s) ",
        std::to_string(static_cast<int>(std::lround(run_.settings.restSeconds))));
    const auto start = Clock::now();
    const hostkit::Deadline end(run_.settings.restSeconds);
    double dotted = 0;
    std::array<double, kCalibratedChannels> now{};
    while (!stop_.load() && !end.passed()) {
        if (sample(now)) {
            for (std::size_t i = 0; i < now.size(); ++i) rest_[i].add(now[i]);
        }
        if (secondsSince(start) - dotted >= 0.5) {
            dotted += 0.5;
            say(".");
        }
    }
    say(" done.\n");
}

void Calibration::drawBars(const std::array<double, kCalibratedChannels>& now, bool again) const {
    // Appended piece by piece into the one buffer: a chain of operator+ on
    // temporaries costs a string per piece, and GCC 12 at -O3 misreads its
    // inlined copies as overlapping (-Wrestrict).
    std::string screen;
    if (again) {
        screen += "\x1b[";
        screen += std::to_string(kCalibratedChannels);
        screen += 'A';
    }
    for (std::size_t i = 0; i < now.size(); ++i) {
        char reach[64];
        std::snprintf(reach, sizeof reach, "  %4.0f..%-4.0f  now %4.0f", travel_[i].low,
                      travel_[i].high, now[i]);
        screen += "  valuator ";
        screen += std::to_string(i + 1);
        screen += ' ';
        screen += reachBar(travel_[i], rest_[i].mean(), now[i]);
        screen += reach;
        screen += run_.terminal ? "\x1b[K\n" : "\n";
    }
    say("%s", screen);
}

void Calibration::readTravel() {
    if (run_.onPhase) run_.onPhase("travel");
    const bool timed = run_.settings.travelSeconds > 0;
    say(timed ? "\nStep 2 of 2: move every control through its whole travel (%s s).\n"
              : "\nStep 2 of 2: move every control through its whole travel, then press "
                "Enter.%s\n",
        timed ? std::to_string(static_cast<int>(std::lround(run_.settings.travelSeconds))) : "");
    auto entered = std::make_shared<std::atomic<bool>>(false);
    if (!timed) {
        // Left behind if the run ends another way: a read of the console
        // cannot be called off, and the program ends soon after.
        std::thread([entered] {
            int c = 0;
            while ((c = std::getchar()) != '\n' && c != EOF) {
            }
            entered->store(true);
        }).detach();
    }
    const hostkit::Deadline end(run_.settings.travelSeconds);
    auto drawn = Clock::time_point{};
    std::array<double, kCalibratedChannels> now{};
    for (std::size_t i = 0; i < now.size(); ++i) now[i] = rest_[i].mean();
    while (!stop_.load() && !entered->load() && (!timed || !end.passed())) {
        if (sample(now)) {
            for (std::size_t i = 0; i < now.size(); ++i) travel_[i].add(now[i]);
        }
        if (run_.terminal && Clock::now() - drawn >= kRedrawInterval) {
            drawBars(now, drawn != Clock::time_point{});
            drawn = Clock::now();
        }
    }
    // Enter was echoed: one more line to go back over.
    if (entered->load() && run_.terminal) say("\x1b[1A");
    drawBars(now, run_.terminal && drawn != Clock::time_point{});
}

// The table and the lines; kChannelLeftOut when a channel has no curve.
int Calibration::report(std::map<int, std::string>& curves) const {
    say("\nvaluator   rest  noise  travel\n");
    std::string leftOut;
    for (int i = 0; i < kCalibratedChannels; ++i) {
        const ChannelCalibration channel =
            calibrateChannel(rest_[static_cast<std::size_t>(i)],
                             travel_[static_cast<std::size_t>(i)], run_.settings.deadBand);
        char row[160];
        std::snprintf(row, sizeof row, "%8d %6.1f %6d  %4d..%-4d  %s\n", i + 1, channel.rest,
                      channel.noise, channel.low, channel.high,
                      !channel.ok()            ? ("left out: it " + channel.refusal).c_str()
                      : channel.deadBand       ? "rest readings held at 0"
                      : channel.deadBandWanted ? "too uneven about its rest to hold it at 0"
                                               : "");
        say("%s", row);
        if (!channel.ok()) {
            leftOut += (leftOut.empty() ? "" : ", ") + std::to_string(i + 1);
            continue;
        }
        char note[96];
        std::snprintf(note, sizeof note, "  # rest %.1f, travel %d..%d, noise %d%s", channel.rest,
                      channel.low, channel.high, channel.noise,
                      channel.deadBand ? ", held at 0" : "");
        curves[i + 1] = scaleLine(i + 1, channel) + note;
    }
    if (!curves.empty()) say("\nThe curves:\n");
    for (const auto& [channel, line] : curves) say("%s\n", line.substr(0, line.find("  #")));
    if (leftOut.empty()) return 0;
    say("\npallador-host: valuator %s left out: move every control through its whole travel "
        "in step 2.\n",
        leftOut);
    return kChannelLeftOut;
}

// CONFIG with the curves, once the plug-in has taken the new text.
int Calibration::writeCurves(const std::string& original,
                             const std::map<int, std::string>& curves) {
    const std::string& path = run_.settings.configPath;
    const std::string text = withCurves(original, curves);
    const ConfigResult parsed = parseConfig(text, path);
    if (!parsed.ok() || !reader_.open(parsed.config)) {
        reader_.close();
        say("pallador-host: the plug-in would not take the new curves; %s left as it was.\n", path);
        pluginSaid();
        return 2;
    }
    reader_.close();
    std::error_code error;
    std::filesystem::copy_file(path, path + ".bak",
                               std::filesystem::copy_options::overwrite_existing, error);
    const std::string fresh = path + ".new";
    std::ofstream(fresh, std::ios::binary | std::ios::trunc) << text;
    if (!error) std::filesystem::rename(fresh, path, error);
    if (error || fileText(path) != text) {
        say("pallador-host: cannot write %s", path);
        say(": %s\n", error.message());
        return 1;
    }
    say("%s", "\nWrote " + std::to_string(curves.size()) + " valuatorscale lines into " + path +
                  " (the old file is " + path + ".bak).\n");
    return 0;
}

int Calibration::execute() {
    const std::string& path = run_.settings.configPath;
    port_ = portOf(read_.config);
    say("%s", "Calibrating the device of " + path + " on " + port_ + ".\n");
    if (const int status = openDevice(read_.config); status != 0) return status;
    if (!awaitDevice()) {
        reader_.close();
        say("pallador-host: no device answering on %s; nothing written.\n", port_);
        return 1;
    }
    readRest();
    readTravel();
    reader_.close();
    if (stop_.load()) {
        say("\npallador-host: stopped; %s left as it was.\n", path);
        return 1;
    }
    std::map<int, std::string> curves;
    const int status = report(curves);
    if (!run_.settings.write) return status;
    if (status != 0) {
        say("pallador-host: %s left as it was.\n", path);
        return status;
    }
    return writeCurves(read_.text, curves);
}

}  // namespace

CalibrateLineResult parseCalibrateLine(const std::vector<std::string>& arguments) {
    CalibrateLineResult result;
    CalibrateSettings& settings = result.settings;
    const hostkit::ArgumentTable table{
        {{{"--help", "-h"}, "", [&settings](const std::string&) { return settings.help = true; }},
         {{"--write"}, "", [&settings](const std::string&) { return settings.write = true; }},
         {{"--no-dead-band"},
          "",
          [&settings](const std::string&) {
              settings.deadBand = false;
              return true;
          }},
         {{"--rest-seconds"}, "a time in seconds (above 0)", readSecondsInto(settings.restSeconds)},
         {{"--travel-seconds"},
          "a time in seconds (above 0)",
          readSecondsInto(settings.travelSeconds)},
         {{"--plugin"}, "a path", readPath(settings.pluginPath)}},
        takeConfigPath(settings.configPath)};
    result.error = hostkit::walkArguments(arguments, table);
    if (result.error.empty() && settings.configPath.empty() && !settings.help) {
        result.error = "calibrate needs a configuration file";
    }
    return result;
}

int runCalibration(const CalibrateRun& run, const std::atomic<bool>& stop) {
    const ConfigResult read = readConfigFile(run.settings.configPath);
    if (!read.ok()) {
        std::fprintf(run.out, "%s\n", read.error.c_str());
        std::fflush(run.out);
        return 2;
    }
    Calibration calibration(run, stop, read);
    return calibration.execute();
}

}  // namespace host

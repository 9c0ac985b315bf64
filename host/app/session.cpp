#include "host/app/session.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <thread>

#include "host/app/host_platform.h"
#include "host/app/record_format.h"
#include "host/kit/deadline.h"
#include "storage/UpdateMask.h"

namespace host {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(50);

std::vector<std::string> tailOf(const std::string& path, std::size_t count) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {};
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    const std::streamoff from = std::max<std::streamoff>(0, size - 4096);
    file.seekg(from);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    if (from > 0 && !lines.empty()) {
        lines.erase(lines.begin());  // cut in the middle
    }
    if (lines.size() > count) {
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    }
    return lines;
}

// The record's line, or false in the live view, which shows it instead.
template <typename Record>
bool printRecord(const SessionSettings& settings, double t, const Record& record) {
    switch (settings.mode) {
        case OutputMode::plain:
            std::fprintf(settings.out, "%s\n", plainLine(t, record).c_str());
            return true;
        case OutputMode::json:
            std::fprintf(settings.out, "%s\n", jsonLine(t, record).c_str());
            return true;
        case OutputMode::live:
            break;
    }
    return false;
}

}  // namespace

Session::Session(SessionSettings settings)
    : settings_(std::move(settings)),
      port_(portOf(settings_.config)),
      device_(settings_.pluginPath) {
    hostLog_.setName("pallador-host");
    hostLog_.debugLevel = settings_.debugLevel;
    view_.device = settings_.config.deviceName;
    view_.port = port_;
    view_.logPath = settings_.logPath;
    for (const OptionText& option : settings_.config.options) {
        view_.trackerConfigured =
            view_.trackerConfigured || isKeyword(option.keyword, "emulatetracker");
    }
}

Session::~Session() {
    device_.close();
}

void Session::requestStop() {
    stop_.store(true);
    device_.stop();
}

double Session::elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
}

bool Session::limitReached() const {
    return stop_.load() || (settings_.frames > 0 && controllerRecords_ >= settings_.frames) ||
           (settings_.seconds > 0 && elapsed() >= settings_.seconds);
}

void Session::note(const std::string& text) {
    std::cout.flush();
    std::fflush(stdout);
    // In the live view the plug-in's log is where the user reads notes too.
    std::fprintf(settings_.mode == OutputMode::live ? stdout : stderr, "pallador-host: %s\n",
                 text.c_str());
    std::fflush(settings_.mode == OutputMode::live ? stdout : stderr);
}

void Session::setState(const std::string& state, bool tell) {
    if (state == state_) {
        return;
    }
    state_ = state;
    view_.state = state;
    if (tell) {
        note(state);
    }
    tick(true);
}

// Each device starts on empty storages: nothing else publishes into them.
bool Session::createDevice() {
    return device_.open(settings_.config, settings_.debugGiven ? &hostLog_ : nullptr,
                        !stop_.load());
}

void Session::emit(const ConData& record) {
    ++controllerRecords_;
    ++windowRecords_;
    ++view_.published;
    if (!printRecord(settings_, elapsed(), record)) {
        view_.controller = record;
    }
}

void Session::emit(const TraData& record) {
    ++windowRecords_;
    ++view_.published;
    if (!printRecord(settings_, elapsed(), record)) {
        view_.tracker = record;
    }
}

void Session::collect() {
    const UpdateMasks& masks = device_.masks();
    for (std::uint32_t id = 1; id <= 32; ++id) {
        if (masks.controller.isMarked(id)) {
            if (const std::optional<ConData> found = device_.controllerWithId(id)) {
                emit(*found);
            }
        }
    }
    for (std::uint32_t id = 1; id <= 32; ++id) {
        if (masks.tracker.isMarked(id)) {
            if (const std::optional<TraData> found = device_.trackerWithId(id)) {
                emit(*found);
            }
        }
    }
    std::fflush(settings_.out);
}

void Session::tick(bool changed) {
    const auto now = std::chrono::steady_clock::now();
    const double window = std::chrono::duration<double>(now - windowStart_).count();
    bool redraw = changed && now - lastDraw_ >= kRedrawInterval;
    if (window >= 1.0) {
        view_.framesPerSecond = static_cast<double>(windowFrames_) / window;
        view_.recordsPerSecond = static_cast<double>(windowRecords_) / window;
        windowFrames_ = 0;
        windowRecords_ = 0;
        windowStart_ = now;
        redraw = true;
    }
    if (settings_.mode != OutputMode::live || !redraw) {
        return;
    }
    lastDraw_ = now;
    view_.elapsed = elapsed();
    view_.logTail = tailOf(settings_.logPath, 6);
    const std::string screen = renderView(view_);
    std::fputs(screen.c_str(), settings_.out);
    std::fflush(settings_.out);
}

// The seconds bound holds even while a call is blocked on the line.
std::thread Session::startWatch() {
    if (settings_.seconds <= 0) {
        return {};
    }
    const hostkit::Deadline end(settings_.seconds - elapsed());
    return std::thread([this, end] {
        while (!stop_.load()) {
            if (end.passed()) {
                device_.stop();
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
}

// One receive call and what it told; false once the run is to end.
bool Session::receiveOnce() {
    const DeviceReader::Call call = device_.call();
    const bool changed = call.changed;
    if (changed) {
        collect();
    }
    if (device_.stopped()) {
        return false;
    }
    // The plug-in keeps its line itself: a call that fails while the run
    // flag is set means the line is gone, and the plug-in reopens it once it
    // is back. The host only keeps calling, as the hosts it serves do.
    if (call.result == 1) {
        if (lineLost_) {
            lineLost_ = false;
            note("line back on " + port_);
        }
        if (!call.probed) {
            ++windowFrames_;
            setState("receiving from " + port_, true);
        } else {
            setState("waiting for the device on " + port_, true);
        }
    } else if (!lineLost_) {
        lineLost_ = true;
        setState("line lost on " + port_ + ", the plug-in reopens it once it is back", true);
    }
    tick(changed);
    return true;
}

int Session::run() {
    begin_ = std::chrono::steady_clock::now();
    windowStart_ = begin_;
    if (settings_.mode == OutputMode::live) {
        std::fputs("\x1b[2J", settings_.out);
    }
    if (!device_.loaded()) {
        note(device_.loadError());
        return 1;
    }
    std::thread watch = startWatch();
    const auto finish = [&](int status) {
        stop_.store(true);
        if (watch.joinable()) {
            watch.join();
        }
        device_.close();
        return status;
    };
    if (!createDevice()) {
        note("init failed for " + settings_.config.deviceName + " on " + port_);
        return finish(1);
    }
    setState("waiting for the device on " + port_, true);
    while (!limitReached() && receiveOnce()) {
    }
    const int status = finish(0);
    if (settings_.mode == OutputMode::live) {
        tick(true);
        std::fprintf(settings_.out, "\nplug-in log kept in %s\n", settings_.logPath.c_str());
        std::fflush(settings_.out);
    }
    return status;
}

}  // namespace host

// One run of the device: the plug-in loaded once, the device created,
// initialised and read until a bound is reached or a stop is asked for, and
// re-created while its line is gone.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "host/app/command_line.h"
#include "host/app/device_reader.h"
#include "host/app/host_config.h"
#include "host/app/live_view.h"
#include "support/CMessageH.h"

namespace host {

enum class OutputMode { plain, json, live };

struct SessionSettings {
    HostConfig config;
    std::string pluginPath;
    std::int32_t debugLevel = 0;
    bool debugGiven = false;
    std::int64_t frames = 0;
    double seconds = 0;
    OutputMode mode = OutputMode::plain;
    std::FILE* out = nullptr;  // the host's own output
    std::string logPath;       // live view: where the plug-in writes
};

class Session {
public:
    explicit Session(SessionSettings settings);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // 0 after a stop or a bounded run, 1 when the plug-in cannot be loaded
    // or the first init fails.
    int run();

    // Safe from a signal handler or another thread.
    void requestStop();

private:
    std::thread startWatch();
    bool receiveOnce();
    bool createDevice();
    void collect();
    void emit(const ConData& record);
    void emit(const TraData& record);
    void note(const std::string& text);
    void setState(const std::string& state, bool tell);
    void tick(bool changed);
    double elapsed() const;
    bool limitReached() const;

    SessionSettings settings_;
    std::string port_;
    DeviceReader device_;
    CMessageH hostLog_;

    std::atomic<bool> stop_{false};
    std::chrono::steady_clock::time_point begin_;
    std::int64_t controllerRecords_ = 0;
    ViewState view_;
    std::string state_;
    bool lineLost_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::chrono::steady_clock::time_point windowStart_{};
    long long windowFrames_ = 0;
    long long windowRecords_ = 0;
};

}  // namespace host

// The receive path of the device: from the serial line to a frame that the
// device sent. It owns the frame's bytes, their acceptance, the line's
// timing and health, the probe, and the line's outages, with their messages;
// the device only decodes, maps and publishes what it returns.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "device/frame.h"
#include "device/frame_acceptance.h"
#include "device/line_health.h"

class CRS232H;
class CMessageH;

class FrameReader {
public:
    // A frame the device sent; a call without one (a probe, a search for
    // the frame, a line just back); a failure (the run flag cleared
    // included); the line gone, or still gone.
    enum class Result { frame, noData, failed, lineLost };

    // `hostRunFlag`: read on every wait; `name` and `rate`: the port and the
    // rate the device's options asked for.
    FrameReader(CRS232H& line, const CMessageH& deviceLog, const std::int32_t* hostRunFlag,
                std::string name, std::int32_t rate);

    // The Pallador's settings on the line just opened: a rate or setting
    // the port refuses is reported by the port and does not fail the open.
    void setUpLine();
    Result read(frame::Bytes& frame);
    // Whether the device answered its last probe.
    bool detected() const { return detected_; }

private:
    enum class ProbeResult { failed, detected, absent, streaming };
    enum class Read { complete, noData, failed };
    // How collecting one frame ended: whole; a silent head (the probe
    // decides); bytes lost or gained (the frame is found again); the run
    // flag cleared in the middle; a failure.
    enum class Collected { whole, silent, broken, stopped, failed };
    enum class Drain { quiet, endless, stopped, failed };

    static std::int64_t now();
    bool running() const;
    // Framing (frame_reader.cpp).
    Read readFrame();
    Read takeFrame();
    void keepNextHead();
    Collected collectFrame();
    Collected collectHead();
    std::int32_t readHead(int count);
    Read readQuietFrame();
    Collected quietFrameCutShort(std::int32_t count);
    Collected closeQuietFrame();
    Read afterBrokenFrame(Collected got);
    Read findFrameAgain(bool fault);
    Drain drainLine();
    // `onItsOwn`: not the early request, so the answer's time can be seen.
    bool sendRequest(bool onItsOwn);
    Read detect();
    ProbeResult probe();
    std::int32_t countAnswer();
    // Line outages and health (line_outage.cpp).
    void reportOutage();
    bool awaitLine();
    void reviewLineHealth();

    CRS232H& port;
    const CMessageH& log;
    const std::int32_t* runFlag;
    std::string portName;
    std::int32_t baudRate;
    bool detected_ = false;
    frame::Bytes frameBytes{};
    // The bytes of one read: the rest of a frame and the head of the next,
    // whose first `headCount` bytes the next call finds already read.
    std::array<std::uint8_t, frame::kBytes + FrameAcceptance::kMaxLookAhead> lineBytes{};
    int headCount = 0;
    // A quiet frame proved with the frame it confirmed: returned by the
    // next call, each frame in its own.
    std::optional<frame::Bytes> provedFrame;
    FrameAcceptance acceptance;
    LineTiming lineTiming;
    // When the last request went out on its own; 0 after an early one.
    std::int64_t ownRequestAt = 0;
    // The run flag ended a call in the middle of a frame: the rest of it,
    // and the frame asked for early, are still on their way.
    bool streamInterrupted = false;
    LineHealth lineHealth;
    // While the line is gone: when the next attempt to open it is due, on
    // the monotonic clock; 0 until the outage has been reported.
    std::int64_t reopenAt = 0;
};

// The driver of the Pallador on a serial line: the one device object the
// plug-in gives the host.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "device/CBase.h"
#include "device/InitInfo.h"
#include "device/frame_acceptance.h"
#include "device/line_health.h"
#include "storage/ConData.h"
#include "storage/TraData.h"

struct DeviceConfig;
struct UpdateMask;
class CRS232H;
class CConCommonH;
class CTraCommonH;

class CPallador final : public CBase {
public:
    static constexpr std::uint32_t kValuators = 6;
    static constexpr std::uint32_t kButtons = 12;
    static constexpr std::uint32_t kRawWords = 20;
    static constexpr std::int32_t kDefaultBaudRate = 9600;

    CPallador(DeviceConfig* config, const CMessageH* logRecord);
    ~CPallador();

    std::int32_t init(InitInfo* initInfo) override;
    bool start() override;
    std::int32_t configure() override;
    bool stop() override;
    bool printInfo() override;
    std::int32_t recvData(UpdateMasks* masks, std::int32_t unused) override;
    std::int32_t send(std::int32_t unused1, std::int32_t unused2) override;

    const CMessageH& logRecord() const { return *log; }

private:
    enum class ProbeResult { failed, detected, absent, streaming };
    // How the frame loop ended: a whole frame in step; a call that ends
    // without data (a probe, or the line found again); or a failure, the
    // run flag cleared included.
    enum class FrameRead { complete, noData, failed };
    // How collecting one frame ended: whole; a silent word (the probe
    // decides); bytes lost or gained (the frame is found again); the run
    // flag cleared in the middle; a failure.
    enum class Collected { whole, silent, broken, stopped, failed };
    enum class Drain { quiet, endless, stopped, failed };

    std::int32_t initSteps(InitInfo* info);
    bool readDeviceOptions();
    // The Pallador's settings on the line just opened (init.cpp).
    void setUpLine();
    // Line outages (line_outage.cpp): the port found its line gone; the
    // call waits for the next attempt to open it again.
    void reportOutage();
    bool awaitLine();
    void reviewLineHealth();
    bool setUpTrackerEmulation();
    bool running() const;
    static std::int64_t now();
    // Framing (framing.cpp): whole frames into `frameBytes`, judged by the
    // acceptance with the head of the next frame, until one lies decoded in
    // `buttons` and `valuators`.
    FrameRead readFrame();
    FrameRead takeFrame();
    void keepNextHead();
    Collected collectFrame();
    Collected collectHead();
    std::int32_t readHead(int count);
    FrameRead readQuietFrame();
    Collected quietFrameCutShort(std::int32_t count);
    Collected closeQuietFrame();
    FrameRead afterBrokenFrame(Collected got);
    FrameRead findFrameAgain(bool fault);
    Drain drainLine();
    // `onItsOwn`: not the early request, so the answer's time can be seen.
    bool sendRequest(bool onItsOwn);
    void decodeFrame(const frame::Words& words);
    FrameRead detect();
    ProbeResult probe();
    std::int32_t countAnswer();
    // The call's steps (receive.cpp): read and decode, then publish.
    FrameRead readDecoded();
    bool publish(UpdateMasks& masks);
    void printReadings() const;
    bool publishController(UpdateMask& controllerMask);
    bool publishEmulatedTracker(UpdateMask& trackerMask);

    // The owned parts go in the reverse of this order: the tracker options,
    // the mapping, then the port, each with its destructor's line.
    std::unique_ptr<CRS232H> serialPort;
    std::unique_ptr<CConCommonH> controllerMapping;
    std::unique_ptr<CTraCommonH> trackerOptions;
    std::string deviceName;
    std::string portName;
    InitInfo initInfo{};
    TraData* trackerEntry = nullptr;
    TraData prevTracker{};
    TraData curTracker{};
    ConData* controllerEntry = nullptr;
    ConData prevController{};
    ConData curController{};
    std::uint32_t numControllers = 0;
    float valuators[kValuators] = {};
    std::int32_t buttons[kButtons] = {};
    std::int32_t baudRate = kDefaultBaudRate;
    std::uint16_t rawWords[kRawWords] = {};
    bool detected = false;
    frame::Bytes frameBytes{};
    // The bytes of one read: the rest of a frame and the head of the next,
    // whose first `headCount` bytes the next call finds already read.
    std::array<std::uint8_t, frame::kBytes + FrameAcceptance::kMaxLookAhead> lineBytes{};
    int headCount = 0;
    // A quiet frame proved with the frame it confirmed: published by the
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
    std::int32_t* runFlag = nullptr;
    DeviceConfig* config = nullptr;
    std::int32_t emulatedTrackers = 0;
    bool initCalled = false;
};

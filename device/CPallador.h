// The driver of the Pallador on a serial line: the one device object the
// plug-in gives the host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device/CBase.h"
#include "device/InitInfo.h"
#include "device/step_check.h"
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
    enum class WordRead { whole, half, silent };

    std::int32_t initSteps(InitInfo* info);
    bool readDeviceOptions();
    bool setUpTrackerEmulation();
    bool running() const;
    // Framing (framing.cpp): one word at a time, the early request and the
    // step check, until a whole frame lies in `buttons` and `valuators`.
    FrameRead readFrame();
    WordRead readWord(std::uint16_t& word, bool quiet);
    FrameRead closeQuietFrame();
    FrameRead resynchronise();
    bool drainLine();
    bool sendRequest();
    ProbeResult probe();
    // Publication (receive.cpp).
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
    StepCheck stepCheck;
    // The run flag ended a call in the middle of a frame: the rest of it,
    // and the frame asked for early, are still on their way.
    bool frameAbandoned = false;
    std::int32_t* runFlag = nullptr;
    DeviceConfig* config = nullptr;
    std::int32_t emulatedTrackers = 0;
    bool initCalled = false;
};

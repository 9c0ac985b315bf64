// The driver of the Pallador on a serial line: the one device object the
// plug-in gives the host.
#pragma once

#include <cstdint>

#include "device/CBase.h"
#include "device/InitInfo.h"
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

    std::int32_t initSteps(InitInfo* info);
    bool readDeviceOptions();
    bool setUpTrackerEmulation();
    bool running() const;
    bool sendRequest();
    ProbeResult probe();
    void printReadings() const;
    bool publishEmulatedTracker(UpdateMask& trackerMask);

    CRS232H* serialPort = nullptr;
    char* deviceName = nullptr;
    char* portName = nullptr;
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
    std::int32_t* runFlag = nullptr;
    DeviceConfig* config = nullptr;
    CTraCommonH* trackerOptions = nullptr;
    CConCommonH* controllerMapping = nullptr;
    std::int32_t emulatedTrackers = 0;
    bool initCalled = false;
};

// The driver of the Pallador on a serial line: the one device object the
// plug-in gives the host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "device/CBase.h"
#include "device/InitInfo.h"
#include "device/frame.h"
#include "device/frame_reader.h"
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
    std::int32_t initSteps(InitInfo* info);
    bool readDeviceOptions();
    bool setUpTrackerEmulation();
    bool running() const;
    void decodeFrame(const frame::Words& words);
    // The call's last step (receive.cpp).
    bool publish(UpdateMasks& masks);
    void printReadings() const;
    bool publishController(UpdateMask& controllerMask);
    bool publishEmulatedTracker(UpdateMask& trackerMask);

    // The owned parts go in the reverse of this order: the tracker options,
    // the mapping, then the port, each with its destructor's line.
    std::unique_ptr<CRS232H> serialPort;
    // Reads through the port: it goes before it.
    std::unique_ptr<FrameReader> reader;
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
    std::int32_t* runFlag = nullptr;
    DeviceConfig* config = nullptr;
    std::int32_t emulatedTrackers = 0;
    bool initCalled = false;
};

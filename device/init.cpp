// Device initialisation: the device's own options, the controller mapping,
// the tracker set-up, the controller entry, the unknown-option check, the
// report, and the serial line.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <optional>

#include "config/CConCommonH.h"
#include "config/CTraCommonH.h"
#include "config/options.h"
#include "device/CPallador.h"
#include "device/CRS232H.h"
#include "storage/CDataStorage.h"

namespace {

// The texts init writes, together.
constexpr const char* kInitCalled = "CPallador: \"init\" called.";
constexpr const char* kNoInitInfo = "CPallador: Init info is empty.";
constexpr const char* kInitAgain = "CPallador: init has already been called on this device.";
constexpr const char* kStorageCreated = "Data storage list structure just created";
constexpr const char* kNoConfig = "CPallador: config is empty.";
constexpr const char* kNoControllerStorage = "CPallador: controller data storage pointer is empty.";
constexpr const char* kOutOfMemory = "CPallador: Out of memory.";
constexpr const char* kDeviceLead = "CPallador: ";
constexpr const char* kDefaultPort = "com2";

// A text the host may leave out.
std::string textOrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

// Every field the Pallador needs at its reset: one controller of 6
// valuators and 12 buttons, all at rest, published from the first cycle on.
void resetWorkingRecords(ConData& previous, ConData& current, const ControllerEntry& entry) {
    previous.stampNow();
    current.stampNow();
    current.setValuatorCount(entry.valuatorCount);
    current.setButtonCount(entry.buttonCount);
    for (ConData* record : {&previous, &current}) {
        for (std::uint32_t v = 1; v <= entry.valuatorCount; ++v) {
            record->setValuator(v, 0.0f);
        }
        for (std::uint32_t b = 1; b <= entry.buttonCount && b <= ConData::kMaxButtons; ++b) {
            record->setButton(b, 0);
        }
    }
}

// One controller, published as output 1, its elements in their own order
// and on the identity curve.
void setUpDefaultMapping(CConCommonH& mapping, bool orderLocked, std::uint32_t numControllers) {
    mapping.orderLocked = orderLocked;
    mapping.numControllers = numControllers;
    mapping.allocate(numControllers, true);
    mapping.setupController(1, 1, CPallador::kValuators, CPallador::kButtons);
}

// The device's entries go behind those already in the host's list. The
// count's refusals are reported by the storage and not checked here; a
// mutex that could not be had leaves the list alone.
bool reserveControllerEntries(CDataStorage* storage, CConCommonH& mapping, const CMessageH& log) {
    if (storage == nullptr) {
        log.error(kNoControllerStorage, true);
        return false;
    }
    const StorageLock lock(*storage);
    if (lock.held()) {
        mapping.controllerBase = storage->controllerCount();
        storage->setControllerNumber(mapping.numControllers + mapping.controllerBase);
    }
    return true;
}

// The device's own option lines, port and baud rate, written straight into
// the device's fields. Each takes exactly one argument.
class DeviceOptions {
public:
    DeviceOptions(std::string& portName, std::int32_t& baudRate)
        : portName_(portName), baudRate_(baudRate) {}

    LineResult parsePort(const OptionLineView& line) {
        if (const std::optional<LineResult> verdict = checkOneArgument(line)) {
            return *verdict;
        }
        portName_ = textOrEmpty(line.arg(0));
        return LineResult::accepted;
    }

    LineResult parseBaud(const OptionLineView& line) {
        if (const std::optional<LineResult> verdict = checkOneArgument(line)) {
            return *verdict;
        }
        baudRate_ = toDecimalInteger(line.arg(0));
        return LineResult::accepted;
    }

private:
    static std::optional<LineResult> checkOneArgument(const OptionLineView& line) {
        if (line.argCount() == 0) {
            return line.reject(phrase::kIncomplete);
        }
        if (line.argCount() > 1) {
            return line.reject(phrase::kTooMany);
        }
        return std::nullopt;
    }

    std::string& portName_;
    std::int32_t& baudRate_;
};

constexpr OptionKeyword<DeviceOptions> kDeviceKeywords[] = {
    {{"port", "serialport"}, "SerialPort", &DeviceOptions::parsePort},
    {{"baud", "baudrate"}, "BaudRate", &DeviceOptions::parseBaud},
};

}  // namespace

// The device's settings before its options, then its options.
bool CPallador::readDeviceOptions() {
    inputConnector = true;
    modeCode = 3;
    numControllers = 1;
    portName = kDefaultPort;
    // Only the receive cycle writes the raw words and nothing reads them;
    // they are kept as the device's record of the frame being read.
    std::memset(rawWords, 0, sizeof rawWords);
    detected = false;

    DeviceOptions options(portName, baudRate);
    return parseOptionLines(options, *config, kDeviceKeywords, *log, kDeviceLead);
}

std::int32_t CPallador::init(InitInfo* info) {
    // Nothing may escape into the host: a failed allocation is a failed init.
    try {
        return initSteps(info);
    } catch (const std::bad_alloc&) {
        log->error(kOutOfMemory, true);
        return -1;
    }
}

std::int32_t CPallador::initSteps(InitInfo* info) {
    log->debug(kInitCalled, true);
    if (info == nullptr) {
        log->error(kNoInitInfo, true);
        return -1;
    }
    // A second call would build a second mapping, port and set of entries
    // over the first: refuse it, so nothing of the first leaks or moves.
    if (initCalled) {
        log->error(kInitAgain, true);
        return -1;
    }
    initCalled = true;
    std::cout << kStorageCreated << std::endl;

    std::memcpy(&initInfo, info, sizeof initInfo);
    runFlag = initInfo.runFlag;

    if (config == nullptr) {
        log->error(kNoConfig, true);
        return -1;
    }
    deviceName = textOrEmpty(config->deviceName);

    if (!readDeviceOptions()) {
        return -1;
    }

    controllerMapping = std::make_unique<CConCommonH>(log.get());
    setUpDefaultMapping(*controllerMapping, inputConnector, numControllers);
    if (!controllerMapping->parseOptions(config)) {
        return -1;
    }

    emulatedTrackers = controllerMapping->numberTrackers(1);
    if (emulatedTrackers > 0 && !setUpTrackerEmulation()) {
        return -1;
    }

    if (!reserveControllerEntries(initInfo.controllerStorage, *controllerMapping, *log) ||
        !reportUnknownOptions(*config, *log)) {
        return -1;
    }

    printInfo();
    resetWorkingRecords(prevController, curController, *controllerMapping->entry(1));
    std::memset(valuators, 0, sizeof valuators);
    std::memset(buttons, 0, sizeof buttons);

    serialPort = std::make_unique<CRS232H>(log.get());
    reader = std::make_unique<FrameReader>(*serialPort, *log, runFlag, portName, baudRate);
    if (!serialPort->openPort(portName.c_str())) {
        return -1;
    }
    reader->setUpLine();
    return 1;
}

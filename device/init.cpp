// Device initialisation: the device's own options, the controller mapping,
// the tracker set-up, the controller entry, the unknown-option check, the
// report, and the serial line.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>

#include "config/CConCommonH.h"
#include "config/CTraCommonH.h"
#include "config/options.h"
#include "device/CPallador.h"
#include "device/CRS232H.h"
#include "storage/CDataStorage.h"

namespace {

char* copyString(const char* text) {
    const char* source = text != nullptr ? text : "";
    const std::size_t size = std::strlen(source) + 1;
    auto* copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr) {
        std::memcpy(copy, source, size);
    }
    return copy;
}

// The line settings the Pallador needs on top of what the port had.
void applyLineSettings(platform::PortAttributes& attributes) {
    attributes.dcb.fBinary = 1;
    attributes.dcb.fParity = 0;
    attributes.dcb.fOutxCtsFlow = 0;
    attributes.dcb.fRtsControl = platform::kRtsControlHandshake;
    attributes.dcb.ByteSize = 8;
    attributes.dcb.StopBits = platform::kOneStopBit;
    attributes.timeouts.ReadIntervalTimeout = 0;
    attributes.timeouts.ReadTotalTimeoutMultiplier = 0;
    attributes.timeouts.ReadTotalTimeoutConstant = 1000;
    attributes.timeouts.WriteTotalTimeoutMultiplier = 0;
    attributes.timeouts.WriteTotalTimeoutConstant = 0;
}

}  // namespace

bool CPallador::readDeviceOptions() {
    bool failed = false;
    const std::uint32_t count = lineCountOf(*config);
    for (std::uint32_t slot = 0; slot < count; ++slot) {
        OptionLine& line = config->lines[slot];
        const bool isPort = keywordIs(line, "port") || keywordIs(line, "serialport");
        const bool isBaud = !isPort && (keywordIs(line, "baud") || keywordIs(line, "baudrate"));
        if (!isPort && !isBaud) {
            continue;
        }
        const char* phrase = isPort ? "SerialPort at line " : "BaudRate at line ";
        if (line.argCount == 0) {
            reportOptionError(*log, "CPallador: ", "Incomplete option line found for ", phrase,
                              line.lineNumber);
            failed = true;
            continue;
        }
        if (line.argCount > 1) {
            reportOptionError(*log, "CPallador: ", "Too many args found for ", phrase,
                              line.lineNumber);
            failed = true;
            continue;
        }
        if (isPort) {
            std::free(portName);
            portName = copyString(argumentAt(line, 0));
        } else {
            baudRate = toDecimalInteger(argumentAt(line, 0));
        }
        line.used = 1;
    }
    return !failed;
}

std::int32_t CPallador::init(InitInfo* info) {
    // Nothing may escape into the host: a failed allocation is a failed init.
    try {
        return initSteps(info);
    } catch (const std::bad_alloc&) {
        log->error("CPallador: Out of memory.", true);
        return -1;
    }
}

std::int32_t CPallador::initSteps(InitInfo* info) {
    log->debug("CPallador: \"init\" called.", true);
    if (info == nullptr) {
        log->error("CPallador: Init info is empty.", true);
        return -1;
    }
    // A second call would build a second mapping, port and set of entries
    // over the first: refuse it, so nothing of the first leaks or moves.
    if (initCalled) {
        log->error("CPallador: init has already been called on this device.", true);
        return -1;
    }
    initCalled = true;
    std::cout << "Data storage list structure just created" << std::endl;

    std::memcpy(&initInfo, info, sizeof initInfo);
    runFlag = initInfo.runFlag;

    if (config == nullptr) {
        log->error("CPallador: config is empty.", true);
        return -1;
    }
    std::free(deviceName);
    deviceName = copyString(config->deviceName);

    inputConnector = true;
    modeCode = 3;
    numControllers = 1;
    std::free(portName);
    portName = copyString("com2");
    std::memset(rawWords, 0, sizeof rawWords);
    detected = false;

    if (!readDeviceOptions()) {
        return -1;
    }

    controllerMapping = new CConCommonH(log);
    controllerMapping->orderLocked = inputConnector;
    controllerMapping->numControllers = numControllers;
    controllerMapping->allocate(numControllers, true);
    controllerMapping->setupController(1, 1, kValuators, kButtons);
    if (!controllerMapping->parseOptions(config)) {
        return -1;
    }

    emulatedTrackers = controllerMapping->numberTrackers(1);
    if (emulatedTrackers > 0 && !setUpTrackerEmulation()) {
        return -1;
    }

    CDataStorage* controllers = initInfo.controllerStorage;
    if (controllers == nullptr) {
        log->error("CPallador: controller data storage pointer is empty.", true);
        return -1;
    }
    controllers->lock();
    controllerMapping->controllerBase = controllers->controllerCount();
    controllers->setControllerNumber(numControllers + controllerMapping->controllerBase);
    controllers->unlock();

    if (!reportUnknownOptions(*config, *log)) {
        return -1;
    }

    printInfo();

    const ControllerEntry& entry = *controllerMapping->entry(1);
    prevController.stampNow();
    curController.stampNow();
    curController.setValuatorCount(entry.valuatorCount);
    curController.setButtonCount(entry.buttonCount);
    for (ConData* record : {&prevController, &curController}) {
        for (std::uint32_t v = 1; v <= entry.valuatorCount; ++v) {
            record->setValuator(v, 0.0f);
        }
        for (std::uint32_t b = 1; b <= entry.buttonCount && b <= ConData::kMaxButtons; ++b) {
            record->setButton(b, 0);
        }
    }
    std::memset(valuators, 0, sizeof valuators);
    std::memset(buttons, 0, sizeof buttons);

    serialPort = new CRS232H(log);
    if (!serialPort->openPort(portName)) {
        return -1;
    }
    platform::PortAttributes attributes{};
    serialPort->getAttributes(&attributes);
    applyLineSettings(attributes);
    serialPort->setAttributes(&attributes);
    serialPort->setBaudRate(baudRate);
    serialPort->applyAttributes(nullptr);
    return 1;
}

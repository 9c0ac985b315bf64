#include "device/CPallador.h"

#include "config/CConCommonH.h"
#include "config/CTraCommonH.h"
#include "device/CRS232H.h"

CPallador::CPallador(DeviceConfig* deviceConfig, const CMessageH* hostLog) : CBase(hostLog) {
    prevTracker.clearPose();
    curTracker.clearPose();
    prevController.reset();
    curController.reset();
    log->debug("CPallador: \"constructor\" called.", true);
    if (hostLog == nullptr) {
        log->setName("CPallador");
    }
    config = deviceConfig;
    baudRate = kDefaultBaudRate;
}

CPallador::~CPallador() {
    log->debug("CPallador: \"destructor\" called.", true);
}

bool CPallador::start() {
    log->debug("CPallador: \"start\" called.", true);
    return true;
}

std::int32_t CPallador::configure() {
    log->debug("CPallador: \"configure\" called.", true);
    return modeCode;
}

bool CPallador::stop() {
    log->debug("CPallador: \"stop\" called.", true);
    // A line that is gone is already closed, and stays so: after stop
    // nothing is reopened.
    if (serialPort != nullptr) {
        serialPort->closePort();
    }
    return true;
}

std::int32_t CPallador::send(std::int32_t /*unused1*/, std::int32_t /*unused2*/) {
    log->warning("CPallador: Can not send any data.", true);
    return -1;
}

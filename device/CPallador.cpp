#include "device/CPallador.h"

#include <cstdlib>
#include <iostream>

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
    std::free(deviceName);
    std::free(portName);
}

std::int32_t CPallador::init(InitInfo* /*initInfo*/) {
    log->debug("CPallador: \"init\" called.", true);
    log->error("CPallador: init is not available in this build.", true);
    return -1;
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
    return true;
}

bool CPallador::printInfo() {
    log->error("CPallador: the device report is not available in this build.", true);
    return false;
}

std::int32_t CPallador::recvData(UpdateMasks* /*masks*/, std::int32_t /*unused*/) {
    log->debug("CPallador: \"recvData\" called.", true);
    log->error("CPallador: recvData is not available in this build.", true);
    return -1;
}

std::int32_t CPallador::send(std::int32_t /*unused1*/, std::int32_t /*unused2*/) {
    log->warning("CPallador: Can not send any data.", true);
    return -1;
}

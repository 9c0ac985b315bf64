// The receive cycle: one frame per call in steady state (frame_reader.*),
// decoded, its readings through the mapping into the controller record, and
// the record published to the host when it changed.
#include <algorithm>
#include <atomic>
#include <iostream>

#include "config/CConCommonH.h"
#include "device/CPallador.h"
#include "device/CRS232H.h"
#include "storage/CDataStorage.h"
#include "storage/UpdateMask.h"

bool CPallador::running() const {
    // The host clears its flag from another thread; a null flag is a host
    // that never let us run.
    if (runFlag == nullptr) {
        return false;
    }
    return std::atomic_ref<std::int32_t>(*runFlag).load(std::memory_order_relaxed) != 0;
}

std::int32_t CPallador::recvData(UpdateMasks* masks, std::int32_t /*unused*/) {
    log->debug("CPallador: \"recvData\" called.", true);
    if (controllerMapping == nullptr || reader == nullptr || masks == nullptr) {
        log->error("CPallador: Device has not been initialised.", true);
        return -1;
    }
    masks->controller.clear();
    if (trackerOptions != nullptr) {
        masks->tracker.clear();
    }
    const FrameReader::Result read = reader->read(frameBytes);
    detected = reader->detected();
    switch (read) {
        case FrameReader::Result::frame:
            break;
        case FrameReader::Result::noData:
            return 1;
        case FrameReader::Result::failed:
        case FrameReader::Result::lineLost:
            return -1;
    }
    if (!running()) {
        return -1;
    }
    decodeFrame(frame::wordsOf(frameBytes));
    if (log->isDebugEnabled()) {
        printReadings();
    }
    curController.stampNow();
    controllerMapping->applyMapping(valuators, buttons, curController);
    return publish(*masks) ? 1 : -1;
}

void CPallador::decodeFrame(const frame::Words& words) {
    std::copy(words.begin(), words.end(), rawWords);
    frame::decodeButtons(words[0], buttons);
    for (int n = 0; n < frame::kValuators; ++n) {
        valuators[n] = frame::decodeValuator(words[n + 1]);
    }
}

bool CPallador::publish(UpdateMasks& masks) {
    return publishController(masks.controller) &&
           (trackerOptions == nullptr || publishEmulatedTracker(masks.tracker));
}

void CPallador::printReadings() const {
    log->debug("CPallador: val:", false);
    for (std::uint32_t n = 0; n < kValuators; ++n) {
        std::cout << " " << n + 1 << ": " << valuators[n];
    }
    std::cout << std::endl;
    log->debug("CPallador: but:", false);
    for (std::uint32_t n = 0; n < kButtons; ++n) {
        std::cout << " " << buttons[n];
    }
    std::cout << std::endl;
}

// Only a record that differs from the last one published reaches the host.
bool CPallador::publishController(UpdateMask& controllerMask) {
    if (sameConData(prevController, curController)) {
        return true;
    }
    CDataStorage& storage = *initInfo.controllerStorage;
    {
        const StorageLock lock(storage);
        controllerEntry =
            lock.held() ? storage.getController(controllerMapping->controllerBase + 1) : nullptr;
        if (controllerEntry != nullptr) {
            log->debug("CPallador: ConData storage found", true);
            *controllerEntry = curController;
        } else {
            log->error("CPallador: ConData storage not found", true);
        }
    }
    if (controllerEntry == nullptr) {
        return false;
    }
    controllerMask.mark(controllerMapping->entry(1)->outputNumber +
                        controllerMapping->controllerBase);
    prevController = curController;
    return true;
}

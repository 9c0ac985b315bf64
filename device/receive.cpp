// The receive cycle: one frame per call in steady state, or a detection
// probe while the device has not answered.
#include <atomic>
#include <iostream>

#include "config/CConCommonH.h"
#include "device/CPallador.h"
#include "device/CRS232H.h"
#include "device/frame.h"
#include "storage/CDataStorage.h"
#include "storage/UpdateMask.h"

namespace {

constexpr int kProbeGiveUp = 100;
constexpr std::uint32_t kProbeSleepMilliseconds = 1000;

}  // namespace

bool CPallador::running() const {
    // The host clears its flag from another thread; a null flag is a host
    // that never let us run.
    if (runFlag == nullptr) {
        return false;
    }
    return std::atomic_ref<std::int32_t>(*runFlag).load(std::memory_order_relaxed) != 0;
}

bool CPallador::sendRequest() {
    const std::uint8_t request = frame::kRequestByte;
    if (serialPort->writePort(&request, 1) == 0) {
        log->error("CPallador: Sending error occured.", true);
        return false;
    }
    return true;
}

CPallador::ProbeResult CPallador::probe() {
    log->debug("CPallador: Trying to detect.", true);
    detected = false;
    if (!serialPort->flushPort()) {
        log->error("CPallador: Flushing IO error occured.", true);
        return ProbeResult::failed;
    }
    if (!sendRequest()) {
        return ProbeResult::failed;
    }
    platform::sleepMilliseconds(kProbeSleepMilliseconds);
    int count = 0;
    for (;;) {
        std::uint8_t discarded = 0;
        const std::int32_t got = serialPort->readPort(&discarded, 1);
        if (got < 0) {
            log->error("CPallador: Reading error occured.", true);
            return ProbeResult::failed;
        }
        if (got == 0) {
            break;
        }
        if (++count >= kProbeGiveUp) {
            return ProbeResult::streaming;
        }
    }
    if (count != frame::kBytes) {
        return ProbeResult::absent;
    }
    log->debug("CPallador: AD-box detected.", true);
    if (!sendRequest()) {
        return ProbeResult::failed;
    }
    detected = true;
    return ProbeResult::detected;
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

std::int32_t CPallador::recvData(UpdateMasks* masks, std::int32_t /*unused*/) {
    log->debug("CPallador: \"recvData\" called.", true);
    if (controllerMapping == nullptr || serialPort == nullptr || masks == nullptr) {
        log->error("CPallador: Device has not been initialised.", true);
        return -1;
    }
    masks->controller.clear();
    if (trackerOptions != nullptr) {
        masks->tracker.clear();
    }

    int position = 0;
    bool done = false;
    while (!done) {
        if (!running()) {
            break;
        }
        std::uint8_t high = 0;
        std::uint8_t low = 0;
        const std::int32_t gotHigh = serialPort->readPort(&high, 1);
        const std::int32_t gotLow = serialPort->readPort(&low, 1);
        const auto word = static_cast<std::uint16_t>(high << 8 | low);
        rawWords[position] = word;
        // A word with a byte missing counts as silence: decoding it would
        // shift every later frame by one byte.
        if (!detected || gotHigh != 1 || gotLow != 1) {
            switch (probe()) {
                case ProbeResult::failed:
                    return -1;
                case ProbeResult::detected:
                case ProbeResult::absent:
                    return 1;
                case ProbeResult::streaming:
                    continue;
            }
        }
        if (position == 0) {
            // Ask for the next frame now, so the device samples it while we
            // read and process the rest of this one.
            if (!sendRequest()) {
                return -1;
            }
            frame::decodeButtons(word, buttons);
            position = 1;
        } else {
            valuators[position - 1] = frame::decodeValuator(word);
            if (position == frame::kWords - 1) {
                position = 0;
                done = true;
            } else {
                ++position;
            }
        }
    }
    if (!running()) {
        return -1;
    }
    if (log->isDebugEnabled()) {
        printReadings();
    }

    curController.stampNow();
    controllerMapping->applyMapping(valuators, buttons, curController);

    bool success = true;
    if (!sameConData(prevController, curController)) {
        CDataStorage* storage = initInfo.controllerStorage;
        storage->lock();
        controllerEntry = storage->getController(controllerMapping->controllerBase + 1);
        if (controllerEntry != nullptr) {
            log->debug("CPallador: ConData storage found", true);
            *controllerEntry = curController;
        } else {
            log->error("CPallador: ConData storage not found", true);
            success = false;
        }
        storage->unlock();
        if (!success) {
            return -1;
        }
        masks->controller.mark(controllerMapping->entry(1)->outputNumber +
                               controllerMapping->controllerBase);
        prevController = curController;
    }

    if (trackerOptions != nullptr && !publishEmulatedTracker(masks->tracker)) {
        success = false;
    }
    return success ? 1 : -1;
}

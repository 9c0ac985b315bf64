// Framing of the device's answers: each call reads the frame asked for by
// the call before, one word at a time, asks for the next frame as soon as
// word 0 is in, and checks that the words are still in step (step_check.h).
// While the device has not answered, a call probes for it instead.
#include "device/CPallador.h"
#include "device/CRS232H.h"
#include "device/frame.h"

namespace {

constexpr int kProbeGiveUp = 100;
constexpr std::uint32_t kProbeSleepMilliseconds = 1000;

}  // namespace

CPallador::FrameRead CPallador::readFrame() {
    int position = 0;
    bool quiet = false;
    while (running()) {
        if (frameAbandoned) {
            frameAbandoned = false;
            return resynchronise();
        }
        std::uint16_t word = 0;
        const WordRead got = readWord(word, quiet);
        rawWords[position] = word;
        // A word short of a byte after a whole second is a device gone, as
        // is a silent one. A quiet frame waits only briefly for its bytes:
        // a word short there is the trace of a byte lost earlier.
        if (!detected || (got != WordRead::whole && !quiet)) {
            switch (probe()) {
                case ProbeResult::failed:
                    return FrameRead::failed;
                case ProbeResult::detected:
                    stepCheck.restart(platform::monotonicMicroseconds());
                    return FrameRead::noData;
                case ProbeResult::absent:
                    return FrameRead::noData;
                case ProbeResult::streaming:
                    continue;
            }
        }
        if (got != WordRead::whole) {
            return resynchronise();
        }
        if (position == 0) {
            quiet = stepCheck.wantsQuietFrame(word, platform::monotonicMicroseconds());
            // Ask for the next frame now, so the device samples it while we
            // read and process the rest of this one.
            if (!quiet && !sendRequest()) {
                return FrameRead::failed;
            }
            frame::decodeButtons(word, buttons);
        } else if (StepCheck::fitsValuator(word)) {
            valuators[position - 1] = frame::decodeValuator(word);
        } else {
            return resynchronise();
        }
        if (++position == frame::kWords) {
            return quiet ? closeQuietFrame() : FrameRead::complete;
        }
    }
    if (position > 0) {
        frameAbandoned = true;
    }
    return FrameRead::failed;
}

CPallador::WordRead CPallador::readWord(std::uint16_t& word, bool quiet) {
    std::uint8_t bytes[2] = {};
    std::int32_t got = 0;
    for (std::uint8_t& byte : bytes) {
        got += quiet ? serialPort->readPortWithin(&byte, 1,
                                                  step_timing::quietByteMilliseconds(baudRate))
                     : serialPort->readPort(&byte, 1);
    }
    word = static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
    return got == 2 ? WordRead::whole : got == 1 ? WordRead::half : WordRead::silent;
}

// Nothing was asked for after a quiet frame: a byte that still comes is one
// gained earlier, and the frame just read was made of halves.
CPallador::FrameRead CPallador::closeQuietFrame() {
    std::uint8_t stray = 0;
    if (serialPort->readPortWithin(&stray, 1, step_timing::strayWaitMilliseconds(baudRate)) != 0) {
        return resynchronise();
    }
    if (!sendRequest()) {
        return FrameRead::failed;
    }
    stepCheck.confirm(rawWords[0], platform::monotonicMicroseconds());
    return FrameRead::complete;
}

// Drops what is left of the old stream and asks for a fresh frame, which the
// next call reads. The frame in hand is never published.
CPallador::FrameRead CPallador::resynchronise() {
    log->debug("CPallador: Out of step, finding the frame again.", true);
    if (!drainLine()) {
        // A device that never falls quiet is left to the probe.
        detected = false;
        return FrameRead::noData;
    }
    if (!sendRequest()) {
        return FrameRead::failed;
    }
    stepCheck.restart(platform::monotonicMicroseconds());
    return FrameRead::noData;
}

bool CPallador::drainLine() {
    const std::uint32_t gap = step_timing::drainGapMilliseconds(baudRate);
    for (int count = 0; count < kProbeGiveUp; ++count) {
        std::uint8_t discarded = 0;
        if (serialPort->readPortWithin(&discarded, 1, gap) == 0) {
            return true;
        }
    }
    return false;
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

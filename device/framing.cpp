// Framing of the device's answers. In steady state a call collects the
// frame asked for by the call before: word 0, then at once the request for
// the next frame (the device samples it while we work), then the rest in one
// read. The step check (step_check.h) decides whether a whole frame may
// reach the host. While the device has not answered, a call probes for it.
#include <algorithm>

#include "device/CPallador.h"
#include "device/CRS232H.h"

namespace {

constexpr int kProbeGiveUp = 100;
constexpr std::uint32_t kProbeSleepMilliseconds = 1000;
// How long each byte of a frame may keep the device waiting.
constexpr std::uint32_t kByteWaitMilliseconds = 1000;
// Frames a call may read to have one confirmed; it never reads without end.
constexpr int kFramesPerCall = 4;
constexpr int kWordBytes = 2;
constexpr int kRestBytes = frame::kBytes - kWordBytes;

std::int64_t now() {
    return platform::monotonicMicroseconds();
}

}  // namespace

CPallador::FrameRead CPallador::readFrame() {
    if (streamInterrupted) {
        streamInterrupted = false;
        return findFrameAgain(false);
    }
    for (int frames = 0; frames < kFramesPerCall && running(); ++frames) {
        const bool quiet = stepCheck.wantsQuietFrame(now());
        const Collected got = collectFrame(quiet);
        if (got == Collected::broken) {
            lineHealth.frameDropped(LineHealth::Drop::outOfStep, now());
        }
        if (got != Collected::whole) {
            return afterBrokenFrame(got);
        }
        const frame::Words words = frame::wordsOf(frameBytes);
        const std::int64_t judgedAt = now();
        switch (stepCheck.judge(words, quiet, judgedAt)) {
            case StepCheck::Verdict::publish:
                lineHealth.frameTaken(judgedAt);
                decodeFrame(words);
                return FrameRead::complete;
            case StepCheck::Verdict::confirm:
                lineHealth.frameTaken(judgedAt);
                break;
            case StepCheck::Verdict::outOfStep:
                lineHealth.frameDropped(LineHealth::Drop::outOfRange, judgedAt);
                return findFrameAgain(true);
        }
    }
    return running() ? FrameRead::noData : FrameRead::failed;
}

// Word 0 waits as long as the device may take; the rest of the frame then
// follows back to back.
CPallador::Collected CPallador::collectFrame(bool quiet) {
    const std::int64_t asked = ownRequestAt;
    const std::int64_t readFrom = now();
    const std::int32_t head = readFirstWord();
    if (!detected || head == 0) {
        return Collected::silent;
    }
    if (head < kWordBytes) {
        return quiet ? Collected::broken : Collected::silent;
    }
    if (asked != 0) {
        lineTiming.answerSeen(asked, readFrom, now());
    }
    if (!quiet && !sendRequest(false)) {
        return Collected::failed;
    }
    if (!running()) {
        streamInterrupted = true;
        return Collected::stopped;
    }
    const std::int32_t rest =
        serialPort->readPortFor(frameBytes.data() + kWordBytes, kRestBytes,
                                quiet ? lineTiming.quietRestMilliseconds() : kByteWaitMilliseconds);
    if (rest < kRestBytes) {
        return quiet ? quietFrameCutShort(kWordBytes + std::max(rest, 0)) : Collected::silent;
    }
    return quiet ? closeQuietFrame() : Collected::whole;
}

// Each byte waits as long as the device may take, so a silent device is
// told by two whole waits. A read the system failed has been reported by
// the port and brought nothing: the word is silent, and the probe that
// follows finds out whether the line is still there.
std::int32_t CPallador::readFirstWord() {
    std::int32_t got = 0;
    for (int attempt = 0; attempt < kWordBytes && got < kWordBytes; ++attempt) {
        got += std::max(0, serialPort->readPortFor(frameBytes.data() + got, kWordBytes - got,
                                                   kByteWaitMilliseconds));
    }
    return got;
}

// A quiet frame short of a byte is the trace of one lost earlier. Short of
// whole words, it is a device that went silent, told as any silent word is.
CPallador::Collected CPallador::quietFrameCutShort(std::int32_t count) {
    if (count % kWordBytes != 0) {
        return Collected::broken;
    }
    std::uint8_t late = 0;
    return serialPort->readPortFor(&late, 1, kByteWaitMilliseconds) > 0 ? Collected::broken
                                                                        : Collected::silent;
}

// Nothing was asked for after a quiet frame: a byte that still comes is one
// gained earlier, and the frame just read was made of halves. A read the
// system failed proves no silence: the probe finds out what is left.
CPallador::Collected CPallador::closeQuietFrame() {
    std::uint8_t stray = 0;
    const std::int32_t got = serialPort->readPortFor(&stray, 1, lineTiming.strayWaitMilliseconds());
    if (got != 0) {
        return got < 0 ? Collected::silent : Collected::broken;
    }
    return sendRequest(true) ? Collected::whole : Collected::failed;
}

CPallador::FrameRead CPallador::afterBrokenFrame(Collected got) {
    switch (got) {
        case Collected::silent:
            return detect();
        case Collected::broken:
            return findFrameAgain(true);
        default:
            return FrameRead::failed;
    }
}

// Drops what is left of the old stream and asks for a fresh frame, which the
// next call reads. The frame in hand is never published. A call that the run
// flag ended in the middle of a frame left its rest on the line: that is no
// fault, and goes without a word.
CPallador::FrameRead CPallador::findFrameAgain(bool fault) {
    if (fault) {
        log->debug("CPallador: Out of step, finding the frame again.", true);
    }
    switch (drainLine()) {
        case Drain::failed:
            return FrameRead::failed;
        case Drain::stopped:
            streamInterrupted = true;
            return FrameRead::failed;
        case Drain::endless:
            // A device that never falls quiet is left to the probe.
            detected = false;
            return FrameRead::noData;
        case Drain::quiet:
            break;
    }
    if (!sendRequest(true)) {
        return FrameRead::failed;
    }
    stepCheck.restartAfterResync(now());
    return FrameRead::noData;
}

CPallador::Drain CPallador::drainLine() {
    const std::uint32_t gap = lineTiming.drainGapMilliseconds();
    std::uint8_t discarded[frame::kBytes];
    for (int count = 0; count < kProbeGiveUp;) {
        if (!running()) {
            return Drain::stopped;
        }
        const std::int32_t got = serialPort->readPortFor(discarded, sizeof discarded, gap);
        if (got <= 0) {
            return got < 0 ? Drain::failed : Drain::quiet;
        }
        count += got;
    }
    return Drain::endless;
}

bool CPallador::sendRequest(bool onItsOwn) {
    const std::uint8_t request = frame::kRequestByte;
    if (serialPort->writePort(&request, 1) == 0) {
        // A line found gone is reported once, by the port and the outage.
        if (!serialPort->lineLost()) {
            log->error("CPallador: Sending error occured.", true);
        }
        return false;
    }
    ownRequestAt = onItsOwn ? now() : 0;
    return true;
}

void CPallador::decodeFrame(const frame::Words& words) {
    std::copy(words.begin(), words.end(), rawWords);
    frame::decodeButtons(words[0], buttons);
    for (int n = 0; n < frame::kValuators; ++n) {
        valuators[n] = frame::decodeValuator(words[n + 1]);
    }
}

// Probes until the device answers or is found absent; a device that streams
// without pause is probed again after a word, until it falls silent or the
// run flag is cleared.
CPallador::FrameRead CPallador::detect() {
    while (running()) {
        switch (probe()) {
            case ProbeResult::failed:
                return FrameRead::failed;
            case ProbeResult::detected:
                stepCheck.restartAfterDetection(frame::wordsOf(frameBytes), now());
                return FrameRead::noData;
            case ProbeResult::absent:
                return FrameRead::noData;
            case ProbeResult::streaming:
                if (readFirstWord() < 0) {
                    return FrameRead::failed;
                }
                break;
        }
    }
    return FrameRead::failed;
}

CPallador::ProbeResult CPallador::probe() {
    log->debug("CPallador: Trying to detect.", true);
    detected = false;
    if (!serialPort->flushPort()) {
        log->error("CPallador: Flushing IO error occured.", true);
        return ProbeResult::failed;
    }
    if (!sendRequest(true)) {
        return ProbeResult::failed;
    }
    platform::sleepMilliseconds(kProbeSleepMilliseconds);
    // The answer is kept: once it proves whole, it stands for the device
    // until the first frame is read.
    int count = 0;
    for (;;) {
        std::uint8_t answered = 0;
        const std::int32_t got = serialPort->readPort(&answered, 1);
        if (serialPort->lineLost()) {
            return ProbeResult::failed;
        }
        if (got < 0) {
            log->error("CPallador: Reading error occured.", true);
            return ProbeResult::failed;
        }
        if (got == 0) {
            break;
        }
        if (count < frame::kBytes) {
            frameBytes[count] = answered;
        }
        if (++count >= kProbeGiveUp) {
            return ProbeResult::streaming;
        }
    }
    if (count != frame::kBytes) {
        return ProbeResult::absent;
    }
    log->debug("CPallador: AD-box detected.", true);
    if (!sendRequest(true)) {
        return ProbeResult::failed;
    }
    detected = true;
    return ProbeResult::detected;
}

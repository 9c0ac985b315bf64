// Framing of the device's answers. In steady state a call finds the first
// bytes of its frame already read by the call before, reads the rest of the
// frame and the first bytes of the next one (asked for early, so it follows
// at once), and lets the acceptance (frame_acceptance.h) judge the frame by
// where the next one starts. Then it asks for the frame after the next: the
// device samples it while we work. While the device has not answered, a call
// probes for it.
#include <algorithm>

#include "device/CPallador.h"
#include "device/CRS232H.h"

namespace {

constexpr int kProbeGiveUp = 100;
constexpr std::uint32_t kProbeSleepMilliseconds = 1000;
// How long each byte of a frame may keep the device waiting.
constexpr std::uint32_t kByteWaitMilliseconds = 1000;
constexpr int kWordBytes = 2;

}  // namespace

// The receive path's one clock: timing, health and outages alike.
std::int64_t CPallador::now() {
    return platform::monotonicMicroseconds();
}

CPallador::FrameRead CPallador::readFrame() {
    // A host that stopped us finds the line as it left it when it calls again.
    if (!running()) {
        return FrameRead::failed;
    }
    if (streamInterrupted) {
        streamInterrupted = false;
        return findFrameAgain(false);
    }
    if (provedFrame) {
        frameBytes = *provedFrame;
        provedFrame.reset();
        return takeFrame();
    }
    const Collected got = collectFrame();
    if (got != Collected::whole) {
        return afterBrokenFrame(got);
    }
    const std::uint8_t* next = lineBytes.data() + frame::kBytes;
    switch (acceptance.judge(frameBytes, next, serialPort->receiveErrorsSince())) {
        case FrameAcceptance::Verdict::publish:
            keepNextHead();
            // A host that stopped us meanwhile gets nothing; the head kept
            // and the frame asked for carry on when it calls again.
            if (!sendRequest(false) || !running()) {
                return FrameRead::failed;
            }
            return takeFrame();
        case FrameAcceptance::Verdict::hold:
            log->debug("CPallador: Frame held until a quiet frame proves it.", true);
            return readQuietFrame();
        case FrameAcceptance::Verdict::outOfStep:
            return afterBrokenFrame(Collected::broken);
        case FrameAcceptance::Verdict::lineError:
            lineHealth.frameDropped(LineHealth::Drop::lineError, now());
            return findFrameAgain(true);
    }
    return FrameRead::failed;
}

CPallador::FrameRead CPallador::takeFrame() {
    lineHealth.frameTaken(now());
    decodeFrame(frame::wordsOf(frameBytes));
    return FrameRead::complete;
}

void CPallador::keepNextHead() {
    headCount = acceptance.lookAheadBytes();
    std::copy_n(lineBytes.begin() + frame::kBytes, headCount, lineBytes.begin());
}

// A frame whose head no earlier call read was asked for on its own: its
// first bytes wait as long as the device may take, and only then is the
// next frame asked for. The rest of the frame and the head of the next one
// follow back to back.
CPallador::Collected CPallador::collectFrame() {
    if (headCount == 0) {
        const Collected head = collectHead();
        if (head != Collected::whole) {
            return head;
        }
    }
    const int wanted = frame::kBytes - headCount + acceptance.lookAheadBytes();
    const std::int32_t got =
        serialPort->readPortFor(lineBytes.data() + headCount, wanted, kByteWaitMilliseconds);
    if (got < wanted) {
        return Collected::silent;
    }
    std::copy_n(lineBytes.begin(), frame::kBytes, frameBytes.begin());
    headCount = 0;
    return Collected::whole;
}

CPallador::Collected CPallador::collectHead() {
    const std::int64_t asked = ownRequestAt;
    const std::int64_t readFrom = now();
    // A device not found yet is waited for as long as word 0 may take: the
    // probe follows.
    const int wanted = detected ? acceptance.lookAheadBytes() : kWordBytes;
    if (readHead(wanted) < wanted || !detected) {
        return Collected::silent;
    }
    if (asked != 0) {
        lineTiming.answerSeen(asked, readFrom, now());
    }
    if (!sendRequest(false)) {
        return Collected::failed;
    }
    if (!running()) {
        streamInterrupted = true;
        return Collected::stopped;
    }
    headCount = wanted;
    return Collected::whole;
}

// Each byte waits as long as the device may take, so a silent device is
// told by whole waits. A read the system failed has been reported by the
// port and brought nothing: the head is silent, and the probe that follows
// finds out whether the line is still there.
std::int32_t CPallador::readHead(int count) {
    std::int32_t got = 0;
    for (int attempt = 0; attempt < count && got < count; ++attempt) {
        got += std::max(
            0, serialPort->readPortFor(lineBytes.data() + got, count - got, kByteWaitMilliseconds));
    }
    return got;
}

// The held frame waits for the next one, read without the early request:
// whole and followed by silence, it proves both.
CPallador::FrameRead CPallador::readQuietFrame() {
    const frame::Bytes held = frameBytes;
    keepNextHead();
    const int wanted = frame::kBytes - headCount;
    const std::int32_t got = serialPort->readPortFor(lineBytes.data() + headCount, wanted,
                                                     lineTiming.quietRestMilliseconds());
    headCount = 0;
    if (serialPort->receiveErrorsSince()) {
        lineHealth.frameDropped(LineHealth::Drop::lineError, now());
        return findFrameAgain(true);
    }
    const Collected quiet = got < wanted
                                ? quietFrameCutShort(frame::kBytes - wanted + std::max(got, 0))
                                : closeQuietFrame();
    if (quiet != Collected::whole) {
        return afterBrokenFrame(quiet);
    }
    frame::Bytes proved{};
    std::copy_n(lineBytes.begin(), frame::kBytes, proved.begin());
    acceptance.quietFrameProved(proved);
    provedFrame = proved;
    frameBytes = held;
    return takeFrame();
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
            lineHealth.frameDropped(LineHealth::Drop::outOfStep, now());
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
    acceptance.restartAfterResync();
    serialPort->receiveErrorsSince();
    headCount = 0;
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
// without pause is probed again, until it falls silent or the run flag is
// cleared.
CPallador::FrameRead CPallador::detect() {
    while (running()) {
        switch (probe()) {
            case ProbeResult::failed:
                return FrameRead::failed;
            case ProbeResult::detected:
                acceptance.restartAfterDetection(frameBytes);
                serialPort->receiveErrorsSince();
                headCount = 0;
                return FrameRead::noData;
            case ProbeResult::absent:
                return FrameRead::noData;
            case ProbeResult::streaming:
                break;
        }
    }
    return FrameRead::failed;
}

// The answer is kept: once it proves whole, it stands for the device until
// the first frame is read. Each byte waits its second whatever time-outs the
// line was left with: a line that refused the device's settings may have
// none, and would wait for good, deaf to the run flag. -1 after a failure;
// the count stops at kProbeGiveUp.
std::int32_t CPallador::countAnswer() {
    std::int32_t count = 0;
    while (count < kProbeGiveUp) {
        std::uint8_t answered = 0;
        const std::int32_t got = serialPort->readPortFor(&answered, 1, kByteWaitMilliseconds);
        if (serialPort->lineLost()) {
            return -1;
        }
        if (got < 0) {
            log->error("CPallador: Reading error occured.", true);
            return -1;
        }
        if (got == 0) {
            break;
        }
        if (count < frame::kBytes) {
            frameBytes[count] = answered;
        }
        ++count;
    }
    return count;
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
    const std::int32_t count = countAnswer();
    if (count < 0) {
        return ProbeResult::failed;
    }
    if (count >= kProbeGiveUp) {
        return ProbeResult::streaming;
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

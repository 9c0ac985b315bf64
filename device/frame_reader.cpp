// Framing of the device's answers. In steady state a call finds the first
// bytes of its frame already read by the call before, reads the rest of the
// frame and the first bytes of the next one (asked for early, so it follows
// at once), and lets the acceptance (frame_acceptance.h) judge the frame by
// where the next one starts. Then it asks for the frame after the next: the
// device samples it while we work. While the device has not answered, a call
// probes for it.
#include "device/frame_reader.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <utility>

#include "device/CRS232H.h"
#include "device/line_settings.h"
#include "platform/platform.h"
#include "support/CMessageH.h"

namespace {

constexpr int kProbeGiveUp = 100;
constexpr std::uint32_t kProbeSleepMilliseconds = 1000;
// How long each byte of a frame may keep the device waiting.
constexpr std::uint32_t kByteWaitMilliseconds = 1000;
constexpr int kWordBytes = 2;

}  // namespace

FrameReader::FrameReader(CRS232H& line, const CMessageH& deviceLog, const std::int32_t* hostRunFlag,
                         std::string name, std::int32_t rate)
    : port(line),
      log(deviceLog),
      runFlag(hostRunFlag),
      portName(std::move(name)),
      baudRate(rate),
      lineTiming(rate) {}

bool FrameReader::running() const {
    // The host clears its flag from another thread; a null flag is a host
    // that never let us run.
    if (runFlag == nullptr) {
        return false;
    }
    return std::atomic_ref<const std::int32_t>(*runFlag).load(std::memory_order_relaxed) != 0;
}

void FrameReader::setUpLine() {
    platform::PortAttributes attributes{};
    port.getAttributes(&attributes);
    applyLineSettings(attributes);
    port.setAttributes(&attributes);
    port.setBaudRate(baudRate);
    port.applyAttributes(nullptr);
}

// A line just opened again is silent until asked: it goes straight to the
// probe, as the device is to be found anew.
FrameReader::Result FrameReader::read(frame::Bytes& frame) {
    const bool lineWasLost = port.lineLost();
    if (lineWasLost && !awaitLine()) {
        return Result::lineLost;
    }
    const Read got = lineWasLost ? detect() : readFrame();
    reviewLineHealth();
    if (port.lineLost()) {
        reportOutage();
        return Result::lineLost;
    }
    switch (got) {
        case Read::complete:
            frame = frameBytes;
            return Result::frame;
        case Read::noData:
            return Result::noData;
        case Read::failed:
            break;
    }
    return Result::failed;
}

// The receive path's one clock: timing, health and outages alike.
std::int64_t FrameReader::now() {
    return platform::monotonicMicroseconds();
}

FrameReader::Read FrameReader::readFrame() {
    // A host that stopped us finds the line as it left it when it calls again.
    if (!running()) {
        return Read::failed;
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
    switch (acceptance.judge(frameBytes, next, port.receiveErrorsSince())) {
        case FrameAcceptance::Verdict::publish:
            keepNextHead();
            // A host that stopped us meanwhile gets nothing; the head kept
            // and the frame asked for carry on when it calls again.
            if (!sendRequest(false) || !running()) {
                return Read::failed;
            }
            return takeFrame();
        case FrameAcceptance::Verdict::hold:
            log.debug("CPallador: Frame held until a quiet frame proves it.", true);
            return readQuietFrame();
        case FrameAcceptance::Verdict::outOfStep:
            return afterBrokenFrame(Collected::broken);
        case FrameAcceptance::Verdict::lineError:
            lineHealth.frameDropped(LineHealth::Drop::lineError, now());
            return findFrameAgain(true);
    }
    return Read::failed;
}

FrameReader::Read FrameReader::takeFrame() {
    lineHealth.frameTaken(now());
    return Read::complete;
}

void FrameReader::keepNextHead() {
    headCount = acceptance.lookAheadBytes();
    std::copy_n(lineBytes.begin() + frame::kBytes, headCount, lineBytes.begin());
}

// A frame whose head no earlier call read was asked for on its own: its
// first bytes wait as long as the device may take, and only then is the
// next frame asked for. The rest of the frame and the head of the next one
// follow back to back.
FrameReader::Collected FrameReader::collectFrame() {
    if (headCount == 0) {
        const Collected head = collectHead();
        if (head != Collected::whole) {
            return head;
        }
    }
    const int wanted = frame::kBytes - headCount + acceptance.lookAheadBytes();
    const std::int32_t got =
        port.readPortFor(lineBytes.data() + headCount, wanted, kByteWaitMilliseconds);
    if (got < wanted) {
        return Collected::silent;
    }
    std::copy_n(lineBytes.begin(), frame::kBytes, frameBytes.begin());
    headCount = 0;
    return Collected::whole;
}

FrameReader::Collected FrameReader::collectHead() {
    const std::int64_t asked = ownRequestAt;
    const std::int64_t readFrom = now();
    // A device not found yet is waited for as long as word 0 may take: the
    // probe follows.
    const int wanted = detected_ ? acceptance.lookAheadBytes() : kWordBytes;
    if (readHead(wanted) < wanted || !detected_) {
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
std::int32_t FrameReader::readHead(int count) {
    std::int32_t got = 0;
    for (int attempt = 0; attempt < count && got < count; ++attempt) {
        got += std::max(
            0, port.readPortFor(lineBytes.data() + got, count - got, kByteWaitMilliseconds));
    }
    return got;
}

// The held frame waits for the next one, read without the early request:
// whole and followed by silence, it proves both.
FrameReader::Read FrameReader::readQuietFrame() {
    const frame::Bytes held = frameBytes;
    keepNextHead();
    const int wanted = frame::kBytes - headCount;
    const std::int32_t got =
        port.readPortFor(lineBytes.data() + headCount, wanted, lineTiming.quietRestMilliseconds());
    headCount = 0;
    if (port.receiveErrorsSince()) {
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
FrameReader::Collected FrameReader::quietFrameCutShort(std::int32_t count) {
    if (count % kWordBytes != 0) {
        return Collected::broken;
    }
    std::uint8_t late = 0;
    return port.readPortFor(&late, 1, kByteWaitMilliseconds) > 0 ? Collected::broken
                                                                 : Collected::silent;
}

// Nothing was asked for after a quiet frame: a byte that still comes is one
// gained earlier, and the frame just read was made of halves. A read the
// system failed proves no silence: the probe finds out what is left.
FrameReader::Collected FrameReader::closeQuietFrame() {
    std::uint8_t stray = 0;
    const std::int32_t got = port.readPortFor(&stray, 1, lineTiming.strayWaitMilliseconds());
    if (got != 0) {
        return got < 0 ? Collected::silent : Collected::broken;
    }
    return sendRequest(true) ? Collected::whole : Collected::failed;
}

FrameReader::Read FrameReader::afterBrokenFrame(Collected got) {
    switch (got) {
        case Collected::silent:
            return detect();
        case Collected::broken:
            lineHealth.frameDropped(LineHealth::Drop::outOfStep, now());
            return findFrameAgain(true);
        default:
            return Read::failed;
    }
}

// Drops what is left of the old stream and asks for a fresh frame, which the
// next call reads. The frame in hand is never published. A call that the run
// flag ended in the middle of a frame left its rest on the line: that is no
// fault, and goes without a word.
FrameReader::Read FrameReader::findFrameAgain(bool fault) {
    if (fault) {
        log.debug("CPallador: Out of step, finding the frame again.", true);
    }
    switch (drainLine()) {
        case Drain::failed:
            return Read::failed;
        case Drain::stopped:
            streamInterrupted = true;
            return Read::failed;
        case Drain::endless:
            // A device that never falls quiet is left to the probe.
            detected_ = false;
            return Read::noData;
        case Drain::quiet:
            break;
    }
    if (!sendRequest(true)) {
        return Read::failed;
    }
    acceptance.restartAfterResync();
    port.receiveErrorsSince();
    headCount = 0;
    return Read::noData;
}

FrameReader::Drain FrameReader::drainLine() {
    const std::uint32_t gap = lineTiming.drainGapMilliseconds();
    std::uint8_t discarded[frame::kBytes];
    for (int count = 0; count < kProbeGiveUp;) {
        if (!running()) {
            return Drain::stopped;
        }
        const std::int32_t got = port.readPortFor(discarded, sizeof discarded, gap);
        if (got <= 0) {
            return got < 0 ? Drain::failed : Drain::quiet;
        }
        count += got;
    }
    return Drain::endless;
}

bool FrameReader::sendRequest(bool onItsOwn) {
    const std::uint8_t request = frame::kRequestByte;
    if (port.writePort(&request, 1) == 0) {
        // A line found gone is reported once, by the port and the outage.
        if (!port.lineLost()) {
            log.error("CPallador: Sending error occured.", true);
        }
        return false;
    }
    ownRequestAt = onItsOwn ? now() : 0;
    return true;
}

// Probes until the device answers or is found absent; a device that streams
// without pause is probed again, until it falls silent or the run flag is
// cleared.
FrameReader::Read FrameReader::detect() {
    while (running()) {
        switch (probe()) {
            case ProbeResult::failed:
                return Read::failed;
            case ProbeResult::detected:
                acceptance.restartAfterDetection(frameBytes);
                port.receiveErrorsSince();
                headCount = 0;
                return Read::noData;
            case ProbeResult::absent:
                return Read::noData;
            case ProbeResult::streaming:
                break;
        }
    }
    return Read::failed;
}

// The answer is kept: once it proves whole, it stands for the device until
// the first frame is read. Each byte waits its second whatever time-outs the
// line was left with: a line that refused the device's settings may have
// none, and would wait for good, deaf to the run flag. -1 after a failure;
// the count stops at kProbeGiveUp.
std::int32_t FrameReader::countAnswer() {
    std::int32_t count = 0;
    while (count < kProbeGiveUp) {
        std::uint8_t answered = 0;
        const std::int32_t got = port.readPortFor(&answered, 1, kByteWaitMilliseconds);
        if (port.lineLost()) {
            return -1;
        }
        if (got < 0) {
            log.error("CPallador: Reading error occured.", true);
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

FrameReader::ProbeResult FrameReader::probe() {
    log.debug("CPallador: Trying to detect.", true);
    detected_ = false;
    if (!port.flushPort()) {
        log.error("CPallador: Flushing IO error occured.", true);
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
    log.debug("CPallador: AD-box detected.", true);
    if (!sendRequest(true)) {
        return ProbeResult::failed;
    }
    detected_ = true;
    return ProbeResult::detected;
}

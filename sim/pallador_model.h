// The simulated device: answers request bytes with frames, and misbehaves on
// demand (switched off for a while, short or long answers, a frame cut in the
// middle of a word, streaming without requests, bytes lost, slipped in or
// corrupted on the line).
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sim/frame_source.h"
#include "sim/line_faults.h"
#include "sim/pacer.h"

namespace sim {

class PalladorModel {
public:
    FrameSource& source() { return source_; }
    const FrameSource& source() const { return source_; }
    LineFaults& faults() { return faults_; }
    const LineFaults& faults() const { return faults_; }

    // Passive: requests are only collected, never answered.
    void setAnswering(bool answering) { answering_ = answering; }
    bool answering() const { return answering_; }
    void setStreaming(bool streaming) { streaming_ = streaming; }
    bool streaming() const { return streaming_; }

    // Switched off until `until`: what it was sending stops, requests are
    // ignored until then.
    void switchOff(std::int64_t until, Pacer& pacer);
    bool silentAt(std::int64_t now) const { return now < silentUntil_; }
    std::int64_t silentUntil() const { return silentUntil_; }

    // The next answer carries `count` bytes instead of a frame's 14 (fewer:
    // the frame's first bytes; more: the frame, then its bytes again).
    void answerNextWith(std::size_t count) { nextAnswerLength_ = count; }
    // The next frame stops after the high byte of `word` (1 + 2 * word bytes);
    // then the device stays silent for `silenceMs` as a device that glitched
    // mid-frame would, ignoring requests meanwhile.
    void cutNextFrameInWord(std::size_t word, std::int64_t silenceMs = 0) {
        cutWord_ = word;
        cutSilenceMs_ = silenceMs;
    }

    // The next answer stops after `count` bytes (1..14) and the adapter is
    // pulled out behind its last byte (the simulator takes the line down).
    void unplugAfterNext(std::size_t count) { unplugAfter_ = count; }
    void cancelUnplug() { unplugAfter_.reset(); }

    // Bytes from the driver: each request byte asks for one frame, answered
    // once the answer delay has passed.
    void received(const std::uint8_t* bytes, std::size_t count, std::int64_t now);
    // The device's time from a request to its answer, as a real one takes to
    // sample its converters.
    void setAnswerDelay(std::int64_t microseconds) { answerDelay_ = microseconds; }
    std::int64_t answerDelay() const { return answerDelay_; }
    // When the next request waiting for its delay is due, if one waits.
    std::optional<std::int64_t> nextAnswerDue() const;

    // Queues the answers that are due, paced at `baud`.
    void service(std::int64_t now, unsigned baud, Pacer& pacer);

    // Forgets requests not yet answered (line gone, or a reset).
    void dropRequests() { pendingRequests_.clear(); }
    // Back to a device at rest that answers every request.
    void reset();

    std::string describe() const;

private:
    void answer(std::int64_t now, unsigned baud, Pacer& pacer);
    // The answer's line fault, if it gets one; moves the index of the
    // frame's last byte with the bytes around it.
    std::optional<LineFault> spoil(std::vector<std::uint8_t>& bytes, int& endsFrameAt);

    FrameSource source_;
    LineFaults faults_;
    bool answering_ = true;
    bool streaming_ = false;
    std::int64_t silentUntil_ = 0;
    std::optional<std::size_t> nextAnswerLength_;
    std::optional<std::size_t> cutWord_;
    std::int64_t cutSilenceMs_ = 0;
    std::optional<std::size_t> unplugAfter_;
    // When each request not yet answered is due.
    std::deque<std::int64_t> pendingRequests_;
    std::int64_t answerDelay_ = 0;
};

}  // namespace sim

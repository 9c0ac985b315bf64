#include "sim/pallador_model.h"

namespace sim {

namespace {

// A flood of requests must not grow the output without bound; a device busy
// with this many frames just misses further requests.
constexpr std::size_t kMaxQueuedFrames = 64;

}  // namespace

void PalladorModel::switchOff(std::int64_t until, Pacer& pacer) {
    silentUntil_ = until;
    pendingRequests_.clear();
    pacer.clear();
}

void PalladorModel::received(const std::uint8_t* bytes, std::size_t count, std::int64_t now) {
    if (!answering_ || silentAt(now)) return;
    for (std::size_t i = 0; i < count; ++i) {
        if (bytes[i] == kRequestByte && pendingRequests_.size() < kMaxQueuedFrames) {
            pendingRequests_.push_back(now + answerDelay_);
        }
    }
}

std::optional<std::int64_t> PalladorModel::nextAnswerDue() const {
    if (pendingRequests_.empty()) return std::nullopt;
    return pendingRequests_.front();
}

void PalladorModel::service(std::int64_t now, unsigned baud, Pacer& pacer) {
    if (silentAt(now)) return;
    while (!pendingRequests_.empty() && pendingRequests_.front() <= now) {
        pendingRequests_.pop_front();
        if (pacer.queued() < kMaxQueuedFrames * kFrameBytes) answer(now, baud, pacer);
    }
    // Streaming keeps exactly one frame in flight, so a change of mode or
    // speed takes effect with the next frame.
    if (streaming_ && pacer.empty()) answer(now, baud, pacer);
}

void PalladorModel::answer(std::int64_t now, unsigned baud, Pacer& pacer) {
    const Frame frame = source_.next(now);
    std::size_t length = kFrameBytes;
    int unplugsAt = -1;
    if (unplugAfter_) {
        length = *unplugAfter_;
        unplugAfter_.reset();
        unplugsAt = static_cast<int>(length) - 1;
    } else if (nextAnswerLength_) {
        length = *nextAnswerLength_;
        nextAnswerLength_.reset();
    } else if (cutWord_) {
        length = 2 * *cutWord_ + 1;
        cutWord_.reset();
        if (cutSilenceMs_ > 0 && baud > 0) {
            const std::int64_t sending = static_cast<std::int64_t>(length) * 10 * 1000000 / baud;
            silentUntil_ = now + sending + cutSilenceMs_ * 1000;
            pendingRequests_.clear();
        }
    }
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = frame[i % kFrameBytes];
    int endsFrameAt = length >= kFrameBytes ? static_cast<int>(kFrameBytes) - 1 : -1;
    // An unplug cuts the answer at a byte count of its own: no line fault in it.
    const std::optional<LineFault> fault = unplugsAt < 0 ? spoil(bytes, endsFrameAt) : std::nullopt;
    const std::int64_t start =
        pacer.schedule(bytes, baud, now, endsFrameAt, wordOf(frame, 1), unplugsAt);
    if (fault) faults_.made(*fault, Pacer::crossedAt(start, baud, fault->position + 1));
}

std::optional<LineFault> PalladorModel::spoil(std::vector<std::uint8_t>& bytes, int& endsFrameAt) {
    std::optional<LineFault> fault = faults_.take(bytes.size());
    if (!fault || !applyFault(*fault, bytes)) return std::nullopt;
    const bool beforeEnd = static_cast<int>(fault->position) <= endsFrameAt;
    if (fault->kind == FaultKind::Lose && beforeEnd) --endsFrameAt;
    if (fault->kind == FaultKind::Stray && beforeEnd) {
        endsFrameAt += static_cast<int>(fault->bytes.size());
    }
    return fault;
}

void PalladorModel::reset() {
    source_.rest();
    source_.resetChannels();
    answering_ = true;
    streaming_ = false;
    silentUntil_ = 0;
    nextAnswerLength_.reset();
    cutWord_.reset();
    unplugAfter_.reset();
    pendingRequests_.clear();
    answerDelay_ = 0;
    faults_.reset();
}

std::string PalladorModel::describe() const {
    std::string text = "mode=" + (answering_ ? source_.name() : std::string("passive"));
    text += std::string(" stream=") + (streaming_ ? "on" : "off");
    if (nextAnswerLength_) text += " probe-answer=" + std::to_string(*nextAnswerLength_);
    if (cutWord_) text += " half-word=" + std::to_string(*cutWord_);
    if (unplugAfter_) text += " hangup-after=" + std::to_string(*unplugAfter_);
    if (source_.channels() != Channels{}) text += ' ' + describeChannels(source_);
    return text;
}

}  // namespace sim

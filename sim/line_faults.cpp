#include "sim/line_faults.h"

#include "sim/hex.h"

namespace sim {

namespace {

// A soak at one fault per hundred frames logs a few thousand an hour; a
// client that never asks must not grow the simulator without bound.
constexpr std::size_t kMaxLogged = 100000;

std::size_t indexOf(FaultKind kind) {
    return static_cast<std::size_t>(kind);
}

}  // namespace

const char* faultKindName(FaultKind kind) {
    switch (kind) {
        case FaultKind::Lose:
            return "lose";
        case FaultKind::Stray:
            return "stray";
        case FaultKind::Corrupt:
            return "corrupt";
    }
    return "?";
}

std::optional<FaultKind> parseFaultKind(const std::string& name) {
    for (FaultKind kind : {FaultKind::Lose, FaultKind::Stray, FaultKind::Corrupt}) {
        if (name == faultKindName(kind)) return kind;
    }
    return std::nullopt;
}

bool applyFault(const LineFault& fault, std::vector<std::uint8_t>& answer) {
    // A stray may follow the last byte; the others need a byte to act on.
    const std::size_t room = fault.kind == FaultKind::Stray ? answer.size() + 1 : answer.size();
    if (fault.position >= room) return false;
    const auto at = answer.begin() + static_cast<std::ptrdiff_t>(fault.position);
    switch (fault.kind) {
        case FaultKind::Lose:
            answer.erase(at);
            return true;
        case FaultKind::Stray:
            answer.insert(at, fault.bytes.begin(), fault.bytes.end());
            return true;
        case FaultKind::Corrupt:
            *at = fault.bytes.empty() ? static_cast<std::uint8_t>(~*at) : fault.bytes.front();
            return true;
    }
    return false;
}

void LineFaults::setRandom(std::uint32_t rate, std::uint32_t seed, std::vector<FaultKind> kinds) {
    rate_ = rate;
    seed_ = seed;
    kinds_ = std::move(kinds);
    random_.seed(seed);
}

std::optional<LineFault> LineFaults::take(std::size_t length) {
    if (next_) {
        std::optional<LineFault> fault = std::move(next_);
        next_.reset();
        return fault;
    }
    if (rate_ == 0 || kinds_.empty()) return std::nullopt;
    if (std::uniform_int_distribution<std::uint32_t>(0, rate_ - 1)(random_) != 0) {
        return std::nullopt;
    }
    LineFault fault;
    fault.kind = kinds_[std::uniform_int_distribution<std::size_t>(0, kinds_.size() - 1)(random_)];
    if (length == 0 && fault.kind != FaultKind::Stray) return std::nullopt;
    // A stray may also follow the answer's last byte.
    const std::size_t last = fault.kind == FaultKind::Stray ? length : length - 1;
    fault.position = std::uniform_int_distribution<std::size_t>(0, last)(random_);
    if (fault.kind == FaultKind::Stray) {
        fault.bytes.push_back(
            static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 255)(random_)));
    }
    return fault;
}

void LineFaults::made(const LineFault& fault, std::int64_t at) {
    ++made_[indexOf(fault.kind)];
    if (log_.size() < kMaxLogged) log_.push_back({at, fault.kind, fault.position});
}

std::string LineFaults::counts() const {
    const std::uint64_t total = made_[0] + made_[1] + made_[2];
    return "made=" + std::to_string(total) + " lose=" + std::to_string(made_[0]) +
           " stray=" + std::to_string(made_[1]) + " corrupt=" + std::to_string(made_[2]);
}

std::string LineFaults::takeLog() {
    std::string text;
    for (const Entry& entry : log_) {
        if (!text.empty()) text += ' ';
        text += std::to_string(entry.at) + ':' + faultKindName(entry.kind) + ':' +
                std::to_string(entry.position);
    }
    log_.clear();
    return text;
}

std::string LineFaults::describe() const {
    std::string text;
    if (next_) {
        text += std::string("fault=") + faultKindName(next_->kind) + ':' +
                std::to_string(next_->position);
        if (!next_->bytes.empty()) text += ':' + toHex(next_->bytes);
        text += ' ';
    }
    return text + randomMode();
}

std::string LineFaults::randomMode() const {
    if (rate_ == 0) return "faults=off";
    std::string text = "faults=1/" + std::to_string(rate_) +
                       " fault-seed=" + std::to_string(seed_) + " fault-kinds=";
    for (std::size_t i = 0; i < kinds_.size(); ++i) {
        if (i > 0) text += ',';
        text += faultKindName(kinds_[i]);
    }
    return text;
}

void LineFaults::reset() {
    next_.reset();
    rate_ = 0;
    kinds_.clear();
    for (auto& count : made_) count = 0;
    log_.clear();
}

}  // namespace sim

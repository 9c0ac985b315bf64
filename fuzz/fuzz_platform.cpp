// The platform backends the fuzz build puts in place of the Linux serial
// line, clock and dynamic loader (the mutex stays the real one). Everything
// is deterministic and nothing waits: a run's behaviour depends only on its
// input, and thousands of runs fit in a second.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

#include "fuzz/fuzz_line.h"
#include "platform/platform.h"

namespace {

// 2023-11-14 22:13:20 UTC, far from any 32-bit overflow.
constexpr std::int64_t kEpochMicroseconds = 1700000000LL * 1000000;

// An answer to come, or an outage where it would (refusedOpens >= 0).
struct Answer {
    std::vector<std::uint8_t> bytes;
    int refusedOpens = -1;
};

struct Line {
    std::deque<std::uint8_t> unread;
    std::deque<Answer> answers;
    std::size_t queued = 0;  // bytes in answers
    std::int64_t clock = 0;  // virtual microseconds since kEpochMicroseconds
    fuzzline::SilenceHook hook = nullptr;
    void* hookContext = nullptr;
    int openLines = 0;
    int openLibraries = 0;
    bool down = false;
    int refusedOpens = 0;
    std::int64_t lastRefusedOpen = -1;
    std::int64_t shortestReopenGap = -1;
};

Line& line() {
    static Line state;
    return state;
}

bool fail(int code) {
    errno = code;
    return false;
}

// Ten bit times per byte at 8N1; an unknown rate counts as 9600 baud.
std::int64_t byteMicroseconds(std::uint32_t baud) {
    return 10000000 / (baud != 0 ? baud : 9600);
}

// The library handle is an address that nothing dereferences.
char fakeLibrary;

}  // namespace

namespace fuzzline {

void reset() {
    Line& state = line();
    state.unread.clear();
    state.answers.clear();
    state.queued = 0;
    state.clock = 0;
    state.down = false;
    state.refusedOpens = 0;
    state.lastRefusedOpen = -1;
    state.shortestReopenGap = -1;
}

void put(const std::uint8_t* bytes, std::size_t size) {
    line().unread.insert(line().unread.end(), bytes, bytes + size);
}

void queueAnswer(const std::uint8_t* bytes, std::size_t size) {
    line().answers.push_back(Answer{std::vector<std::uint8_t>(bytes, bytes + size)});
    line().queued += size;
}

void queueOutage(int refusedOpens) {
    line().answers.push_back(Answer{{}, refusedOpens < 0 ? 0 : refusedOpens});
}

std::size_t pending() {
    const Line& state = line();
    const bool outageAhead =
        std::any_of(state.answers.begin(), state.answers.end(),
                    [](const Answer& answer) { return answer.refusedOpens >= 0; });
    return state.unread.size() + state.queued + (state.down || outageAhead ? 1 : 0);
}

bool lineDown() {
    return line().down;
}

std::int64_t shortestReopenGap() {
    return line().shortestReopenGap;
}

void onSilence(SilenceHook hook, void* context) {
    line().hook = hook;
    line().hookContext = context;
}

int openLines() {
    return line().openLines;
}
int openLibraries() {
    return line().openLibraries;
}

}  // namespace fuzzline

namespace platform {

// ---- clock, threads, byte order, error text ------------------------------------

ClockReading readClock() {
    const std::int64_t now = kEpochMicroseconds + line().clock;
    ClockReading reading{};
    reading.seconds = static_cast<std::int32_t>(now / 1000000);
    reading.milliseconds = static_cast<std::uint16_t>(now / 1000 % 1000);
    return reading;
}

std::int64_t monotonicMicroseconds() {
    return line().clock;
}

std::uint32_t currentThreadId() {
    return 1;
}

void sleepMilliseconds(std::uint32_t milliseconds) {
    line().clock += static_cast<std::int64_t>(milliseconds) * 1000;
}

std::string lastErrorText() {
    const char* text = std::strerror(errno);
    return text != nullptr ? std::string(text) : std::string();
}

bool lastErrorMeansHeldElsewhere() {
    return errno == EBUSY;
}

// ---- serial line ------------------------------------------------------------------

// The line's settings as last set: the virtual line paces its bytes and
// its time-outs by them.
struct SerialLine::State {
    PortAttributes applied{};
};

SerialLine::SerialLine() = default;

SerialLine::~SerialLine() {
    if (isOpen()) {
        close();
    }
}

// Any name opens but the empty one, which no system has a device for, and
// any while the adapter is out.
bool SerialLine::open(const char* name) {
    if (isOpen()) {
        return fail(EBUSY);
    }
    if (name == nullptr) {
        return fail(EFAULT);
    }
    if (name[0] == '\0') {
        return fail(ENOENT);
    }
    Line& state = line();
    if (state.down) {
        if (state.lastRefusedOpen >= 0) {
            const std::int64_t gap = state.clock - state.lastRefusedOpen;
            if (state.shortestReopenGap < 0 || gap < state.shortestReopenGap) {
                state.shortestReopenGap = gap;
            }
        }
        state.lastRefusedOpen = state.clock;
        if (state.refusedOpens > 0) {
            --state.refusedOpens;
            return fail(ENOENT);
        }
        // Back as a new line: nothing of the old one is on it.
        state.down = false;
        state.lastRefusedOpen = -1;
        state.unread.clear();
    }
    state_ = std::make_unique<State>();
    Dcb& dcb = state_->applied.dcb;
    dcb.DCBlength = sizeof(Dcb);
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    ++line().openLines;
    return true;
}

bool SerialLine::close() {
    if (!isOpen()) {
        return fail(EBADF);
    }
    state_.reset();
    --line().openLines;
    return true;
}

bool SerialLine::getLineSettings(Dcb& dcb) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    dcb = state_->applied.dcb;
    return true;
}

bool SerialLine::getTimeouts(CommTimeouts& timeouts) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    timeouts = state_->applied.timeouts;
    return true;
}

// As a terminal does: only rates and sizes it knows.
bool SerialLine::setLineSettings(const Dcb& dcb) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    if (dcb.BaudRate == 0 || dcb.BaudRate > 921600 || dcb.ByteSize < 5 || dcb.ByteSize > 8) {
        return fail(EINVAL);
    }
    state_->applied.dcb = dcb;
    return true;
}

bool SerialLine::setTimeouts(const CommTimeouts& timeouts) {
    if (!isOpen()) {
        return fail(EBADF);
    }
    state_->applied.timeouts = timeouts;
    return true;
}

namespace {

// What has come, up to the count; a read left short has waited out its
// whole wait, on the virtual clock.
bool readWithin(Line& state, const Dcb& dcb, void* buffer, std::uint32_t count,
                std::int64_t waitMicroseconds, std::uint32_t& transferred) {
    if (count == 0) {
        return true;
    }
    if (buffer == nullptr) {
        return fail(EFAULT);
    }
    const std::size_t taken = state.unread.size() < count ? state.unread.size() : count;
    std::copy_n(state.unread.begin(), taken, static_cast<std::uint8_t*>(buffer));
    state.unread.erase(state.unread.begin(), state.unread.begin() + static_cast<long>(taken));
    transferred = static_cast<std::uint32_t>(taken);
    state.clock += static_cast<std::int64_t>(taken) * byteMicroseconds(dcb.BaudRate);
    if (taken < count) {
        state.clock += waitMicroseconds;
        if (state.hook != nullptr) {
            state.hook(state.hookContext);
        }
    }
    return true;
}

}  // namespace

bool SerialLine::read(void* buffer, std::uint32_t count, std::uint32_t& transferred) {
    transferred = 0;
    if (!isOpen()) {
        return fail(EBADF);
    }
    if (line().down) {
        return fail(EIO);
    }
    const CommTimeouts& timeouts = state_->applied.timeouts;
    const std::int64_t wait =
        (static_cast<std::int64_t>(timeouts.ReadTotalTimeoutMultiplier) * count +
         timeouts.ReadTotalTimeoutConstant) *
        1000;
    return readWithin(line(), state_->applied.dcb, buffer, count, wait, transferred);
}

bool SerialLine::readFor(void* buffer, std::uint32_t count, std::uint32_t milliseconds,
                         std::uint32_t& transferred) {
    transferred = 0;
    if (!isOpen()) {
        return fail(EBADF);
    }
    if (line().down) {
        return fail(EIO);
    }
    return readWithin(line(), state_->applied.dcb, buffer, count, std::int64_t{milliseconds} * 1000,
                      transferred);
}

// The virtual line has no UART.
bool SerialLine::receiveErrorsSince() {
    return false;
}

bool SerialLine::write(const void* bytes, std::uint32_t count, std::uint32_t& transferred) {
    transferred = 0;
    if (!isOpen()) {
        return fail(EBADF);
    }
    if (count == 0) {
        return true;
    }
    if (bytes == nullptr) {
        return fail(EFAULT);
    }
    Line& state = line();
    if (state.down) {
        return fail(EIO);
    }
    if (!state.answers.empty() && state.answers.front().refusedOpens >= 0) {
        state.down = true;
        state.refusedOpens = state.answers.front().refusedOpens;
        state.answers.pop_front();
        return fail(EIO);
    }
    transferred = count;
    state.clock +=
        static_cast<std::int64_t>(count) * byteMicroseconds(state_->applied.dcb.BaudRate);
    for (std::uint32_t k = 0;
         k < count && !state.answers.empty() && state.answers.front().refusedOpens < 0; ++k) {
        const std::vector<std::uint8_t>& answer = state.answers.front().bytes;
        state.unread.insert(state.unread.end(), answer.begin(), answer.end());
        state.queued -= answer.size();
        state.answers.pop_front();
    }
    return true;
}

// ---- dynamic libraries --------------------------------------------------------------

// Names that look like a library are found; nothing is read from disk.
LibraryHandle loadLibrary(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    const std::size_t length = std::strlen(name);
    const bool looksLikeLibrary = (length > 3 && std::strcmp(name + length - 3, ".so") == 0) ||
                                  (length > 4 && std::strcmp(name + length - 4, ".dll") == 0);
    if (!looksLikeLibrary) {
        return nullptr;
    }
    ++line().openLibraries;
    return &fakeLibrary;
}

void freeLibrary(LibraryHandle library) {
    if (library != nullptr) {
        --line().openLibraries;
    }
}

void* findSymbol(LibraryHandle library, const char* name) {
    (void)library;
    (void)name;
    return nullptr;
}

}  // namespace platform

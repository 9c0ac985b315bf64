// The fuzz input as the device's answers on the serial line, read by the
// receive cycle of a fully initialised device, with and without tracker
// emulation, until the line has fallen silent (or a bounded number of
// calls), then stop and deleteDev.
//
// Input: one byte of choices, then the bytes the device sends. As one
// stream, they are all on the line from the start. Otherwise they are
// answers, each a length byte and that many bytes (the last one cut short
// by the end of the input): the first is on the line from the start, each
// later one comes in reply to the next byte the driver sends, and the line
// is silent whenever what came has been read. A pure stream never falls
// silent before its end, so without answers a frame could never follow a
// detection. A length byte of 0xFF is no answer but the adapter pulled out
// where the next answer would come; the byte after it tells how many
// attempts to open the port find it absent (0 to 3) before it is back.
#include <algorithm>
#include <cstdint>
#include <string>

#include "device/exports.h"
#include "fuzz/fuzz_line.h"
#include "fuzz/fuzz_support.h"
#include "host/kit/config.h"
#include "host/kit/init_record.h"
#include "host/kit/storage.h"

namespace {

enum Choice : std::uint8_t {
    kTrackerEmulation = 1 << 0,
    kDebugLog = 1 << 1,
    kCurvesAndOrders = 1 << 2,
    kSecondDevice = 1 << 3,  // the storages already hold one entry of another device
    kOneStream = 1 << 4,
    kStopBits = 7 << 5,  // n > 0: the host clears its run flag at the n-th silent read
};

// A probe sleeps a second and reads past the last byte, so even a long
// stream takes few calls; the bound only guards against a cycle that never
// stops consuming.
constexpr int kMaxCalls = 400;
constexpr std::uint8_t kOutage = 0xFF;
// The device opens its port again at most once a second.
constexpr std::int64_t kReopenGapMicroseconds = 1000000;

hostkit::Config buildConfig(std::uint8_t choices) {
    hostkit::Config config("pallador");
    std::uint32_t number = 1;
    config.add(++number, "port", {"/dev/fuzz0"});
    config.add(++number, "baud", {"9600"});
    if ((choices & kCurvesAndOrders) != 0) {
        config.add(++number, "valuatororder", {"1", "3", "1", "2", "0", "5", "6"});
        config.add(++number, "buttonorder",
                   {"1", "12", "11", "10", "9", "8", "7", "6", "5", "4", "3", "2", "1"});
        config.add(++number, "valuatorscale", {"1", "[0.7,0,0.3,0]", "1", "2"});
        config.add(++number, "valuatorscale", {"1", "[1000,0,0,-2]", "3"});
    }
    if ((choices & kTrackerEmulation) != 0) {
        config.add(++number, "emulatetracker",
                   {"1", "[0,0,1.5,0,0,0]", "1", "2", "3", "4", "5", "6", "12"});
        config.add(++number, "sensoroffset", {"1", "0", "0.1", "0", "m"});
    }
    return config;
}

void putOnLine(const std::uint8_t* bytes, std::size_t size, bool oneStream) {
    if (oneStream) {
        fuzzline::put(bytes, size);
        return;
    }
    bool first = true;
    for (std::size_t at = 0; at < size;) {
        if (bytes[at] == kOutage && !first) {
            fuzzline::queueOutage(at + 1 < size ? bytes[at + 1] % 4 : 0);
            at += 2;
            continue;
        }
        const std::size_t length = std::min<std::size_t>(bytes[at], size - at - 1);
        if (first) {
            fuzzline::put(bytes + at + 1, length);
            first = false;
        } else {
            fuzzline::queueAnswer(bytes + at + 1, length);
        }
        at += 1 + length;
    }
}

struct HostStop {
    hostkit::InitRecord* record;
    int silencesLeft;
};

void countSilence(void* context) {
    auto* stop = static_cast<HostStop*>(context);
    if (--stop->silencesLeft == 0) {
        stop->record->setRunning(false);
    }
}

// The device owns one controller (and one tracker): no other bit may be set.
void expectOnlyOwnBit(const UpdateMask& mask, std::uint32_t own, const char* which) {
    for (std::uint32_t id = 1; id <= 32; ++id) {
        if (id != own && mask.isMarked(id)) {
            fuzzsupport::finding(std::string(which) +
                                 " mask marks a record the device does not own");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::quietOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t choices = data[0];
    const bool emulation = (choices & kTrackerEmulation) != 0;
    fuzzsupport::resetOutputState();
    fuzzline::reset();
    putOnLine(data + 1, size - 1, (choices & kOneStream) != 0);

    hostkit::Config config = buildConfig(choices);
    hostkit::Storage trackers(hostkit::StorageKind::tracker);
    hostkit::Storage controllers(hostkit::StorageKind::controller);
    hostkit::InitRecord record(&trackers, &controllers);
    const std::uint32_t others = (choices & kSecondDevice) != 0 ? 1 : 0;
    controllers.setCount(others);
    trackers.setCount(others);
    const std::uint32_t own = 1 + others;
    HostStop stop{&record, (choices & kStopBits) >> 5};
    fuzzline::onSilence(stop.silencesLeft != 0 ? countSilence : nullptr, &stop);
    const CMessageH log = fuzzsupport::hostLog((choices & kDebugLog) != 0);

    CBase* device = createDev(config.get(), &log);
    if (device == nullptr || device->init(record.get()) != 1) {
        fuzzsupport::finding("a valid configuration did not initialise");
    }
    device->start();
    for (int call = 0; call < kMaxCalls; ++call) {
        const bool silentBefore = fuzzline::pending() == 0;
        const bool downBefore = fuzzline::lineDown();
        record.clearMasks();
        const std::int32_t result = device->recvData(record.masks(), 0);
        if (result != 1 && result != -1) {
            fuzzsupport::finding("recvData returned neither 1 nor -1");
        }
        if (downBefore && fuzzline::lineDown() &&
            (result != -1 || record.masks()->controller.isMarked(own) ||
             record.masks()->tracker.isMarked(own))) {
            fuzzsupport::finding("a call while the line is out did not fail with clear masks");
        }
        if (fuzzline::openLines() > 1) {
            fuzzsupport::finding("the port was opened again over a line still open");
        }
        const std::int64_t gap = fuzzline::shortestReopenGap();
        if (gap >= 0 && gap < kReopenGapMicroseconds) {
            fuzzsupport::finding("the port was reopened more than once a second");
        }
        expectOnlyOwnBit(record.masks()->controller, own, "controller");
        expectOnlyOwnBit(record.masks()->tracker, emulation ? own : 0, "tracker");
        if (record.masks()->controller.isMarked(own) &&
            controllers.controller(own)->getId() != own) {
            fuzzsupport::finding("published controller record carries the wrong id");
        }
        if (record.masks()->tracker.isMarked(own) && trackers.tracker(own)->getId() != own) {
            fuzzsupport::finding("published tracker record carries the wrong id");
        }
        if (silentBefore || !record.running()) {
            break;
        }
    }
    if (controllers.count() != own || trackers.count() != (emulation ? own : others)) {
        fuzzsupport::finding("the receive cycle changed a storage's count");
    }
    device->stop();
    deleteDev(device);
    fuzzline::onSilence(nullptr, nullptr);
    if (fuzzline::openLines() != 0) {
        fuzzsupport::finding("the serial line outlived its device");
    }
    fuzzsupport::expectIntact(trackers.checkGuards());
    fuzzsupport::expectIntact(controllers.checkGuards());
    fuzzsupport::expectIntact(record.checkGuards());
    fuzzsupport::expectIntact(config.checkGuards());
    return 0;
}

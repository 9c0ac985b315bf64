// Option lines from the fuzz input through every parser of the plug-in, the
// unknown-option check and the reports, first parser by parser (so that a
// line one parser rejects still reaches the others), then through a whole
// device's init.
//
// Input: one byte of choices, then text in the shape of the host's
// configuration: lines apart at "\n", empty lines and lines beginning with
// "#" skipped (but counted), a line beginning with "device " naming the
// device, every other line an option line split at each single space (so
// two spaces make an empty argument) but inside a "[...]" vector. A word of the one byte 0x01
// stands for a null pointer. Lines past 32 and arguments past 64 raise the record's counts beyond
// what it holds, as a faulty host might.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/CConCommonH.h"
#include "config/CTraCommonH.h"
#include "config/options.h"
#include "device/exports.h"
#include "fuzz/fuzz_line.h"
#include "fuzz/fuzz_support.h"
#include "host/kit/config.h"
#include "host/kit/init_record.h"
#include "host/kit/storage.h"

namespace {

enum Choice : std::uint8_t {
    kDebugLog = 1 << 0,
    kOrderUnlocked = 1 << 1,  // the mapping takes controller order lines
    kUnrestrictedIds = 1 << 2,
    kControllerBits = 3 << 3,   // 1 to 4 controllers in the mapping
    kOutputConnector = 1 << 5,  // tracker order lines taken, CAVE lines ignored
    kThreeTrackers = 1 << 6,
    kNoTrackerStorage = 1 << 7,
};

constexpr char kNullWord[] = "\x01";

struct TextLine {
    std::uint32_t number;
    std::vector<std::string_view> words;
};

// Apart at each separator; with `brackets`, as the host splits its words, a
// part that begins with "[" runs to its "]" whatever lies inside.
std::vector<std::string_view> splitAt(std::string_view text, char separator, bool brackets) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t from = start;
        if (brackets && start < text.size() && text[start] == '[') {
            from = std::min(text.find(']', start), text.size());
        }
        const std::size_t end = text.find(separator, from);
        if (end == std::string_view::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

hostkit::Config buildConfig(std::string_view text) {
    constexpr std::string_view kDeviceLine = "device ";
    const std::vector<std::string_view> lines = splitAt(text, '\n', false);
    std::string_view deviceName = "pallador";
    std::vector<TextLine> options;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty() || lines[i][0] == '#') {
            continue;
        }
        if (lines[i].substr(0, kDeviceLine.size()) == kDeviceLine) {
            deviceName = lines[i].substr(kDeviceLine.size());
            continue;
        }
        options.push_back({static_cast<std::uint32_t>(i + 1), splitAt(lines[i], ' ', true)});
    }
    hostkit::Config config{std::string(deviceName)};
    for (const TextLine& line : options) {
        const std::size_t argCount = line.words.size() - 1;
        const std::size_t kept = std::min<std::size_t>(argCount, OptionLine::kMaxArgs);
        std::vector<std::string> arguments(line.words.begin() + 1, line.words.begin() + 1 + kept);
        const std::uint32_t slot = config.lineCount();
        if (!config.add(line.number, std::string(line.words[0]), arguments)) {
            break;
        }
        if (line.words[0] == kNullWord) {
            config.clearKeyword(slot);
        }
        for (std::size_t k = 0; k < kept; ++k) {
            if (arguments[k] == kNullWord) {
                config.clearArgument(slot, static_cast<std::uint32_t>(k));
            }
        }
        config.setArgCount(slot, static_cast<std::uint32_t>(argCount));
    }
    config.setLineCount(static_cast<std::uint32_t>(options.size()));
    return config;
}

void clearUsedFlags(hostkit::Config& config) {
    for (std::uint32_t slot = 0; slot < config.lineCount(); ++slot) {
        config.line(slot).used = 0;
    }
}

// The parsers may set the used flags and nothing else in the host's record.
void expectOnlyUsedFlagsChanged(hostkit::Config& config, const DeviceConfig& before) {
    for (std::uint32_t slot = 0; slot < config.lineCount(); ++slot) {
        if (config.line(slot).used > 1) {
            fuzzsupport::finding("a used flag other than 0 or 1");
        }
    }
    clearUsedFlags(config);
    if (std::memcmp(config.get(), &before, sizeof before) != 0) {
        fuzzsupport::finding("the configuration record changed beyond its used flags");
    }
}

void parseMapping(DeviceConfig* config, const CMessageH& log, std::uint8_t choices) {
    const std::uint32_t controllers = 1 + ((choices & kControllerBits) >> 3);
    CConCommonH mapping(&log);
    mapping.orderLocked = (choices & kOrderUnlocked) == 0;
    mapping.numControllers = controllers;
    mapping.allocate(controllers, (choices & kUnrestrictedIds) == 0);
    for (std::uint32_t c = 1; c <= controllers; ++c) {
        mapping.setupController(c, c, 6, 12);
    }
    mapping.parseOptions(config);
    mapping.numberTrackers(1);
    mapping.printMapping();

    // The parsed curves, orders and start pose applied at both ends of the
    // range, and one emulation step.
    ConData reading{};
    reading.reset();
    reading.setValuatorCount(ConData::kMaxValuators);
    reading.setButtonCount(ConData::kMaxButtons);
    const float extremes[6] = {-1.0f, 1.0f, -65.06f, 1.0f, 0.0f, -1.002f};
    const std::int32_t buttons[12] = {1, 0, 1, 0, 1, 1, 0, 0, 1, 0, 1, 1};
    mapping.applyMapping(extremes, buttons, reading);
    TraData pose{};
    pose.clearPose();
    mapping.resetEmulatedTracker(1, &pose, &reading);
    mapping.emulateTrackerAt(1, &pose, &reading, 1.0);
    mapping.emulateTrackerAt(1, &pose, &reading, 2.5);
}

void parseTrackerOptions(DeviceConfig* config, const CMessageH& log, std::uint8_t choices) {
    const std::uint32_t trackers = (choices & kThreeTrackers) != 0 ? 3 : 1;
    CTraCommonH options(&log);
    options.inputConnector = (choices & kOutputConnector) == 0;
    options.outputCount = trackers;
    options.setTrackerCount(trackers);
    for (std::uint32_t n = 1; n <= trackers; ++n) {
        options.setTracker(n, n, nullptr, nullptr, nullptr);
    }
    options.parseOptions(config);
    options.printConfiguration(true);
}

void runDevice(hostkit::Config& config, const CMessageH& log, std::uint8_t choices) {
    hostkit::Storage trackers(hostkit::StorageKind::tracker);
    hostkit::Storage controllers(hostkit::StorageKind::controller);
    hostkit::InitRecord record((choices & kNoTrackerStorage) != 0 ? nullptr : &trackers,
                               &controllers);
    CBase* device = createDev(config.get(), &log);
    if (device == nullptr) {
        fuzzsupport::finding("createDev gave no device");
    }
    const std::int32_t result = device->init(record.get());
    if (result != 1 && result != -1) {
        fuzzsupport::finding("init returned neither 1 nor -1");
    }
    device->configure();
    device->printInfo();
    device->start();
    device->stop();
    deleteDev(device);
    if (fuzzline::openLines() != 0 || fuzzline::openLibraries() != 0) {
        fuzzsupport::finding("a serial line or library outlived its device");
    }
    fuzzsupport::expectIntact(trackers.checkGuards());
    fuzzsupport::expectIntact(controllers.checkGuards());
    fuzzsupport::expectIntact(record.checkGuards());
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
    hostkit::Config config =
        buildConfig(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1));
    auto before = std::make_unique<DeviceConfig>();
    std::memcpy(before.get(), config.get(), sizeof(DeviceConfig));
    const CMessageH log = fuzzsupport::hostLog((choices & kDebugLog) != 0);
    fuzzsupport::resetOutputState();
    fuzzline::reset();

    parseMapping(config.get(), log, choices);
    parseTrackerOptions(config.get(), log, choices);
    reportUnknownOptions(*config.get(), log);
    expectOnlyUsedFlagsChanged(config, *before);

    runDevice(config, log, choices);
    expectOnlyUsedFlagsChanged(config, *before);
    fuzzsupport::expectIntact(config.checkGuards());
    return 0;
}

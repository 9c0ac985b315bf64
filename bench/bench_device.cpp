#include "bench/bench_device.h"

#include <cstdio>
#include <cstdlib>

#include "device/frame.h"
#include "storage/ConData.h"

namespace bench {

namespace {

// The first call reads two bytes in vain, the next probes: a few calls
// are enough for a device that answers.
constexpr int kDetectionCalls = 8;

}  // namespace

CBase* startDevice(const hostkit::Plugin& plugin, hostkit::Config& config,
                   hostkit::InitRecord& initRecord, const CMessageH* hostLog,
                   const std::string& port, int baud, const char* tool) {
    config.add(1, "port", {port});
    config.add(2, "baud", {std::to_string(baud)});
    CBase* device = plugin.createDev(config.get(), hostLog);
    if (device == nullptr || device->init(initRecord.get()) != 1) {
        std::fprintf(stderr, "%s: the device did not initialise at %d baud\n", tool, baud);
        if (device != nullptr) plugin.deleteDev(device);
        return nullptr;
    }
    UpdateMasks* masks = initRecord.masks();
    for (int call = 0; call < kDetectionCalls; ++call) {
        if (device->recvData(masks, 0) == 1 && masks->controller.isMarked(1)) return device;
    }
    std::fprintf(stderr, "%s: the device was not detected at %d baud\n", tool, baud);
    endDevice(plugin, device);
    return nullptr;
}

void endDevice(const hostkit::Plugin& plugin, CBase* device) {
    device->stop();
    plugin.deleteDev(device);
}

std::uint32_t storedValuator(std::uint16_t word) {
    ConData scratch{};
    scratch.reset();
    scratch.setValuatorCount(frame::kValuators);
    scratch.setValuator(1, frame::decodeValuator(word));
    return scratch.valuators[0];
}

std::map<std::uint32_t, int> storedToWord() {
    std::map<std::uint32_t, int> table;
    for (int w = 0; w < 1024; ++w) {
        const auto [at, inserted] = table.emplace(storedValuator(static_cast<std::uint16_t>(w)), w);
        if (!inserted) at->second = -1;
    }
    return table;
}

std::string simStatusField(SimControl& sim, const std::string& key) {
    const std::string status = sim.command("status");
    const std::string tag = ' ' + key + '=';
    const auto at = status.find(tag);
    if (at == std::string::npos) return "?";
    const auto from = at + tag.size();
    return status.substr(from, status.find(' ', from) - from);
}

bool simFromEnvironment(const char* tool, std::string& control, std::string& port) {
    const char* controlText = std::getenv("PALLADOR_SIM_CONTROL");
    const char* portText = std::getenv("PALLADOR_SIM_PORT");
    if (controlText == nullptr || portText == nullptr) {
        std::fprintf(stderr,
                     "%s: PALLADOR_SIM_CONTROL and PALLADOR_SIM_PORT are not set: run it "
                     "through tests/with_sim.sh\n",
                     tool);
        return false;
    }
    control = controlText;
    port = portText;
    return true;
}

}  // namespace bench

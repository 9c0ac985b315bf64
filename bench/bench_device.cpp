#include "bench/bench_device.h"

#include <cstdio>
#include <cstdlib>

#include "device/frame.h"
#include "host/kit/deadline.h"
#include "storage/ConData.h"

namespace bench {

namespace {

// The first call reads two bytes in vain, the next probes: a few seconds
// are enough for a device that answers.
constexpr double kDetectionSeconds = 10;

}  // namespace

bool startDevice(host::DeviceReader& reader, const CMessageH* hostLog, const std::string& port,
                 int baud, const char* tool) {
    host::HostConfig config;
    config.deviceName = "pallador0";
    config.options = {{1, "port", {port}}, {2, "baud", {std::to_string(baud)}}};
    if (!reader.open(config, hostLog)) {
        std::fprintf(stderr, "%s: the device did not initialise at %d baud\n", tool, baud);
        return false;
    }
    const hostkit::Deadline deadline(kDetectionSeconds);
    while (!deadline.passed()) {
        if (reader.receive() == 1 && reader.masks().controller.isMarked(1)) return true;
    }
    std::fprintf(stderr, "%s: the device was not detected at %d baud\n", tool, baud);
    reader.close();
    return false;
}

std::function<bool(const std::string&)> numberInto(double& into) {
    return [&into](const std::string& text) {
        into = std::atof(text.c_str());
        return true;
    };
}

std::function<bool(const std::string&)> numberInto(int& into) {
    return [&into](const std::string& text) {
        into = std::atoi(text.c_str());
        return true;
    };
}

std::function<bool(const std::string&)> numberInto(long& into) {
    return [&into](const std::string& text) {
        into = std::atol(text.c_str());
        return true;
    };
}

std::function<bool(const std::string&)> textInto(std::string& into) {
    return [&into](const std::string& text) {
        into = text;
        return true;
    };
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

bool startUp(const char* tool, bool parsed, const char* usage, std::string& control,
             std::string& port) {
    if (!parsed) {
        std::fprintf(stderr, "%s(run through tests/with_sim.sh, which starts the simulator)\n",
                     usage);
        return false;
    }
    return simFromEnvironment(tool, control, port);
}

}  // namespace bench

// The guided calibration run against a simulated device that rests off
// centre, travels unevenly and is noisy, with nobody at the controls: the
// test sweeps the controls when the run asks for it, then reads the device
// through the configuration the run wrote.
#include "host/app/calibrate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/app/device_reader.h"
#include "tests/support/sim_client.h"

namespace {

constexpr int kLow[6] = {40, 10, 0, 100, 60, 20};
constexpr int kHigh[6] = {990, 1000, 1023, 900, 1010, 1013};

std::string textOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The frame with every valuator at these readings, all buttons released.
std::string frameAt(const int (&readings)[6]) {
    std::string hex = "FFFF";
    char word[8];
    for (const int reading : readings) {
        std::snprintf(word, sizeof word, "%04X", reading);
        hex += word;
    }
    return hex;
}

class Calibrate : public ::testing::Test {
protected:
    void SetUp() override {
        sim = testing_support::SimClient::fromEnvironment();
        ASSERT_NE(sim, nullptr) << "run through tests/with_sim.sh";
        ASSERT_TRUE(sim->reset());
        ASSERT_TRUE(sim->ok("rest-point 530,490,512,505,520,480"));
        ASSERT_TRUE(sim->ok("travel 40-990,10-1000,0-1023,100-900,60-1010,20-1013"));
        ASSERT_TRUE(sim->ok("noise 1 7"));
        directory = std::filesystem::temp_directory_path() /
                    ("pallador-calibrate-" +
                     std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        std::filesystem::create_directories(directory);
        config = (directory / "device.conf").string();
        std::ofstream(config, std::ios::binary)
            << "# the device\ndevice pallador\nport " << sim->portName()
            << "\nbaud 9600\nemulatetracker 1 [0, 0, 1.5, 0, 0, 0] 1 2 3 4 5 6 12\n"
               "valuatorscale 1 2 all  # twice as lively\n";
    }

    void TearDown() override {
        std::error_code error;
        std::filesystem::remove_all(directory, error);
    }

    // Every frame's valuators over `seconds`, the first few skipped while
    // the device takes its new readings.
    std::vector<ConData> framesFor(host::DeviceReader& reader, double seconds) {
        std::vector<ConData> frames;
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
               seconds) {
            if (auto frame = reader.nextFrame()) frames.push_back(*frame);
        }
        frames.erase(frames.begin(), frames.begin() + std::min<std::size_t>(frames.size(), 5));
        return frames;
    }

    std::unique_ptr<testing_support::SimClient> sim;
    std::filesystem::path directory;
    std::string config;
};

TEST_F(Calibrate, WrittenCurvesHoldRestAtZeroAndTheTravelsEndsAtPlusMinusOne) {
    const std::string original = textOf(config);
    const host::CalibrateLineResult line = host::parseCalibrateLine(
        {config, "--write", "--rest-seconds", "3", "--travel-seconds", "10"});
    ASSERT_TRUE(line.ok()) << line.error;
    host::CalibrateRun run;
    run.settings = line.settings;
    run.pluginPath = PALLADOR_PLUGIN_PATH;
    std::FILE* out = std::tmpfile();
    run.out = out;
    run.onPhase = [this](const std::string& phase) {
        if (phase == "travel") {
            EXPECT_TRUE(sim->ok("mode sweep"));
        }
    };
    const std::atomic<bool> stop{false};
    const int status = host::runCalibration(run, stop);
    std::rewind(out);
    std::string said(1 << 16, '\0');
    said.resize(std::fread(said.data(), 1, said.size(), out));
    std::fclose(out);
    ASSERT_EQ(status, 0) << said;

    const std::string written = textOf(config);
    EXPECT_EQ(textOf(config + ".bak"), original);
    EXPECT_EQ(written.find("valuatorscale 1 2 all"), std::string::npos) << written;
    EXPECT_EQ(written.rfind("# the device\ndevice pallador\nport ", 0), 0u) << written;
    for (int channel = 1; channel <= 6; ++channel) {
        EXPECT_NE(written.find("] " + std::to_string(channel) + "  # rest "), std::string::npos)
            << written;
    }

    host::HostConfig fromFile = host::readConfigFile(config).config;
    host::DeviceReader reader(PALLADOR_PLUGIN_PATH);
    ASSERT_TRUE(reader.open(fromFile));
    ASSERT_TRUE(sim->ok("mode rest"));
    ASSERT_TRUE(reader.awaitFrame(10));
    const std::optional<TraData> start = reader.tracker();
    const auto atRest = framesFor(reader, 3);
    const std::optional<TraData> end = reader.tracker();
    ASSERT_GT(atRest.size(), 50u);
    for (const ConData& frame : atRest) {
        for (std::uint32_t v = 1; v <= 6; ++v) {
            ASSERT_LE(std::fabs(frame.getValuator(v)), 0.005f) << "valuator " << v << "\n" << said;
        }
    }
    ASSERT_TRUE(start && end);
    const auto pose = [](const TraData& p) {
        return std::vector<float>{p.getX(),    p.getY(),    p.getZ(),
                                  p.getAzim(), p.getElev(), p.getRoll()};
    };
    EXPECT_EQ(pose(*end), pose(*start)) << "the emulated tracker moved at rest";

    for (const auto& [readings, travelEnd] : {std::pair{&kLow, -1.0f}, std::pair{&kHigh, 1.0f}}) {
        ASSERT_TRUE(sim->ok("frame " + frameAt(*readings)));
        const auto atEnd = framesFor(reader, 0.5);
        ASSERT_FALSE(atEnd.empty());
        for (std::uint32_t v = 1; v <= 6; ++v) {
            EXPECT_NEAR(atEnd.back().getValuator(v), travelEnd, 0.01f) << "valuator " << v << "\n"
                                                                       << said;
        }
    }
}

}  // namespace

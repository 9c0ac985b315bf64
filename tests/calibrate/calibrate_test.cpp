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
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "host/app/device_reader.h"
#include "tests/support/sim_client.h"

namespace {

constexpr int kLow[6] = {40, 10, 0, 100, 60, 20};
constexpr int kHigh[6] = {990, 1000, 1023, 900, 1010, 1013};
constexpr int kRest[6] = {530, 490, 512, 505, 520, 480};

std::string textOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The frame with the first `moved` valuators at these readings and the
// others at rest, all buttons released.
std::string frameAt(const int (&readings)[6], int moved = 6) {
    std::string hex = "FFFF";
    char word[8];
    for (int i = 0; i < 6; ++i) {
        std::snprintf(word, sizeof word, "%04X", i < moved ? readings[i] : kRest[i]);
        hex += word;
    }
    return hex;
}

struct Outcome {
    int status;
    std::string said;
};

class Calibrate : public ::testing::Test {
protected:
    void SetUp() override {
        sim = testing_support::SimClient::fromEnvironment();
        ASSERT_NE(sim, nullptr) << "run through tests/with_sim.sh";
        ASSERT_TRUE(sim->reset());
        ASSERT_TRUE(sim->ok("rest-point 530,490,512,505,520,480"));  // kRest
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

    Outcome calibrate(const std::vector<std::string>& words,
                      const std::function<void(const std::string&)>& onPhase,
                      const std::atomic<bool>& stop) {
        const host::CalibrateLineResult line = host::parseCalibrateLine(words);
        EXPECT_TRUE(line.ok()) << line.error;
        host::CalibrateRun run;
        run.settings = line.settings;
        run.pluginPath = PALLADOR_PLUGIN_PATH;
        std::FILE* out = std::tmpfile();
        run.out = out;
        run.onPhase = onPhase;
        Outcome outcome{host::runCalibration(run, stop), std::string(1 << 16, '\0')};
        std::rewind(out);
        outcome.said.resize(std::fread(outcome.said.data(), 1, outcome.said.size(), out));
        std::fclose(out);
        return outcome;
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
    const std::atomic<bool> stop{false};
    const auto [status, said] = calibrate(
        {config, "--write", "--rest-seconds", "3", "--travel-seconds", "10"},
        [this](const std::string& phase) {
            if (phase == "travel") {
                EXPECT_TRUE(sim->ok("mode sweep"));
            }
        },
        stop);
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
    const std::optional<TraData> start = reader.trackerWithId(1);
    const auto atRest = framesFor(reader, 3);
    const std::optional<TraData> end = reader.trackerWithId(1);
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

// A refusal leaves the file as it was and makes no copy of it: where some
// channels never moved, where the run was stopped, and where the file with
// its curves would hold more lines than the plug-in takes.
TEST_F(Calibrate, RefusalsLeaveTheFileAsItWasAndMakeNoCopy) {
    struct Case {
        const char* name;
        int moved;       // valuators taken through their travel
        int extraLines;  // option lines added to the file
        bool stopped;
        int status;
        const char* said;
    };
    const Case cases[] = {
        {"half moved", 3, 0, false, host::kChannelLeftOut, "valuator 4, 5, 6 left out"},
        {"stopped", 6, 0, true, 1, "stopped; "},
        {"no room", 6, 24, false, 2, "the plug-in would not take the new curves"},
    };
    const std::string original = textOf(config);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ASSERT_TRUE(sim->ok("mode rest"));
        std::ofstream(config, std::ios::binary) << original;
        for (int line = 0; line < test.extraLines; ++line) {
            std::ofstream(config, std::ios::binary | std::ios::app) << "baud 9600\n";
        }
        const std::string before = textOf(config);
        std::atomic<bool> stop{false};
        std::thread mover;
        const auto [status, said] = calibrate(
            {config, "--write", "--rest-seconds", "0.5", "--travel-seconds", "1.5"},
            [&](const std::string& phase) {
                if (phase != "travel") return;
                stop = test.stopped;
                EXPECT_TRUE(sim->ok("frame " + frameAt(kLow, test.moved)));
                mover = std::thread([&] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                    EXPECT_TRUE(sim->ok("frame " + frameAt(kHigh, test.moved)));
                });
            },
            stop);
        if (mover.joinable()) mover.join();
        EXPECT_EQ(status, test.status) << said;
        EXPECT_NE(said.find(test.said), std::string::npos) << said;
        EXPECT_EQ(textOf(config), before);
        EXPECT_FALSE(std::filesystem::exists(config + ".bak"));
    }
}

}  // namespace

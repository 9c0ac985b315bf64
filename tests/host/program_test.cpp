// The host program itself, run as a user runs it, against the simulator
// that the test wrapper started.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "program_run.h"
#include "tests/support/sim_client.h"

namespace {

using host_testing::countOf;
using host_testing::linesOf;
using host_testing::ProgramRun;
using host_testing::writeTemporaryFile;

// Buttons 1 to 8 pressed; valuators -1, 1, 1, -1 and two just around the middle.
constexpr const char* kFixedFrame = "00FF000003FF03FF000001FF0200";

class HostProgram : public ::testing::Test {
protected:
    void SetUp() override {
        sim = testing_support::SimClient::fromEnvironment();
        ASSERT_NE(sim, nullptr) << "run through tests/with_sim.sh";
        ASSERT_TRUE(sim->reset());
    }

    std::string configWith(const std::string& name, const std::string& extra = "") {
        return writeTemporaryFile(name, "# test device\ndevice pallador\nplugin " +
                                            std::string(PALLADOR_PLUGIN_PATH) + "\nport " +
                                            sim->portName() + "\n" + extra);
    }

    std::unique_ptr<ProgramRun> run(const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {PALLADOR_HOST_PROGRAM};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return std::make_unique<ProgramRun>(all);
    }

    std::unique_ptr<testing_support::SimClient> sim;
};

TEST_F(HostProgram, BoundedRunPrintsOnePlainLinePerPublishedRecordAndExitsZero) {
    ASSERT_TRUE(sim->ok("mode fresh"));
    auto program = run({configWith("plain.conf"), "--frames", "5"});
    EXPECT_EQ(program->wait(30000), 0) << program->err();
    const auto lines = linesOf(program->out());
    ASSERT_EQ(lines.size(), 5u) << program->out();
    const std::regex shape(
        R"(\d+\.\d{3} controller 1 valuators( -?\d\.\d{3}){6} buttons [01]{12})");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
    }
    EXPECT_NE(program->err().find("pallador-host: receiving from " + sim->portName()),
              std::string::npos);
    // The plug-in's report goes to standard error, not among the records.
    EXPECT_NE(program->err().find("Data storage list structure just created"), std::string::npos);
}

TEST_F(HostProgram, JsonLinesAreExactlyThePublishedRecords) {
    ASSERT_TRUE(sim->ok(std::string("frame ") + kFixedFrame));
    auto program = run({configWith("json.conf"), "--json", "--seconds", "7"});
    EXPECT_EQ(program->wait(20000), 0) << program->err();
    // Identical frames publish once: one record, however many frames were read.
    const auto lines = linesOf(program->out());
    ASSERT_EQ(lines.size(), 1u) << program->out();
    const std::regex record(
        R"(\{"t":\d+\.\d{3},"kind":"controller","id":1,"valuators":\[(.*)\],"buttons":\[(.*)\]\})");
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(lines[0], parts, record)) << lines[0];
    EXPECT_EQ(parts[1].str(), "-1.000,1.000,1.000,-1.000,0.000,0.000");
    EXPECT_EQ(parts[2].str(), "1,1,1,1,1,1,1,1,0,0,0,0");
}

TEST_F(HostProgram, JsonCarriesTheEmulatedTrackerToo) {
    ASSERT_TRUE(sim->ok("mode fresh"));
    auto program =
        run({configWith("tracker.conf", "emulatetracker 1 [0, 0, 1.5, 0, 0, 0] 1 2 3 4 5 6 12\n"),
             "--json", "--frames", "3"});
    EXPECT_EQ(program->wait(30000), 0) << program->err();
    const std::string out = program->out();
    EXPECT_EQ(countOf(out, "\"kind\":\"controller\""), 3u) << out;
    EXPECT_GE(countOf(out, "\"kind\":\"tracker\""), 2u) << out;
    EXPECT_NE(out.find("\"kind\":\"tracker\",\"id\":1,\"pose\":[0.00000,0.00000,1.50000,"),
              std::string::npos)
        << out;
}

TEST_F(HostProgram, FaultyOptionLineIsReportedWithTheUsersLineNumber) {
    auto program = run({configWith("faulty.conf", "\nvaluatorscale 1 two 1\n"), "--seconds", "5"});
    EXPECT_EQ(program->wait(10000), 1);
    EXPECT_NE(program->err().find("ERROR: Invalid arg found for ValuatorScale at line 6."),
              std::string::npos)
        << program->err();
    EXPECT_EQ(program->out(), "");
}

TEST_F(HostProgram, UnknownOptionFailsInitWithItsLineNumber) {
    auto program = run({configWith("unknown.conf", "baudrat 9600\n")});
    EXPECT_EQ(program->wait(10000), 1);
    EXPECT_NE(program->err().find("CConfigH: Unknown option \"baudrat\" found at line 5."),
              std::string::npos)
        << program->err();
}

TEST_F(HostProgram, BadHostLineStopsBeforeAnythingIsLoaded) {
    const std::string path =
        writeTemporaryFile("badhost.conf", "device pallador\nplugin\nport /dev/null\n");
    auto program = run({path, "--plugin", "/nonexistent/libnothing.so"});
    EXPECT_EQ(program->wait(5000), 2);
    EXPECT_EQ(program->err(), path + ":2: plugin takes exactly one argument, a path (found 0)\n");

    const std::string open = writeTemporaryFile("bracket.conf", "emulatetracker 1 [0, 0 1 2\n");
    auto second = run({open});
    EXPECT_EQ(second->wait(5000), 2);
    EXPECT_EQ(second->err().rfind(open + ":1: unterminated bracket", 0), 0u) << second->err();
}

TEST_F(HostProgram, CalibrationRefusesWithoutTouchingTheFile) {
    struct Case {
        const char* name;
        const char* simCommand;
        const char* extraLine;
        int status;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {"silent",
         "mode passive",
         "",
         1,
         {"pallador-host: no device answering on PORT; nothing written.\n"}},
        {"unmoved",
         "mode rest",
         "",
         3,
         {"       3  511.5      0   511..512   left out: it never moved\n",
          "pallador-host: valuator 1, 2, 3, 4, 5, 6 left out: move every control through its "
          "whole travel in step 2.\npallador-host: FILE left as it was.\n"}},
        {"rejected",
         "mode rest",
         "valuatorscale 1 two 1\n",
         2,
         {"pallador-host: the plug-in rejects FILE; nothing written.\n  the plug-in: ",
          "ERROR: Invalid arg found for ValuatorScale at line 5.\n"}},
    };
    for (const Case& test : cases) {
        ASSERT_TRUE(sim->ok(test.simCommand));
        const std::string path = configWith(std::string(test.name) + ".conf", test.extraLine);
        const std::string before = host_testing::fileText(path);
        auto program =
            run({"calibrate", path, "--write", "--rest-seconds", "0.5", "--travel-seconds", "0.5"});
        EXPECT_EQ(program->wait(30000), test.status) << test.name << "\n" << program->out();
        for (std::string said : test.said) {
            for (const auto& [from, to] : {std::pair{"PORT", sim->portName()}, {"FILE", path}}) {
                if (const std::size_t at = said.find(from); at != std::string::npos) {
                    said.replace(at, std::strlen(from), to);
                }
            }
            EXPECT_NE(program->out().find(said), std::string::npos) << test.name << "\n"
                                                                    << program->out();
        }
        EXPECT_EQ(host_testing::fileText(path), before) << test.name;
        EXPECT_FALSE(std::filesystem::exists(path + ".bak")) << test.name;
    }
}

TEST_F(HostProgram, InterruptDuringABlockedReadEndsTheRunSoon) {
    ASSERT_TRUE(sim->ok("mode passive"));
    auto program = run({configWith("interrupt.conf")});
    ASSERT_TRUE(program->waitForErr("waiting for the device", 10000)) << program->err();
    // The device never answers: the call is in its one-second reads or the probe.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    const auto sent = std::chrono::steady_clock::now();
    program->signal(SIGINT);
    EXPECT_EQ(program->wait(5000), 0) << program->err();
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
    // At worst the flag is seen after a probe's pause and its silent read.
    EXPECT_LT(took, 3.0);
}

TEST_F(HostProgram, LineHungUpAndReplugedUnderTheSamePathIsReopenedByThePlugIn) {
    ASSERT_TRUE(sim->ok("mode fresh"));
    auto program = run({configWith("replug.conf"), "--seconds", "40"});
    ASSERT_TRUE(program->waitForErr("receiving from", 15000)) << program->err();
    ASSERT_TRUE(sim->ok("hangup"));
    const std::string lost = "pallador-host: line lost on " + sim->portName() +
                             ", the plug-in reopens it once it is back";
    ASSERT_TRUE(program->waitForErr(lost, 8000)) << program->err();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    const std::size_t before = linesOf(program->out()).size();
    ASSERT_TRUE(sim->ok("replug"));
    ASSERT_TRUE(program->waitForErr("pallador-host: line back on " + sim->portName(), 15000))
        << program->err();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (linesOf(program->out()).size() <= before + 3 &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(5000), 0);
    EXPECT_GT(linesOf(program->out()).size(), before + 3);
    // Told once per outage, however many attempts it took; the same device
    // opened its line again, as the plug-in said.
    EXPECT_EQ(countOf(program->err(), "line lost on"), 1u) << program->err();
    EXPECT_EQ(countOf(program->err(), "CPallador: Line to " + sim->portName() + " lost;"), 1u)
        << program->err();
    EXPECT_EQ(countOf(program->err(), "CPallador: Line to " + sim->portName() + " is back;"), 1u)
        << program->err();
}

}  // namespace

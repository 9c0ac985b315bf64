// The programs as a package installs them: their version, and the host
// finding its plug-in and the simulator from the installed layout alone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "build_info.h"
#include "program_run.h"

namespace {

namespace fs = std::filesystem;
using host_testing::linesOf;
using host_testing::ProgramRun;
using host_testing::writeTemporaryFile;

TEST(Release, VersionFlagPrintsTheProgramAndItsVersionAlone) {
    const struct {
        const char* program;
        const char* expected;
    } cases[] = {{PALLADOR_HOST_PROGRAM, "pallador-host " PALLADOR_EXPECTED_VERSION "\n"},
                 {PALLADOR_SIM_PROGRAM, "pallador-sim " PALLADOR_EXPECTED_VERSION "\n"}};
    for (const auto& item : cases) {
        ProgramRun program({item.program, "--version"});
        EXPECT_EQ(program.wait(10000), 0) << item.program;
        EXPECT_EQ(program.out(), item.expected);
        EXPECT_EQ(program.err(), "") << item.program;
    }
}

TEST(Release, HostFindsPluginAndSimulatorInTheInstalledLayout) {
    const fs::path prefix = fs::path(writeTemporaryFile("placeholder", "")).parent_path() / "usr";
    const fs::path bin = prefix / "bin";
    const fs::path lib = bin / PALLADOR_PLUGIN_DIR_FROM_PROGRAM;
    fs::create_directories(bin);
    fs::create_directories(lib);
    fs::copy_file(PALLADOR_HOST_PROGRAM, bin / "pallador-host");
    fs::copy_file(PALLADOR_SIM_PROGRAM, bin / "pallador-sim");
    fs::copy_file(PALLADOR_PLUGIN_PATH, lib / "libpallador.so");
    ASSERT_NE(lib.lexically_normal(), bin.lexically_normal())
        << "the layout puts both in one place";
    ::unsetenv("PALLADOR_SIM");

    const std::string config = writeTemporaryFile("installed.conf", "device pallador\n");
    ProgramRun program({(bin / "pallador-host").string(), config, "--simulate", "--frames", "3"});
    EXPECT_EQ(program.wait(30000), 0) << program.err();
    EXPECT_EQ(linesOf(program.out()).size(), 3u) << program.out();
    EXPECT_NE(program.err().find("pallador-host: receiving from"), std::string::npos)
        << program.err();
}

}  // namespace

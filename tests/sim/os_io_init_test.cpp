// io_init: the simulated board is always granted; the real ports are refused
// while kernel modules drive the same chips.
#include <gtest/gtest.h>

#include "os/io_init.h"
#include "os/linux_port_io.h"
#include "sim/sim_board.h"
#include "support/test_support.h"

namespace tess::test {
namespace {

TEST(IoInit, ConflictingModulesAreFound) {
    TempDir dir;
    const auto modules = dir.path() / "modules";
    write_file(modules,
               "snd_hda_intel 57344 3 - Live 0x0000000000000000\n"
               "i2c_nforce2 16384 0 - Live 0x0000000000000000\n"
               "lm90 36864 0 - Live 0x0000000000000000\n"
               "lm90x 1 0 - Live 0x0\n"
               "it87_wdt 1 0 - Live 0x0\n");
    EXPECT_EQ(conflicting_modules(modules), (std::vector<std::string>{"i2c_nforce2", "lm90"}));
    write_file(modules, "snd_hda_intel 57344 3 - Live 0x0000000000000000\n");
    EXPECT_TRUE(conflicting_modules(modules).empty());
}

TEST(IoInit, RealPortsRefusedWhileModulesAreLoaded) {
    TempDir dir;
    const auto modules = dir.path() / "modules";
    write_file(modules, "atxp1 16384 0 - Live 0x0\ncpufreq_nforce2 16384 0 - Live 0x0\n");
    DebugLog log(dir.path() / "tessaron.log");
    LinuxPortIo io(dir.path() / "sys");
    EXPECT_EQ(io_init(log, io, modules), -1);
    EXPECT_FALSE(io.access_granted());
    const std::string text = read_file(dir.path() / "tessaron.log");
    EXPECT_NE(text.find("| init-io: Kernel modules driving the same chips are loaded: atxp1 "
                        "cpufreq_nforce2. Unload them first (modprobe -r atxp1 cpufreq_nforce2)"),
              std::string::npos)
        << text;

    EXPECT_EQ(io_init(log, io, dir.path() / "missing"), -1);
    EXPECT_NE(read_file(dir.path() / "tessaron.log").find("init-io: Can't read "),
              std::string::npos);
}

TEST(IoInit, SimulatedBoardIsAlwaysGranted) {
    TempDir dir;
    DebugLog log(dir.path() / "tessaron.log");
    std::string error;
    auto board = sim::SimBoard::from_toml(sim::SimBoard::default_profile(), &error);
    ASSERT_TRUE(board) << error;
    write_file(dir.path() / "modules", "i2c_nforce2 16384 0 - Live 0x0\n");
    EXPECT_EQ(io_init(log, *board, dir.path() / "modules"), 0);
    EXPECT_NE(read_file(dir.path() / "tessaron.log").find("init-io: Simulated board"),
              std::string::npos);
}

}  // namespace
}  // namespace tess::test

// The board file: built-in profiles, round trip, persistence between runs,
// malformed files, the atomic save and the environment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "hw/nforce2_pll.h"
#include "hw/port_io.h"
#include "sim/sim_fixture.h"
#include "support/test_support.h"

namespace tess::test {
namespace {

TEST(SimFile, DataFilesAreTheBuiltInProfiles) {
    EXPECT_EQ(read_file(source_dir() / "data" / "profiles" / "atxp1.toml"),
              sim::SimBoard::profile("atxp1"));
    EXPECT_EQ(read_file(source_dir() / "data" / "profiles" / "smi.toml"),
              sim::SimBoard::profile("smi"));
    EXPECT_EQ(sim::SimBoard::default_profile(), sim::SimBoard::profile("atxp1"));
    EXPECT_EQ(sim::SimBoard::profile("winbond"), "");
}

// Changes a run of the program could make, through the ports.
void use_the_board(sim::SimBoard& io) {
    pci_write(io, 0xA0, 0);
    pci_write(io, 0xA4, pll_word(252, 35));  // 180 MHz
    pci_write(io, 0xA8, 1);
    pci_write(io, 0xA0, 0x40);
    pci_write(io, 0x00010190, 0x20220000);
    io.out8(0x00, 0x5103);  // ATXP1 register 0: VID 12, VID control on
    io.out8(0x9C, 0x5102);
    io.out8(0x2C, 0x5104);
    io.out8(6, 0x5100);
    io.set_atxp1_reg(0x06, 0x05);
    io.out32(0xA5A5A5A5, 0x4480);
    io.request_shutdown(1);
}

TEST(SimFile, SaveAndLoadKeepTheWholeState) {
    for (const char* name : {"atxp1", "smi"}) {
        SCOPED_TRACE(name);
        TempDir dir;
        const auto file = dir.path() / "board.toml";
        TracedBoard sim(sim::SimBoard::profile(name));
        use_the_board(*sim.board);
        std::string error;
        ASSERT_TRUE(sim.board->save(file, &error)) << error;

        auto again = sim::SimBoard::load_or_create(file, &error);
        ASSERT_TRUE(again) << error;
        EXPECT_EQ(again->to_toml(), sim.board->to_toml());
        EXPECT_EQ(again->fsb_mhz(), 180u);
        EXPECT_EQ(again->cpu_mhz(), 1980u);
        EXPECT_EQ(again->vcore_mv(), 1550);
        EXPECT_EQ(again->rail_mv("VDimm"), 2800);
        EXPECT_EQ(again->pci_config(0x00010190), 0x20220000u);
        EXPECT_EQ(again->shutdown_requests(), std::vector<int>{1});
        if (std::string(name) == "smi") {
            EXPECT_EQ(again->in32(0x4480), 0xA5A5A5A5u);
        }
        // Nothing but the saved file is left in the folder.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

TEST(SimFile, MissingFileIsCreatedFromTheDefaultProfile) {
    TempDir dir;
    const auto file = dir.path() / "simboard.toml";
    std::string error;
    auto first = sim::SimBoard::load_or_create(file, &error);
    ASSERT_TRUE(first) << error;
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(read_file(file), first->to_toml());
    EXPECT_EQ(first->fsb_mhz(), 200u);
    EXPECT_EQ(first->vcore_mv(), 1650);

    // One run changes the board; the next run finds it changed.
    use_the_board(*first);
    ASSERT_TRUE(first->save(file, &error)) << error;
    auto second = sim::SimBoard::load_or_create(file, &error);
    ASSERT_TRUE(second) << error;
    EXPECT_EQ(second->fsb_mhz(), 180u);
    EXPECT_EQ(second->atxp1_reg(0x00), 0x2C);
}

TEST(SimFile, MalformedFilesAreReportedWithTheirLine) {
    struct Case {
        const char* text;
        const char* expect;
    };
    const Case cases[] = {
        {"[pll]\nloaded = maybe\n", "line 2, column"},
        {"\n# nothing\n", "line 1: the file describes no board"},
        {"[pll\n", "line 1"},
        {"[gpu]\nx = 1\n", "line 1: unknown table \"gpu\""},
        {"[pll]\nword = \"0x10\"\n", "line 2: [pll] word must be an integer"},
        {"[pll]\nword = 0x1_0000_0000\n", "line 2: [pll] word = 4294967296 is out of range"},
        {"[pci.\"00:00.0\"]\n0x02 = 1\n", "line 2: \"0x02\" in [pci.\"00:00.0\"] is no register"},
        {"[pci.\"00:20.0\"]\n", "line 1: \"00:20.0\" is no PCI function"},
        {"[pci.\"host\"]\n", "is no PCI function"},
        {"[pci.\"00:1e.0\"]\n[pci.\"00:1E.0\"]\n", "\" is listed twice"},
        {"[pci.\"00:00.0\"]\n0x4 = 1\n0x04 = 2\n",
         "register 0x04 of [pci.\"00:00.0\"] is listed twice"},
        {"[atxp1]\naddress = 0x80\n", "line 2: [atxp1] address = 128 is out of range"},
        {"[atxp1]\nregisters = [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17]\n",
         "must have 1 to 16 entries, not 17"},
        {"[atxp1]\n[[atxp1.rail]]\nname = \"VAgp\"\nregister = 6\nbits = 0x08\n"
         "states = [{ pattern = 0x10, mv = 1 }]\n",
         "pattern 0x10 lies outside its bits 0x08"},
        {"[atxp1]\n[[atxp1.rail]]\nname = \"VAgp\"\nregister = 0x10\nbits = 1\n",
         "[[atxp1.rail]] register = 16 is out of range"},
        {"[atxp1]\nbus = 1\naddress = 0x4e\n[[smbus.device]]\nbus = 1\naddress = 0x4e\n"
         "registers = [0]\n",
         "line 4: two SMBus devices at bus 1, address 0x4e"},
        {"[smi]\nboard_name = \"a name longer than twenty-four\"\n",
         "[smi] board_name is longer than 24 characters"},
        {"[smi]\ndata = [1, 2]\n", "[smi] data must have 8 to 8 entries"},
        {"[machine]\nshutdown_requests = [\"now\"]\n", "a shutdown request must be an integer"},
        {"[cpu]\nmultiplier = 0\n", "[cpu] multiplier must not be 0"},
        {"[winbond]\nchipp = \"W83627HF\"\n", "unknown key \"chipp\" in [winbond]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        EXPECT_EQ(sim::SimBoard::from_toml(c.text, &error), nullptr);
        EXPECT_NE(error.find(c.expect), std::string::npos) << error;
    }

    TempDir dir;
    const auto file = dir.path() / "simboard.toml";
    write_file(file, "[pll]\nloaded = 3\n");
    std::string error;
    EXPECT_EQ(sim::SimBoard::load_or_create(file, &error), nullptr);
    EXPECT_EQ(error, file.string() + ": line 2: [pll] loaded must be true or false");
    EXPECT_EQ(read_file(file), "[pll]\nloaded = 3\n") << "a bad file is left alone";
}

TEST(SimFile, FailedSaveLeavesNothingBehind) {
    TempDir dir;
    TracedBoard sim;
    std::string error;
    // The target is a directory: the rename fails, the temporary file goes.
    const auto target = dir.path() / "board.toml";
    std::filesystem::create_directory(target);
    EXPECT_FALSE(sim.board->save(target, &error));
    EXPECT_NE(error.find("board.toml"), std::string::npos) << error;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_FALSE(sim.board->save(dir.path() / "missing" / "board.toml", &error));
}

class SimEnvironment : public testing::Test {
  protected:
    void TearDown() override {
        for (const char* name : {"TESSARON_SIM_BOARD", "TESSARON_SIM_TRACE", "TESSARON_SIM_CLOCK"})
            ::unsetenv(name);
    }
    TempDir dir_{true};
};

TEST_F(SimEnvironment, DefaultsToTheWorkingDirectoryAndTheRealClock) {
    std::string error;
    std::filesystem::path file;
    auto board = sim::sim_from_environment(&error, &file);
    ASSERT_TRUE(board) << error;
    EXPECT_EQ(file, "simboard.toml");
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / "simboard.toml"));
    board->sleep_ms(0);
    EXPECT_EQ(board->virtual_ms(), 0u);
}

TEST_F(SimEnvironment, BoardFileTraceAndVirtualClock) {
    ::setenv("TESSARON_SIM_BOARD", (dir_.path() / "my.toml").c_str(), 1);
    ::setenv("TESSARON_SIM_TRACE", "trace.log", 1);
    ::setenv("TESSARON_SIM_CLOCK", "virtual", 1);
    std::string error;
    std::filesystem::path file;
    auto board = sim::sim_from_environment(&error, &file);
    ASSERT_TRUE(board) << error;
    EXPECT_EQ(file, dir_.path() / "my.toml");
    board->sleep_ms(60000);
    EXPECT_EQ(board->virtual_ms(), 60000u);
    EXPECT_EQ(read_file("trace.log"), "sleep 60000\n");
}

TEST_F(SimEnvironment, BadSettingsAreErrors) {
    std::string error;
    ::setenv("TESSARON_SIM_CLOCK", "fast", 1);
    EXPECT_EQ(sim::sim_from_environment(&error, nullptr), nullptr);
    EXPECT_EQ(error, "TESSARON_SIM_CLOCK must be \"virtual\" or \"real\", not \"fast\"");
    ::unsetenv("TESSARON_SIM_CLOCK");

    write_file("simboard.toml", "[machine]\nhung = 1\n");
    EXPECT_EQ(sim::sim_from_environment(&error, nullptr), nullptr);
    EXPECT_EQ(error, "simboard.toml: line 2: [machine] hung must be true or false");
}

}  // namespace
}  // namespace tess::test

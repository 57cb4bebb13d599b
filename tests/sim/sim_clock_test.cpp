// The FSB PLL, the CPU clock and time-stamp counter, the virtual clock and
// the trace of the simulated board.
#include <gtest/gtest.h>

#include "hw/nforce2_pll.h"
#include "hw/port_io.h"
#include "sim/sim_fixture.h"
#include "support/test_support.h"

namespace tess::test {
namespace {

// The chipset's loading sequence: 0 to 0xA0, then the word to 0xA4 (64 times).
void load_pll(PortIo& io, uint32_t word) {
    pci_write(io, 0xA0, 0);
    for (int i = 0; i < 64; ++i) pci_write(io, 0xA4, word);
}

TEST(SimClock, PowerOnRunsAtTheBootFsb) {
    TracedBoard sim;
    EXPECT_EQ(sim.board->fsb_mhz(), 200u);
    EXPECT_EQ(sim.board->cpu_mhz(), 2200u);
    EXPECT_EQ(cpu_clock_mhz(*sim.board), 2200u);
    EXPECT_EQ(sim.board->virtual_ms(), 1000u) << "the measurement slept one virtual second";
    EXPECT_FALSE(sim.board->hung());
}

TEST(SimClock, TheCpuFollowsTheLoadedPllOnceEnabled) {
    TracedBoard sim;
    auto& io = *sim.board;
    load_pll(io, pll_word(253, 38));  // 166 MHz
    EXPECT_EQ(io.fsb_mhz(), 200u) << "enable byte still 0: the boot clock";
    pci_write(io, 0xA8, 1);
    EXPECT_EQ(io.fsb_mhz(), 166u);
    EXPECT_EQ(io.cpu_mhz(), 1826u);
    EXPECT_EQ(cpu_clock_mhz(io), 1826u);

    // With the control register no longer 0, the data register does not reach the PLL.
    pci_write(io, 0xA0, 0x40);
    pci_write(io, 0xA4, pll_word(248, 31));
    EXPECT_EQ(io.fsb_mhz(), 166u);
    EXPECT_EQ(pci_read(io, 0xA4), pll_word(248, 31)) << "the register holds it all the same";

    load_pll(io, pll_word(248, 31));  // 200 MHz
    EXPECT_EQ(io.fsb_mhz(), 200u);
}

TEST(SimClock, TimeStampCounterRunsAtTheClockOfEachInterval) {
    TracedBoard sim;
    auto& io = *sim.board;
    const uint64_t t0 = io.read_tsc();
    io.sleep_ms(10);  // 10 ms at 2200 MHz
    load_pll(io, pll_word(250, 25));
    pci_write(io, 0xA8, 1);  // 250 MHz x 11 = 2750 MHz
    io.sleep_ms(4);
    EXPECT_EQ(io.read_tsc() - t0, 10u * 2'200'000u + 4u * 2'750'000u);
}

TEST(SimClock, MultiplierFromTheChipsetCodeOrTheCpu) {
    struct Case {
        uint32_t code;
        const char* cpu_key;
        uint32_t cpu_mhz;
    };
    const Case cases[] = {
        {0, "", 2200},
        {1, "", 2300},
        {3, "", 2500},
        {0xA, "", 1600},
        {0xF, "", 2100},
        {0, "multiplier = 126", 2520},  // an unlocked CPU the chipset cannot report
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        std::string profile = sim::SimBoard::default_profile();
        profile.replace(profile.find("[cpu]\n"), 6, std::string("[cpu]\n") + c.cpu_key + "\n");
        TracedBoard sim(profile);
        sim.board->set_pci_config(0xF0, c.code << 28);
        EXPECT_EQ(sim.board->cpu_mhz(), c.cpu_mhz);
        EXPECT_EQ(cpu_clock_mhz(*sim.board), c.cpu_mhz);
    }
}

TEST(SimClock, AWordWithoutDividerStopsTheMachine) {
    for (bool enable_first : {true, false}) {
        SCOPED_TRACE(enable_first);
        TracedBoard sim;
        auto& io = *sim.board;
        if (enable_first) {
            load_pll(io, pll_word(248, 31));
            pci_write(io, 0xA8, 1);
            load_pll(io, pll_word(248, 0));
        } else {
            load_pll(io, pll_word(248, 0));
            EXPECT_FALSE(io.hung()) << "not yet in use";
            pci_write(io, 0xA8, 1);
        }
        EXPECT_TRUE(io.hung());
        EXPECT_EQ(io.fsb_mhz(), 0u);
        EXPECT_EQ(io.cpu_mhz(), 0u);
        const uint64_t tsc = io.read_tsc();
        io.sleep_ms(100);
        EXPECT_EQ(io.read_tsc(), tsc) << "the clock stopped";
        // A stopped machine stays stopped, also for the next run.
        load_pll(io, pll_word(248, 31));
        EXPECT_TRUE(io.hung());
        EXPECT_NE(io.to_toml().find("hung = true"), std::string::npos);
    }
}

TEST(SimClock, VirtualClockAdvancesAtOnce) {
    TracedBoard sim;
    auto& io = *sim.board;
    const uint32_t tick = io.tick_count();
    io.sleep_ms(20);
    io.sleep_ms(250);
    EXPECT_EQ(io.virtual_ms(), 270u);
    EXPECT_EQ(io.tick_count() - tick, 270u);
    EXPECT_EQ(sim.take(), (std::vector<std::string>{"sleep 20", "sleep 250"}));

    // On the real clock a sleep does not move the virtual one.
    io.set_virtual_clock(false);
    io.sleep_ms(0);
    EXPECT_EQ(io.virtual_ms(), 270u);
    EXPECT_EQ(sim.take(), (std::vector<std::string>{"sleep 0"}));
}

TEST(SimTrace, OneLinePerAccessWithWidthDigits) {
    TracedBoard sim;
    auto& io = *sim.board;
    io.out32(0x80000000, 0xCF8);
    io.in32(0xCFC);
    io.in16(0xCFE);
    io.in8(0xCFC);
    io.out16(0x1234, 0x80);
    io.out8(0x5, 0x80);
    io.in8(0x2E);
    EXPECT_EQ(sim.take(), (std::vector<std::string>{"out32 0x0cf8 0x80000000",
                                                    "in32 0x0cfc 0x01e010de", "in16 0x0cfe 0x01e0",
                                                    "in8 0x0cfc 0xde", "out16 0x0080 0x1234",
                                                    "out8 0x0080 0x05", "in8 0x002e 0xff"}));
}

TEST(SimTrace, TraceFileAppendsLines) {
    TempDir dir;
    const auto file = dir.path() / "trace.txt";
    write_file(file, "earlier\n");
    TracedBoard sim;
    std::string error;
    ASSERT_TRUE(sim.board->set_trace_file(file, &error)) << error;
    sim.board->in8(0x80);
    sim.board->sleep_ms(5);
    EXPECT_EQ(read_file(file), "earlier\nin8 0x0080 0xff\nsleep 5\n");
    EXPECT_FALSE(sim.board->set_trace_file(dir.path() / "no" / "such" / "dir", &error));
    EXPECT_NE(error.find("trace"), std::string::npos);
}

}  // namespace
}  // namespace tess::test

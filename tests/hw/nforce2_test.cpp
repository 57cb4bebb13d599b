// The nForce2 chipset driver: the PLL word search, the FSB walk and the
// chipset settings, against the simulated board's host bridge.
#include "hw/nforce2.h"

#include <gtest/gtest.h>

#include "hw_fixture.h"

namespace tess::test {
namespace {

TEST(Nforce2Pll, FsbFromPllUsesExtendedPrecision) {
    struct Case {
        uint32_t n, m, fsb;
    };
    const Case cases[] = {
        {50, 7, 178},   {100, 14, 178}, {150, 21, 178}, {200, 28, 178},
        {250, 35, 178}, {248, 31, 200}, {253, 63, 100}, {158, 128, 30},
        {252, 21, 300}, {1, 1, 25},     {254, 1, 6365}, {0, 5, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fsb_from_pll(pll_word(c.n, c.m)), c.fsb) << c.n << "/" << c.m;
    EXPECT_EQ(fsb_from_pll(0x0010F81F), 200u);
    EXPECT_EQ(fsb_from_pll(0x0010F800), 0u) << "no divider";
}

TEST(Nforce2Pll, SearchExamples) {
    struct Case {
        uint32_t fsb, n, m;
    };
    const Case cases[] = {{30, 158, 128}, {100, 253, 63}, {133, 251, 47}, {166, 253, 38},
                          {200, 248, 31}, {250, 250, 25}, {300, 252, 21}};
    for (const Case& c : cases) {
        EXPECT_EQ(Nforce2::pll_for_fsb_search(c.fsb), pll_word(c.n, c.m)) << c.fsb;
        EXPECT_EQ(Nforce2::pll_for_fsb(c.fsb), pll_word(c.n, c.m)) << c.fsb;
    }
}

// The table must answer exactly what the search answers: the last match in
// the order M 1..128, N 1..254, with the three higher FSBs as fall-back.
TEST(Nforce2Pll, TableGivesTheSearchWordForEveryTarget) {
    for (uint32_t fsb = 0; fsb <= 400; ++fsb) {
        const uint32_t word = Nforce2::pll_for_fsb_search(fsb);
        ASSERT_EQ(Nforce2::pll_for_fsb(fsb), word) << fsb;
        if (fsb >= 30 && fsb <= 300) {
            // Every settable target has an exact match.
            EXPECT_NE(word, 0u) << fsb;
            EXPECT_EQ(fsb_from_pll(word), fsb) << fsb;
        }
    }
    // The top of the PLL's range and beyond it.
    for (uint32_t fsb : {6300u, 6362u, 6363u, 6364u, 6365u, 6366u, 10000u, 0xFFFFFFFFu})
        EXPECT_EQ(Nforce2::pll_for_fsb(fsb), Nforce2::pll_for_fsb_search(fsb)) << fsb;
    EXPECT_EQ(Nforce2::pll_for_fsb(6366), 0u);
    EXPECT_EQ(Nforce2::pll_for_fsb(0xFFFFFFFFu), 0u);
}

TEST(Nforce2, MultiplierFromCode) {
    const std::pair<uint32_t, uint32_t> cases[] = {{0, 110}, {1, 115}, {2, 120},  {3, 125},
                                                   {4, 50},  {5, 55},  {0xA, 80}, {15, 105}};
    for (auto [code, tenths] : cases) EXPECT_EQ(multiplier_from_code(code), tenths);
}

class Nforce2Driver : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(nforce2.nforce2_init(rig.drivers(), rig.controls()), 0);
        rig.clear_trace();
    }
    // Brings the PLL into use at `fsb` (the first set since power-on).
    void start_at(uint32_t fsb) {
        ASSERT_EQ(nforce2.set_fsb(fsb), 0);
        rig.clear_trace();
    }

    Rig rig;
    Nforce2 nforce2{rig.log(), rig.board()};
};

TEST_F(Nforce2Driver, RegistersFourteenControls) {
    struct Expect {
        const char* name;
        uint8_t kind, sub_index, step;
        uint32_t lowest, highest;
    };
    const Expect expected[] = {
        {"FSB", 3, 12, 1, 30, 300},
        {"Revision", 3, 0, 0, 0, 0},
        {"Multiplier", 3, 1, 0, 0, 0},
        {"AutoPrecharge", 3, 2, 0, 0, 1},
        {"StopGrant", 3, 3, 0, 0, 1},
        {"AGPSidebandAddressing", 3, 4, 0, 0, 1},
        {"AGPApertureSize", 3, 5, 32, 32, 512},
        {"PCIBusLatency", 3, 6, 8, 0, 248},
        {"AGPBusLatency", 3, 7, 1, 0, 255},
        {"AGPCtrLatency", 3, 8, 1, 0, 255},
        {"Tras", 3, 9, 1, 1, 31},
        {"Trcd", 3, 10, 1, 1, 7},
        {"Trp", 3, 11, 1, 1, 7},
        {"FSBDelay", 12, 13, 10, 20, 250},
    };
    ASSERT_EQ(rig.controls()->count(), std::size(expected));
    std::size_t i = 0;
    for (Control* c : *rig.controls()) {
        const Expect& e = expected[i++];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(c->name, e.name);
        EXPECT_EQ(c->driver_name, "NFORCE2");
        EXPECT_EQ(c->kind, e.kind);
        EXPECT_EQ(c->sub_index, e.sub_index);
        EXPECT_EQ(c->step, e.step);
        EXPECT_EQ(control_get_range(rig.log(), &c->settings, false), e.lowest);
        EXPECT_EQ(control_get_range(rig.log(), &c->settings, true), e.highest);
    }
    EXPECT_EQ(rig.control("StopGrant")->description,
              "Enable/disable Stop grant bit\nSaves power when CPU is idle");
    EXPECT_EQ(rig.control("AGPApertureSize")->settings.first()->mask, 15u);
    EXPECT_TRUE(rig.logged("nforce2-pci: Revision c1"));
    EXPECT_EQ(rig.get("Revision"), 0xC1u);
    EXPECT_EQ(rig.get("Multiplier"), 110u);
    EXPECT_EQ(rig.get("FSB"), 200u);
    EXPECT_EQ(rig.get("FSBDelay"), 100u);
}

TEST(Nforce2, NoNforce2RegistersNothing) {
    Rig rig;
    rig.board().set_pci_config(0, 0x02F010DE);
    Nforce2 nforce2(rig.log(), rig.board());
    EXPECT_EQ(nforce2.nforce2_init(rig.drivers(), rig.controls()), -1);
    EXPECT_TRUE(rig.logged("nforce2-pci: No nForce2 chipset found"));
    EXPECT_TRUE(rig.drivers()->empty());
    EXPECT_TRUE(rig.controls()->empty());
}

TEST_F(Nforce2Driver, SetFsbRejectsTargetsOutsideItsRange) {
    for (uint32_t target : {29u, 301u, 0u, 1000u}) {
        EXPECT_EQ(nforce2.set_fsb(target), 2) << target;
        EXPECT_TRUE(
            rig.logged("NFORCE2: set_fsb(): FSB " + std::to_string(target) + " out of range!"));
    }
    EXPECT_TRUE(rig.trace().empty()) << "nothing is read or written";
    for (uint32_t target : {30u, 300u}) EXPECT_EQ(nforce2.set_fsb(target), 0) << target;
}

TEST_F(Nforce2Driver, FirstSetAfterPowerOnLoadsTheCurrentClockFirst) {
    ASSERT_EQ(rig.board().pci_config(0xA8) & 0xFF, 0u);
    EXPECT_EQ(nforce2.set_fsb(203), 0);

    const std::vector<uint32_t> expected = {Nforce2::pll_for_fsb(200), Nforce2::pll_for_fsb(200),
                                            Nforce2::pll_for_fsb(201), Nforce2::pll_for_fsb(202),
                                            Nforce2::pll_for_fsb(203)};
    EXPECT_EQ(rig.pll_loads(), expected);
    // The enable byte is written once, after the first load and before the walk.
    const auto events = rig.events();
    std::vector<std::size_t> enable_writes, loads;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind != Event::Kind::ConfigWrite) continue;
        if (events[i].where == 0xA8) enable_writes.push_back(i);
        if (events[i].where == 0xA0 && events[i].value == 0) loads.push_back(i);
    }
    ASSERT_EQ(enable_writes.size(), 1u);
    EXPECT_EQ(events[enable_writes[0]].value, 1u);
    ASSERT_EQ(loads.size(), 5u);
    EXPECT_GT(enable_writes[0], loads[0]);
    EXPECT_LT(enable_writes[0], loads[1]);
    EXPECT_EQ(rig.sleeps(), (std::vector<uint32_t>{100, 100, 100, 100}));
    EXPECT_EQ(rig.config_writes(0xA0).back().value, 0x40u);
    EXPECT_TRUE(rig.logged("NFORCE2: set_fsb(): Setting FSB to 203 done"));
    EXPECT_EQ(nforce2.read_fsb(), 203u);
}

TEST_F(Nforce2Driver, WalkLoadsEveryStepThenSelectsThePll) {
    struct Case {
        uint32_t from, to;
    };
    for (const Case c : {Case{200, 203}, Case{203, 200}, Case{200, 180}}) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
        start_at(c.from);
        EXPECT_EQ(nforce2.set_fsb(c.to), 0);
        std::vector<uint32_t> expected;
        for (uint32_t f = c.from;; f = c.to > c.from ? f + 1 : f - 1) {
            expected.push_back(Nforce2::pll_for_fsb(f));
            if (f == c.to) break;
        }
        EXPECT_EQ(rig.pll_loads(), expected);
        EXPECT_EQ(rig.sleeps().size(), expected.size());
        // After the last load 0x40 goes to 0xA0, and nothing further is loaded.
        const auto events = rig.events();
        const Event last_write = [&] {
            Event e{};
            for (const Event& ev : events)
                if (ev.kind == Event::Kind::ConfigWrite) e = ev;
            return e;
        }();
        EXPECT_EQ(last_write, (Event{Event::Kind::ConfigWrite, 0xA0, 0x40}));
        EXPECT_EQ(rig.board().fsb_mhz(), c.to);
    }
}

TEST_F(Nforce2Driver, SameFsbLoadsNothingButStillSelectsThePll) {
    start_at(200);
    EXPECT_EQ(nforce2.set_fsb(200), 0);
    EXPECT_TRUE(rig.pll_loads().empty());
    EXPECT_TRUE(rig.sleeps().empty());
    EXPECT_EQ(rig.config_writes(0xA0),
              (std::vector<Event>{{Event::Kind::ConfigWrite, 0xA0, 0x40}}));
    EXPECT_TRUE(rig.logged("NFORCE2: set_fsb(): Setting FSB to 200 done"));
}

TEST_F(Nforce2Driver, BoardClockFollowsTheFsb) {
    EXPECT_EQ(rig.set("FSB", 166), 0);
    EXPECT_EQ(rig.board().fsb_mhz(), 166u);
    EXPECT_EQ(rig.board().cpu_mhz(), 1826u);
    EXPECT_EQ(cpu_clock_mhz(rig.board()), 1826u);
    EXPECT_EQ(rig.get("FSB"), 166u);
    EXPECT_FALSE(rig.board().hung());
    // 35 steps of 100 ms on the virtual clock (200 down to 166).
    EXPECT_GE(rig.board().virtual_ms(), 35u * 100u);
}

TEST_F(Nforce2Driver, DelayControlSetsThePauseOfEachStep) {
    start_at(200);
    EXPECT_EQ(rig.set("FSBDelay", 20), 0);
    EXPECT_EQ(rig.get("FSBDelay"), 20u);
    EXPECT_EQ(nforce2.fsb_delay(), 20);
    EXPECT_EQ(rig.set("FSB", 202), 0);
    EXPECT_EQ(rig.sleeps(), (std::vector<uint32_t>{20, 20, 20}));
}

TEST_F(Nforce2Driver, StepListenerSeesEveryStepBeforeItsPause) {
    start_at(200);
    std::vector<std::pair<std::string, uint64_t>> steps;
    nforce2.set_step_listener(
        [&](const std::string& text) { steps.emplace_back(text, rig.board().virtual_ms()); });
    const uint64_t t0 = rig.board().virtual_ms();
    EXPECT_EQ(nforce2.set_fsb(198), 0);
    const std::vector<std::pair<std::string, uint64_t>> expected = {
        {"FSB 200 -> 198 MHz", t0},
        {"FSB 199 -> 198 MHz", t0 + 100},
        {"FSB 198 -> 198 MHz", t0 + 200}};
    EXPECT_EQ(steps, expected);
}

// Nonsense in the boot FSB register must never get a PLL word loaded that
// stops the clock: the set ends with 1 and the board keeps running.
TEST_F(Nforce2Driver, NonsenseBootFsbLoadsNoWord) {
    struct Case {
        uint32_t boot_hz;
        uint32_t reading;
    };
    for (const Case c :
         {Case{0xFFFFFFFF, 4294}, Case{0, 0}, Case{5000000, 5}, Case{29999999, 29}}) {
        SCOPED_TRACE(c.boot_hz);
        Rig fresh;
        Nforce2 driver(fresh.log(), fresh.board());
        ASSERT_EQ(driver.nforce2_init(fresh.drivers(), fresh.controls()), 0);
        fresh.board().set_pci_config(Nforce2::kRegBootFsb, c.boot_hz);
        fresh.clear_trace();
        EXPECT_EQ(driver.set_fsb(200), 1);
        EXPECT_TRUE(
            fresh.logged("NFORCE2: set_fsb(): calc. fsb " + std::to_string(c.reading) + " failed"));
        EXPECT_TRUE(fresh.pll_loads().empty());
        EXPECT_TRUE(fresh.config_writes(0xA8).empty());
        EXPECT_TRUE(fresh.config_writes(0xA0).empty());
        EXPECT_FALSE(fresh.board().hung());
    }
}

// Once the PLL is in use its data register tells the FSB; a reading below
// the lowest FSB there is nonsense, and the walk stops before loading any
// word for it.
TEST_F(Nforce2Driver, WalkFromNonsenseReadingStopsAtOnce) {
    start_at(200);
    rig.board().set_pci_config(Nforce2::kRegPllData, pll_word(100, 128));  // 19 MHz
    EXPECT_EQ(nforce2.set_fsb(210), 1);
    EXPECT_TRUE(rig.logged("NFORCE2: set_fsb(): calc. fsb 19 failed"));
    EXPECT_TRUE(rig.pll_loads().empty());
    EXPECT_TRUE(rig.config_writes(0xA0).empty()) << "no final 0x40 after a failed walk";
    EXPECT_FALSE(rig.board().hung());
    EXPECT_EQ(rig.board().fsb_mhz(), 200u);
}

TEST_F(Nforce2Driver, ReadFsbFollowsBootRegisterThenPll) {
    EXPECT_EQ(nforce2.read_fsb(), 200u);
    EXPECT_EQ(nforce2.last_boot_fsb(), 200u);
    rig.board().set_pci_config(Nforce2::kRegBootFsb, 166000000);
    EXPECT_EQ(nforce2.read_fsb(), 166u) << "enable byte 0: the boot register";
    EXPECT_EQ(nforce2.last_boot_fsb(), 166u);
    ASSERT_EQ(nforce2.set_fsb(170), 0);
    EXPECT_EQ(nforce2.read_fsb(), 170u) << "enabled and boot unchanged: the PLL";
    EXPECT_EQ(nforce2.last_boot_fsb(), 166u);
}

TEST_F(Nforce2Driver, ApertureSize) {
    struct Case {
        uint32_t size, code, reads;
    };
    const Case cases[] = {{512, 0, 512}, {256, 8, 256}, {128, 12, 128}, {64, 14, 64},
                          {32, 15, 32},  {100, 13, 96}, {500, 1, 480}};
    rig.board().set_pci_config(Nforce2::kRegAperture, 0xDEADBEE5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(rig.set("AGPApertureSize", static_cast<int32_t>(c.size)), 0);
        EXPECT_EQ(rig.board().pci_config(Nforce2::kRegAperture), 0xDEADBEE0 | c.code);
        EXPECT_EQ(rig.get("AGPApertureSize"), c.reads);
    }
}

TEST_F(Nforce2Driver, StopGrantClearsBit7OnlyWhenEnabling) {
    rig.board().set_pci_config(Nforce2::kRegStopGrant, 0x00000080);
    EXPECT_EQ(rig.get("StopGrant"), 0u);
    EXPECT_EQ(rig.set("StopGrant", 1), 0);
    EXPECT_EQ(rig.config_writes(Nforce2::kRegStopGrant),
              (std::vector<Event>{{Event::Kind::ConfigWrite, Nforce2::kRegStopGrant, 0x10000000}}))
        << "one write sets bit 28 and clears bit 7";
    EXPECT_EQ(rig.get("StopGrant"), 1u);
    rig.board().set_pci_config(Nforce2::kRegStopGrant, 0x10000080);
    EXPECT_EQ(rig.set("StopGrant", 0), 0);
    EXPECT_EQ(rig.board().pci_config(Nforce2::kRegStopGrant), 0x00000080u) << "bit 7 left alone";
}

// Each chipset setting changes its own bits only and reads back what was set.
TEST_F(Nforce2Driver, ChipsetSettingsReadModifyWrite) {
    struct Case {
        const char* name;
        uint32_t reg;
        uint32_t field;
        int32_t value;
        uint32_t bits;  // the field afterwards
    };
    const Case cases[] = {
        {"AutoPrecharge", Nforce2::kRegAutoPrecharge, 1u << 17, 1, 1u << 17},
        {"AutoPrecharge", Nforce2::kRegAutoPrecharge, 1u << 17, 0, 0},
        {"AGPSidebandAddressing", Nforce2::kRegSideband, 0x300, 1, 0x300},
        {"AGPSidebandAddressing", Nforce2::kRegSideband, 0x300, 0, 0},
        {"PCIBusLatency", Nforce2::kRegPciSecondary, 0xFF000000, 248, 248u << 24},
        {"AGPBusLatency", Nforce2::kRegAgpSecondary, 0xFF000000, 0x42, 0x42u << 24},
        {"AGPCtrLatency", Nforce2::kRegAgpLatency, 0x0000FF00, 0xA5, 0xA5u << 8},
        {"Tras", Nforce2::kRegTimings, 0x1Fu << 15, 31, 31u << 15},
        {"Trcd", Nforce2::kRegTimings, 0xFu << 20, 7, 7u << 20},
        {"Trp", Nforce2::kRegTimings, 0xFu << 28, 3, 3u << 28},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.value);
        for (uint32_t background : {0x00000000u, 0xFFFFFFFFu, 0x5A5A5A5Au}) {
            rig.board().set_pci_config(c.reg, background);
            EXPECT_EQ(rig.set(c.name, c.value), 0);
            EXPECT_EQ(rig.board().pci_config(c.reg), (background & ~c.field) | c.bits);
            EXPECT_EQ(rig.get(c.name), static_cast<uint32_t>(c.value));
        }
    }
    // Sideband reads as on when either bit is set.
    rig.board().set_pci_config(Nforce2::kRegSideband, 0x100);
    EXPECT_EQ(rig.get("AGPSidebandAddressing"), 1u);
}

TEST_F(Nforce2Driver, ValuesOutsideTheSettingsRangeWriteNothing) {
    const std::pair<const char*, int32_t> cases[] = {
        {"FSB", 29},
        {"FSB", 301},
        {"AGPApertureSize", 600},
        {"AGPApertureSize", 31},
        {"PCIBusLatency", 249},
        {"Tras", 0},
        {"Tras", 32},
        {"Trcd", 8},
        {"StopGrant", 2},
        {"FSBDelay", 19},
        {"FSBDelay", 251},
        {"Revision", 1},
        {"Multiplier", 110},
        {"AGPBusLatency", -1},
    };
    for (auto [name, value] : cases) {
        SCOPED_TRACE(testing::Message() << name << " " << value);
        rig.clear_trace();
        EXPECT_EQ(rig.set(name, value), -1);
        char line[96];
        std::snprintf(line, sizeof line, "nforce2-pci: Value %d for %s is out of range", value,
                      name);
        EXPECT_TRUE(rig.logged(line));
        EXPECT_TRUE(rig.config_writes(0xA4).empty());
        for (const Event& e : rig.events()) EXPECT_NE(e.kind, Event::Kind::ConfigWrite);
    }
    EXPECT_EQ(nforce2.fsb_delay(), 100);
}

TEST_F(Nforce2Driver, ReadOnlyControlsAcceptOnlyZeroAndWriteNothing) {
    rig.board().set_pci_config(Nforce2::kRegMultiplier, 0xA0000000);
    for (const char* name : {"Revision", "Multiplier"}) {
        rig.clear_trace();
        EXPECT_EQ(rig.set(name, 0), 0) << name;
        for (const Event& e : rig.events()) EXPECT_NE(e.kind, Event::Kind::ConfigWrite) << name;
    }
    EXPECT_EQ(rig.get("Multiplier"), 80u);
    EXPECT_EQ(rig.get("Revision"), 0xC1u);
}

TEST_F(Nforce2Driver, UnknownSubIndex) {
    Control* c = control_add(rig.log(), rig.controls(), "Other", kKindChipset, &nforce2.driver(),
                             "unknown", 14);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(nforce2.nforce2_get(c), 0u);
    EXPECT_EQ(nforce2.nforce2_set(c, 0), -1);
    EXPECT_EQ(nforce2.nforce2_get(nullptr), 0u);
    EXPECT_EQ(nforce2.nforce2_set(nullptr, 0), -1);
}

}  // namespace
}  // namespace tess::test

// The ATXP1 voltage driver on the simulated board's SMBus: the search, the
// VCore walk, the boost and the board voltages of controls.ini.
#include "hw/atxp1.h"

#include <gtest/gtest.h>

#include "hw/nforce2_smbus.h"
#include "hw_fixture.h"

namespace tess::test {
namespace {

constexpr const char* kBoard = "Sim ATXP1";

// The board's rails as the default profile wires them.
const std::string kRails =
    "Control0=ATXP1;VDimm;2600:0x06:0x03:0x00;2700:0x06:0x03:0x01;2800:0x06:0x03:0x02;"
    "2900:0x06:0x03:0x03\n"
    "Control1=ATXP1;VDimm+;0:0x06:0x04:0x00;100:0x06:0x04:0x04\n"
    "Control2=ATXP1;VAgp;1500:0x06:0x08:0x00;1600:0x06:0x08:0x08\n"
    "Control3=ATXP1;Vdd;1600:0x0A:0x03:0x00;1700:0x0A:0x03:0x01;1800:0x0A:0x03:0x02;"
    "1900:0x0A:0x03:0x03\n";
const std::string kBoost =
    "Control4=ATXP1;VCore;0:0x0A:0x30:0x00;50:0x0A:0x30:0x10;100:0x0A:0x30:0x20\n";

std::string controls_ini(const std::string& lines) {
    return crlf("[Other board]\nControl0=ATXP1;VDimm;3000:0x06:0x03:0x00\n[" + std::string(kBoard) +
                "]\n" + lines);
}

// Port access of the board with one fault a real board can show: the SMBus
// hosts report that no device acknowledged, while armed.
class FlakyPorts : public PortIo {
  public:
    explicit FlakyPorts(PortIo& board) : board_(board) {}
    bool fail_smbus = false;

    uint8_t in8(uint16_t port) override {
        const uint8_t v = board_.in8(port);
        if (fail_smbus && (port == 0x5001 || port == 0x5101)) return 0x10;
        return v;
    }
    uint16_t in16(uint16_t port) override { return board_.in16(port); }
    uint32_t in32(uint16_t port) override { return board_.in32(port); }
    void out8(uint8_t value, uint16_t port) override { board_.out8(value, port); }
    void out16(uint16_t value, uint16_t port) override { board_.out16(value, port); }
    void out32(uint32_t value, uint16_t port) override { board_.out32(value, port); }
    void sleep_ms(uint32_t ms) override { board_.sleep_ms(ms); }
    uint32_t tick_count() override { return board_.tick_count(); }
    uint64_t read_tsc() override { return board_.read_tsc(); }

  private:
    PortIo& board_;
};

class Atxp1Rig {
  public:
    explicit Atxp1Rig(const std::string& lines = kRails,
                      const std::string& profile = sim::SimBoard::default_profile())
        : rig(profile), ports(rig.board()), smbus(rig.log(), ports), atxp1(rig.log(), ports) {
        write_file(rig.dir().path() / "controls.ini", controls_ini(lines));
        atxp1.set_controls_path(rig.dir().file("controls.ini"));
        smbus.nforce2_smbus_init(rig.drivers(), rig.controls());
    }
    int init() { return atxp1.atxp1_init(rig.drivers(), rig.controls(), kBoard); }

    // VID control on at the given voltage.
    void vid_at(int32_t mv) {
        rig.board().set_atxp1_reg(0x00, static_cast<uint8_t>(0x20 | mv_to_vid(mv)));
    }

    Rig rig;
    FlakyPorts ports;
    Nforce2Smbus smbus;
    Atxp1 atxp1;
};

using T = Rig::Transaction;

TEST(Atxp1, VidArithmetic) {
    const std::pair<uint32_t, int32_t> vids[] = {{0, 1850},  {8, 1650},    {13, 1525},
                                                 {31, 1075}, {0x2B, 1575}, {0xFF, 1075}};
    for (auto [code, mv] : vids) EXPECT_EQ(vid_to_mv(code), mv) << code;
    const std::pair<int32_t, uint32_t> mvs[] = {{1850, 0}, {1575, 11}, {1100, 30}, {1075, 31},
                                                {1660, 7}, {1874, 0},  {2000, 0}};
    for (auto [mv, code] : mvs) EXPECT_EQ(mv_to_vid(mv), code) << mv;
}

TEST(Atxp1, FindsTheChipAndRegistersSixControls) {
    Atxp1Rig r(kRails + kBoost);
    ASSERT_EQ(r.init(), 0);
    const auto lines = r.rig.log_lines();
    const std::vector<std::string> search(lines.begin() + 3, lines.begin() + 7);
    EXPECT_EQ(search, (std::vector<std::string>{
                          "atxp1: Searching on NFORCE2_SMBUS:NFORCE2_SMBUS0",
                          "atxp1: Searching on NFORCE2_SMBUS:NFORCE2_SMBUS1",
                          "atxp1: Found ATXP1 on NFORCE2_SMBUS:NFORCE2_SMBUS1, address 0x4e",
                          "atxp1: GPIO: 0x00, 0x00",
                      }));
    EXPECT_EQ(r.atxp1.address(), 0x4E);
    EXPECT_EQ(r.atxp1.bus()->name, "NFORCE2_SMBUS1");

    struct Expect {
        const char* name;
        uint8_t kind, sub_index, step;
        const char* description;
        uint32_t lowest, highest;
    };
    const Expect expected[] = {
        {"VCore", 1, 0, 25, "VCore control using ATXP1", 1100, 1950},
        {"VDimm", 2, 1, 0, "VDimm control using ATXP1", 2600, 2900},
        {"VDimm+", 2, 4, 0, "Extra VDimm control", 0, 100},
        {"VAgp", 2, 2, 0, "VAgp control using ATXP1", 1500, 1600},
        {"Vdd", 2, 3, 0, "Vdd control using ATXP1", 1600, 1900},
        {"VCoreDelay", 12, 5, 10, "Delay between VCore changes (ms)", 50, 250},
    };
    std::vector<Control*> atxp1_controls;
    for (Control* c : *r.rig.controls())
        if (c->driver_name == "ATXP1") atxp1_controls.push_back(c);
    ASSERT_EQ(atxp1_controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const Expect& e = expected[i];
        const Control* c = atxp1_controls[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(c->name, e.name);
        EXPECT_EQ(c->kind, e.kind);
        EXPECT_EQ(c->sub_index, e.sub_index);
        EXPECT_EQ(c->step, e.step);
        EXPECT_EQ(c->description, e.description);
        EXPECT_EQ(control_get_range(r.rig.log(), &c->settings, false), e.lowest);
        EXPECT_EQ(control_get_range(r.rig.log(), &c->settings, true), e.highest);
    }
    EXPECT_EQ(r.atxp1.vcore_plus_settings().count(), 3u);
    // Only the board's own section is read.
    EXPECT_EQ(control_get_setting(r.rig.log(), r.rig.control("VDimm"), 3000)->value, 2900);
}

TEST(Atxp1, VCoreRangeWithoutBoostLines) {
    Atxp1Rig r;
    ASSERT_EQ(r.init(), 0);
    Control* vcore = r.rig.control("VCore");
    EXPECT_EQ(control_get_range(r.rig.log(), &vcore->settings, true), 1850u);
    EXPECT_EQ(control_get_range(r.rig.log(), &vcore->settings, false), 1100u);
}

// Bus 0 before bus 1, and on each bus 0x1B, 0x37, 0x4E; registers 0x00 then
// 0x01 of each candidate.
TEST(Atxp1, SearchOrder) {
    Atxp1Rig r;
    r.rig.clear_trace();
    ASSERT_EQ(r.init(), 0);
    std::vector<T> reads;
    for (const T& t : r.rig.smbus_transactions())
        if (!t.write) reads.push_back(t);
    const std::vector<T> expected = {
        {0, false, 0x1B, 0, 0}, {0, false, 0x1B, 1, 0},    {0, false, 0x37, 0, 0},
        {0, false, 0x37, 1, 0}, {0, false, 0x4E, 0, 0},    {0, false, 0x4E, 1, 0},
        {1, false, 0x1B, 0, 0}, {1, false, 0x1B, 1, 0},    {1, false, 0x37, 0, 0},
        {1, false, 0x37, 1, 0}, {1, false, 0x4E, 0, 0},  // answers 0x08: found
        {1, false, 0x4E, 6, 0}, {1, false, 0x4E, 0x0A, 0},
    };
    EXPECT_EQ(reads, expected);
}

TEST(Atxp1, ChipOnBusZeroIsFoundFirst) {
    std::string profile = edit_profile(sim::SimBoard::default_profile(), "bus = 1", "bus = 0");
    profile = edit_profile(profile, "address = 0x4e", "address = 0x37");
    Atxp1Rig r(kRails, profile);
    ASSERT_EQ(r.init(), 0);
    EXPECT_TRUE(r.rig.logged("atxp1: Found ATXP1 on NFORCE2_SMBUS:NFORCE2_SMBUS0, address 0x37"));
    EXPECT_FALSE(r.rig.logged("atxp1: Searching on NFORCE2_SMBUS:NFORCE2_SMBUS1"));
}

// A device whose registers 0x00 and 0x01 both read 0x00 or 0xFF is no ATXP1;
// one of them with another value is enough.
TEST(Atxp1, CandidateAnsweringZeroOrFfIsSkipped) {
    struct Case {
        uint8_t reg0, reg1;
        bool found;
    };
    for (const Case c : {Case{0x00, 0x00, false}, Case{0xFF, 0xFF, false}, Case{0x00, 0xFF, false},
                         Case{0x00, 0x08, true}, Case{0x2A, 0x00, true}}) {
        SCOPED_TRACE(testing::Message() << int(c.reg0) << "/" << int(c.reg1));
        Atxp1Rig r;
        r.rig.board().set_atxp1_reg(0, c.reg0);
        r.rig.board().set_atxp1_reg(1, c.reg1);
        EXPECT_EQ(r.init(), c.found ? 0 : -1);
        EXPECT_EQ(r.rig.logged("atxp1: No ATXP1 found"), !c.found);
        EXPECT_EQ(r.rig.control("VCore") != nullptr, c.found);
        EXPECT_EQ(r.rig.drivers()->count(), c.found ? 2u : 1u);
    }
    // Another device answering 0xFF at 0x1B on bus 0 is passed over.
    const std::string eeprom =
        "\n[[smbus.device]]\nname = \"EEPROM\"\nbus = 0\naddress = 0x1b\n"
        "registers = [0xff, 0xff, 0xff, 0xff]\n";
    Atxp1Rig r(kRails, sim::SimBoard::default_profile() + eeprom);
    ASSERT_EQ(r.init(), 0);
    EXPECT_EQ(r.atxp1.address(), 0x4E);
    EXPECT_EQ(r.atxp1.bus()->name, "NFORCE2_SMBUS1");
}

TEST(Atxp1, NoBusNoChip) {
    Rig rig;
    Atxp1 atxp1(rig.log(), rig.board());
    EXPECT_EQ(atxp1.atxp1_init(rig.drivers(), rig.controls(), kBoard), -1);
    EXPECT_TRUE(rig.logged("atxp1: No ATXP1 found"));
    EXPECT_TRUE(rig.controls()->empty());
}

class Atxp1Driver : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(r.init(), 0);
        r.rig.clear_trace();
    }
    Atxp1Rig r;
};

TEST_F(Atxp1Driver, VCoreWalksInStepsOf25mV) {
    r.vid_at(1500);
    EXPECT_EQ(r.rig.get("VCore"), 1500u);
    r.rig.clear_trace();
    EXPECT_EQ(r.rig.set("VCore", 1575), 0);

    EXPECT_EQ(r.rig.smbus_writes(), (std::vector<T>{{1, true, 0x4E, 0, 13 | 0x20},
                                                    {1, true, 0x4E, 0, 12 | 0x20},
                                                    {1, true, 0x4E, 0, 11 | 0x20}}));
    // Each write is a 20 ms transaction followed by the VCore delay.
    std::vector<uint32_t> delays;
    for (uint32_t ms : r.rig.sleeps())
        if (ms != 20) delays.push_back(ms);
    EXPECT_EQ(delays, (std::vector<uint32_t>{100, 100, 100}));
    const auto events = r.rig.events();
    std::size_t protocol_writes = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind == Event::Kind::PortWrite && events[i].where == 0x5100 &&
            events[i].value == 6) {
            ++protocol_writes;
            ASSERT_LT(i + 3, events.size());
            EXPECT_EQ(events[i + 1], (Event{Event::Kind::Sleep, 0, 20}));
            EXPECT_EQ(events[i + 3], (Event{Event::Kind::Sleep, 0, 100}));
        }
    }
    EXPECT_EQ(protocol_writes, 3u);
    for (int32_t mv : {1525, 1550, 1575})
        EXPECT_TRUE(r.rig.logged("atxp1: Writing new VCore: " + std::to_string(mv)));
    EXPECT_EQ(r.rig.board().vcore_mv(), 1575);
    EXPECT_EQ(r.rig.get("VCore"), 1575u);
}

TEST_F(Atxp1Driver, VCoreWalkEndsOnTheGridPastAnOffGridTarget) {
    struct Case {
        int32_t from, to;
        std::vector<uint8_t> vids;
    };
    const Case cases[] = {
        {1650, 1660, {7 | 0x20}},
        {1650, 1640, {9 | 0x20}},
        {1650, 1650, {}},
        {1600, 1500, {11 | 0x20, 12 | 0x20, 13 | 0x20, 14 | 0x20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
        r.vid_at(c.from);
        r.rig.clear_trace();
        EXPECT_EQ(r.rig.set("VCore", c.to), 0);
        std::vector<uint8_t> vids;
        for (const T& t : r.rig.smbus_writes()) vids.push_back(t.value);
        EXPECT_EQ(vids, c.vids);
    }
}

TEST_F(Atxp1Driver, VidControlOffUsesTheCpuVid) {
    r.rig.board().set_atxp1_reg(0x00, 0x0C);
    r.rig.board().set_atxp1_reg(0x01, 0x08);
    EXPECT_EQ(r.rig.get("VCore"), 1650u);
    EXPECT_TRUE(r.rig.logged("atxp1: VID control disabled, using CPU VID"));
    EXPECT_EQ(r.rig.board().vcore_mv(), 1650);
    // The first step takes over from the CPU's VID.
    r.rig.clear_trace();
    EXPECT_EQ(r.rig.set("VCore", 1625), 0);
    EXPECT_EQ(r.rig.smbus_writes(), (std::vector<T>{{1, true, 0x4E, 0, 9 | 0x20}}));
    EXPECT_EQ(r.rig.board().vcore_mv(), 1625);
}

TEST_F(Atxp1Driver, VCoreOutOfRange) {
    for (int32_t mv : {1099, 1851, 0, -5}) {
        EXPECT_EQ(r.rig.set("VCore", mv), -1) << mv;
        EXPECT_TRUE(
            r.rig.logged("atxp1: Value " + std::to_string(mv) + " for VCore is out of range"));
    }
    EXPECT_TRUE(r.rig.smbus_writes().empty());
}

TEST_F(Atxp1Driver, DelayControl) {
    EXPECT_EQ(r.rig.get("VCoreDelay"), 100u);
    EXPECT_EQ(r.rig.set("VCoreDelay", 50), 0);
    EXPECT_EQ(r.atxp1.vcore_delay(), 50);
    EXPECT_EQ(r.rig.set("VCoreDelay", 40), -1);
    EXPECT_EQ(r.rig.set("VCoreDelay", 260), -1);
    EXPECT_EQ(r.rig.get("VCoreDelay"), 50u);
    r.vid_at(1650);
    r.rig.clear_trace();
    ASSERT_EQ(r.rig.set("VCore", 1700), 0);
    std::vector<uint32_t> delays;
    for (uint32_t ms : r.rig.sleeps())
        if (ms != 20) delays.push_back(ms);
    EXPECT_EQ(delays, (std::vector<uint32_t>{50, 50}));
}

TEST_F(Atxp1Driver, StepListenerReportsEachVCoreStep) {
    r.vid_at(1525);
    std::vector<std::string> steps;
    r.atxp1.set_step_listener([&](const std::string& text) { steps.push_back(text); });
    ASSERT_EQ(r.rig.set("VCore", 1600), 0);
    EXPECT_EQ(steps, (std::vector<std::string>{"VCore 1550 -> 1600 mV", "VCore 1575 -> 1600 mV",
                                               "VCore 1600 -> 1600 mV"}));
}

// Board voltages switch by their register bits; the board's rails follow.
TEST_F(Atxp1Driver, BoardVoltagesFollowTheSettings) {
    struct Case {
        const char* control;
        int32_t value;
        uint8_t reg;
        uint8_t after;  // register value afterwards
        const char* rail;
        int32_t rail_mv;
    };
    const Case cases[] = {
        {"VDimm", 2800, 0x06, 0x02, "VDimm", 2800}, {"VAgp", 1600, 0x06, 0x0A, "VAgp", 1600},
        {"VDimm+", 100, 0x06, 0x0E, "VDimm", 2900}, {"VDimm", 2700, 0x06, 0x0D, "VDimm", 2800},
        {"Vdd", 1900, 0x0A, 0x03, "Vdd", 1900},     {"VDimm+", 0, 0x06, 0x09, "VDimm", 2700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.control << " " << c.value);
        const uint32_t before = r.rig.get(c.control);
        r.rig.clear_trace();
        EXPECT_EQ(r.rig.set(c.control, c.value), 0);
        EXPECT_EQ(r.rig.smbus_writes(), (std::vector<T>{{1, true, 0x4E, c.reg, c.after}}));
        EXPECT_EQ(r.rig.board().atxp1_reg(c.reg), c.after);
        EXPECT_EQ(r.rig.board().rail_mv(c.rail), c.rail_mv);
        EXPECT_TRUE(r.rig.logged("atxp1: Switched " + std::string(c.control) + " from " +
                                 std::to_string(static_cast<int32_t>(before)) + " to " +
                                 std::to_string(c.value)));
        if (c.value != 0) {
            EXPECT_EQ(r.rig.get(c.control), static_cast<uint32_t>(c.value));
        }
    }
}

TEST_F(Atxp1Driver, BitsAlreadyRightWriteNothing) {
    r.rig.board().set_atxp1_reg(0x06, 0x02);
    const std::size_t lines = r.rig.log_lines().size();
    r.rig.clear_trace();
    EXPECT_EQ(r.rig.set("VDimm", 2800), 0);
    EXPECT_TRUE(r.rig.smbus_writes().empty());
    EXPECT_EQ(r.rig.log_lines().size(), lines) << "no log line either";
}

TEST_F(Atxp1Driver, NearestSettingAndUnknownPattern) {
    // VDimm+ has the settings 0 and 100: a value between them takes the
    // nearest one whose value is not 0.
    EXPECT_EQ(r.rig.set("VDimm+", 40), 0);
    EXPECT_EQ(r.rig.board().rail_mv("VDimm"), 2700);
    // Register bits that match no setting read as 0, with a log line.
    r.rig.board().set_atxp1_reg(0x06, 0x07);
    Control odd;
    odd.name = "VOdd";
    odd.kind = kKindVoltage;
    odd.sub_index = 1;
    control_add_setting(r.rig.log(), &odd.settings, 1000, 0x06, 0x03, 0x01);
    control_add_setting(r.rig.log(), &odd.settings, 1100, 0x06, 0x03, 0x02);
    EXPECT_EQ(r.atxp1.atxp1_get(&odd), 0u);
    EXPECT_TRUE(r.rig.logged("atxp1: No value for VOdd found (reg: 06, data: 03)"));
    Control bare;
    bare.name = "VBare";
    bare.kind = kKindVoltage;
    bare.sub_index = 2;
    EXPECT_EQ(r.atxp1.atxp1_get(&bare), 0u);
    EXPECT_TRUE(r.rig.logged("atxp1: No settings for VBare"));
}

TEST_F(Atxp1Driver, RegisterCache) {
    r.rig.clear_trace();
    EXPECT_EQ(r.rig.get("VDimm"), 2600u);
    EXPECT_EQ(r.rig.get("VAgp"), 1500u);
    EXPECT_EQ(r.rig.smbus_transactions().size(), 1u) << "register 0x06 read once";
    // Changed behind the driver's back: not seen until the driver writes it.
    r.rig.board().set_atxp1_reg(0x06, 0x01);
    EXPECT_EQ(r.rig.get("VDimm"), 2600u);
    // The next write of the register starts from the cached byte.
    ASSERT_EQ(r.rig.set("VAgp", 1600), 0);
    EXPECT_EQ(r.rig.board().atxp1_reg(0x06), 0x08);
    r.rig.clear_trace();
    EXPECT_EQ(r.rig.get("VDimm"), 2600u);
    EXPECT_EQ(r.rig.smbus_transactions().size(), 1u) << "fetched again after the write";
    // Register 0x00 is fetched again after every VCore set.
    r.vid_at(1650);
    ASSERT_EQ(r.rig.set("VCore", 1650), 0);
    r.rig.board().set_atxp1_reg(0x00, 0x20 | 10);
    EXPECT_EQ(r.rig.get("VCore"), 1600u);
}

TEST_F(Atxp1Driver, MissingArgumentsAreGuarded) {
    EXPECT_EQ(r.atxp1.atxp1_get(nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(r.atxp1.atxp1_set(nullptr, 1600), -1);
    EXPECT_EQ(r.atxp1.atxp1_init(nullptr, r.rig.controls(), kBoard), -1);
    EXPECT_EQ(r.atxp1.atxp1_init(r.rig.drivers(), r.rig.controls(), nullptr), -1);
    const std::string text = r.rig.log_text();
    const std::string guard = "atxp1: POSSIBLE BUG: Got a NULL pointer";
    // Written without a line end: the four guards run together.
    std::size_t count = 0;
    for (std::size_t pos = text.find(guard); pos != std::string::npos;
         pos = text.find(guard, pos + 1))
        ++count;
    EXPECT_EQ(count, 4u);
    EXPECT_TRUE(text.ends_with(guard));
}

class Atxp1Boost : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(r.init(), 0);
        r.rig.clear_trace();
    }
    Atxp1Rig r{kRails + kBoost};
};

TEST_F(Atxp1Boost, TargetAboveTheVidRangeTakesTheBoost) {
    ASSERT_EQ(r.rig.get("VCore"), 1650u);  // VID control off, CPU VID 1.650 V
    r.rig.clear_trace();
    EXPECT_EQ(r.rig.set("VCore", 1900), 0);
    const auto writes = r.rig.smbus_writes();
    ASSERT_EQ(writes.size(), 9u);
    EXPECT_EQ(writes[0], (T{1, true, 0x4E, 0x0A, 0x10})) << "boost 50 first";
    for (uint8_t i = 0; i < 8; ++i)
        EXPECT_EQ(writes[1 + i], (T{1, true, 0x4E, 0, static_cast<uint8_t>((7 - i) | 0x20)}));
    EXPECT_TRUE(r.rig.logged("atxp1: Writing new VCore+ 50"));
    EXPECT_EQ(r.rig.board().vcore_mv(), 1900);
    EXPECT_EQ(r.rig.get("VCore"), 1900u);
}

TEST_F(Atxp1Boost, BoostChoiceAndWalk) {
    struct Case {
        int32_t target;
        int32_t board_mv;
        uint8_t boost_bits;
    };
    // 1925: boost 75 is nearest to 50 (first of equal ones), 1875 would stay
    // above the VID range, so 100 is taken (with the VID at 1825). 1950 then
    // keeps the boost and walks the VID up from 1825, not from the reading
    // limited to 1850. 1700 takes boost 0.
    const Case cases[] = {{1900, 1900, 0x10}, {1925, 1925, 0x20}, {1950, 1950, 0x20},
                          {1700, 1700, 0x00}, {1850, 1850, 0x00}, {1875, 1875, 0x10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(r.rig.set("VCore", c.target), 0);
        EXPECT_EQ(r.rig.board().atxp1_reg(0x0A) & 0x30, c.boost_bits);
        EXPECT_EQ(r.rig.board().vcore_mv(), c.board_mv);
        EXPECT_EQ(r.rig.get("VCore"), static_cast<uint32_t>(c.board_mv));
    }
    EXPECT_EQ(r.rig.set("VCore", 1951), -1);
}

TEST_F(Atxp1Boost, SameBoostIsNotWrittenAgain) {
    ASSERT_EQ(r.rig.set("VCore", 1900), 0);
    r.rig.clear_trace();
    ASSERT_EQ(r.rig.set("VCore", 1875), 0);
    for (const T& t : r.rig.smbus_writes()) EXPECT_EQ(t.reg, 0) << "only VID writes";
    EXPECT_EQ(r.rig.log_text().find("Writing new VCore+"),
              r.rig.log_text().rfind("Writing new VCore+"));
}

// A failed SMBus write must fail the set.
TEST_F(Atxp1Driver, FailedWriteFailsTheSet) {
    r.vid_at(1650);
    ASSERT_EQ(r.rig.get("VCore"), 1650u);
    ASSERT_EQ(r.rig.get("VDimm"), 2600u);
    r.ports.fail_smbus = true;
    r.rig.clear_trace();
    EXPECT_EQ(r.rig.set("VCore", 1700), -1);
    EXPECT_TRUE(r.rig.logged("atxp1: Writing register 0x00 failed"));
    EXPECT_EQ(r.rig.smbus_writes().size(), 1u) << "the walk stops at the failed step";
    EXPECT_EQ(r.rig.set("VDimm", 2800), -1);
    EXPECT_TRUE(r.rig.logged("atxp1: Writing register 0x06 failed"));
    EXPECT_FALSE(r.rig.logged("atxp1: Switched VDimm from 2600 to 2800"));
    // The next read fetches the real register again.
    r.ports.fail_smbus = false;
    r.rig.clear_trace();
    r.rig.get("VDimm");
    EXPECT_EQ(r.rig.smbus_transactions().size(), 1u);
}

TEST(Atxp1, FailedBoostWriteFailsTheSet) {
    // The boost bits named on a register the chip does not have.
    Atxp1Rig r(kRails + "Control4=ATXP1;VCore;0:0x10:0x30:0x00;50:0x10:0x30:0x10\n");
    ASSERT_EQ(r.init(), 0);
    EXPECT_EQ(r.rig.set("VCore", 1900), -1);
    EXPECT_TRUE(r.rig.logged("atxp1: Writing register 0x10 failed"));
    EXPECT_EQ(r.rig.board().vcore_mv(), 1650);
}

TEST(Atxp1, SettingsNamingNoRegisterOfTheChipAreDropped) {
    Atxp1Rig r("Control0=ATXP1;VAgp;1500:0x106:0x08:0x00;1600:0x06:0x08:0x08\n");
    ASSERT_EQ(r.init(), 0);
    Control* vagp = r.rig.control("VAgp");
    ASSERT_EQ(vagp->settings.count(), 1u);
    EXPECT_EQ(vagp->settings.first()->value, 1600);
    EXPECT_EQ(vagp->settings.first()->index, 0);
    EXPECT_TRUE(r.rig.logged("atxp1: Setting 1500 for VAgp names no register of the chip: 0x106"));
}

// A later start of the drivers keeps the cache and the delay, and loads the
// boost lines afresh.
TEST(Atxp1, RestartKeepsCacheAndDelay) {
    Atxp1Rig r(kRails + kBoost);
    ASSERT_EQ(r.init(), 0);
    ASSERT_EQ(r.rig.set("VCoreDelay", 70), 0);
    ASSERT_EQ(r.rig.get("VDimm"), 2600u);
    const uint32_t valid = r.atxp1.valid_mask();

    List<Driver> drivers;
    List<Control> controls;
    r.smbus.nforce2_smbus_init(&drivers, &controls);
    ASSERT_EQ(r.atxp1.atxp1_init(&drivers, &controls, kBoard), 0);
    EXPECT_EQ(r.atxp1.vcore_delay(), 70);
    EXPECT_EQ(r.atxp1.valid_mask(), valid);
    EXPECT_EQ(r.atxp1.vcore_plus_settings().count(), 3u);
    EXPECT_EQ(
        control_get_val(r.rig.log(), control_get(r.rig.log(), &controls, "VCoreDelay"), &drivers),
        70u);
}

}  // namespace
}  // namespace tess::test

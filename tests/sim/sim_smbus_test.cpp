// The SMBus host controllers and the ATXP1 of the simulated board, driven
// through the host registers as the SMBus driver drives them.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "hw/port_io.h"
#include "sim/sim_fixture.h"
#include "support/test_support.h"

namespace tess::test {
namespace {

constexpr uint16_t kBus0 = 0x5000, kBus1 = 0x5100;

struct Result {
    uint8_t status;
    uint8_t data;
};

Result read_byte(PortIo& io, uint16_t base, uint8_t address, uint8_t reg) {
    io.out8(reg, base + 3);
    io.out8(static_cast<uint8_t>((address & 0x7F) << 1), base + 2);
    io.out8(7, base + 0);
    io.sleep_ms(20);
    const uint8_t status = io.in8(base + 1);
    return {status, io.in8(base + 4)};
}

uint8_t write_byte(PortIo& io, uint16_t base, uint8_t address, uint8_t reg, uint8_t value) {
    io.out8(reg, base + 3);
    io.out8(static_cast<uint8_t>((address & 0x7F) << 1), base + 2);
    io.out8(value, base + 4);
    io.out8(6, base + 0);
    io.sleep_ms(20);
    return io.in8(base + 1);
}

TEST(SimSmbus, ReadByteDataFromTheAtxp1) {
    TracedBoard sim;
    const Result r = read_byte(*sim.board, kBus1, 0x4E, 0x01);
    EXPECT_EQ(r.status, 0x80);
    EXPECT_EQ(r.data, 0x08);  // the CPU's VID: 1.650 V
    EXPECT_EQ(sim.take(),
              (std::vector<std::string>{"out8 0x5103 0x01", "out8 0x5102 0x9c", "out8 0x5100 0x07",
                                        "sleep 20", "in8 0x5101 0x80", "in8 0x5104 0x08"}));
}

TEST(SimSmbus, TransactionsWithoutAcknowledge) {
    struct Case {
        const char* what;
        uint16_t base;
        uint8_t address, reg, protocol;
        uint8_t status;
    };
    const Case cases[] = {
        {"no device at the address", kBus1, 0x37, 0x00, 7, 0x10},
        {"the ATXP1 is on the other bus", kBus0, 0x4E, 0x00, 7, 0x10},
        {"write to nobody", kBus0, 0x1B, 0x00, 6, 0x10},
        {"register beyond the chip's", kBus1, 0x4E, 0x10, 7, 0x11},
        {"unsupported protocol", kBus1, 0x4E, 0x00, 5, 0x19},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TracedBoard sim;
        auto& io = *sim.board;
        io.out8(0x5A, c.base + 4);
        io.out8(c.reg, c.base + 3);
        io.out8(static_cast<uint8_t>(c.address << 1), c.base + 2);
        io.out8(c.protocol, c.base + 0);
        EXPECT_EQ(io.in8(c.base + 1), c.status);
        EXPECT_EQ(io.in8(c.base + 4), 0x5A) << "data register untouched";
    }
}

TEST(SimSmbus, ControllersAnswerOnlyAtTheirBasesWhileDecoding) {
    TracedBoard sim;
    auto& io = *sim.board;
    EXPECT_EQ(read_byte(io, kBus1, 0x4E, 0x00).status, 0x80);

    pci_write(io, 0x00010104, 0);  // I/O decoding off
    EXPECT_EQ(io.in8(kBus1 + 1), 0xFF);
    EXPECT_EQ(read_byte(io, kBus1, 0x4E, 0x00).status, 0xFF);
    pci_write(io, 0x00010104, 1);

    pci_write(io, 0x00010154, 0);  // base of bus 1 unset: nothing answers
    EXPECT_EQ(pci_read(io, 0x00010154), 0u);
    EXPECT_EQ(read_byte(io, kBus1, 0x4E, 0x00).status, 0xFF);

    pci_write(io, 0x00010154, 0x00005201);  // moved
    EXPECT_EQ(read_byte(io, 0x5200, 0x4E, 0x00).status, 0x80);
}

TEST(SimSmbus, WritesReachTheAtxp1ExceptTheCpuVid) {
    TracedBoard sim;
    auto& io = *sim.board;
    EXPECT_EQ(write_byte(io, kBus1, 0x4E, 0x00, 0x2D), 0x80);
    EXPECT_EQ(sim.board->atxp1_reg(0x00), 0x2D);
    EXPECT_EQ(sim.board->vcore_mv(), 1525);  // VID 13 with VID control on

    EXPECT_EQ(write_byte(io, kBus1, 0x4E, 0x01, 0x00), 0x80);
    EXPECT_EQ(sim.board->atxp1_reg(0x01), 0x08) << "register 0x01 follows the CPU's VID pins";
    EXPECT_EQ(read_byte(io, kBus1, 0x4E, 0x00).data, 0x2D);
}

TEST(SimSmbus, OtherDevicesHoldWhatIsWritten) {
    TracedBoard sim(sim::SimBoard::default_profile() +
                    "\n[[smbus.device]]\nname = \"probe\"\nbus = 0\naddress = 0x1b\n"
                    "registers = [0x00, 0xff, 0x42]\n");
    auto& io = *sim.board;
    EXPECT_EQ(read_byte(io, kBus0, 0x1B, 0x01).data, 0xFF);
    EXPECT_EQ(write_byte(io, kBus0, 0x1B, 0x02, 0x99), 0x80);
    EXPECT_EQ(read_byte(io, kBus0, 0x1B, 0x02).data, 0x99);
    EXPECT_EQ(read_byte(io, kBus0, 0x1B, 0x03).status, 0x11);
}

TEST(SimAtxp1, VidSelectionGivesTheCoreVoltage) {
    struct Case {
        uint8_t reg0, reg1;
        int32_t mv;
    };
    const Case cases[] = {
        {0x08, 0x08, 1650},  // power-on: VID control off, the CPU's VID
        {0x0C, 0x08, 1650},  // bit 5 clear: register 0x00's VID is not used
        {0x2D, 0x08, 1525},  // VID control on: VID 13
        {0x20, 0x1F, 1850},  // VID 0
        {0x3F, 0x00, 1075},  // VID 31
        {0x00, 0x1F, 1075},  // CPU VID 31
        {0xED, 0x08, 1525},  // bits 7..6 do not matter
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int{c.reg0} << "/" << int{c.reg1});
        TracedBoard sim;
        sim.board->set_atxp1_reg(0x00, c.reg0);
        sim.board->set_atxp1_reg(0x01, c.reg1);
        EXPECT_EQ(sim.board->vcore_mv(), c.mv);
        EXPECT_EQ(sim.board->rail_mv("VCore"), c.mv);
    }
}

TEST(SimAtxp1, GeneralPurposeOutputsSwitchTheRails) {
    struct Case {
        uint8_t reg6, regA;
        int32_t vdimm, vdimm_plus, vagp, vdd, vcore;
    };
    const Case cases[] = {
        {0x00, 0x00, 2600, 0, 1500, 1600, 1650},   {0x01, 0x01, 2700, 0, 1500, 1700, 1650},
        {0x06, 0x02, 2900, 100, 1500, 1800, 1650},  // 2800 + VDimm+ 100
        {0x0B, 0x13, 2900, 0, 1600, 1900, 1700},    // boost 50
        {0xF0, 0xE0, 2600, 0, 1500, 1600, 1750},    // bits outside the rails ignored; boost 100
        {0x00, 0x30, 2600, 0, 1500, 1600, 1800},    // boost 150
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int{c.reg6} << "/" << int{c.regA});
        TracedBoard sim;
        sim.board->set_atxp1_reg(0x06, c.reg6);
        sim.board->set_atxp1_reg(0x0A, c.regA);
        EXPECT_EQ(sim.board->rail_mv("VDimm"), c.vdimm);
        EXPECT_EQ(sim.board->rail_mv("VDimm+"), c.vdimm_plus);
        EXPECT_EQ(sim.board->rail_mv("VAgp"), c.vagp);
        EXPECT_EQ(sim.board->rail_mv("Vdd"), c.vdd);
        EXPECT_EQ(sim.board->vcore_mv(), c.vcore);
    }
    TracedBoard sim;
    EXPECT_EQ(sim.board->rail_mv("VAux"), 0);
    EXPECT_EQ(sim.board->atxp1_reg(0x10), 0xFF);
}

// ---- the shipped controls.ini describes the wiring of the simulated boards ----

TEST(SimAtxp1, ShippedControlsDescribeTheBoardsWiring) {
    const auto boards = read_ini(source_dir() / "data" / "boards.ini");
    const auto controls = read_ini(source_dir() / "data" / "controls.ini");
    ASSERT_EQ(boards.size(), 2u);
    int boost_lines = 0;
    for (const auto& [board, keys] : boards) {
        SCOPED_TRACE(board);
        EXPECT_LE(board.size(), 49u);
        ASSERT_TRUE(keys.keys.count("Profile"));
        const std::string profile = sim::SimBoard::profile(keys.keys.at("Profile"));
        ASSERT_FALSE(profile.empty());
        ASSERT_TRUE(controls.count(board));
        const IniSection& section = controls.at(board);
        for (size_t i = 0; i < section.order.size(); ++i)
            EXPECT_EQ(section.order[i], "Control" + std::to_string(i)) << "numbered without gaps";

        for (const auto& key : section.order) {
            const auto fields = split(section.keys.at(key), ';');
            ASSERT_GE(fields.size(), 3u) << key;
            EXPECT_EQ(fields[0], "ATXP1");
            const std::string& control = fields[1];
            boost_lines += control == "VCore";
            // value by pattern; all settings of a line name one register and its bits
            std::map<unsigned, int> by_pattern;
            unsigned reg = 0, data = 0;
            for (size_t f = 2; f < fields.size(); ++f) {
                SCOPED_TRACE(fields[f]);
                int value = 0;
                unsigned r = 0, d = 0, mask = 0;
                ASSERT_EQ(
                    std::sscanf(fields[f].c_str(), "%d:0x%x:0x%x:0x%x", &value, &r, &d, &mask), 4);
                if (f == 2) reg = r, data = d;
                EXPECT_EQ(r, reg);
                EXPECT_EQ(d, data);
                EXPECT_EQ(mask & ~data, 0u);
                by_pattern[mask] = value;
            }
            // Every pattern of the bits, put on a board at power-on, gives
            // exactly the value the line lists for it.
            size_t patterns = 0;
            for (unsigned p = 0; p < 256; ++p) {
                if (p & ~data) continue;
                ++patterns;
                SCOPED_TRACE(testing::Message() << key << " pattern " << p);
                TracedBoard sim(profile);
                const uint8_t before = sim.board->atxp1_reg(static_cast<uint8_t>(reg));
                sim.board->set_atxp1_reg(static_cast<uint8_t>(reg),
                                         static_cast<uint8_t>((before & ~data) | p));
                const int actual =
                    control == "VCore" ? sim.board->vcore_mv() - 1650 : sim.board->rail_mv(control);
                ASSERT_TRUE(by_pattern.count(p));
                EXPECT_EQ(by_pattern.at(p), actual);
            }
            EXPECT_EQ(by_pattern.size(), patterns);
        }
    }
    EXPECT_GE(boost_lines, 1) << "one shipped board offers the VCore boost";
}

}  // namespace
}  // namespace tess::test

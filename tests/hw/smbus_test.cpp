// The nForce2 SMBus host driver against the simulated board's host
// controllers, through the ports.
#include "hw/nforce2_smbus.h"

#include <gtest/gtest.h>

#include "hw_fixture.h"

namespace tess::test {
namespace {

constexpr uint32_t kBase0Reg = 0x00010150;
constexpr uint32_t kBase1Reg = 0x00010154;
constexpr uint32_t kCommandReg = 0x00010104;

TEST(Nforce2Smbus, RegistersDriverAndBothBusControls) {
    Rig rig;
    Nforce2Smbus smbus(rig.log(), rig.board());
    ASSERT_EQ(smbus.nforce2_smbus_init(rig.drivers(), rig.controls()), 0);

    ASSERT_EQ(rig.drivers()->count(), 1u);
    EXPECT_EQ(rig.drivers()->first()->name, "NFORCE2_SMBUS");
    EXPECT_EQ(rig.drivers()->first()->interface_, "PCI");
    ASSERT_EQ(rig.controls()->count(), 2u);
    const char* names[] = {"NFORCE2_SMBUS0", "NFORCE2_SMBUS1"};
    const char* descriptions[] = {"nForce2 SMBUS 0", "nForce2 SMBUS 1"};
    int i = 0;
    for (const Control* c : *rig.controls()) {
        EXPECT_EQ(c->name, names[i]);
        EXPECT_EQ(c->kind, kKindBus);
        EXPECT_EQ(c->sub_index, i);
        EXPECT_EQ(c->driver_name, "NFORCE2_SMBUS");
        EXPECT_EQ(c->description, descriptions[i]);
        ++i;
    }
    EXPECT_EQ(smbus.base(0), 0x5000u);
    EXPECT_EQ(smbus.base(1), 0x5100u);
    const auto lines = rig.log_lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(
        lines[0], "nforce2_smbus: 1.1: 0x" + [&] {
            char hex[16];
            std::snprintf(hex, sizeof hex, "%02x", rig.board().pci_config(0x00010100));
            return std::string(hex);
        }());
    EXPECT_EQ(lines[1], "nforce2_smbus: Address of bus 0 is 0x5000");
    EXPECT_EQ(lines[2], "nforce2_smbus: Address of bus 1 is 0x5100");
}

TEST(Nforce2Smbus, NoNforce2RegistersNothing) {
    Rig rig;
    rig.board().set_pci_config(0x00000000, 0x00E010DE);
    Nforce2Smbus smbus(rig.log(), rig.board());
    EXPECT_EQ(smbus.nforce2_smbus_init(rig.drivers(), rig.controls()), -1);
    EXPECT_TRUE(rig.drivers()->empty());
    EXPECT_TRUE(rig.controls()->empty());
    EXPECT_TRUE(rig.logged("nforce2_smbus: No nForce2 chipset detected"));
    EXPECT_EQ(smbus.nforce2_smbus_init(nullptr, rig.controls()), -1);
}

// An unset base (bits 15..2 all zero) is forced; a set one is taken as it is.
TEST(Nforce2Smbus, UnsetBasesAreForced) {
    struct Case {
        uint32_t reg;
        uint32_t initial;
        uint32_t after;  // register afterwards
        uint32_t base;
        bool forced;
    };
    const Case cases[] = {
        {kBase0Reg, 0x00000000, 0x00005001, 0x5000, true},
        {kBase0Reg, 0x00000001, 0x00005001, 0x5000, true},
        {kBase0Reg, 0x00000003, 0x00005001, 0x5000, true},
        {kBase0Reg, 0xABCD0000, 0xABCD5001, 0x5000, true},
        {kBase0Reg, 0x00005001, 0x00005001, 0x5000, false},
        {kBase0Reg, 0x00006005, 0x00006005, 0x6004, false},
        {kBase1Reg, 0x00000000, 0x00005101, 0x5100, true},
        {kBase1Reg, 0x00000001, 0x00005101, 0x5100, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << "reg 0x" << c.reg << " = 0x" << c.initial);
        Rig rig;
        rig.board().set_pci_config(c.reg, c.initial);
        const uint32_t other = c.reg == kBase0Reg ? kBase1Reg : kBase0Reg;
        const uint32_t other_before = rig.board().pci_config(other);
        Nforce2Smbus smbus(rig.log(), rig.board());
        ASSERT_EQ(smbus.nforce2_smbus_init(rig.drivers(), rig.controls()), 0);
        EXPECT_EQ(rig.board().pci_config(c.reg), c.after);
        EXPECT_EQ(rig.board().pci_config(other), other_before) << "the other base is left alone";
        EXPECT_EQ(rig.config_writes(c.reg).size(), c.forced ? 1u : 0u);
        const int bus = c.reg == kBase0Reg ? 0 : 1;
        EXPECT_EQ(smbus.base(bus), c.base);
        char line[96];
        std::snprintf(line, sizeof line,
                      "nforce2_smbus: Address of bus %d not set, forcing to 0x%x", bus,
                      bus == 0 ? 0x5000 : 0x5100);
        EXPECT_EQ(rig.logged(line), c.forced);
        std::snprintf(line, sizeof line, "nforce2_smbus: Address of bus %d is 0x%x", bus, c.base);
        EXPECT_TRUE(rig.logged(line));
    }
}

TEST(Nforce2Smbus, EnablesIoDecoding) {
    Rig rig;
    const uint32_t command = rig.board().pci_config(kCommandReg);
    rig.board().set_pci_config(kCommandReg, command & ~1u);
    Nforce2Smbus smbus(rig.log(), rig.board());
    ASSERT_EQ(smbus.nforce2_smbus_init(rig.drivers(), rig.controls()), 0);
    EXPECT_TRUE(rig.logged("nforce2_smbus: Device I/O disabled, enabling it..."));
    EXPECT_EQ(rig.board().pci_config(kCommandReg), command | 1u);
    // The ATXP1 on bus 1 answers now.
    EXPECT_NE(smbus.smbus_read_byte(1, 0x4E, 0x01), 0u);
}

class SmbusTransactions : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(smbus.nforce2_smbus_init(rig.drivers(), rig.controls()), 0);
        rig.clear_trace();
    }
    Control* bus(int n) { return rig.control(n == 0 ? "NFORCE2_SMBUS0" : "NFORCE2_SMBUS1"); }

    Rig rig;
    Nforce2Smbus smbus{rig.log(), rig.board()};
};

TEST_F(SmbusTransactions, ReadByteDataSequence) {
    rig.board().set_atxp1_reg(0x05, 0x5A);
    Control* c = bus(1);
    c->private_area[0] = 0x4E;
    c->private_area[1] = 0x05;
    EXPECT_EQ(control_get_val(rig.log(), c, rig.drivers()), 0x5Au);
    const std::vector<std::string> expected = {
        "out8 0x5103 0x05", "out8 0x5102 0x9c", "out8 0x5100 0x07",
        "sleep 20",         "in8 0x5101 0x80",  "in8 0x5104 0x5a",
    };
    EXPECT_EQ(rig.trace(), expected);
}

TEST_F(SmbusTransactions, WriteByteDataSequence) {
    Control* c = bus(1);
    c->private_area[0] = 0x4E;
    c->private_area[1] = 0x06;
    EXPECT_EQ(control_set_val(rig.log(), c, rig.drivers(), 0x1234), 0);
    const std::vector<std::string> expected = {
        "out8 0x5103 0x06", "out8 0x5102 0x9c", "out8 0x5104 0x34",
        "out8 0x5100 0x06", "sleep 20",         "in8 0x5101 0x80",
    };
    EXPECT_EQ(rig.trace(), expected);
    EXPECT_EQ(rig.board().atxp1_reg(0x06), 0x34) << "only the low byte is written";
}

TEST_F(SmbusTransactions, NoDeviceReadsZeroAndFailsToWrite) {
    Control* c = bus(0);  // the ATXP1 sits on bus 1
    c->private_area[0] = 0x4E;
    c->private_area[1] = 0x00;
    EXPECT_EQ(control_get_val(rig.log(), c, rig.drivers()), 0u);
    EXPECT_EQ(control_set_val(rig.log(), c, rig.drivers(), 0x2C), -1);
    EXPECT_EQ(smbus.smbus_read_byte(1, 0x1B, 0x00), 0u);
    EXPECT_EQ(smbus.smbus_write_byte(1, 0x1B, 0x00, 1), -1);
    // Each transaction still takes its 20 ms.
    EXPECT_EQ(rig.sleeps(), (std::vector<uint32_t>{20, 20, 20, 20}));
}

TEST_F(SmbusTransactions, BusCharacterOtherThanZeroOrOne) {
    const Driver* entry = &smbus.driver();
    for (const char* name : {"NFORCE2_SMBUS2", "NFORCE2_SMBUS", "SMBUS1", "NFORCE2_SMBUSX1"}) {
        SCOPED_TRACE(name);
        Control* c = control_add(rig.log(), rig.controls(), name, kKindBus, entry, "test", 0);
        ASSERT_NE(c, nullptr);
        c->private_area[0] = 0x4E;
        c->private_area[1] = 0x01;
        rig.clear_trace();
        EXPECT_EQ(smbus.smbus_get(c), 0u);
        EXPECT_EQ(smbus.smbus_set(c, 0x20), -1);
        EXPECT_TRUE(rig.trace().empty()) << "no port is touched";
    }
    EXPECT_EQ(smbus.smbus_get(nullptr), 0u);
    EXPECT_EQ(smbus.smbus_set(nullptr, 0), -1);
}

TEST(Nforce2Smbus, TransactionsBeforeInitTouchNoPort) {
    Rig rig;
    Nforce2Smbus smbus(rig.log(), rig.board());
    EXPECT_EQ(smbus.smbus_read_byte(0, 0x4E, 0), 0u);
    EXPECT_EQ(smbus.smbus_write_byte(1, 0x4E, 0, 0), -1);
    EXPECT_TRUE(rig.trace().empty());
}

}  // namespace
}  // namespace tess::test

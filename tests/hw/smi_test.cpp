// The BIOS SMI interface on the simulated board's "smi" profile.
#include "hw/smi.h"

#include <bit>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "hw_fixture.h"

namespace tess::test {
namespace {

std::string smi_profile() {
    return sim::SimBoard::profile("smi");
}

std::array<uint32_t, 8> data_registers(PortIo& io, uint16_t base) {
    std::array<uint32_t, 8> regs{};
    for (std::size_t i = 0; i < regs.size(); ++i)
        regs[i] = io.in32(static_cast<uint16_t>(base + 0x80 + 4 * i));
    return regs;
}

TEST(Smi, DetectsTheBoardIdentity) {
    Rig rig(smi_profile());
    Smi smi(rig.log(), rig.board());
    SmiInfo info;
    ASSERT_EQ(smi.smi_init(&info), 1);
    EXPECT_EQ(info.function_code, 0x88);
    EXPECT_EQ(info.version, 0x0100);
    EXPECT_EQ(info.vendor, 0x01020001u);
    EXPECT_EQ(info.vendor_number(), 1);
    EXPECT_EQ(info.board_version(), 0x0102);
    EXPECT_EQ(info.vendor_name, "NVIDIA");
    EXPECT_EQ(info.board_name, "Sim nForce2 SMI");
    EXPECT_EQ(smi.base(), 0x4400);
    EXPECT_EQ(rig.log_lines(), (std::vector<std::string>{
                                   "SMI: Got IO base 0x4400",
                                   "SMI: Back-to-back writes disabled.",
                                   "SMI: Function code: 0x88",
                                   "SMI: Interface version 0x100",
                                   "SMI: Board vendor: NVIDIA, version 0x102",
                                   "SMI: Board name: Sim nForce2 SMI",
                               }));
}

TEST(Smi, DetectionRunsOncePerObject) {
    Rig rig(smi_profile());
    Smi smi(rig.log(), rig.board());
    SmiInfo first, second;
    ASSERT_EQ(smi.smi_init(&first), 1);
    rig.clear_trace();
    ASSERT_EQ(smi.smi_init(&second), 1);
    EXPECT_TRUE(rig.trace().empty());
    EXPECT_EQ(second.board_name, first.board_name);
    EXPECT_EQ(smi.smi_init(nullptr), 0);
}

TEST(Smi, CallsLeaveTheDataRegistersAsTheyWere) {
    Rig rig(smi_profile());
    Smi smi(rig.log(), rig.board());
    SmiInfo info;
    const auto before = data_registers(rig.board(), 0x4400);
    ASSERT_EQ(smi.smi_init(&info), 1);
    EXPECT_EQ(data_registers(rig.board(), 0x4400), before);

    ASSERT_EQ(smi.smi_call(&info, 0x25), 1);
    EXPECT_EQ(info.data[1], 0x01020001u);
    EXPECT_EQ(info.data[2], 0x53696D20u);  // "Sim "
    EXPECT_EQ(data_registers(rig.board(), 0x4400), before);

    const auto data = info.data;
    EXPECT_EQ(smi.smi_call(&info, 0x77), 0);
    EXPECT_TRUE(rig.logged("SMI: Invalid function: 0x77"));
    EXPECT_EQ(info.data, data) << "a failed call leaves the data words alone";
    EXPECT_EQ(data_registers(rig.board(), 0x4400), before);

    rig.clear_trace();
    EXPECT_EQ(smi.smi_call_arg(&info, 0x01, 0xCAFE), 1);
    EXPECT_EQ(data_registers(rig.board(), 0x4400), before);
    EXPECT_NE(std::find(rig.trace().begin(), rig.trace().end(), "out32 0x4484 0x0000cafe"),
              rig.trace().end());
}

TEST(Smi, StatusTable) {
    Rig rig(smi_profile());
    Smi smi(rig.log(), rig.board());
    SmiInfo info;
    ASSERT_EQ(smi.smi_init(&info), 1);
    struct Case {
        uint8_t status;
        bool ok;
        const char* line;
    };
    const Case cases[] = {
        {0x00, true, nullptr},
        {0xFE, false, "SMI: Failed function: 0x25"},
        {0xFF, false, "SMI: Invalid function: 0x25"},
        {0x25, false, "SMI: Not responding."},
        {0x42, false, "SMI: Unknown return value 42"},
    };
    for (const Case& c : cases) {
        rig.board().out8(c.status, 0x4400 + 0x2F);
        const std::size_t lines = rig.log_lines().size();
        EXPECT_EQ(smi.smi_status(0x25), c.ok) << int(c.status);
        if (c.line)
            EXPECT_EQ(rig.log_lines().back(), c.line);
        else
            EXPECT_EQ(rig.log_lines().size(), lines);
    }
}

TEST(Smi, UnsetBaseIsForced) {
    Rig rig(smi_profile());
    rig.board().set_pci_config(0x00010064, 0xABCD0001);
    Smi smi(rig.log(), rig.board());
    SmiInfo info;
    ASSERT_EQ(smi.smi_init(&info), 1);
    EXPECT_TRUE(rig.logged("SMI: Got IO base 0x00"));
    EXPECT_TRUE(rig.logged("SMI: Invalid address, forcing it to 0x4400"));
    EXPECT_EQ(rig.board().pci_config(0x00010064), 0xABCD4401u);
    EXPECT_EQ(smi.base(), 0x4400);
    EXPECT_EQ(info.board_name, "Sim nForce2 SMI");
}

TEST(Smi, ZeroFunctionCodeIsForcedTo0x88) {
    Rig rig(smi_profile());
    rig.board().out8(0, 0x449F);
    Smi smi(rig.log(), rig.board());
    SmiInfo info;
    ASSERT_EQ(smi.smi_init(&info), 1);
    EXPECT_TRUE(rig.logged("smi: Function code not set, forcing to 0x88"));
    EXPECT_EQ(info.function_code, 0x88);
    EXPECT_EQ(rig.board().in8(0x449F), 0x88);
}

TEST(Smi, CommandIoIsEnabled) {
    Rig rig(smi_profile());
    rig.board().set_pci_config(0x00010004, 0x00000200);
    Smi smi(rig.log(), rig.board());
    SmiInfo info;
    ASSERT_EQ(smi.smi_init(&info), 1);
    EXPECT_TRUE(rig.logged("SMI: Command I/O disabled, enabling it"));
    EXPECT_TRUE(rig.logged("SMI: Back-to-back writes enabled."));
    EXPECT_EQ(rig.board().pci_config(0x00010004), 0x00000201u);
}

TEST(Smi, NoNvidiaChipsetTouchesNothing) {
    Rig rig(smi_profile());
    rig.board().set_pci_config(0, 0x71908086);
    Smi smi(rig.log(), rig.board());
    SmiInfo info;
    EXPECT_EQ(smi.smi_init(&info), 0);
    EXPECT_TRUE(rig.logged("smi: No nForce2 chipset detected"));
    EXPECT_EQ(rig.trace().size(), 2u) << "one PCI read";
    EXPECT_EQ(info.function_code, 0);
    EXPECT_EQ(smi.smi_call(&info, 0x01), 0) << "no interface, no port access";
    EXPECT_EQ(rig.trace().size(), 2u);
}

// The ATXP1 board has no SMI handler: the first detection fails, later ones
// report the interface as found (detection has run), and calls fail.
TEST(Smi, BoardWithoutHandler) {
    Rig rig;
    Smi smi(rig.log(), rig.board());
    SmiInfo info;
    EXPECT_EQ(smi.smi_init(&info), 0);
    EXPECT_TRUE(rig.logged("SMI: Function code: 0xff"));
    EXPECT_TRUE(rig.logged("SMI: Invalid function: 0x01"));
    EXPECT_EQ(smi.smi_init(&info), 1);
    EXPECT_EQ(info.function_code, 0xFF);
    EXPECT_EQ(smi.smi_call(&info, 0x25), 0);
}

TEST(Smi, BoardNameAndVendor) {
    struct Case {
        const char* name_line;
        const char* vendor_line;
        const char* board_name;
        const char* vendor_name;
    };
    const Case cases[] = {
        {"board_name = \"ABC\"", "vendor = 6", "ABC", "Epox"},
        {"board_name = \"AB CD  EF\"", "vendor = 23", "AB CD", "Arima"},
        {"board_name = \"ABCDEFGHIJKLMNOPQRSTUVWX\"", "vendor = 0x20", "ABCDEFGHIJKLMNOPQRSTUVWX",
         "Not Supported"},
        {"board_name = \"ABCDEFGHIJKLMNOPQRSTUVW \"", "vendor = 0", "ABCDEFGHIJKLMNOPQRSTUVW ",
         "Not Supported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board_name);
        std::string profile = edit_profile(smi_profile(), "board_name =", c.name_line);
        profile = edit_profile(profile, "vendor =", c.vendor_line);
        Rig rig(profile);
        Smi smi(rig.log(), rig.board());
        SmiInfo info;
        ASSERT_EQ(smi.smi_init(&info), 1);
        EXPECT_EQ(info.board_name, c.board_name);
        EXPECT_EQ(info.vendor_name, c.vendor_name);
    }
}

TEST(Smi, FloatToMillivolts) {
    const std::pair<float, int32_t> cases[] = {{1.65f, 1649}, {2.6f, 2599}, {2.5f, 2500},
                                               {0.0f, 0},     {3.3f, 3299}, {-1.5f, -1500},
                                               {1.7f, 1700}};
    for (auto [volts, mv] : cases)
        EXPECT_EQ(float_to_mv(std::bit_cast<uint32_t>(volts)), mv) << volts;
    EXPECT_EQ(float_to_mv(std::bit_cast<uint32_t>(std::numeric_limits<float>::quiet_NaN())), 0);
    EXPECT_EQ(float_to_mv(std::bit_cast<uint32_t>(std::numeric_limits<float>::infinity())),
              std::numeric_limits<int32_t>::max());
    EXPECT_EQ(float_to_mv(std::bit_cast<uint32_t>(-3e20f)), std::numeric_limits<int32_t>::min());
}

}  // namespace
}  // namespace tess::test

// The BIOS SMI interface of the "smi" profile, driven by its port protocol.
#include <gtest/gtest.h>

#include "hw/port_io.h"
#include "sim/sim_fixture.h"

namespace tess::test {
namespace {

constexpr uint16_t kBase = 0x4400;

// One call as the SMI layer makes it: function number to +0x2F, the code to
// +0x2E; the status is at +0x2F when the write returns.
uint8_t smi_call(PortIo& io, uint8_t function, uint8_t code = 0x88) {
    io.out8(function, kBase + 0x2F);
    io.out8(code, kBase + 0x2E);
    return io.in8(kBase + 0x2F);
}

TEST(SimSmi, BaseAndFunctionCodeAsTheBiosLeavesThem) {
    TracedBoard sim(sim::SimBoard::profile("smi"));
    EXPECT_EQ(pci_read(*sim.board, 0x00010064) & 0xFFFC, kBase);
    EXPECT_EQ(sim.board->in8(kBase + 0x9F), 0x88);
}

TEST(SimSmi, InterfaceVersionAndBoardIdentity) {
    TracedBoard sim(sim::SimBoard::profile("smi"));
    auto& io = *sim.board;
    EXPECT_EQ(smi_call(io, 0x01), 0x00);
    EXPECT_EQ(io.in32(kBase + 0x84), 0x0100u);

    EXPECT_EQ(smi_call(io, 0x25), 0x00);
    EXPECT_EQ(io.in32(kBase + 0x84), 0x01020001u);  // vendor 1, version 0x0102
    const uint32_t name[] = {0x53696D20, 0x6E466F72, 0x63653220,
                             0x534D4920, 0x20202020, 0x20202020};  // "Sim nForce2 SMI", spaces
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(io.in32(static_cast<uint16_t>(kBase + 0x88 + 4 * i)), name[i]) << i;
}

TEST(SimSmi, StatusOfCallsThatDoNotRun) {
    TracedBoard sim(sim::SimBoard::profile("smi"));
    auto& io = *sim.board;
    EXPECT_EQ(smi_call(io, 0x42), 0xFF) << "no such function";
    EXPECT_EQ(smi_call(io, 0x25, 0x77), 0x25) << "a wrong code triggers no SMI";
    EXPECT_EQ(io.in32(kBase + 0x84), 0u);

    // Without the handler (the default board) nothing answers in that space.
    TracedBoard plain;
    EXPECT_EQ(smi_call(*plain.board, 0x01), 0xFF);
    EXPECT_EQ(plain.board->in8(kBase + 0x9F), 0xFF);
}

TEST(SimSmi, DataRegistersHoldWhatIsWritten) {
    TracedBoard sim(sim::SimBoard::profile("smi"));
    auto& io = *sim.board;
    io.out32(0xCAFEF00D, kBase + 0x80);
    io.out32(0x12345678, kBase + 0x9C);
    EXPECT_EQ(io.in32(kBase + 0x80), 0xCAFEF00Du);
    EXPECT_EQ(io.in8(kBase + 0x9F), 0x12) << "+0x9F is the top byte of data register 7";
    EXPECT_EQ(smi_call(io, 0x42, 0x88), 0xFF) << "the handler's code is its own, not +0x9F";
}

TEST(SimSmi, ShippedBoardsCarryTheBiosIdentity) {
    const auto boards = read_ini(source_dir() / "data" / "boards.ini");
    for (const auto& [name, section] : boards) {
        SCOPED_TRACE(name);
        const bool smi = section.keys.at("Profile") == "smi";
        for (const char* key : {"SMI_Vendor", "SMI_Name", "SMI_Version"})
            EXPECT_EQ(section.keys.count(key), smi ? 1u : 0u) << key;
        if (!smi) continue;
        // What the BIOS reports must select this entry: same vendor and
        // version, and the reported name (up to its first two spaces) inside SMI_Name.
        TracedBoard sim(sim::SimBoard::profile("smi"));
        auto& io = *sim.board;
        ASSERT_EQ(smi_call(io, 0x25), 0x00);
        const uint32_t vendor_word = io.in32(kBase + 0x84);
        EXPECT_EQ(std::stoul(section.keys.at("SMI_Vendor"), nullptr, 0), vendor_word & 0xFF);
        EXPECT_EQ(std::stoul(section.keys.at("SMI_Version"), nullptr, 0), vendor_word >> 16);
        std::string reported;
        for (int i = 0; i < 6; ++i) {
            const uint32_t w = io.in32(static_cast<uint16_t>(kBase + 0x88 + 4 * i));
            for (int shift = 24; shift >= 0; shift -= 8) reported += static_cast<char>(w >> shift);
        }
        reported = reported.substr(0, reported.find("  "));
        EXPECT_LE(section.keys.at("SMI_Name").size(), 19u);
        EXPECT_NE(section.keys.at("SMI_Name").find(reported), std::string::npos) << reported;
    }
}

}  // namespace
}  // namespace tess::test

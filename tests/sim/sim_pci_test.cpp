// PCI configuration mechanism #1 of the simulated board, driven as the
// drivers drive it: through pci_read / pci_write on ports 0xCF8 / 0xCFC.
#include <gtest/gtest.h>

#include <cstdio>

#include "hw/port_io.h"
#include "sim/sim_fixture.h"

namespace tess::test {
namespace {

std::string line(const char* op, unsigned port, unsigned value) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s 0x%04x 0x%08x", op, port, value);
    return buf;
}

struct DecodeCase {
    uint32_t pci_addr;
    uint32_t address_written;
    uint32_t value;  // of the default board
};

TEST(SimPci, DecodesTheConfigurationAddress) {
    const DecodeCase cases[] = {
        {0x00000000, 0x80000000, 0x01E010DE},  // host bridge ID
        {0x00010150, 0x80000950, 0x00005001},  // SMBus base of bus 0
        {0x001E000C, 0x8000F00C, 0x00012000},  // AGP bridge latency
        {0x00080018, 0x80004018, 0x20020200},  // PCI bridge secondary latency
        {0x00000548, 0x80000548, 200000000},   // boot FSB in Hz
        {0x0000004A, 0x80000048, 0x00000300},  // unaligned: the dword at 0x48
        {0x00E00000, 0x80000000, 0x01E010DE},  // bits 23..21 ignored
        {0x0000F800, 0x80000000, 0x01E010DE},  // bits 15..11 ignored
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pci_addr);
        TracedBoard sim;
        EXPECT_EQ(pci_read(*sim.board, c.pci_addr), c.value);
        EXPECT_EQ(sim.take(), (std::vector<std::string>{line("out32", 0xcf8, c.address_written),
                                                        line("in32", 0xcfc, c.value)}));
        // The address port keeps the last address after a read.
        EXPECT_EQ(sim.board->in32(kPciAddressPort), c.address_written);
    }
}

TEST(SimPci, AbsentFunctionsReadAllOnesAndIgnoreWrites) {
    TracedBoard sim;
    for (uint32_t pci_addr : {0x00020000u, 0x01000000u, 0x00000700u, 0x001F0000u}) {
        SCOPED_TRACE(pci_addr);
        EXPECT_EQ(pci_read(*sim.board, pci_addr), 0xFFFFFFFFu);
        pci_write(*sim.board, pci_addr, 0x12345678);
        EXPECT_EQ(pci_read(*sim.board, pci_addr), 0xFFFFFFFFu);
        EXPECT_EQ(sim.board->pci_config(pci_addr), 0xFFFFFFFFu);
    }
    // Without the enable bit no configuration cycle runs.
    sim.board->out32(0x00000000, kPciAddressPort);
    EXPECT_EQ(sim.board->in32(kPciDataPort), 0xFFFFFFFFu);
    sim.board->out32(0xDEAD, kPciDataPort);
    EXPECT_EQ(sim.board->pci_config(0x00000000), 0x01E010DEu);
}

TEST(SimPci, RegistersHoldWhatIsWrittenExceptIdentification) {
    TracedBoard sim;
    auto& io = *sim.board;
    EXPECT_EQ(pci_write(io, 0x001E0018, 0x40010100), 0);
    EXPECT_EQ(io.in32(kPciAddressPort), 0u) << "pci_write leaves the address port at 0";
    EXPECT_EQ(pci_read(io, 0x001E0018), 0x40010100u);

    // Vendor/device ID, class/revision and the boot-FSB strap are read-only.
    for (uint32_t pci_addr : {0x00000000u, 0x00000008u, 0x00000548u, 0x00010100u}) {
        const uint32_t before = pci_read(io, pci_addr);
        pci_write(io, pci_addr, 0);
        EXPECT_EQ(pci_read(io, pci_addr), before) << std::hex << pci_addr;
    }
    // Set-up and inspection bypass the ports and the trace.
    sim.take();
    io.set_pci_config(0x00000008, 0x060000A2);
    EXPECT_EQ(io.pci_config(0x0000000B), 0x060000A2u);
    EXPECT_TRUE(sim.take().empty());
}

TEST(SimPci, ByteAndWordAccessesOfTheDataPort) {
    TracedBoard sim;
    auto& io = *sim.board;
    io.out32(0x80000000, kPciAddressPort);
    EXPECT_EQ(io.in16(0xCFE), 0x01E0);
    EXPECT_EQ(io.in8(0xCFC), 0xDE);
    io.out32(0x80004018, kPciAddressPort);  // PCI bridge 0x18
    io.out8(0x60, 0xCFF);                   // secondary latency only
    EXPECT_EQ(io.pci_config(0x00080018), 0x60020200u);
    io.out16(0x0303, 0xCFC);
    EXPECT_EQ(io.pci_config(0x00080018), 0x60020303u);
    // Byte-wide accesses of 0xCF8 are no configuration address.
    io.out8(0x06, 0xCF9);
    EXPECT_EQ(io.in32(kPciAddressPort), 0x80004018u);
}

}  // namespace
}  // namespace tess::test

#include "hw/port_io.h"

namespace tess {

uint32_t pci_config_address(uint32_t pci_addr) {
    const uint32_t bus = (pci_addr >> 24) & 0xFF;
    const uint32_t device = (pci_addr >> 16) & 0x1F;
    const uint32_t function = (pci_addr >> 8) & 0x07;
    const uint32_t reg = pci_addr & 0xFC;
    return 0x80000000u | bus << 16 | device << 11 | function << 8 | reg;
}

uint32_t pci_read(PortIo& io, uint32_t pci_addr) {
    io.out32(pci_config_address(pci_addr), kPciAddressPort);
    return io.in32(kPciDataPort);
}

int pci_write(PortIo& io, uint32_t pci_addr, uint32_t value) {
    io.out32(pci_config_address(pci_addr), kPciAddressPort);
    io.out32(value, kPciDataPort);
    io.out32(0, kPciAddressPort);
    return 0;
}

uint64_t cpu_clock_mhz(PortIo& io) {
    const uint64_t first = io.read_tsc();
    io.sleep_ms(1000);
    const uint64_t second = io.read_tsc();
    return (second - first) / 1000000u;
}

}  // namespace tess

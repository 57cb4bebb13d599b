// The port-I/O seam. Every register access of tessaron goes through a PortIo:
// 8/16/32-bit port reads and writes, the millisecond sleep and tick counter,
// and the time-stamp counter. Two back ends implement it: the simulated
// nForce2 board (sim/) and the real ports of a Linux machine (os/).
#pragma once

#include <cstdint>

namespace tess {

class PortIo {
  public:
    virtual ~PortIo() = default;

    virtual uint8_t in8(uint16_t port) = 0;
    virtual uint16_t in16(uint16_t port) = 0;
    virtual uint32_t in32(uint16_t port) = 0;
    virtual void out8(uint8_t value, uint16_t port) = 0;
    virtual void out16(uint16_t value, uint16_t port) = 0;
    virtual void out32(uint32_t value, uint16_t port) = 0;

    // Blocks for ms milliseconds (a virtual clock may advance at once).
    virtual void sleep_ms(uint32_t ms) = 0;
    // Milliseconds since an arbitrary start, wrapping at 2^32.
    virtual uint32_t tick_count() = 0;
    // The processor's time-stamp counter.
    virtual uint64_t read_tsc() = 0;
};

// Port I/O (writes take the value first and the port second).
inline uint8_t port_read8(PortIo& io, uint16_t port) {
    return io.in8(port);
}
inline uint16_t port_read16(PortIo& io, uint16_t port) {
    return io.in16(port);
}
inline uint32_t port_read32(PortIo& io, uint16_t port) {
    return io.in32(port);
}
inline void port_write8(PortIo& io, uint8_t value, uint16_t port) {
    io.out8(value, port);
}
inline void port_write16(PortIo& io, uint16_t value, uint16_t port) {
    io.out16(value, port);
}
inline void port_write32(PortIo& io, uint32_t value, uint16_t port) {
    io.out32(value, port);
}

inline constexpr uint16_t kPciAddressPort = 0xCF8;
inline constexpr uint16_t kPciDataPort = 0xCFC;

// The value written to 0xCF8 for a pci_addr code
// (bus << 24 | device << 16 | function << 8 | register).
uint32_t pci_config_address(uint32_t pci_addr);

// PCI configuration mechanism #1.
uint32_t pci_read(PortIo& io, uint32_t pci_addr);
int pci_write(PortIo& io, uint32_t pci_addr, uint32_t value);

// Timing.
inline void sleep_ms(PortIo& io, uint32_t ms) {
    io.sleep_ms(ms);
}
inline uint32_t tick_count(PortIo& io) {
    return io.tick_count();
}
// Time-stamp ticks over one second of sleep_ms, divided by 1,000,000.
uint64_t cpu_clock_mhz(PortIo& io);

}  // namespace tess

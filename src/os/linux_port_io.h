// The real ports of a Linux machine. Port I/O instructions with the
// permission of ioperm (CAP_SYS_RAWIO), the time-stamp counter, the monotonic
// clock. PCI configuration mechanism #1 is never driven on 0xCF8/0xCFC
// directly: the kernel serialises its own configuration cycles on those ports
// under a lock user space cannot take. Instead the address written to 0xCF8 is
// remembered, and each data access of 0xCFC..0xCFF becomes a read or write of
// <sysfs_root>/0000:BB:DD.F/config at that offset.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "hw/port_io.h"
#include "os/hw_choice.h"

namespace tess {

class LinuxPortIo : public PortIo {
  public:
    explicit LinuxPortIo(std::filesystem::path sysfs_root = kSysfsPciDevices);

    uint8_t in8(uint16_t port) override;
    uint16_t in16(uint16_t port) override;
    uint32_t in32(uint16_t port) override;
    void out8(uint8_t value, uint16_t port) override;
    void out16(uint16_t value, uint16_t port) override;
    void out32(uint32_t value, uint16_t port) override;
    void sleep_ms(uint32_t ms) override;
    uint32_t tick_count() override;
    uint64_t read_tsc() override;

    // Asks the kernel for the fixed port ranges the drivers use (Super I/O
    // 0x2e/0x2f, port 0x80, the hardware monitor at 0x290..0x297). On failure
    // *reason names why: no capability, kernel without port I/O, lockdown.
    // Further ranges (the SMBus and SMI I/O bases the chipset holds) are
    // granted when first used; ports outside all of them are never touched
    // (reads give all ones, writes are dropped).
    bool request_access(std::string* reason);
    bool access_granted() const { return granted_; }

  private:
    bool config_target(int offset, int width, std::filesystem::path* file, long* pos) const;
    uint32_t config_read(int offset, int width) const;
    void config_write(int offset, uint32_t value, int width) const;
    uint32_t config_dword(uint32_t bus, uint32_t dev, uint32_t fn, uint32_t reg) const;
    bool port_allowed(uint16_t port, int width);

    std::filesystem::path sysfs_root_;
    uint32_t config_address_ = 0;
    bool granted_ = false;
    std::vector<std::pair<uint16_t, uint16_t>> permitted_;  // [first, first + count) granted
};

}  // namespace tess

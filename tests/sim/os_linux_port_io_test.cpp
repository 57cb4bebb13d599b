// The Linux back end's PCI configuration access through sysfs, against a
// fake device tree (no real port is touched: no access was requested).
#include <gtest/gtest.h>

#include "hw/port_io.h"
#include "os/linux_port_io.h"
#include "support/test_support.h"

namespace tess::test {
namespace {

// <root>/0000:BB:DD.F/config with the given dwords from offset 0.
void make_function(const std::filesystem::path& root, const std::string& name,
                   std::vector<uint32_t> dwords, size_t size = 256) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < dwords.size() && i * 4 + 3 < size; ++i)
        for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<char>(dwords[i] >> (8 * b));
    std::filesystem::create_directories(root / name);
    write_file(root / name / "config", bytes);
}

class LinuxPortIoTest : public testing::Test {
  protected:
    LinuxPortIoTest() {
        std::vector<uint32_t> host(64, 0);
        host[0] = 0x01E010DE;
        host[0xA4 / 4] = 0x0010F81F;
        make_function(dir_.path(), "0000:00:00.0", host);
        std::vector<uint32_t> smbus(64, 0);
        smbus[0] = 0x006410DE;
        smbus[0x50 / 4] = 0x00005001;
        make_function(dir_.path(), "0000:00:01.1", smbus);
        make_function(dir_.path(), "0000:00:1e.0", {0x01E810DE},
                      64);  // as an unprivileged reader sees it
    }
    uint32_t dword_in_file(const std::string& name, size_t offset) {
        const std::string bytes = read_file(dir_.path() / name / "config");
        uint32_t v = 0;
        for (int b = 3; b >= 0; --b) v = v << 8 | static_cast<uint8_t>(bytes[offset + b]);
        return v;
    }
    TempDir dir_;
    LinuxPortIo io_{dir_.path()};
};

TEST_F(LinuxPortIoTest, ReadsConfigurationDwordsFromSysfs) {
    struct Case {
        uint32_t pci_addr;
        uint32_t value;
    };
    const Case cases[] = {
        {0x00000000, 0x01E010DE}, {0x000000A4, 0x0010F81F}, {0x000000A6, 0x0010F81F},
        {0x00010150, 0x00005001}, {0x00E10100, 0x006410DE},  // bits 23..21 ignored
        {0x00020000, 0xFFFFFFFF},                            // absent device
        {0x001E0000, 0x01E810DE}, {0x001E0080, 0xFFFFFFFF},  // beyond what may be read
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pci_read(io_, c.pci_addr), c.value) << std::hex << c.pci_addr;
        EXPECT_EQ(io_.in32(kPciAddressPort), pci_config_address(c.pci_addr));
    }
    io_.out32(0x80000000, kPciAddressPort);
    EXPECT_EQ(io_.in16(0xCFE), 0x01E0);
    EXPECT_EQ(io_.in8(0xCFD), 0x10);
    io_.out32(0x00000000, kPciAddressPort);  // enable bit clear: no configuration cycle
    EXPECT_EQ(io_.in32(kPciDataPort), 0xFFFFFFFFu);
}

TEST_F(LinuxPortIoTest, WritesConfigurationDwordsToSysfs) {
    EXPECT_EQ(pci_write(io_, 0x000000A0, 0x40), 0);
    EXPECT_EQ(dword_in_file("0000:00:00.0", 0xA0), 0x40u);
    EXPECT_EQ(io_.in32(kPciAddressPort), 0u);
    io_.out32(0x80000950, kPciAddressPort);
    io_.out8(0x51, 0xCFD);
    EXPECT_EQ(dword_in_file("0000:00:01.1", 0x50), 0x00005101u);
    pci_write(io_, 0x00030000, 1);  // absent: nothing created
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "0000:00:03.0"));
}

TEST_F(LinuxPortIoTest, PortsWithoutPermissionAreNeverTouched) {
    ASSERT_FALSE(io_.access_granted());
    EXPECT_EQ(io_.in8(0x5000), 0xFF);
    EXPECT_EQ(io_.in16(0x295), 0xFFFF);
    EXPECT_EQ(io_.in32(0x4480), 0xFFFFFFFFu);
    io_.out8(0x06, 0xCF9);  // the reset register: dropped
    io_.out8(0x00, 0x80);
    EXPECT_EQ(io_.in8(0xCF9), 0xFF);
}

TEST(LinuxPortIoClock, TickCountAndTimeStampCounterAdvance) {
    LinuxPortIo io;
    const uint32_t t0 = io.tick_count();
    const uint64_t c0 = io.read_tsc();
    io.sleep_ms(0);
    EXPECT_GE(io.read_tsc(), c0);
    EXPECT_LT(static_cast<uint32_t>(io.tick_count() - t0), 1000u);
}

}  // namespace
}  // namespace tess::test

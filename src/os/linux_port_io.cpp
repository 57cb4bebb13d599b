#include "os/linux_port_io.h"

#include <fcntl.h>
#include <sys/io.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace tess {

namespace {

constexpr uint16_t kConfigData = 0xCFC;

struct PortRange {
    uint16_t first;
    uint16_t count;
};

// Fixed ranges of the drivers: Super I/O configuration, POST code, hardware monitor.
constexpr PortRange kFixedRanges[] = {{0x2E, 2}, {0x80, 1}, {0x290, 8}};
constexpr uint16_t kSmbusBlock = 8;    // nForce2 SMBus host registers +0..+7
constexpr uint16_t kSmiBlock = 0x100;  // system-management I/O space
// Bases the chipset holds are trusted only above the legacy ISA ports.
constexpr uint32_t kLowestDynamicBase = 0x400;

// Ports 0xCF8..0xCFF: the configuration mechanism, never driven directly.
bool touches_config_ports(uint16_t port, int width) {
    return port < kPciAddressPort + 8 && port + width > kPciAddressPort;
}

bool is_config_data(uint16_t port, int width) {
    return port >= kConfigData && port + width <= kConfigData + 4;
}

uint32_t width_mask(int width) {
    return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1u;
}

std::string lockdown_state() {
    std::ifstream in("/sys/kernel/security/lockdown");
    std::string line;
    std::getline(in, line);
    const auto open = line.find('[');
    const auto close = line.find(']');
    if (open == std::string::npos || close == std::string::npos || close < open) return {};
    return line.substr(open + 1, close - open - 1);
}

}  // namespace

LinuxPortIo::LinuxPortIo(std::filesystem::path sysfs_root) : sysfs_root_(std::move(sysfs_root)) {}

// ---- PCI configuration through sysfs --------------------------------------

bool LinuxPortIo::config_target(int offset, int width, std::filesystem::path* file,
                                long* pos) const {
    const uint32_t a = config_address_;
    if (!(a & 0x80000000u)) return false;  // configuration cycles disabled
    if (offset + width > 4) return false;
    char name[32];
    std::snprintf(name, sizeof name, "0000:%02x:%02x.%x", (a >> 16) & 0xFF, (a >> 11) & 0x1F,
                  (a >> 8) & 7);
    *file = sysfs_root_ / name / "config";
    *pos = static_cast<long>((a & 0xFC) + static_cast<uint32_t>(offset));
    return true;
}

uint32_t LinuxPortIo::config_read(int offset, int width) const {
    std::filesystem::path file;
    long pos = 0;
    if (!config_target(offset, width, &file, &pos)) return width_mask(width);
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return width_mask(width);
    unsigned char bytes[4] = {};
    const ssize_t n = ::pread(fd, bytes, static_cast<size_t>(width), pos);
    ::close(fd);
    if (n != width) return width_mask(width);  // absent, or beyond what we may read
    uint32_t value = 0;
    for (int i = 0; i < width; ++i) value |= uint32_t{bytes[i]} << (8 * i);
    return value;
}

void LinuxPortIo::config_write(int offset, uint32_t value, int width) const {
    std::filesystem::path file;
    long pos = 0;
    if (!config_target(offset, width, &file, &pos)) return;
    const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    unsigned char bytes[4];
    for (int i = 0; i < width; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
    [[maybe_unused]] const ssize_t n = ::pwrite(fd, bytes, static_cast<size_t>(width), pos);
    ::close(fd);
}

uint32_t LinuxPortIo::config_dword(uint32_t bus, uint32_t dev, uint32_t fn, uint32_t reg) const {
    char name[32];
    std::snprintf(name, sizeof name, "0000:%02x:%02x.%x", bus, dev, fn);
    const int fd = ::open((sysfs_root_ / name / "config").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0xFFFFFFFFu;
    unsigned char b[4] = {};
    const ssize_t n = ::pread(fd, b, 4, static_cast<off_t>(reg));
    ::close(fd);
    if (n != 4) return 0xFFFFFFFFu;
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

// ---- port permission ----------------------------------------------------------

bool LinuxPortIo::request_access(std::string* reason) {
    for (const auto& r : kFixedRanges) {
        if (::ioperm(r.first, r.count, 1) != 0) {
            const int e = errno;
            if (reason) {
                const std::string lockdown = lockdown_state();
                if (e == EPERM && !lockdown.empty() && lockdown != "none")
                    *reason =
                        "the kernel is locked down (" + lockdown + "), which forbids port I/O";
                else if (e == EPERM)
                    *reason = "no capability for port I/O (CAP_SYS_RAWIO needed, run as root)";
                else if (e == ENOSYS || e == EINVAL)
                    *reason =
                        "the kernel offers no port I/O (ioperm: " + std::string(std::strerror(e)) +
                        ")";
                else
                    *reason = "ioperm failed: " + std::string(std::strerror(e));
            }
            return false;
        }
        permitted_.emplace_back(r.first, r.count);
    }
    // The configuration space beyond its first 64 bytes is readable, and
    // writable at all, only with CAP_SYS_ADMIN.
    const auto host = sysfs_root_ / "0000:00:00.0" / "config";
    const int fd = ::open(host.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        if (reason)
            *reason = "no write access to the PCI configuration space (" + host.string() + ": " +
                      std::strerror(errno) + ")";
        return false;
    }
    ::close(fd);
    granted_ = true;
    return true;
}

bool LinuxPortIo::port_allowed(uint16_t port, int width) {
    const uint32_t last = uint32_t{port} + static_cast<uint32_t>(width) - 1;
    auto covered = [&](uint32_t first, uint32_t count) {
        return port >= first && last < first + count;
    };
    for (const auto& [first, count] : permitted_)
        if (covered(first, count)) return true;
    if (!granted_) return false;

    // The I/O bases the chipset holds now: SMBus buses 0 and 1 (device 1
    // function 1, registers 0x50/0x54) and the system-management space
    // (device 1 function 0, register 0x64), each only while I/O decoding is on.
    std::vector<std::pair<uint16_t, uint16_t>> candidates;
    const uint32_t smbus_cmd = config_dword(0, 1, 1, 0x04);
    if (smbus_cmd != 0xFFFFFFFFu && (smbus_cmd & 1)) {
        for (uint32_t reg : {0x50u, 0x54u}) {
            const uint32_t base = config_dword(0, 1, 1, reg);
            if (base != 0xFFFFFFFFu && (base & 0xFFFC))
                candidates.emplace_back(static_cast<uint16_t>(base & 0xFFFC), kSmbusBlock);
        }
    }
    const uint32_t lpc_cmd = config_dword(0, 1, 0, 0x04);
    if (lpc_cmd != 0xFFFFFFFFu && (lpc_cmd & 1)) {
        const uint32_t base = config_dword(0, 1, 0, 0x64);
        if (base != 0xFFFFFFFFu && (base & 0xFF00))
            candidates.emplace_back(static_cast<uint16_t>(base & 0xFFFC), kSmiBlock);
    }
    for (const auto& [first, count] : candidates) {
        if (first < kLowestDynamicBase || touches_config_ports(first, count)) continue;
        if (!covered(first, count)) continue;
        const uint16_t n = static_cast<uint16_t>(std::min<uint32_t>(count, 0x10000u - first));
        if (::ioperm(first, n, 1) != 0) return false;
        permitted_.emplace_back(first, n);
        return true;
    }
    return false;
}

// ---- ports --------------------------------------------------------------------

uint8_t LinuxPortIo::in8(uint16_t port) {
    if (is_config_data(port, 1)) return static_cast<uint8_t>(config_read(port - kConfigData, 1));
    if (touches_config_ports(port, 1) || !port_allowed(port, 1)) return 0xFF;
    return ::inb(port);
}

uint16_t LinuxPortIo::in16(uint16_t port) {
    if (is_config_data(port, 2)) return static_cast<uint16_t>(config_read(port - kConfigData, 2));
    if (touches_config_ports(port, 2) || !port_allowed(port, 2)) return 0xFFFF;
    return ::inw(port);
}

uint32_t LinuxPortIo::in32(uint16_t port) {
    if (port == kPciAddressPort) return config_address_;
    if (is_config_data(port, 4)) return config_read(0, 4);
    if (touches_config_ports(port, 4) || !port_allowed(port, 4)) return 0xFFFFFFFFu;
    return ::inl(port);
}

void LinuxPortIo::out8(uint8_t value, uint16_t port) {
    // Byte-wide 0xCF8..0xCFB is not the configuration address (0xCF9 resets the machine).
    if (is_config_data(port, 1)) return config_write(port - kConfigData, value, 1);
    if (touches_config_ports(port, 1) || !port_allowed(port, 1)) return;
    ::outb(value, port);
}

void LinuxPortIo::out16(uint16_t value, uint16_t port) {
    if (is_config_data(port, 2)) return config_write(port - kConfigData, value, 2);
    if (touches_config_ports(port, 2) || !port_allowed(port, 2)) return;
    ::outw(value, port);
}

void LinuxPortIo::out32(uint32_t value, uint16_t port) {
    if (port == kPciAddressPort) {
        config_address_ = value;
        return;
    }
    if (is_config_data(port, 4)) return config_write(0, value, 4);
    if (touches_config_ports(port, 4) || !port_allowed(port, 4)) return;
    ::outl(value, port);
}

// ---- time -----------------------------------------------------------------------

void LinuxPortIo::sleep_ms(uint32_t ms) {
    timespec want{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1'000'000L};
    timespec rest{};
    while (::nanosleep(&want, &rest) != 0 && errno == EINTR) want = rest;
}

uint32_t LinuxPortIo::tick_count() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1'000'000u;
    return static_cast<uint32_t>(ms);
}

uint64_t LinuxPortIo::read_tsc() {
#if defined(__x86_64__) || defined(__i386__)
    return __rdtsc();
#else
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
#endif
}

}  // namespace tess

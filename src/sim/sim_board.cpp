// The simulated nForce2 board behind the ports: PCI configuration mechanism #1,
// the chipset's FSB PLL and time-stamp counter, the two SMBus host controllers
// with their devices (an ATXP1 among them), the BIOS SMI handler, the clock.
#include "sim/sim_board.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "hw/nforce2_pll.h"
#include "sim/sim_state.h"

namespace tess::sim {

namespace {

// PCI functions and registers with a meaning to the model.
constexpr uint32_t kHostBridge = pci_function_key(0, 0, 0);
constexpr uint32_t kBootFsbFunction = pci_function_key(0, 0, 5);
constexpr uint32_t kLpcBridge = pci_function_key(0, 1, 0);
constexpr uint32_t kSmbusFunction = pci_function_key(0, 1, 1);

constexpr uint32_t kRegPllControl = 0xA0;
constexpr uint32_t kRegPllData = 0xA4;
constexpr uint32_t kRegPllEnable = 0xA8;
constexpr uint32_t kRegBootFsb = 0x48;
// The same as pci_addr codes (bus << 24 | device << 16 | function << 8 | register).
constexpr uint32_t kAddrPllEnable = 0x000000A8;
constexpr uint32_t kAddrMultiplier = 0x000000F0;
constexpr uint32_t kAddrBootFsb = 0x00000548;
constexpr uint32_t kRegSmiBase = 0x64;
constexpr uint32_t kRegSmbusBase0 = 0x50;
constexpr uint32_t kRegSmbusBase1 = 0x54;

constexpr uint16_t kConfigData = 0xCFC;

// SMBus host controller.
constexpr uint8_t kSmbusProtocol = 0, kSmbusStatus = 1, kSmbusAddress = 2, kSmbusCommand = 3,
                  kSmbusData = 4;
constexpr uint8_t kProtocolWriteByteData = 6, kProtocolReadByteData = 7;
constexpr uint8_t kStatusDone = 0x80;
constexpr uint8_t kStatusNoAck = 0x10;        // device address not acknowledged
constexpr uint8_t kStatusDeviceError = 0x11;  // command not acknowledged
constexpr uint8_t kStatusBadProtocol = 0x19;  // unsupported protocol
constexpr uint16_t kSmbusBlockSize = 8;

// SMI port block.
constexpr uint16_t kSmiBlockSize = 0x100;
constexpr uint16_t kSmiCommand = 0x2E, kSmiFunction = 0x2F, kSmiData = 0x80;
constexpr uint8_t kSmiStatusOk = 0x00, kSmiStatusInvalid = 0xFF;

constexpr uint32_t kAtxp1VidEnable = 0x20;

// A rail's voltage for the bits its register holds now (0 for a pattern the
// wiring does not list).
int32_t rail_level(const Atxp1& chip, const Rail& r) {
    const uint8_t pattern = chip.regs[r.reg] & r.bits;
    for (const auto& st : r.states)
        if (st.pattern == pattern) return st.mv;
    return 0;
}

// The offsets that other rails add to this one (a VCore boost, VDimm+).
int32_t offsets_mv(const Atxp1& chip, std::string_view rail) {
    int32_t mv = 0;
    for (const auto& r : chip.rails)
        if (r.adds_to == rail) mv += rail_level(chip, r);
    return mv;
}

uint64_t steady_ns() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

bool is_read_only_config(uint32_t function_key, uint32_t reg) {
    // Identification registers, and the strap that reports the boot FSB.
    if (reg == 0x00 || reg == 0x08) return true;
    return function_key == kBootFsbFunction && reg == kRegBootFsb;
}

}  // namespace

// ---- construction, files ------------------------------------------------

SimBoard::SimBoard(Key) : state_(std::make_unique<BoardState>()) {}
SimBoard::~SimBoard() = default;

std::unique_ptr<SimBoard> SimBoard::from_toml(std::string_view toml_text, std::string* error) {
    auto board = std::make_unique<SimBoard>(Key{});
    if (auto problem = parse_board(toml_text, *board->state_)) {
        if (error) *error = *problem;
        return nullptr;
    }
    board->state_->tsc_stamp_ns = steady_ns();
    return board;
}

std::string SimBoard::default_profile() {
    return std::string(atxp1_profile_text());
}

std::string SimBoard::profile(std::string_view name) {
    if (name == "atxp1") return std::string(atxp1_profile_text());
    if (name == "smi") return std::string(smi_profile_text());
    return {};
}

std::string SimBoard::to_toml() const {
    return write_board(*state_);
}

// ---- clock and time-stamp counter ----------------------------------------

namespace {

uint64_t clock_ns(const BoardState& s) {
    return s.virtual_clock ? s.virtual_ms * 1'000'000u : steady_ns();
}

void advance_tsc(BoardState& s, uint64_t mhz) {
    const uint64_t now = clock_ns(s);
    const uint64_t elapsed = now > s.tsc_stamp_ns ? now - s.tsc_stamp_ns : 0;
    s.tsc_stamp_ns = now;
    // ticks = ns x MHz / 1000, carrying the rest so no tick is lost.
    const uint64_t scaled = elapsed * mhz + s.tsc_remainder;
    s.tsc += scaled / 1000u;
    s.tsc_remainder = scaled % 1000u;
}

// A loaded PLL word without a divider (or multiplier) stops the clock for good.
void check_clock(BoardState& s) {
    auto host = s.pci.find(kHostBridge);
    if (host == s.pci.end()) return;
    if ((host->second.regs[kRegPllEnable / 4] & 0xFF) != 0 && s.pll_loaded &&
        fsb_from_pll(s.pll_word) == 0)
        s.hung = true;
}

}  // namespace

void SimBoard::set_virtual_clock(bool on) {
    advance_tsc(*state_, cpu_mhz());
    state_->virtual_clock = on;
    state_->tsc_stamp_ns = clock_ns(*state_);
}

void SimBoard::sleep_ms(uint32_t ms) {
    if (state_->trace) state_->trace("sleep " + std::to_string(ms));
    advance_tsc(*state_, cpu_mhz());
    if (state_->virtual_clock) {
        state_->virtual_ms += ms;
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    advance_tsc(*state_, cpu_mhz());
}

uint32_t SimBoard::tick_count() {
    if (state_->virtual_clock) return static_cast<uint32_t>(state_->virtual_ms);
    return static_cast<uint32_t>(steady_ns() / 1'000'000u);
}

uint64_t SimBoard::read_tsc() {
    advance_tsc(*state_, cpu_mhz());
    return state_->tsc;
}

uint64_t SimBoard::virtual_ms() const {
    return state_->virtual_ms;
}

// ---- trace ------------------------------------------------------------------

void SimBoard::set_trace_sink(std::function<void(std::string_view line)> sink) {
    state_->trace = std::move(sink);
}

bool SimBoard::set_trace_file(const std::filesystem::path& file, std::string* error) {
    auto out = std::make_shared<std::ofstream>(file, std::ios::binary | std::ios::app);
    if (!*out) {
        if (error) *error = file.string() + ": cannot open the trace file for appending";
        return false;
    }
    state_->trace = [out](std::string_view line) {
        out->write(line.data(), static_cast<std::streamsize>(line.size()));
        out->put('\n');
        out->flush();
    };
    return true;
}

namespace {

void trace_access(const BoardState& s, const char* op, uint16_t port, uint32_t value, int digits) {
    if (!s.trace) return;
    char line[40];
    std::snprintf(line, sizeof line, "%s 0x%04x 0x%0*x", op, static_cast<unsigned>(port), digits,
                  static_cast<unsigned>(value));
    s.trace(line);
}

}  // namespace

// ---- machine state ------------------------------------------------------------

uint32_t SimBoard::pci_config(uint32_t pci_addr) const {
    const uint32_t key = pci_function_key(pci_addr >> 24, pci_addr >> 16, pci_addr >> 8);
    auto it = state_->pci.find(key);
    if (it == state_->pci.end()) return 0xFFFFFFFFu;
    return it->second.regs[(pci_addr & 0xFC) / 4];
}

void SimBoard::set_pci_config(uint32_t pci_addr, uint32_t value) {
    advance_tsc(*state_, cpu_mhz());
    const uint32_t key = pci_function_key(pci_addr >> 24, pci_addr >> 16, pci_addr >> 8);
    auto it = state_->pci.find(key);
    if (it == state_->pci.end()) return;
    it->second.regs[(pci_addr & 0xFC) / 4] = value;
    check_clock(*state_);
}

uint32_t SimBoard::fsb_mhz() const {
    if (state_->hung) return 0;
    const uint32_t enable = pci_config(kAddrPllEnable) & 0xFF;
    if (enable != 0 && state_->pll_loaded) return fsb_from_pll(state_->pll_word);
    if (!state_->pci.count(kBootFsbFunction)) return 0;
    return pci_config(kAddrBootFsb) / 1'000'000u;
}

uint32_t SimBoard::cpu_mhz() const {
    const uint32_t multiplier = state_->cpu_multiplier
                                    ? *state_->cpu_multiplier
                                    : multiplier_from_code(pci_config(kAddrMultiplier) >> 28);
    return static_cast<uint32_t>(uint64_t{fsb_mhz()} * multiplier / 10u);
}

bool SimBoard::hung() const {
    return state_->hung;
}

int32_t SimBoard::vcore_mv() const {
    if (!state_->atxp1) return 0;
    const auto& chip = *state_->atxp1;
    const uint8_t vid =
        (chip.regs[0] & kAtxp1VidEnable) ? chip.regs[0] & 0x1F : chip.regs[1] & 0x1F;
    return 1850 - vid * 25 + offsets_mv(chip, "VCore");
}

int32_t SimBoard::rail_mv(std::string_view rail) const {
    if (!state_->atxp1) return 0;
    if (rail == "VCore") return vcore_mv();
    const auto& chip = *state_->atxp1;
    for (const auto& r : chip.rails)
        if (r.name == rail) return rail_level(chip, r) + offsets_mv(chip, rail);
    return 0;
}

uint8_t SimBoard::atxp1_reg(uint8_t reg) const {
    if (!state_->atxp1 || reg >= Atxp1::kRegisters) return 0xFF;
    return state_->atxp1->regs[reg];
}

void SimBoard::set_atxp1_reg(uint8_t reg, uint8_t value) {
    if (!state_->atxp1 || reg >= Atxp1::kRegisters) return;
    state_->atxp1->regs[reg] = value;
}

const std::vector<int>& SimBoard::shutdown_requests() const {
    return state_->shutdown_requests;
}

void SimBoard::request_shutdown(int mode) {
    state_->shutdown_requests.push_back(mode);
}

// ---- the port model ----------------------------------------------------------

namespace {

class Ports {
  public:
    explicit Ports(BoardState& s) : s_(s) {}

    uint32_t read(uint16_t port, int width) {
        if (port == kPciAddressPort && width == 4) return s_.config_address;
        if (port >= kConfigData && port + width <= kConfigData + 4)
            return config_read(port - kConfigData, width);
        uint32_t value = 0;
        for (int i = 0; i < width; ++i)
            value |= uint32_t{read_byte(static_cast<uint16_t>(port + i))} << (8 * i);
        return value;
    }

    void write(uint16_t port, uint32_t value, int width) {
        if (port == kPciAddressPort && width == 4) {
            s_.config_address = value;
            return;
        }
        if (port >= kConfigData && port + width <= kConfigData + 4) {
            config_write(port - kConfigData, value, width);
            return;
        }
        for (int i = 0; i < width; ++i)
            write_byte(static_cast<uint16_t>(port + i), static_cast<uint8_t>(value >> (8 * i)));
    }

  private:
    static uint32_t width_mask(int width) {
        return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1u;
    }

    PciFunction* addressed_function(uint32_t* reg) {
        const uint32_t a = s_.config_address;
        if (!(a & 0x80000000u)) return nullptr;  // configuration cycles disabled
        *reg = a & 0xFC;
        auto it = s_.pci.find(a & 0x00FFFF00u);
        return it == s_.pci.end() ? nullptr : &it->second;
    }

    uint32_t config_read(int offset, int width) {
        uint32_t reg = 0;
        const PciFunction* fn = addressed_function(&reg);
        if (!fn) return width_mask(width);
        return (fn->regs[reg / 4] >> (8 * offset)) & width_mask(width);
    }

    void config_write(int offset, uint32_t value, int width) {
        uint32_t reg = 0;
        PciFunction* fn = addressed_function(&reg);
        if (!fn) return;
        const uint32_t key = s_.config_address & 0x00FFFF00u;
        if (is_read_only_config(key, reg)) return;
        const uint32_t mask = width_mask(width) << (8 * offset);
        uint32_t& dword = fn->regs[reg / 4];
        dword = (dword & ~mask) | ((value << (8 * offset)) & mask);
        if (key == kHostBridge) host_bridge_written(reg);
    }

    void host_bridge_written(uint32_t reg) {
        const auto& regs = s_.pci.at(kHostBridge).regs;
        // The PLL takes the data register's word while the control register
        // selects it (0); the CPU follows once the enable byte is non-zero.
        if (reg == kRegPllData && regs[kRegPllControl / 4] == 0) {
            s_.pll_loaded = true;
            s_.pll_word = regs[kRegPllData / 4];
        }
        if (reg == kRegPllData || reg == kRegPllEnable) check_clock(s_);
    }

    // I/O ports other than the configuration mechanism, byte by byte.
    uint8_t read_byte(uint16_t port) {
        int bus = 0;
        uint16_t offset = 0;
        if (smbus_block(port, &bus, &offset)) return s_.smbus_hosts[bus].regs[offset];
        if (smi_block(port, &offset)) return smi_read(offset);
        return 0xFF;  // nothing answers
    }

    void write_byte(uint16_t port, uint8_t value) {
        int bus = 0;
        uint16_t offset = 0;
        if (smbus_block(port, &bus, &offset)) {
            s_.smbus_hosts[bus].regs[offset] = value;
            if (offset == kSmbusProtocol) smbus_transaction(bus);
            return;
        }
        if (smi_block(port, &offset)) smi_write(offset, value);
    }

    // -- SMBus --
    bool smbus_block(uint16_t port, int* bus, uint16_t* offset) const {
        auto it = s_.pci.find(kSmbusFunction);
        if (it == s_.pci.end()) return false;
        const auto& regs = it->second.regs;
        if (!(regs[0x04 / 4] & 1)) return false;  // I/O decoding off
        const uint32_t bases[2] = {regs[kRegSmbusBase0 / 4] & 0xFFFC,
                                   regs[kRegSmbusBase1 / 4] & 0xFFFC};
        for (int b = 0; b < 2; ++b) {
            if (bases[b] != 0 && port >= bases[b] && port < bases[b] + kSmbusBlockSize) {
                *bus = b;
                *offset = static_cast<uint16_t>(port - bases[b]);
                return true;
            }
        }
        return false;
    }

    void smbus_transaction(int bus) {
        auto& host = s_.smbus_hosts[bus].regs;
        const uint8_t protocol = host[kSmbusProtocol];
        if (protocol == 0) return;  // controller idle
        if (protocol != kProtocolReadByteData && protocol != kProtocolWriteByteData) {
            host[kSmbusStatus] = kStatusBadProtocol;
            return;
        }
        const uint8_t address = host[kSmbusAddress] >> 1;
        const uint8_t command = host[kSmbusCommand];
        const bool read = protocol == kProtocolReadByteData;

        if (s_.atxp1 && s_.atxp1->bus == bus && s_.atxp1->address == address) {
            auto& chip = *s_.atxp1;
            if (command >= Atxp1::kRegisters) {
                host[kSmbusStatus] = kStatusDeviceError;
                return;
            }
            if (read)
                host[kSmbusData] = chip.regs[command];
            else if (command != 0x01)  // register 0x01 mirrors the CPU's VID pins
                chip.regs[command] = host[kSmbusData];
            host[kSmbusStatus] = kStatusDone;
            return;
        }
        for (auto& dev : s_.smbus_devices) {
            if (dev.bus != bus || dev.address != address) continue;
            if (command >= dev.regs.size()) {
                host[kSmbusStatus] = kStatusDeviceError;
                return;
            }
            if (read)
                host[kSmbusData] = dev.regs[command];
            else
                dev.regs[command] = host[kSmbusData];
            host[kSmbusStatus] = kStatusDone;
            return;
        }
        host[kSmbusStatus] = kStatusNoAck;
    }

    // -- SMI --
    bool smi_block(uint16_t port, uint16_t* offset) const {
        if (!s_.smi) return false;
        auto it = s_.pci.find(kLpcBridge);
        if (it == s_.pci.end()) return false;
        const auto& regs = it->second.regs;
        if (!(regs[0x04 / 4] & 1)) return false;
        const uint32_t base = regs[kRegSmiBase / 4] & 0xFFFC;
        if (base == 0 || port < base || port >= base + kSmiBlockSize) return false;
        *offset = static_cast<uint16_t>(port - base);
        return true;
    }

    uint8_t smi_read(uint16_t offset) const {
        const auto& smi = *s_.smi;
        if (offset == kSmiCommand) return smi.command;
        if (offset == kSmiFunction) return smi.function_status;
        if (offset >= kSmiData && offset < kSmiData + smi.data.size())
            return smi.data[offset - kSmiData];
        return 0xFF;
    }

    void smi_write(uint16_t offset, uint8_t value) {
        auto& smi = *s_.smi;
        if (offset == kSmiFunction) {
            smi.function_status = value;
        } else if (offset >= kSmiData && offset < kSmiData + smi.data.size()) {
            smi.data[offset - kSmiData] = value;
        } else if (offset == kSmiCommand) {
            smi.command = value;
            if (value == smi.function_code) smi_handler(smi);
        }
    }

    static void set_data(Smi& smi, int index, uint32_t value) {
        for (int i = 0; i < 4; ++i)
            smi.data[index * 4 + i] = static_cast<uint8_t>(value >> (8 * i));
    }

    // The BIOS's handler: runs the function number in +0x2F and leaves the
    // status there before the write to the command port returns.
    static void smi_handler(Smi& smi) {
        switch (smi.function_status) {
            case 0x01:
                set_data(smi, 1, smi.interface_version);
                smi.function_status = kSmiStatusOk;
                break;
            case 0x25: {
                set_data(smi, 1, uint32_t{smi.vendor} | uint32_t{smi.board_version} << 16);
                std::string name = smi.board_name.substr(0, 24);
                name.resize(24, ' ');
                for (int d = 0; d < 6; ++d) {
                    uint32_t word = 0;
                    for (int c = 0; c < 4; ++c)
                        word =
                            word << 8 | static_cast<uint8_t>(name[static_cast<size_t>(d * 4 + c)]);
                    set_data(smi, 2 + d, word);
                }
                smi.function_status = kSmiStatusOk;
                break;
            }
            default:
                smi.function_status = kSmiStatusInvalid;
                break;
        }
    }

    BoardState& s_;
};

}  // namespace

uint8_t SimBoard::in8(uint16_t port) {
    const auto v = static_cast<uint8_t>(Ports(*state_).read(port, 1));
    trace_access(*state_, "in8", port, v, 2);
    return v;
}

uint16_t SimBoard::in16(uint16_t port) {
    const auto v = static_cast<uint16_t>(Ports(*state_).read(port, 2));
    trace_access(*state_, "in16", port, v, 4);
    return v;
}

uint32_t SimBoard::in32(uint16_t port) {
    const uint32_t v = Ports(*state_).read(port, 4);
    trace_access(*state_, "in32", port, v, 8);
    return v;
}

void SimBoard::out8(uint8_t value, uint16_t port) {
    trace_access(*state_, "out8", port, value, 2);
    advance_tsc(*state_, cpu_mhz());
    Ports(*state_).write(port, value, 1);
}

void SimBoard::out16(uint16_t value, uint16_t port) {
    trace_access(*state_, "out16", port, value, 4);
    advance_tsc(*state_, cpu_mhz());
    Ports(*state_).write(port, value, 2);
}

void SimBoard::out32(uint32_t value, uint16_t port) {
    trace_access(*state_, "out32", port, value, 8);
    advance_tsc(*state_, cpu_mhz());
    Ports(*state_).write(port, value, 4);
}

}  // namespace tess::sim

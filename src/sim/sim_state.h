// The simulated board's state, shared by the port model (sim_board.cpp) and
// the board file reader and writer (sim_file.cpp). Internal to src/sim/.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tess::sim {

// Key of a PCI function: bus << 16 | device << 11 | function << 8, the
// layout of the configuration address (without enable bit and register).
inline constexpr uint32_t pci_function_key(uint32_t bus, uint32_t device, uint32_t function) {
    return (bus & 0xFF) << 16 | (device & 0x1F) << 11 | (function & 0x07) << 8;
}

struct PciFunction {
    std::string name;                 // what the function is, for the board file
    std::array<uint32_t, 64> regs{};  // configuration dwords 0x00..0xFC
};

// A board voltage switched by bits of an ATXP1 register.
struct Rail {
    struct State {
        uint8_t pattern = 0;  // the rail's bits in the register
        int32_t mv = 0;       // the voltage (or offset) they give
    };
    std::string name;  // "VDimm", "VAgp", "Vdd", "VDimm+", "VCoreBoost", ...
    uint8_t reg = 0;   // ATXP1 register
    uint8_t bits = 0;  // the register bits that belong to the rail
    std::vector<State> states;
    std::string adds_to;  // offset rail: added to this rail ("VCore" = the core voltage)
};

struct Atxp1 {
    static constexpr size_t kRegisters = 16;
    uint8_t bus = 1;
    uint8_t address = 0x4E;
    std::array<uint8_t, kRegisters> regs{};
    std::vector<Rail> rails;
};

// Any other SMBus device: a block of registers that hold what is written.
struct SmbusDevice {
    std::string name;
    uint8_t bus = 0;
    uint8_t address = 0;
    std::vector<uint8_t> regs;  // 1..256 registers
};

// One SMBus host controller's register block (+0 protocol .. +7).
struct SmbusHost {
    std::array<uint8_t, 8> regs{};
};

// The BIOS SMI handler and its port block.
struct Smi {
    uint8_t function_code = 0x88;  // the code the handler answers to
    uint16_t interface_version = 0x0100;
    uint8_t vendor = 0;
    uint16_t board_version = 0;
    std::string board_name;          // up to 24 characters
    std::array<uint8_t, 32> data{};  // data registers 0..7 (+0x80..+0x9F), little-endian
    uint8_t function_status = 0;     // +0x2F
    uint8_t command = 0;             // +0x2E, last byte written
};

struct Winbond {
    std::string chip = "W83627HF";
    uint16_t address = 0x290;
};

struct BoardState {
    std::map<uint32_t, PciFunction> pci;  // by pci_function_key
    uint32_t config_address = 0;          // port 0xCF8

    // FSB PLL: the word last loaded through 0xA0/0xA4 (loaded = at least once).
    bool pll_loaded = false;
    uint32_t pll_word = 0;

    std::optional<uint32_t> cpu_multiplier;  // tenths; none = as the chipset's code says

    std::optional<Atxp1> atxp1;
    std::vector<SmbusDevice> smbus_devices;
    std::array<SmbusHost, 2> smbus_hosts{};
    std::optional<Smi> smi;
    std::optional<Winbond> winbond;

    bool hung = false;
    std::vector<int> shutdown_requests;

    // Clock: virtual milliseconds, and the time-stamp counter brought up to
    // date whenever the clock or the CPU frequency may change.
    bool virtual_clock = false;
    uint64_t virtual_ms = 0;
    uint64_t tsc = 0;
    uint64_t tsc_remainder = 0;  // sub-tick rest (ns x MHz below 1000)
    uint64_t tsc_stamp_ns = 0;   // clock position the counter was last advanced to

    std::function<void(std::string_view)> trace;
};

// Board file text <-> state. parse_board returns an error text on failure.
std::optional<std::string> parse_board(std::string_view toml_text, BoardState& state);
std::string write_board(const BoardState& state);

// Profile texts: data/profiles/*.toml, compiled in.
std::string_view atxp1_profile_text();
std::string_view smi_profile_text();

}  // namespace tess::sim

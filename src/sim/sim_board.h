// The simulated nForce2 board: a model of the hardware behind the ports.
// Drivers talk to it only through port reads and writes (PortIo), exactly as
// they talk to a real board. Its state (PCI configuration space, SMBus
// devices, ATXP1 wiring, BIOS SMI identity, CPU multiplier, recorded shutdown
// requests) lives in a TOML board file between two runs of the program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hw/port_io.h"

namespace tess::sim {

struct BoardState;

class SimBoard : public tess::PortIo {
  public:
    ~SimBoard() override;
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    // Build from TOML text; nullptr and a clear message in *error on bad input.
    static std::unique_ptr<SimBoard> from_toml(std::string_view toml_text, std::string* error);
    // Load the board file; when it does not exist, create it from the default profile.
    static std::unique_ptr<SimBoard> load_or_create(const std::filesystem::path& file,
                                                    std::string* error);
    // TOML text of the default (ATXP1 + Winbond) board.
    static std::string default_profile();
    // "atxp1" (= default) or "smi"; empty when unknown.
    static std::string profile(std::string_view name);
    // Current state, same format.
    std::string to_toml() const;
    // Atomic write: temporary file in the same folder, flushed, renamed over.
    bool save(const std::filesystem::path& file, std::string* error) const;

    // PortIo
    uint8_t in8(uint16_t port) override;
    uint16_t in16(uint16_t port) override;
    uint32_t in32(uint16_t port) override;
    void out8(uint8_t value, uint16_t port) override;
    void out16(uint16_t value, uint16_t port) override;
    void out32(uint32_t value, uint16_t port) override;
    void sleep_ms(uint32_t ms) override;
    uint32_t tick_count() override;
    uint64_t read_tsc() override;

    // true: sleep_ms advances a virtual clock at once (tick count and TSC follow it).
    void set_virtual_clock(bool on);
    // Every access / sleep as one trace line (no newline), all hex lower case:
    // "out32 0x0cf8 0x80000950", "in8 0x5001 0x80", "in16 0x0cfc 0x10de", "sleep 20".
    void set_trace_sink(std::function<void(std::string_view line)> sink);
    // Appends lines + "\n" to the file.
    bool set_trace_file(const std::filesystem::path& file, std::string* error);

    // Inspection and set-up for tests (no port traffic, not traced):
    // dword at a pci_addr code (bus << 24 | dev << 16 | fn << 8 | reg);
    // 0xFFFFFFFF for absent devices.
    uint32_t pci_config(uint32_t pci_addr) const;
    void set_pci_config(uint32_t pci_addr, uint32_t value);
    uint32_t fsb_mhz() const;  // FSB the CPU really runs at now (0 when the clock stopped)
    uint32_t cpu_mhz() const;  // fsb * multiplier
    int32_t vcore_mv() const;  // core voltage the board really supplies now
    // Other board voltages by name from the profile ("VDimm", "VAgp", "Vdd",
    // ...); 0 when unknown.
    int32_t rail_mv(std::string_view rail) const;
    uint8_t atxp1_reg(uint8_t reg) const;
    void set_atxp1_reg(uint8_t reg, uint8_t value);
    uint64_t virtual_ms() const;  // virtual clock position
    // true once a PLL word without a divider was loaded (the clock stopped).
    bool hung() const;
    // Modes recorded by request_shutdown.
    const std::vector<int>& shutdown_requests() const;
    // The simulated machine records it, never touches the host.
    void request_shutdown(int mode);

    // Only from_toml() makes boards (the key keeps others out).
    class Key {
        friend class SimBoard;
        Key() = default;
    };
    explicit SimBoard(Key);

  private:
    std::unique_ptr<BoardState> state_;
};

// Reads TESSARON_SIM_BOARD (default "simboard.toml"), TESSARON_SIM_TRACE,
// TESSARON_SIM_CLOCK ("virtual"/"real"). board_file (when not null) receives
// the path of the board file so the caller can save() at the end.
std::unique_ptr<SimBoard> sim_from_environment(std::string* error,
                                               std::filesystem::path* board_file);

}  // namespace tess::sim

// The board BIOS's SMI service interface: a function number and arguments
// go into ports of the chipset's system-management I/O space, the BIOS's
// function code written to the command port runs the handler, and status
// and results come back in the same ports. Used to identify the board and,
// by the SMI drivers, to read and set voltages and sensors.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/debug_log.h"
#include "hw/port_io.h"

namespace tess {

inline constexpr std::array<std::string_view, 24> smi_vendor_names = {
    "Not Supported", "NVIDIA",  "Asus",       "MSI",      "Abit", "Chaintech",
    "Epox",          "Leadtek", "Shuttle",    "Gigabyte", "FIC",  "Aopen",
    "Soltek",        "Biostar", "Wistron",    "Mitac",    "DFI",  "Albatron",
    "Jetway",        "Surwin",  "QDI/Legend", "Pine",     "SOYO", "Arima",
};

inline constexpr std::size_t kSmiBoardNameLen = 24;

struct SmiInfo {
    uint8_t function_code = 0;     // written to the command port; 0 until detected
    uint16_t version = 0;          // interface version (function 0x01)
    uint32_t vendor = 0;           // vendor word (function 0x25): number in 7..0, version in 31..16
    std::string_view vendor_name;  // the entry of smi_vendor_names; empty until detected
    std::string board_name;        // up to 24 characters
    std::array<uint32_t, 8> data{};  // data registers after the last successful smi_call

    uint8_t vendor_number() const { return static_cast<uint8_t>(vendor & 0xFF); }
    uint16_t board_version() const { return static_cast<uint16_t>(vendor >> 16); }
};

// Volts as an IEEE single pattern to millivolts: times 1000 in extended
// precision, truncated toward zero (the single nearest 2.6 gives 2599).
// Not-a-number gives 0; values beyond the 32-bit range are clamped.
int32_t float_to_mv(uint32_t bits);

class Smi {
  public:
    // Ports relative to the SMI I/O base.
    static constexpr uint16_t kCommandPort = 0x2E;
    static constexpr uint16_t kFunctionPort = 0x2F;
    static constexpr uint16_t kDataPort = 0x80;
    static constexpr uint16_t kFunctionCodePort = 0x9F;
    static constexpr uint32_t kBaseRegister = 0x00010064;
    static constexpr uint32_t kCommandRegister = 0x00010004;

    Smi(DebugLog& log, PortIo& io);
    Smi(const Smi&) = delete;
    Smi& operator=(const Smi&) = delete;

    // 1 when the interface is usable (the record is copied into out), 0
    // otherwise. Detection runs once per Smi object.
    int smi_init(SmiInfo* out);
    // 1 with the data registers in info->data; 0 on failure.
    int smi_call(SmiInfo* info, uint8_t function);
    // 1 on success, 0 on failure; no results are read.
    int smi_call_arg(SmiInfo* info, uint8_t function, uint32_t argument);
    // Interprets the status port after a call: true for success.
    bool smi_status(uint8_t function);

    uint16_t base() const { return base_; }

  private:
    using Registers = std::array<uint32_t, 8>;
    uint16_t port(uint16_t offset) const { return static_cast<uint16_t>(base_ + offset); }
    Registers read_data();
    void restore_data(const Registers& saved);
    void trigger(uint8_t function, uint8_t code);

    DebugLog& log_;
    PortIo& io_;
    uint16_t base_ = 0;
    SmiInfo info_;
};

}  // namespace tess

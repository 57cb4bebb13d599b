#include "hw/smi.h"

#include <bit>
#include <cmath>
#include <limits>

namespace tess {

int32_t float_to_mv(uint32_t bits) {
    const float volts = std::bit_cast<float>(bits);
    if (std::isnan(volts)) return 0;
    const long double mv = static_cast<long double>(volts) * 1000.0L;
    if (mv >= static_cast<long double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (mv <= static_cast<long double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(mv);  // truncation toward zero
}

Smi::Smi(DebugLog& log, PortIo& io) : log_(log), io_(io) {}

Smi::Registers Smi::read_data() {
    Registers regs{};
    for (std::size_t i = 0; i < regs.size(); ++i)
        regs[i] = port_read32(io_, port(static_cast<uint16_t>(kDataPort + 4 * i)));
    return regs;
}

void Smi::restore_data(const Registers& saved) {
    for (std::size_t i = 0; i < saved.size(); ++i)
        port_write32(io_, saved[i], port(static_cast<uint16_t>(kDataPort + 4 * i)));
}

void Smi::trigger(uint8_t function, uint8_t code) {
    port_write8(io_, function, port(kFunctionPort));
    port_write8(io_, code, port(kCommandPort));
}

bool Smi::smi_status(uint8_t function) {
    const uint8_t status = port_read8(io_, port(kFunctionPort));
    if (status == 0x00) return true;
    if (status == 0xFE)
        debug_log(log_, "SMI: Failed function: 0x%x\n", function);
    else if (status == 0xFF)
        debug_log(log_, "SMI: Invalid function: 0x%x\n", function);
    else if (status == function)
        debug_log(log_, "SMI: Not responding.\n");
    else
        debug_log(log_, "SMI: Unknown return value %x\n", status);
    return false;
}

int Smi::smi_init(SmiInfo* out) {
    if (!out) return 0;
    if (info_.function_code == 0) {
        if ((pci_read(io_, 0x00000000) & 0xFFFF) != 0x10DE) {
            debug_log(log_, "smi: No nForce2 chipset detected\n");
            return 0;
        }

        const uint32_t base_reg = pci_read(io_, kBaseRegister);
        uint32_t base = base_reg & 0xFFFF;
        debug_log(log_, "SMI: Got IO base 0x%x\n", base & 0xFFFC);
        base &= ~1u;
        if ((base & 0xFF00) == 0) {
            debug_log(log_, "SMI: Invalid address, forcing it to 0x4400\n");
            base = 0x4400;
            pci_write(io_, kBaseRegister, (base_reg & 0xFFFF0000u) | 0x4401);
        }
        base_ = static_cast<uint16_t>(base);

        const uint32_t command = pci_read(io_, kCommandRegister);
        if ((command & 1) == 0) {
            debug_log(log_, "SMI: Command I/O disabled, enabling it\n");
            pci_write(io_, kCommandRegister, command | 1);
        }
        debug_log(log_, "SMI: Back-to-back writes %s.\n",
                  (command & (1u << 9)) ? "enabled" : "disabled");

        uint8_t code = port_read8(io_, port(kFunctionCodePort));
        if (code == 0) {
            debug_log(log_, "smi: Function code not set, forcing to 0x88\n");
            port_write8(io_, 0x88, port(kFunctionCodePort));
            code = 0x88;
        } else {
            debug_log(log_, "SMI: Function code: 0x%x\n", code);
        }
        // From here on detection counts as done, whatever the calls give.
        info_.function_code = code;

        Registers saved = read_data();
        trigger(0x01, code);
        if (!smi_status(0x01)) {
            restore_data(saved);
            return 0;
        }
        info_.version = port_read16(io_, port(kDataPort + 4));
        debug_log(log_, "SMI: Interface version 0x%x\n", info_.version);
        restore_data(saved);

        saved = read_data();
        trigger(0x25, code);
        if (!smi_status(0x25)) {
            restore_data(saved);
            return 0;
        }
        info_.vendor = port_read32(io_, port(kDataPort + 4));
        const uint32_t number = info_.vendor & 0xFF;
        info_.vendor_name = smi_vendor_names[number < smi_vendor_names.size() ? number : 0];
        debug_log(log_, "SMI: Board vendor: %s, version 0x%x\n", info_.vendor_name,
                  info_.vendor >> 16);

        std::array<char, kSmiBoardNameLen> name{};
        for (std::size_t i = 0; i < 6; ++i) {
            const uint32_t dword = port_read32(io_, port(static_cast<uint16_t>(0x88 + 4 * i)));
            for (std::size_t b = 0; b < 4; ++b)
                name[4 * i + b] = static_cast<char>((dword >> (24 - 8 * b)) & 0xFF);
        }
        std::size_t length = kSmiBoardNameLen;
        for (std::size_t i = 0; i + 1 < kSmiBoardNameLen; ++i) {
            if (name[i] == ' ' && name[i + 1] == ' ') {
                length = i;
                break;
            }
        }
        // The name is a zero-terminated text: it also ends at a zero byte.
        std::string text(name.data(), length);
        info_.board_name = text.substr(0, text.find('\0'));
        debug_log(log_, "SMI: Board name: %s\n", info_.board_name);
        restore_data(saved);
    }
    *out = info_;
    return 1;
}

int Smi::smi_call(SmiInfo* info, uint8_t function) {
    // Without a detected base the ports below it belong to other devices
    // (0x2E/0x2F is the Super I/O configuration port).
    if (!info || base_ == 0) return 0;
    const Registers saved = read_data();
    trigger(function, info->function_code);
    if (!smi_status(function)) {
        restore_data(saved);
        return 0;
    }
    info->data = read_data();
    restore_data(saved);
    return 1;
}

int Smi::smi_call_arg(SmiInfo* info, uint8_t function, uint32_t argument) {
    if (!info || base_ == 0) return 0;
    const Registers saved = read_data();
    port_write32(io_, argument, port(kDataPort + 4));
    trigger(function, info->function_code);
    const bool ok = smi_status(function);
    restore_data(saved);
    return ok ? 1 : 0;
}

}  // namespace tess

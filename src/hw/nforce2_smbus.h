// The nForce2 SMBus host driver: the two SMBus host controllers of the
// chipset's SMBus function (PCI 0:1.1). Device drivers on the buses never
// touch the host registers; they put a device address and a register number
// into the private bytes of a bus control ("NFORCE2_SMBUS0" or
// "NFORCE2_SMBUS1") and read or write one byte through control_get_val /
// control_set_val, which dispatch here.
#pragma once

#include <array>
#include <cstdint>

#include "core/control.h"
#include "core/debug_log.h"
#include "core/list.h"
#include "hw/port_io.h"

namespace tess {

class Nforce2Smbus {
  public:
    // Host controller registers, as offsets from a bus's I/O base.
    static constexpr uint16_t kProtocol = 0;
    static constexpr uint16_t kStatus = 1;
    static constexpr uint16_t kAddress = 2;
    static constexpr uint16_t kCommand = 3;
    static constexpr uint16_t kData = 4;
    static constexpr uint8_t kReadByteData = 7;
    static constexpr uint8_t kWriteByteData = 6;
    static constexpr uint32_t kTransactionMs = 20;

    Nforce2Smbus(DebugLog& log, PortIo& io);
    Nforce2Smbus(const Nforce2Smbus&) = delete;
    Nforce2Smbus& operator=(const Nforce2Smbus&) = delete;

    // Finds the chipset, makes sure both hosts have an I/O base and the
    // function decodes I/O, registers "NFORCE2_SMBUS" and the two bus
    // controls. 0, or -1 when a list is missing or no nForce2 is found.
    int nforce2_smbus_init(List<Driver>* drivers, List<Control>* controls);

    // One byte from the device address / register in the bus control's
    // private bytes 0 and 1; 0 when the transaction failed.
    uint32_t smbus_get(Control* control);
    // Writes the low byte of value there; 0 on success, -1 on failure.
    int32_t smbus_set(Control* control, int32_t value);

    uint32_t smbus_read_byte(int bus, uint8_t address, uint8_t reg);
    int32_t smbus_write_byte(int bus, uint8_t address, uint8_t reg, uint8_t value);

    // The I/O base of bus 0 or 1 (0 before the first init).
    uint32_t base(int bus) const;
    const Driver& driver() const { return entry_; }

  private:
    // The bus a control stands for: its fourteenth name character, '0' or
    // '1'; -1 otherwise.
    static int bus_of(const Control* control);
    uint32_t setup_base(int bus, uint32_t pci_addr, uint32_t forced);

    DebugLog& log_;
    PortIo& io_;
    std::array<uint32_t, 2> base_{};
    Driver entry_;
};

}  // namespace tess

// The nForce2 chipset driver: the FSB PLL of the host bridge, walked in
// 1 MHz steps with a pause after each, and the chipset settings (memory
// timings, AGP and PCI latencies, AGP aperture, Stop Grant, auto-precharge,
// sideband addressing) plus the chipset revision and multiplier. Registers
// the driver entry "NFORCE2" and fourteen controls.
#pragma once

#include <cstdint>

#include "core/control.h"
#include "core/debug_log.h"
#include "core/list.h"
#include "hw/nforce2_pll.h"
#include "hw/port_io.h"
#include "hw/step_listener.h"

namespace tess {

class Nforce2 {
  public:
    // Host-bridge registers (pci_addr codes).
    static constexpr uint32_t kRegId = 0x00;
    static constexpr uint32_t kRegRevision = 0x08;
    static constexpr uint32_t kRegSideband = 0x48;
    static constexpr uint32_t kRegStopGrant = 0x6C;
    static constexpr uint32_t kRegAperture = 0x80;
    static constexpr uint32_t kRegPllControl = 0xA0;
    static constexpr uint32_t kRegPllData = 0xA4;
    static constexpr uint32_t kRegPllEnable = 0xA8;
    static constexpr uint32_t kRegMultiplier = 0xF0;
    static constexpr uint32_t kRegAutoPrecharge = 0x184;
    static constexpr uint32_t kRegTimings = 0x190;
    static constexpr uint32_t kRegBootFsb = 0x548;
    static constexpr uint32_t kRegAgpLatency = 0x1E000C;
    static constexpr uint32_t kRegAgpSecondary = 0x1E0018;
    static constexpr uint32_t kRegPciSecondary = 0x80018;

    static constexpr uint32_t kNforce2Id = 0x01E010DE;
    static constexpr uint32_t kFsbMin = 30;
    static constexpr uint32_t kFsbMax = 300;
    static constexpr int kPllLoadWrites = 64;

    Nforce2(DebugLog& log, PortIo& io);
    Nforce2(const Nforce2&) = delete;
    Nforce2& operator=(const Nforce2&) = delete;

    // 0, or -1 when a list is missing or the host bridge is no nForce2.
    int nforce2_init(List<Driver>* drivers, List<Control>* controls);
    // The value for the control's sub-index; 0 for an unknown one.
    uint32_t nforce2_get(Control* control);
    // -1 for a value outside the control's settings range or an unknown
    // sub-index; set_fsb's result for "FSB"; 0 otherwise.
    int32_t nforce2_set(Control* control, uint32_t value);

    // 0 done, 1 no PLL word for a step (the walk stops where it is), 2 target
    // outside 30..300.
    int set_fsb(uint32_t fsb_mhz);
    // The FSB the chipset runs at, in MHz.
    uint32_t read_fsb();
    // Loads the PLL: 0 to the control register, then the word 64 times.
    void write_pll(uint32_t pll_word);

    // The PLL word for an FSB (or, when none matches exactly, for the first
    // of the next three higher ones that does); 0 when none. Answered from
    // a table built once, giving exactly pll_for_fsb_search's word.
    static uint32_t pll_for_fsb(uint32_t fsb_mhz);
    // The plain search over every M 1..128 and N 1..254, last match winning.
    static uint32_t pll_for_fsb_search(uint32_t fsb_mhz);

    void set_step_listener(StepListener listener) { step_listener_ = std::move(listener); }

    int32_t fsb_delay() const { return fsb_delay_; }
    uint32_t last_boot_fsb() const { return last_boot_fsb_; }
    const Driver& driver() const { return entry_; }

  private:
    uint32_t read(uint32_t pci_addr) { return pci_read(io_, pci_addr); }
    void write(uint32_t pci_addr, uint32_t value) { pci_write(io_, pci_addr, value); }
    // Read-modify-write of the bits in field_mask.
    void update(uint32_t pci_addr, uint32_t field_mask, uint32_t bits);
    // The word for one step of a walk; 0 when none may be loaded.
    static uint32_t step_word(uint32_t fsb_mhz);

    DebugLog& log_;
    PortIo& io_;
    int32_t fsb_delay_ = 100;
    uint32_t last_boot_fsb_ = 0;
    StepListener step_listener_;
    Driver entry_;
};

}  // namespace tess

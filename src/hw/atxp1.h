// The ATXP1 voltage driver: an ATXP1 voltage-ID chip on one of the nForce2
// SMBus buses. Its VID register either passes the CPU's own VID through or,
// with VID control on, dictates a VID of its own; further register bits
// (general-purpose outputs) switch board voltages and an extra VCore boost,
// as the board's section of controls.ini describes. Registers the driver
// entry "ATXP1" and six controls; the core voltage walks in 25 mV steps.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/control.h"
#include "core/debug_log.h"
#include "core/list.h"
#include "hw/port_io.h"
#include "hw/step_listener.h"

namespace tess {

// VID code to millivolts: code 0 is 1850 mV, code 31 1075 mV.
int32_t vid_to_mv(uint32_t code);
// Millivolts to VID code, (1850 - mV) / 25 in unsigned division. Voltages
// above 1850 mV give code 0 (the highest the chip can set).
uint32_t mv_to_vid(int32_t mv);

class Atxp1 {
  public:
    static constexpr uint8_t kRegVid = 0x00;
    static constexpr uint8_t kRegCpuVid = 0x01;
    static constexpr uint8_t kVidEnable = 0x20;
    // Registers 0x00..0x0B are cached; others are read from the chip each time.
    static constexpr uint32_t kCachedRegs = 12;

    // The port access goes through the SMBus driver's bus control, so no
    // PortIo is needed beyond the sleeps of the VCore walk.
    Atxp1(DebugLog& log, PortIo& io);
    Atxp1(const Atxp1&) = delete;
    Atxp1& operator=(const Atxp1&) = delete;

    // 0 when the chip was found and everything registered; -1 otherwise.
    int atxp1_init(List<Driver>* drivers, List<Control>* controls, const char* board_name);
    // Millivolts (or the delay in ms); 0 when nothing can be determined;
    // 0xFFFFFFFF for a missing control.
    uint32_t atxp1_get(Control* control);
    // 0 on success (also when nothing had to change); -1 on a range error, a
    // missing setting, a missing control or a failed register write.
    int32_t atxp1_set(Control* control, uint32_t value);
    // Finds the chip on the bus controls (kind 10) of the list.
    int atxp1_search(List<Control>* controls);
    // The register's byte, from the cache when it holds it.
    uint8_t atxp1_read_reg(uint32_t reg);

    // Where the board sections are read from ("controls.ini" in the working
    // directory unless changed).
    void set_controls_path(std::string path) { controls_path_ = std::move(path); }
    const std::string& controls_path() const { return controls_path_; }
    void set_step_listener(StepListener listener) { step_listener_ = std::move(listener); }

    int32_t vcore_delay() const { return vcore_delay_; }
    uint8_t address() const { return address_; }
    const Control* bus() const { return bus_; }
    uint32_t valid_mask() const { return valid_; }
    const List<ControlSetting>& vcore_plus_settings() const { return vcore_plus_settings_; }
    const Driver& driver() const { return entry_; }

  private:
    uint8_t read_chip(uint32_t reg);
    // Writes one register; the cached copy becomes invalid. 0, or -1 with a
    // log line when the SMBus write failed.
    int write_reg(uint32_t reg, uint8_t value);
    void invalidate(uint32_t reg);
    // The boost offset the boost register's bits select now (0 when none).
    int32_t boost_now();
    void load_settings(List<ControlSetting>* settings, const char* board_name, Control* control);

    DebugLog& log_;
    PortIo& io_;
    std::string controls_path_ = "controls.ini";
    Control* bus_ = nullptr;
    uint8_t address_ = 0;
    List<Driver>* drivers_ = nullptr;
    int32_t vcore_delay_ = 100;
    std::array<uint8_t, kCachedRegs> cache_{};
    uint32_t valid_ = 0;
    List<ControlSetting> vcore_plus_settings_;
    StepListener step_listener_;
    Driver entry_;
};

}  // namespace tess

// The application state record: every list the running system works on, the
// board in use and the values start-up determined. The application (App)
// owns it for the whole run; the lists own their elements, except the driver
// entries, which belong to the drivers that registered them.
#pragma once

#include <cstdint>
#include <string>

#include "core/board.h"
#include "core/control.h"
#include "core/list.h"
#include "core/variable.h"
#include "hw/smi.h"

namespace tess {

inline constexpr const char* kVersion = "0.8.8-dev8";
inline constexpr std::size_t kVersionTextLen = 255;
inline constexpr std::size_t kPresetNameLen = 29;

struct AppState {
    std::string version_text;  // "tessaron 0.8.8-dev8"
    List<Board> boards;
    Board* current_board = nullptr;
    List<Driver> drivers;  // borrowed entries
    List<Control> controls;
    // autofsb_entries: the AutoFSB engine's entries join here.
    List<Variable> control_vars;  // "current", "start", "newval" per control name
    List<Variable> main_vars;     // config.ini "Main", slot "config"
    List<Variable> sensor_vars;   // config.ini "Sensor", slot "config"
    // presets, log_items and log_vars: the presets and the CSV log join here.
    int32_t multiplier = 0;      // tenths; 0 until known
    std::string exit_preset;     // up to 29 characters
    std::string suspend_preset;  // up to 29 characters
    Control* port80_source = nullptr;
    SmiInfo smi_info;
    // smart_context: the SMART monitor joins here.
};

}  // namespace tess

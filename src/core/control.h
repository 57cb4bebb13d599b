// Controls, their settings and the driver registry. Everything the system
// can read or change is a control; each names the driver entry that serves
// it, and control_get_val / control_set_val dispatch to that entry.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "core/debug_log.h"
#include "core/list.h"

namespace tess {

struct Control;

// A driver entry. Owned by the driver that registers it; the list `drivers`
// only refers to it.
struct Driver {
    std::string name;                               // up to 19 characters, compared on 10
    std::string interface_;                         // "PCI", "SMBUS", "LPC", "CPU", "IDE", "WIN"
    std::function<uint32_t(Control*)> get;          // may be empty
    std::function<int32_t(Control*, int32_t)> set;  // may be empty
};

struct ControlSetting {
    uint8_t index = 0;
    int32_t value = 0;
    uint32_t reg = 0;
    uint32_t data = 0;
    uint32_t mask = 0;
};

// Control kinds.
enum ControlKind : uint8_t {
    kKindVCore = 1,
    kKindVoltage = 2,
    kKindChipset = 3,
    kKindVoltageInput = 4,
    kKindTemperature = 5,
    kKindFan = 6,
    kKindFanPower = 7,
    kKindSensorSetting = 8,
    kKindPort80 = 9,
    kKindBus = 10,
    kKindCpuLoad = 11,
    kKindDelay = 12,
    kKindAction = 13,
};

inline constexpr std::size_t kControlNameLen = 29;
inline constexpr std::size_t kControlDescLen = 99;
inline constexpr std::size_t kDriverNameLen = 19;
inline constexpr std::size_t kDriverMatchLen = 10;

struct Control {
    std::string name;         // up to 29 characters
    std::string second_name;  // up to 29 characters
    uint8_t kind = 0;
    uint8_t sub_index = 0;
    uint8_t sensor_type = 0;
    uint8_t sensor_shown = 0;
    std::string description;  // up to 99 characters
    std::string driver_name;  // up to 19 characters
    std::array<uint8_t, 50> private_area{};
    List<ControlSetting> settings;
    uint8_t step = 0;
    uint32_t max = 0;
    uint32_t min = 0xFFFFFFFFu;
};

Control* control_add(DebugLog& log, List<Control>* controls, const char* name, uint8_t kind,
                     const Driver* driver, const char* description, uint8_t sub_index);
Control* control_get(DebugLog& log, List<Control>* controls, const char* name,
                     const char* driver_name = nullptr);
uint32_t control_get_val(DebugLog& log, Control* control, List<Driver>* drivers);
int32_t control_set_val(DebugLog& log, Control* control, List<Driver>* drivers, int32_t value);
uint32_t control_get_range(DebugLog& log, const List<ControlSetting>* settings, bool highest);
int control_add_setting(DebugLog& log, List<ControlSetting>* settings, int32_t value, uint32_t reg,
                        uint32_t data, uint32_t mask);
ControlSetting* control_get_setting(DebugLog& log, Control* control, int32_t value);
// The rule of control_get_setting on a plain settings list (for example a
// driver's own table of boost steps): the setting of that value, else the
// nearest one whose value is not 0, the first of equally near ones; nullptr
// when the list is empty or holds only settings of value 0.
ControlSetting* control_nearest_setting(const List<ControlSetting>& settings, int32_t value);
int control_settings_load(DebugLog& log, const char* path, List<ControlSetting>* settings,
                          const char* section, const Driver* driver, Control* control);

}  // namespace tess

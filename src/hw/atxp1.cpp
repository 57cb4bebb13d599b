#include "hw/atxp1.h"

#include <string>

namespace tess {

namespace {

constexpr int32_t kVidTopMv = 1850;
constexpr int32_t kVidStepMv = 25;
constexpr uint8_t kCandidates[] = {0x1B, 0x37, 0x4E};
// The chip's registers are addressed by one SMBus command byte.
constexpr uint32_t kHighestReg = 0xFF;

void null_guard(DebugLog& log) {
    debug_log(log, "atxp1: POSSIBLE BUG: Got a NULL pointer");
}

}  // namespace

int32_t vid_to_mv(uint32_t code) {
    return kVidTopMv - static_cast<int32_t>(code & 0x1F) * kVidStepMv;
}

uint32_t mv_to_vid(int32_t mv) {
    if (mv > kVidTopMv) return 0;
    return static_cast<uint32_t>(kVidTopMv - mv) / kVidStepMv;
}

Atxp1::Atxp1(DebugLog& log, PortIo& io) : log_(log), io_(io) {
    entry_.name = "ATXP1";
    entry_.interface_ = "SMBUS";
    entry_.get = [this](Control* c) { return atxp1_get(c); };
    entry_.set = [this](Control* c, int32_t v) { return atxp1_set(c, static_cast<uint32_t>(v)); };
}

uint8_t Atxp1::read_chip(uint32_t reg) {
    bus_->private_area[0] = address_;
    bus_->private_area[1] = static_cast<uint8_t>(reg);
    return static_cast<uint8_t>(control_get_val(log_, bus_, drivers_));
}

void Atxp1::invalidate(uint32_t reg) {
    if (reg < kCachedRegs) valid_ &= ~(1u << reg);
}

int Atxp1::write_reg(uint32_t reg, uint8_t value) {
    bus_->private_area[0] = address_;
    bus_->private_area[1] = static_cast<uint8_t>(reg);
    const int32_t result = control_set_val(log_, bus_, drivers_, value);
    // Whatever the write gave, the next read fetches the real register.
    invalidate(reg);
    if (result != 0) {
        debug_log(log_, "atxp1: Writing register 0x%x failed\n", reg);
        return -1;
    }
    return 0;
}

int32_t Atxp1::boost_now() {
    const ControlSetting* first = vcore_plus_settings_.first();
    if (!first) return 0;
    const uint32_t pattern = atxp1_read_reg(first->reg) & first->data & 0xFF;
    for (const ControlSetting* s : vcore_plus_settings_)
        if ((s->mask & 0xFF) == pattern) return s->value;
    return 0;
}

uint8_t Atxp1::atxp1_read_reg(uint32_t reg) {
    if (!bus_) return 0;
    if (reg >= kCachedRegs) return read_chip(reg);
    if ((valid_ & (1u << reg)) == 0) {
        cache_[reg] = read_chip(reg);
        valid_ |= 1u << reg;
    }
    return cache_[reg];
}

int Atxp1::atxp1_search(List<Control>* controls) {
    bus_ = nullptr;
    if (!controls) return -1;
    for (Control* candidate_bus : *controls) {
        if (candidate_bus->kind != kKindBus) continue;
        debug_log(log_, "atxp1: Searching on %s:%s\n", candidate_bus->driver_name,
                  candidate_bus->name);
        for (uint8_t address : kCandidates) {
            bool found = false;
            for (uint8_t reg : {kRegVid, kRegCpuVid}) {
                candidate_bus->private_area[0] = address;
                candidate_bus->private_area[1] = reg;
                const uint32_t v = control_get_val(log_, candidate_bus, drivers_);
                if (v != 0 && v != 255) {
                    found = true;
                    break;
                }
            }
            if (!found) continue;
            bus_ = candidate_bus;
            address_ = address;
            debug_log(log_, "atxp1: Found ATXP1 on %s:%s, address 0x%x\n", bus_->driver_name,
                      bus_->name, address_);
            const uint8_t gpio1 = read_chip(0x06);
            const uint8_t gpio2 = read_chip(0x0A);
            debug_log(log_, "atxp1: GPIO: 0x%x, 0x%x\n", gpio1, gpio2);
            return 0;
        }
    }
    debug_log(log_, "atxp1: No ATXP1 found\n");
    return -1;
}

void Atxp1::load_settings(List<ControlSetting>* settings, const char* board_name,
                          Control* control) {
    if (!control) return;
    control_settings_load(log_, controls_path_.c_str(), settings, board_name, &entry_, control);
    // A register number beyond the chip's command byte cannot be a register
    // of the chip: such a setting is dropped instead of aliasing another one.
    bool dropped = false;
    for (bool again = true; again;) {
        again = false;
        for (ControlSetting* s : *settings) {
            if (s->reg <= kHighestReg) continue;
            debug_log(log_, "atxp1: Setting %d for %s names no register of the chip: 0x%x\n",
                      s->value, control->name, s->reg);
            settings->remove(s);
            dropped = again = true;
            break;
        }
    }
    if (dropped) {
        uint8_t index = 0;
        for (ControlSetting* s : *settings) s->index = index++;
    }
}

int Atxp1::atxp1_init(List<Driver>* drivers, List<Control>* controls, const char* board_name) {
    if (!drivers || !controls || !board_name) {
        null_guard(log_);
        return -1;
    }
    drivers_ = drivers;
    if (atxp1_search(controls) != 0) return -1;

    if (drivers->add_ref(&entry_) != 0) {
        debug_log(log_, "atxp1: list_add() failed!\n");
        return -1;
    }

    vcore_plus_settings_.init();
    Control* vcore =
        control_add(log_, controls, "VCore", kKindVCore, &entry_, "VCore control using ATXP1", 0);
    if (vcore) {
        vcore->step = 25;
        load_settings(&vcore_plus_settings_, board_name, vcore);
        const uint32_t highest_boost = control_get_range(log_, &vcore_plus_settings_, true);
        control_add_setting(log_, &vcore->settings, kVidTopMv + static_cast<int32_t>(highest_boost),
                            0, 0, 0);
        control_add_setting(log_, &vcore->settings, 1100, 0, 0, 0);
    }

    struct Voltage {
        const char* name;
        uint8_t sub_index;
        const char* description;
    };
    const Voltage voltages[] = {
        {"VDimm", 1, "VDimm control using ATXP1"},
        {"VDimm+", 4, "Extra VDimm control"},
        {"VAgp", 2, "VAgp control using ATXP1"},
        {"Vdd", 3, "Vdd control using ATXP1"},
    };
    for (const Voltage& v : voltages) {
        Control* control =
            control_add(log_, controls, v.name, kKindVoltage, &entry_, v.description, v.sub_index);
        if (control) load_settings(&control->settings, board_name, control);
    }

    Control* delay = control_add(log_, controls, "VCoreDelay", kKindDelay, &entry_,
                                 "Delay between VCore changes (ms)", 5);
    if (delay) {
        delay->step = 10;
        control_add_setting(log_, &delay->settings, 50, 0, 0, 0);
        control_add_setting(log_, &delay->settings, 250, 0, 0, 0);
    }
    return 0;
}

uint32_t Atxp1::atxp1_get(Control* control) {
    if (!control) {
        null_guard(log_);
        return static_cast<uint32_t>(-1);
    }
    if (control->sub_index == 5) return static_cast<uint32_t>(vcore_delay_);
    if (!bus_) return 0;

    const bool primary = control->kind == kKindVCore;
    const List<ControlSetting>& patterns = primary ? vcore_plus_settings_ : control->settings;
    if (patterns.empty() && !primary) {
        debug_log(log_, "atxp1: No settings for %s\n", control->name);
        return 0;
    }

    int32_t result = 0;
    uint32_t reg = 0;
    uint32_t pattern = 0;
    if (const ControlSetting* first = patterns.first()) {
        reg = first->reg;
        pattern = atxp1_read_reg(reg) & first->data & 0xFF;
        for (const ControlSetting* s : patterns) {
            if ((s->mask & 0xFF) == pattern) {
                result = s->value;
                break;
            }
        }
    }

    if (primary) {
        const uint8_t vid_reg = atxp1_read_reg(kRegVid);
        uint32_t vid;
        if (vid_reg & kVidEnable) {
            vid = vid_reg & 0x1F;
        } else {
            debug_log(log_, "atxp1: VID control disabled, using CPU VID\n");
            vid = atxp1_read_reg(kRegCpuVid) & 0x1F;
        }
        result += vid_to_mv(vid);
    }

    if (result != 0) return static_cast<uint32_t>(result);
    debug_log(log_, "atxp1: No value for %s found (reg: %x, data: %x)\n", control->name, reg,
              pattern);
    return 0;
}

int32_t Atxp1::atxp1_set(Control* control, uint32_t value) {
    if (!control) {
        null_guard(log_);
        return -1;
    }
    const uint32_t lowest = control_get_range(log_, &control->settings, false);
    const uint32_t highest = control_get_range(log_, &control->settings, true);
    if (value < lowest || value > highest) {
        debug_log(log_, "atxp1: Value %d for %s is out of range\n", value, control->name);
        return -1;
    }
    if (control->sub_index == 5) {
        vcore_delay_ = static_cast<int32_t>(value);
        return 0;
    }
    if (!bus_) return -1;

    int32_t current = static_cast<int32_t>(atxp1_get(control));
    bus_->private_area[0] = address_;

    if (control->sub_index == 0) {
        const int32_t target = static_cast<int32_t>(value);
        int32_t wanted = target;  // the part the VID walk still has to reach
        int32_t boost_mv = 0;
        if (!vcore_plus_settings_.empty()) {
            const int32_t boost = wanted > kVidTopMv ? wanted - kVidTopMv : 0;
            // The walk moves the VID part of the voltage: the reading less the
            // boost in effect now (taken from the register just read). The
            // total reading limited to 1850 mV would be too high whenever a
            // boost is on while the VID is below 1850 mV, and a walk upwards
            // from there would stop short of its target.
            current -= boost_now();
            if (current > kVidTopMv) current = kVidTopMv;
            const ControlSetting* entry = control_nearest_setting(vcore_plus_settings_, boost);
            if (!entry) {
                debug_log(log_, "atxp1: No data found in settings for %s: %d\n", control->name,
                          boost);
                return -1;
            }
            if (wanted - entry->value > kVidTopMv) {
                entry = control_nearest_setting(vcore_plus_settings_, boost + kVidStepMv);
                if (!entry) {
                    debug_log(log_, "atxp1: No data found in settings for %s: %d\n", control->name,
                              boost);
                    return -1;
                }
            }
            const uint8_t cached = atxp1_read_reg(entry->reg);
            const uint8_t next =
                static_cast<uint8_t>((entry->mask | (cached & ~entry->data)) & 0xFF);
            if (next != cached) {
                debug_log(log_, "atxp1: Writing new VCore+ %d\n", entry->value);
                if (write_reg(entry->reg, next) != 0) return -1;
            }
            boost_mv = entry->value;
            wanted -= entry->value;
        }

        const int32_t diff = wanted - current;
        int32_t v = current;
        int result = 0;
        while ((diff > 0 && wanted > v) || (diff <= 0 && wanted < v)) {
            v += diff > 0 ? kVidStepMv : -kVidStepMv;
            debug_log(log_, "atxp1: Writing new VCore: %d\n", v);
            const uint8_t vid = static_cast<uint8_t>((mv_to_vid(v) & 0xFF) | kVidEnable);
            if (write_reg(kRegVid, vid) != 0) {
                result = -1;
                break;
            }
            if (step_listener_)
                step_listener_("VCore " + std::to_string(v + boost_mv) + " -> " +
                               std::to_string(target) + " mV");
            sleep_ms(io_, static_cast<uint32_t>(vcore_delay_ < 0 ? 0 : vcore_delay_));
        }
        invalidate(kRegVid);
        return result;
    }

    const ControlSetting* setting = control_get_setting(log_, control, static_cast<int32_t>(value));
    if (!setting) {
        debug_log(log_, "atxp1: No data found in settings for %s: %d\n", control->name, value);
        return -1;
    }
    const uint8_t cached = atxp1_read_reg(setting->reg);
    const uint8_t next = static_cast<uint8_t>((setting->mask | (cached & ~setting->data)) & 0xFF);
    if (next == cached) return 0;
    if (write_reg(setting->reg, next) != 0) return -1;
    debug_log(log_, "atxp1: Switched %s from %d to %d\n", control->name, current, value);
    return 0;
}

}  // namespace tess

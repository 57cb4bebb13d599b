#include "core/control.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <new>
#include <optional>
#include <string_view>

#include "core/config_file.h"
#include "core/text.h"

namespace tess {

namespace {

// Names in controls.ini are compared on the width of a control name field.
constexpr std::size_t kControlsIniMatchLen = 30;
constexpr int kControlsIniKeys = 20;

// A reading of the "%d:0x%x:0x%x:0x%x" pattern that takes what sscanf
// takes: each number may follow white space, %d and %x accept a sign and
// %x an own "0x" prefix; characters after the last number are ignored.
// Numbers are converted as the C library does (to 64 bits, saturated) and
// then stored in 32 bits.
class SettingScanner {
  public:
    explicit SettingScanner(std::string_view text) : text_(text) {}

    std::optional<int32_t> decimal() {
        skip_space();
        const bool negative = sign();
        const auto magnitude = digits(10);
        if (!magnitude) return std::nullopt;
        constexpr uint64_t kMaxPositive = std::numeric_limits<int64_t>::max();
        uint64_t bits = 0;
        if (!negative)
            bits = std::min(*magnitude, kMaxPositive);
        else
            bits = *magnitude > kMaxPositive ? kMaxPositive + 1 : 0 - *magnitude;
        return static_cast<int32_t>(static_cast<uint32_t>(bits));
    }

    std::optional<uint32_t> hex() {
        skip_space();
        const bool negative = sign();
        if (pos_ + 2 < text_.size() && text_[pos_] == '0' &&
            (text_[pos_ + 1] == 'x' || text_[pos_ + 1] == 'X') && hex_digit(text_[pos_ + 2]) >= 0)
            pos_ += 2;
        const auto magnitude = digits(16);
        if (!magnitude) return std::nullopt;
        uint64_t bits = *magnitude;
        if (negative && bits != std::numeric_limits<uint64_t>::max()) bits = 0 - bits;
        return static_cast<uint32_t>(bits);
    }

    bool literal(std::string_view expected) {
        if (text_.substr(pos_, expected.size()) != expected) return false;
        pos_ += expected.size();
        return true;
    }

  private:
    static int hex_digit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    void skip_space() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }

    bool sign() {
        if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-'))
            return text_[pos_++] == '-';
        return false;
    }

    // The digits at the position, saturated at 64 bits.
    std::optional<uint64_t> digits(int base) {
        constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
        uint64_t v = 0;
        const std::size_t start = pos_;
        for (; pos_ < text_.size(); ++pos_) {
            const int d = hex_digit(text_[pos_]);
            if (d < 0 || d >= base) break;
            const auto b = static_cast<uint64_t>(base);
            const auto digit = static_cast<uint64_t>(d);
            v = v > (kMax - digit) / b ? kMax : v * b + digit;
        }
        if (pos_ == start) return std::nullopt;
        return v;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

struct ParsedSetting {
    int32_t value;
    uint32_t reg;
    uint32_t data;
    uint32_t mask;
};

std::optional<ParsedSetting> parse_setting(std::string_view field) {
    SettingScanner scan(field);
    ParsedSetting s{};
    auto value = scan.decimal();
    if (!value || !scan.literal(":0x")) return std::nullopt;
    auto reg = scan.hex();
    if (!reg || !scan.literal(":0x")) return std::nullopt;
    auto data = scan.hex();
    if (!data || !scan.literal(":0x")) return std::nullopt;
    auto mask = scan.hex();
    if (!mask) return std::nullopt;
    s.value = *value;
    s.reg = *reg;
    s.data = *data;
    s.mask = *mask;
    return s;
}

uint32_t unsigned_distance(int32_t a, int32_t b) {
    const auto ua = static_cast<uint32_t>(a);
    const auto ub = static_cast<uint32_t>(b);
    return ua > ub ? ua - ub : ub - ua;
}

// driver_dispatch: the first driver entry whose name agrees with the
// control's driver name on 10 characters and has the operation needed.
const Driver* serving_driver(const List<Driver>& drivers, const Control& control, bool reading) {
    for (const Driver* driver : drivers) {
        if (!equal_n(driver->name, control.driver_name, kDriverMatchLen)) continue;
        if (reading ? static_cast<bool>(driver->get) : static_cast<bool>(driver->set))
            return driver;
    }
    return nullptr;
}

}  // namespace

Control* control_add(DebugLog& log, List<Control>* controls, const char* name, uint8_t kind,
                     const Driver* driver, const char* description, uint8_t sub_index) {
    if (!controls || !name || !driver || !description) {
        debug_log(log, "control: control_add(): POSSIBLE BUG: Got a NULL pointer\n");
        return nullptr;
    }
    std::unique_ptr<Control> control;
    try {
        control = std::make_unique<Control>();
    } catch (const std::bad_alloc&) {
        debug_log(log, "control: malloc() failed\n");
        return nullptr;
    }
    control->name = bounded(name, kControlNameLen);
    control->driver_name = bounded(driver->name, kDriverNameLen);
    control->description = bounded(description, kControlDescLen);
    control->kind = kind;
    control->sub_index = sub_index;
    Control* raw = control.get();
    // A control that could not be appended is gone; it is not reported, and
    // it is simply not found later.
    if (controls->add(std::move(control)) != 0) return nullptr;
    return raw;
}

Control* control_get(DebugLog& log, List<Control>* controls, const char* name,
                     const char* driver_name) {
    if (!controls || !name) {
        debug_log(log, "control: control_get(): POSSIBLE BUG: Got a NULL pointer\n");
        return nullptr;
    }
    const std::string_view wanted(name);
    if (wanted.empty()) return nullptr;
    for (Control* control : *controls) {
        const bool named = equal_n(control->name, wanted, kControlNameLen) ||
                           equal_n(control->second_name, wanted, kControlNameLen);
        if (!named) continue;
        if (driver_name && !equal_n(control->driver_name, driver_name, kDriverNameLen)) continue;
        return control;
    }
    return nullptr;
}

uint32_t control_get_val(DebugLog& log, Control* control, List<Driver>* drivers) {
    if (!control || !drivers) {
        debug_log(log, "control: control_get_val(): POSSIBLE BUG: Got a NULL pointer\n");
        return 0xFFFFFFFFu;
    }
    const Driver* driver = serving_driver(*drivers, *control, true);
    if (!driver) return 0;
    const uint32_t value = driver->get(control);
    if (value > control->max) control->max = value;
    if (value < control->min) control->min = value;
    return value;
}

int32_t control_set_val(DebugLog& log, Control* control, List<Driver>* drivers, int32_t value) {
    if (!control || !drivers) {
        debug_log(log, "control: control_set_val(): POSSIBLE BUG: Got a NULL pointer\n");
        return -1;
    }
    const Driver* driver = serving_driver(*drivers, *control, false);
    if (!driver) return 0;
    return driver->set(control, value);
}

uint32_t control_get_range(DebugLog& log, const List<ControlSetting>* settings, bool highest) {
    if (!settings) {
        debug_log(log, "control: control_get_range(): POSSIBLE BUG: Got a NULL pointer\n");
        return 0xFFFFFFFFu;
    }
    if (settings->empty()) return 0;
    uint32_t kept = highest ? 0u : 0xFFFFFFFFu;
    for (const ControlSetting* s : *settings) {
        const auto v = static_cast<uint32_t>(s->value);
        if (highest ? v > kept : v < kept) kept = v;
    }
    return kept;
}

int control_add_setting(DebugLog& log, List<ControlSetting>* settings, int32_t value, uint32_t reg,
                        uint32_t data, uint32_t mask) {
    if (!settings) {
        debug_log(log, "control: control_add_setting(): POSSIBLE BUG: Got a NULL pointer\n");
        return -1;
    }
    std::unique_ptr<ControlSetting> setting;
    try {
        setting = std::make_unique<ControlSetting>();
    } catch (const std::bad_alloc&) {
        debug_log(log, "control: malloc() failed\n");
        return -1;
    }
    setting->index = static_cast<uint8_t>(settings->count() & 0xFF);
    setting->value = value;
    setting->reg = reg;
    setting->data = data;
    setting->mask = mask;
    if (settings->add(std::move(setting)) != 0) {
        debug_log(log, "control: malloc() failed\n");
        return -1;
    }
    return 0;
}

ControlSetting* control_get_setting(DebugLog& log, Control* control, int32_t value) {
    if (!control) {
        debug_log(log, "control: control_get_setting(): POSSIBLE BUG: Got a NULL pointer\n");
        return nullptr;
    }
    return control_nearest_setting(control->settings, value);
}

ControlSetting* control_nearest_setting(const List<ControlSetting>& settings, int32_t value) {
    ControlSetting* nearest = nullptr;
    uint32_t nearest_distance = 0;
    for (ControlSetting* s : settings) {
        if (s->value == value) return s;
        if (s->value == 0) continue;
        // The first setting of a value other than 0 is kept whatever its
        // distance (even the widest, 4294967295); later ones only when
        // strictly nearer.
        const uint32_t distance = unsigned_distance(s->value, value);
        if (!nearest || distance < nearest_distance) {
            nearest = s;
            nearest_distance = distance;
        }
    }
    return nearest;
}

int control_settings_load(DebugLog& log, const char* path, List<ControlSetting>* settings,
                          const char* section, const Driver* driver, Control* control) {
    if (!path || !settings || !section || !driver || !control) {
        debug_log(log, "control: control_settings_load(): POSSIBLE BUG: Got a NULL pointer\n");
        return -1;
    }
    std::string line;
    for (int i = 0; i < kControlsIniKeys; ++i) {
        const std::string key = "Control" + std::to_string(i);
        if (!config_read(log, path, section, key, TextDest{&line, kConfigBufferSize - 1})) break;

        const auto driver_field = config_field(log, line, 0, ';');
        const auto name_field = config_field(log, line, 1, ';');
        if (!driver_field || !name_field) continue;
        if (!equal_n(*driver_field, driver->name, kControlsIniMatchLen) ||
            !equal_n(*name_field, control->name, kControlsIniMatchLen))
            continue;

        for (int f = 2;; ++f) {
            const auto field = config_field(log, line, f, ';');
            if (!field) break;
            const auto parsed = parse_setting(*field);
            if (!parsed) {
                debug_log(log, "control: Invalied field: %s\n", *field);
                break;  // the rest of this line is not read
            }
            std::unique_ptr<ControlSetting> setting;
            try {
                setting = std::make_unique<ControlSetting>();
            } catch (const std::bad_alloc&) {
                debug_log(log, "control: malloc() failed\n");
                break;
            }
            setting->index = static_cast<uint8_t>(settings->count() & 0xFF);
            setting->value = parsed->value;
            setting->reg = parsed->reg;
            setting->data = parsed->data;
            setting->mask = parsed->mask;
            if (settings->add(std::move(setting)) != 0) {
                debug_log(log, "control: malloc() failed\n");
                break;
            }
            debug_log(log, "control: Added setting %d for %s\n", parsed->value, control->name);
        }
    }
    return settings->empty() ? -1 : 0;
}

}  // namespace tess

#include "app/command_line.h"

#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "core/config_file.h"
#include "core/text.h"

namespace tess {

int App::parse_command_line() {
    debug_log(log_, "tessaron: Parsing command-line options...\n");
    const std::vector<std::string>& args = options_.args;
    std::vector<std::pair<std::string, int32_t>> values;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h") {
            if (fe_.headless()) {
                fe_.write_output(kHelpText);
                request_exit(kExitOk);
            } else {
                fe_.message_box(kHelpText);
            }
            return 0;
        }
        if (arg == "-l") {
            std::string text = "Available options:\n";
            for (const Control* control : state_.controls) {
                if (control->settings.empty()) continue;
                const bool voltage = control->kind == kKindVCore || control->kind == kKindVoltage;
                const bool listed = (voltage && control->driver_name == chosen_driver_) ||
                                    control->kind == kKindChipset ||
                                    control->kind == kKindFanPower ||
                                    control->kind == kKindSensorSetting;
                if (listed) text += " " + control->name + "\n";
            }
            if (fe_.headless()) {
                fe_.write_output(text);
                request_exit(kExitOk);
            } else {
                fe_.message_box(text);
            }
            return 0;
        }
        if (arg == "-s") {
            if (args.size() - i < 3) {
                fe_.message_box(kSyntaxText);
                // A script must not mistake this for success.
                if (fe_.headless()) request_exit(kExitSetFailed);
                return 0;
            }
            const std::string& name = args[i + 1];
            const int32_t value = config_parse_int(args[i + 2]);
            var_set(log_, state_.control_vars, name, "newval", value);
            debug_log(log_, "tessaron: Got command line option: %s = %d\n", name, value);
            values.emplace_back(name, value);
            i += 2;
        }
    }

    if (!values.empty()) {
        apply(ApplySender::None);
        request_exit(command_values_applied(values) ? kExitOk : kExitSetFailed);
    }
    return static_cast<int>(values.size());
}

bool App::command_values_applied(const std::vector<std::pair<std::string, int32_t>>& values) const {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto& [name, value] = values[i];
        // A later option of the same variable overrides this one.
        bool overridden = false;
        for (std::size_t j = i + 1; j < values.size(); ++j)
            overridden = overridden || equal_n(values[j].first, name, kVarNameLen);
        if (overridden) continue;

        bool reached = false;
        for (const Control* control : state_.controls) {
            if (!applies_to(*control) || !equal_n(control->name, name, kVarNameLen)) continue;
            reached = true;
            break;
        }
        if (!reached) return false;  // named no control the engine writes
        if (var_get(state_.control_vars, name, "current") != value) return false;
    }
    return true;
}

}  // namespace tess

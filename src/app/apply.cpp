// The apply engine: every change of hardware values goes through here.

#include "app/app.h"
#include "core/control.h"
#include "core/variable.h"

namespace tess {

bool App::applies_to(const Control& control) const {
    switch (control.kind) {
        case kKindVCore:
        case kKindVoltage:
            // Voltages only through the chosen driver (an empty choice takes
            // every driver).
            return control.driver_name.find(chosen_driver_) != std::string::npos;
        case kKindChipset:
        case kKindFanPower:
        case kKindSensorSetting:
        case kKindAction:
            return true;
        default:
            return false;
    }
}

void App::report_write_error(const std::string& name, int32_t value,
                             const std::string& driver_name) {
    debug_log(log_, "tessaron: Error changing %s to %d\n", name, value);
    fe_.message_box("Sorry, an error occured while trying to change " + name +
                    " using driver: " + driver_name +
                    "\nMaybe the interface doesn't support writing (for more check tessaron.log).");
}

void App::apply(ApplySender sender) {
    if (sender != ApplySender::AutoFsbTimer) fe_.set_autofsb_checked(false);
    fe_.status_text("Applying new settings, please wait...");

    const auto fsb_new = static_cast<uint32_t>(var_get(state_.control_vars, "FSB", "newval"));
    const auto fsb_current = static_cast<uint32_t>(var_get(state_.control_vars, "FSB", "current"));
    if (fsb_new < fsb_current) {
        // A falling FSB goes first, before any voltage drops.
        apply_fsb();
        apply_controls();
    } else {
        apply_controls();
        apply_fsb();
    }

    fe_.refresh_after_apply(sender);
    fe_.status_text("Applying new settings done.");
}

void App::apply_controls() {
    for (Control* control : state_.controls) {
        if (!applies_to(*control)) continue;
        const int32_t value = var_get(state_.control_vars, control->name, "newval");
        const int32_t current = var_get(state_.control_vars, control->name, "current");
        if (value == current) continue;
        if (control_set_val(log_, control, &state_.drivers, value) == 0) {
            var_set(log_, state_.control_vars, control->name, "current", value);
            debug_log(log_, "tessaron: Changed control %s to %d\n", control->name, value);
        } else {
            report_write_error(control->name, value, control->driver_name);
            int32_t now = current;
            // A walk of the FSB may have stopped on the way.
            if (control->name == "FSB")
                now = static_cast<int32_t>(control_get_val(log_, control, &state_.drivers));
            var_set(log_, state_.control_vars, control->name, "current", now);
            var_set(log_, state_.control_vars, control->name, "newval", now);
        }
    }
}

void App::apply_fsb() {
    const int32_t value = var_get(state_.control_vars, "FSB", "newval");
    if (value == var_get(state_.control_vars, "FSB", "current")) return;

    Control* fsb = control_get(log_, &state_.controls, "FSB");
    if (control_set_val(log_, fsb, &state_.drivers, value) == 0) {
        var_set(log_, state_.control_vars, "FSB", "current", value);
        debug_log(log_, "tessaron: Changed FSB to %d\n", value);
        return;
    }
    // A walk that failed may have stopped on the way: "current" is what the
    // chipset really runs at now, and the page shows that.
    report_write_error("FSB", value, fsb ? fsb->driver_name : "");
    if (fsb) {
        const auto now = static_cast<int32_t>(control_get_val(log_, fsb, &state_.drivers));
        var_set(log_, state_.control_vars, "FSB", "current", now);
    }
    var_set(log_, state_.control_vars, "FSB", "newval",
            var_get(state_.control_vars, "FSB", "current"));
}

}  // namespace tess

#include "hw/tools.h"

namespace tess {

Tools::Tools(DebugLog& log, ShutdownFunction shutdown) : log_(log), shutdown_(std::move(shutdown)) {
    entry_.name = "TOOLS";
    entry_.interface_ = "WIN";
    // No get operation: a read of "Shutdown" finds none and yields 0.
    entry_.set = [this](Control* c, int32_t v) { return tools_set(c, v); };
}

int Tools::tools_init(List<Driver>* drivers, List<Control>* controls) {
    if (!drivers || !controls) return -1;
    drivers->add_ref(&entry_);
    Control* control = control_add(log_, controls, "Shutdown", kKindAction, &entry_,
                                   "1=Shutdown, 2=Reboot, 3=Logoff", 0);
    if (!control) return -1;
    control->step = 1;
    control_add_setting(log_, &control->settings, 0, 0, 0, 0);
    control_add_setting(log_, &control->settings, 3, 0, 0, 3);
    return 0;
}

int32_t Tools::tools_set(Control* /*control*/, int32_t value) {
    switch (value) {
        case 1:
            return system_shutdown(0);
        case 2:
            return system_shutdown(1);
        case 3:
            return system_shutdown(3);
        default:
            return 0;
    }
}

int Tools::system_shutdown(int mode) {
    if (mode != 0 && mode != 1 && mode != 3) return -1;
    if (!shutdown_) return -1;
    return shutdown_(mode) == 0 ? 0 : -1;
}

}  // namespace tess

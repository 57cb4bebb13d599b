// The system tools driver "TOOLS": its control "Shutdown" powers the machine
// off, restarts it or logs the user off when a value is applied to it.
// What the operating system does is injected: systemd-logind on Linux, the
// simulated machine's record on the simulated board.
#pragma once

#include <cstdint>
#include <functional>

#include "core/control.h"
#include "core/debug_log.h"
#include "core/list.h"

namespace tess {

class Tools {
  public:
    // mode 0 power off, 1 restart, 3 log off; 0 on success, -1 on failure.
    using ShutdownFunction = std::function<int(int mode)>;

    Tools(DebugLog& log, ShutdownFunction shutdown);
    Tools(const Tools&) = delete;
    Tools& operator=(const Tools&) = delete;

    // 0; -1 when a list is missing or the control cannot be created.
    int tools_init(List<Driver>* drivers, List<Control>* controls);
    // 1 power off, 2 restart, 3 log off; other values do nothing and give 0.
    int32_t tools_set(Control* control, int32_t value);
    // -1 for modes other than 0, 1 and 3 (nothing is asked of the system).
    int system_shutdown(int mode);

    const Driver& driver() const { return entry_; }

  private:
    DebugLog& log_;
    ShutdownFunction shutdown_;
    Driver entry_;
};

}  // namespace tess

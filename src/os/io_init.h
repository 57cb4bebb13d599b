// Port access for the hardware back end, asked for once at start-up and
// again after every resume from suspend.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/debug_log.h"
#include "hw/port_io.h"

namespace tess {

// Kernel modules that drive the same chips as tessaron (PLL, SMBus, ATXP1,
// hardware monitors): two programmers of one chip corrupt each other.
inline const std::vector<std::string> kConflictingModules = {
    "cpufreq_nforce2", "i2c_nforce2", "atxp1", "w83627hf", "w83781d", "it87", "lm90"};

// The loaded modules of kConflictingModules listed in a /proc/modules file.
std::vector<std::string> conflicting_modules(const std::filesystem::path& proc_modules);

// 0 when port access is granted, -1 otherwise; the reason goes to the log in
// lines beginning "init-io: ". On the real ports (a LinuxPortIo) access is
// refused while a conflicting module is loaded (naming the modules to
// unload), and asked for with ioperm otherwise (failing without the
// capability, on a kernel without port I/O or under lockdown). Any other
// PortIo is the simulated board: access is always granted.
int io_init(DebugLog& log, PortIo& io, const std::filesystem::path& proc_modules = "/proc/modules");

}  // namespace tess

#include "os/io_init.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "os/linux_port_io.h"

namespace tess {

std::vector<std::string> conflicting_modules(const std::filesystem::path& proc_modules) {
    std::vector<std::string> found;
    std::ifstream in(proc_modules);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name;
        if (!(fields >> name)) continue;
        if (std::find(kConflictingModules.begin(), kConflictingModules.end(), name) !=
                kConflictingModules.end() &&
            std::find(found.begin(), found.end(), name) == found.end())
            found.push_back(name);
    }
    return found;
}

int io_init(DebugLog& log, PortIo& io, const std::filesystem::path& proc_modules) {
    auto* real = dynamic_cast<LinuxPortIo*>(&io);
    if (!real) {
        debug_log(log, "init-io: Simulated board, port access granted\n");
        return 0;
    }
    if (std::ifstream probe(proc_modules); !probe) {
        debug_log(log, "init-io: Can't read %s, loaded kernel modules unknown\n",
                  proc_modules.string());
        return -1;
    }
    const auto modules = conflicting_modules(proc_modules);
    if (!modules.empty()) {
        std::string names;
        for (const auto& m : modules) names += (names.empty() ? "" : " ") + m;
        debug_log(log,
                  "init-io: Kernel modules driving the same chips are loaded: %s. Unload them "
                  "first (modprobe -r %s)\n",
                  names, names);
        return -1;
    }
    std::string reason;
    if (!real->request_access(&reason)) {
        debug_log(log, "init-io: No port access: %s\n", reason);
        return -1;
    }
    debug_log(log, "init-io: Port access granted\n");
    return 0;
}

}  // namespace tess

// The choice of the hardware back end: the simulated board or the real ports.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tess {

enum class HwBackend { Sim, Linux };

inline constexpr const char* kSysfsPciDevices = "/sys/bus/pci/devices";

// env_value is the value of TESSARON_HW (nullptr when unset): "sim", "linux",
// or "auto" / unset / empty: the real ports when the host bridge
// <sysfs_root>/0000:00:00.0 is an nForce2 (vendor 0x10de, device 0x01e0),
// else the simulated board. Any other value: no choice and a message in *error.
std::optional<HwBackend> choose_backend(const char* env_value, std::string* error,
                                        const std::filesystem::path& sysfs_root = kSysfsPciDevices);

// "sim" or "linux", for the log.
std::string_view backend_name(HwBackend backend);

}  // namespace tess

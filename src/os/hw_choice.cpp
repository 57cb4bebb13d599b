#include "os/hw_choice.h"

#include <cstdlib>
#include <fstream>

namespace tess {

namespace {

// A sysfs attribute such as "0x10de\n" as a number; -1 when unreadable.
long read_hex_attribute(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text)) return -1;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 16);
    return end && *end == '\0' && end != text.c_str() ? value : -1;
}

}  // namespace

std::optional<HwBackend> choose_backend(const char* env_value, std::string* error,
                                        const std::filesystem::path& sysfs_root) {
    const std::string_view value = env_value ? env_value : "";
    if (value == "sim") return HwBackend::Sim;
    if (value == "linux") return HwBackend::Linux;
    if (value.empty() || value == "auto") {
        const auto host = sysfs_root / "0000:00:00.0";
        const bool nforce2 = read_hex_attribute(host / "vendor") == 0x10de &&
                             read_hex_attribute(host / "device") == 0x01e0;
        return nforce2 ? HwBackend::Linux : HwBackend::Sim;
    }
    if (error)
        *error = "TESSARON_HW must be \"sim\", \"linux\" or \"auto\", not \"" + std::string(value) +
                 "\"";
    return std::nullopt;
}

std::string_view backend_name(HwBackend backend) {
    return backend == HwBackend::Sim ? "sim" : "linux";
}

}  // namespace tess

#include "os/proc_stat.h"

#include <array>
#include <charconv>
#include <fstream>
#include <string>

namespace tess {

std::optional<CpuTimes> parse_proc_stat(std::string_view text) {
    // The aggregate line comes first: "cpu" followed by blanks.
    std::string_view line = text.substr(0, text.find('\n'));
    if (line.size() < 4 || line.substr(0, 3) != "cpu" || (line[3] != ' ' && line[3] != '\t'))
        return std::nullopt;
    line.remove_prefix(3);

    // user nice system idle iowait irq softirq steal (guest, guest_nice are
    // counted in user and nice already). Older kernels give only the first
    // four.
    std::array<uint64_t, 8> fields{};
    std::size_t count = 0;
    while (count < fields.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string_view::npos) break;
        line.remove_prefix(start);
        const auto [end, ec] =
            std::from_chars(line.data(), line.data() + line.size(), fields[count]);
        if (ec != std::errc()) return std::nullopt;
        line.remove_prefix(static_cast<std::size_t>(end - line.data()));
        ++count;
    }
    if (count < 4) return std::nullopt;

    CpuTimes times;
    times.idle = fields[3] + fields[4];
    for (std::size_t i = 0; i < count; ++i) times.total += fields[i];
    return times;
}

std::optional<CpuTimes> read_proc_stat(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    // The aggregate line is the first; it is far shorter than this.
    std::array<char, 4096> buffer{};
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    return parse_proc_stat(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
}

CpuTimesSource proc_stat_source(std::filesystem::path path) {
    return [path = std::move(path)] { return read_proc_stat(path); };
}

}  // namespace tess

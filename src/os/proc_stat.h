// Processor time from /proc/stat: the first line ("cpu ...") sums the time
// of all processors in jiffies as user, nice, system, idle, iowait, irq,
// softirq, steal, guest, guest_nice.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "hw/cpuload.h"

namespace tess {

// Idle (idle + iowait) and total (user .. steal; guest time is already part
// of user and nice) from the text of /proc/stat; nullopt when its "cpu"
// line is missing or malformed.
std::optional<CpuTimes> parse_proc_stat(std::string_view text);

// Reads and parses the file; nullopt when it cannot be read.
std::optional<CpuTimes> read_proc_stat(const std::filesystem::path& path = "/proc/stat");

// A source for CpuLoad reading the given file at every sample.
CpuTimesSource proc_stat_source(std::filesystem::path path = "/proc/stat");

}  // namespace tess

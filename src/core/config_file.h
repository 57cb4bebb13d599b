// INI-style settings files (boards.ini, controls.ini, config.ini,
// presets.ini, autofsb.ini, log.ini): lines end in CR LF, sections "[name]",
// keys "key=value". Every operation reads the file anew; every write rewrites
// the whole file (through a temporary file renamed over the old one, so a
// write that fails half-way, or a board that hangs right after it, never
// leaves a damaged file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/debug_log.h"

namespace tess {

// Longest value (and header / key pattern) the module handles.
inline constexpr std::size_t kConfigBufferSize = 500;

// Text destination of config_read: at most max_chars characters are stored.
struct TextDest {
    std::string* text;
    std::size_t max_chars;
};

// Integer reading with automatic base, as strtol(..., 0) clamped to 32 bits.
int32_t config_parse_int(std::string_view text);

// config_read: 1 when the key was found (and stored), 0 otherwise.
int config_read(DebugLog& log, const std::string& path, std::string_view section,
                std::string_view key);  // existence test
int config_read(DebugLog& log, const std::string& path, std::string_view section,
                std::string_view key, int32_t* dest);  // value type 1
int config_read(DebugLog& log, const std::string& path, std::string_view section,
                std::string_view key, uint8_t* dest);  // value type 2
int config_read(DebugLog& log, const std::string& path, std::string_view section,
                std::string_view key, TextDest dest);  // text

// config_write: 1 when the file was rewritten, 0 on failure.
int config_write(DebugLog& log, const std::string& path, std::string_view section,
                 std::string_view key, int32_t value);
int config_write(DebugLog& log, const std::string& path, std::string_view section,
                 std::string_view key, uint8_t value);
int config_write(DebugLog& log, const std::string& path, std::string_view section,
                 std::string_view key, std::string_view value);

// 1 and the index-th section name (up to 49 characters); 0 when none.
int config_section_name(DebugLog& log, const std::string& path, std::string& dest, int index);

// 0 when the file exists and is empty afterwards; -1 on failure.
int config_truncate(DebugLog& log, const std::string& path);

// The index-th field of text split by separator, or nullopt.
std::optional<std::string> config_field(DebugLog& log, std::string_view text, int index,
                                        char separator);

}  // namespace tess

// Named integer records with the slots "start", "current", "newval" and
// "config", found by name on their first 20 characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/debug_log.h"
#include "core/list.h"

namespace tess {

inline constexpr std::size_t kVarNameLen = 20;

struct Variable {
    std::string name;  // up to 20 characters
    int32_t current = 0;
    int32_t newval = 0;
    int32_t start = 0;
    int32_t config = 0;
    uint32_t min = 0;
    uint32_t max = 0;
};

int var_add(DebugLog& log, List<Variable>& list, std::string_view name, uint32_t min, uint32_t max);
// The slot of the first variable of that name; 0 when none (or an unknown slot).
int32_t var_get(const List<Variable>& list, std::string_view name, std::string_view slot);
// The value stored; -1 when the variable could not be created or the slot
// text names no slot.
int32_t var_set(DebugLog& log, List<Variable>& list, std::string_view name, std::string_view slot,
                int32_t value);
int var_load(DebugLog& log, const std::string& path, std::string_view section,
             List<Variable>& list);
int var_save(DebugLog& log, const std::string& path, std::string_view section,
             List<Variable>& list);

}  // namespace tess

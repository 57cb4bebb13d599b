#include "core/variable.h"

#include <new>

#include "core/config_file.h"
#include "core/text.h"

namespace tess {

namespace {

// The slot field named by text, or nullptr for a text that names no slot.
int32_t* slot_of(Variable& var, std::string_view slot) {
    if (slot == "current") return &var.current;
    if (slot == "newval") return &var.newval;
    if (slot == "start") return &var.start;
    if (slot == "config") return &var.config;
    return nullptr;
}

Variable* find_variable(const List<Variable>& list, std::string_view name) {
    for (Variable* var : list)
        if (equal_n(var->name, name, kVarNameLen)) return var;
    return nullptr;
}

}  // namespace

int var_add(DebugLog& log, List<Variable>& list, std::string_view name, uint32_t min,
            uint32_t max) {
    std::unique_ptr<Variable> var;
    try {
        var = std::make_unique<Variable>();
    } catch (const std::bad_alloc&) {
        debug_log(log, "variable: malloc() failed\n");
        return -1;
    }
    var->name = bounded(name, kVarNameLen);
    var->min = min;
    var->max = max;
    if (list.add(std::move(var)) != 0) {
        debug_log(log, "variable: list_add() failed\n");
        return -1;
    }
    return 0;
}

int32_t var_get(const List<Variable>& list, std::string_view name, std::string_view slot) {
    Variable* var = find_variable(list, name);
    if (!var) return 0;
    const int32_t* field = slot_of(*var, slot);
    return field ? *field : 0;
}

int32_t var_set(DebugLog& log, List<Variable>& list, std::string_view name, std::string_view slot,
                int32_t value) {
    // A text that names no slot is refused before anything is created.
    Variable probe;
    if (!slot_of(probe, slot)) return -1;

    Variable* var = find_variable(list, name);
    if (!var) {
        if (var_add(log, list, name, 0, 0xFFFFFFFFu) != 0) return -1;
        var = list.last();
    }
    uint32_t bits = static_cast<uint32_t>(value);
    if (bits < var->min) bits = var->min;
    if (bits > var->max) bits = var->max;
    int32_t* field = slot_of(*var, slot);
    *field = static_cast<int32_t>(bits);
    return *field;
}

int var_load(DebugLog& log, const std::string& path, std::string_view section,
             List<Variable>& list) {
    for (Variable* var : list) {
        int32_t value = 0;
        if (config_read(log, path, section, var->name, &value)) var->config = value;
    }
    return 0;
}

int var_save(DebugLog& log, const std::string& path, std::string_view section,
             List<Variable>& list) {
    for (Variable* var : list)
        if (!config_write(log, path, section, var->name, var->config))
            debug_log(log, "variable: Write failed\n");
    return 0;
}

}  // namespace tess

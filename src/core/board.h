// The boards of boards.ini: one section per board, with the identity its
// BIOS reports through the SMI interface.
#pragma once

#include <cstdint>
#include <string>

#include "core/debug_log.h"
#include "core/list.h"

namespace tess {

struct Board {
    std::string name;      // section name, up to 49 characters
    std::string smi_name;  // "SMI_Name", up to 19 characters
    uint8_t smi_vendor = 0;
    int32_t smi_version = 0;  // low 16 bits compared
};

// 0 when the walk ended normally (a missing file adds nothing); -1 when
// memory ran out.
int board_load(DebugLog& log, const std::string& path, List<Board>& boards);

// The board that matches the SMI identity, or nullptr.
Board* board_find(const List<Board>& boards, uint8_t vendor, const std::string& name,
                  uint16_t version);

}  // namespace tess

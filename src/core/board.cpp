#include "core/board.h"

#include <new>

#include "core/config_file.h"
#include "core/text.h"

namespace tess {

namespace {
constexpr std::size_t kBoardNameLen = 49;
constexpr std::size_t kSmiNameLen = 19;
}  // namespace

int board_load(DebugLog& log, const std::string& path, List<Board>& boards) {
    std::string name;
    for (int index = 0; config_section_name(log, path, name, index); ++index) {
        debug_log(log, "board: Found section %s\n", name);
        std::unique_ptr<Board> board;
        try {
            board = std::make_unique<Board>();
        } catch (const std::bad_alloc&) {
            debug_log(log, "board: Failed to get memory for new board\n");
            return -1;
        }
        // Names arrive cut to 49 characters already; the cut here keeps the
        // record's width whatever the enumeration hands over.
        board->name = bounded(name, kBoardNameLen);
        config_read(log, path, board->name, "SMI_Vendor", &board->smi_vendor);
        config_read(log, path, board->name, "SMI_Name", TextDest{&board->smi_name, kSmiNameLen});
        config_read(log, path, board->name, "SMI_Version", &board->smi_version);
        if (boards.add(std::move(board)) != 0) {
            debug_log(log, "board: list_add() failed!\n");
            return -1;
        }
    }
    return 0;
}

Board* board_find(const List<Board>& boards, uint8_t vendor, const std::string& name,
                  uint16_t version) {
    Board* candidate = nullptr;
    for (Board* board : boards) {
        if (board->smi_vendor != vendor) continue;
        if (board->smi_name.find(name) == std::string::npos) continue;
        if (static_cast<uint16_t>(board->smi_version) == version) return board;
        candidate = board;
    }
    return candidate;
}

}  // namespace tess

// Replacing a whole file so that a failure half-way, or a machine that hangs
// right after the write (an FSB change can do that), never leaves a damaged
// file: a temporary file in the same folder is written and synced, renamed
// over the old file, and the folder synced. A link is followed, so the file
// it names is replaced and the link stays a link; the old file's permissions
// are kept.
#pragma once

#include <filesystem>
#include <string_view>

namespace tess {

enum class ReplaceStep {
    Done,        // the file now holds the bytes
    CreateTemp,  // no temporary file could be made in the folder
    Write,       // writing or syncing the temporary file failed
    Rename,      // the temporary file could not take the old file's place
};

struct ReplaceResult {
    ReplaceStep step = ReplaceStep::Done;
    int error = 0;  // errno of the failing step
    explicit operator bool() const { return step == ReplaceStep::Done; }
};

// Whatever fails, the old file stays as it was and no temporary file is left.
ReplaceResult replace_file_atomically(const std::filesystem::path& file, std::string_view bytes);

}  // namespace tess

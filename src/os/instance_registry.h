// The single-instance check: a small per-user registry of the captions of
// tessaron's main windows. Each live instance keeps one entry (a lock file it
// holds an flock on for its whole life, and a caption file beside it); an
// entry whose lock can be taken belongs to a process that has ended (also by
// a crash) and is removed by the next look-up.
#pragma once

#include <filesystem>
#include <string>

namespace tess {

// $XDG_RUNTIME_DIR/tessaron, or /tmp/tessaron-<uid> without XDG_RUNTIME_DIR.
std::filesystem::path default_registry_dir();

// 1 when a live instance's caption begins with title (compared on the title's
// length; a caption counts with at most 254 characters, so a title longer
// than 254 characters never matches), else 0.
int single_instance_running(const std::string& title,
                            const std::filesystem::path& dir = default_registry_dir());

// This process's entry, published while the object lives.
class InstanceRegistration {
  public:
    explicit InstanceRegistration(std::filesystem::path dir = default_registry_dir());
    ~InstanceRegistration();
    InstanceRegistration(const InstanceRegistration&) = delete;
    InstanceRegistration& operator=(const InstanceRegistration&) = delete;

    // Publishes the window's caption (replacing the previous one as a whole).
    // False when the registry cannot be written; the check then misses us.
    bool set_caption(const std::string& caption);
    bool registered() const { return lock_fd_ >= 0; }

  private:
    std::filesystem::path dir_;
    std::filesystem::path lock_path_;
    std::filesystem::path caption_path_;
    int lock_fd_ = -1;
};

}  // namespace tess

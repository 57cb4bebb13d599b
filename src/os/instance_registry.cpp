#include "os/instance_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace tess {

namespace {

constexpr const char* kLockSuffix = ".lock";
constexpr const char* kCaptionSuffix = ".caption";
// A caption being written, renamed over the caption when complete.
constexpr const char* kNewSuffix = ".new";
constexpr size_t kCaptionMax = 254;  // as a window text fetched into 255 characters

// The registry directory, made when missing; it must be a real directory of
// ours that others cannot write (it may lie in /tmp).
bool usable_dir(const std::filesystem::path& dir, bool create) {
    if (create) ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 002) == 0;
}

bool write_all(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The caption file's first kCaptionMax bytes.
std::string read_caption(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    std::array<char, kCaptionMax> buf{};
    size_t got = 0;
    while (got < buf.size()) {
        const ssize_t n = ::read(fd, buf.data() + got, buf.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    return std::string(buf.data(), got);
}

bool ends_with(const std::string& s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

std::filesystem::path default_registry_dir() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        return std::filesystem::path(runtime) / "tessaron";
    return "/tmp/tessaron-" + std::to_string(::geteuid());
}

int single_instance_running(const std::string& title, const std::filesystem::path& dir) {
    if (title.size() > kCaptionMax) return 0;
    if (!usable_dir(dir, false)) return 0;
    std::error_code ec;
    int found = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        if (!ends_with(name, kLockSuffix)) continue;
        const std::string stem = name.substr(0, name.size() - std::string_view(kLockSuffix).size());
        const auto caption_file = dir / (stem + kCaptionSuffix);

        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // Nobody holds it: the instance has ended. Remove its entry while
            // we hold the lock (a live owner never lets go of its own).
            ::unlink(caption_file.c_str());
            ::unlink((caption_file.string() + kNewSuffix).c_str());
            ::unlink(entry.path().c_str());
            ::close(fd);
            continue;
        }
        ::close(fd);
        if (found) continue;
        const std::string caption = read_caption(caption_file);
        // A window without text is passed over, whatever the title.
        if (caption.empty()) continue;
        if (caption.size() >= title.size() && caption.compare(0, title.size(), title) == 0)
            found = 1;
    }
    return found;
}

InstanceRegistration::InstanceRegistration(std::filesystem::path dir) : dir_(std::move(dir)) {
    if (!usable_dir(dir_, true)) return;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::string stem = "instance-" + std::to_string(::getpid()) + "-" + std::to_string(stamp);
    lock_path_ = dir_ / (stem + kLockSuffix);
    caption_path_ = dir_ / (stem + kCaptionSuffix);

    // Lock first under a temporary name, then publish: no look-up ever sees
    // our lock file unlocked.
    const auto temp = dir_ / (stem + ".new");
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(temp.c_str(), lock_path_.c_str()) != 0) {
        ::unlink(temp.c_str());
        ::close(fd);
        return;
    }
    lock_fd_ = fd;
}

InstanceRegistration::~InstanceRegistration() {
    if (lock_fd_ < 0) return;
    ::unlink(caption_path_.c_str());
    ::unlink(lock_path_.c_str());
    ::close(lock_fd_);
}

bool InstanceRegistration::set_caption(const std::string& caption) {
    if (lock_fd_ < 0) return false;
    // Written whole under another name and renamed over the old caption, so
    // a look-up reads either the old caption or the new one.
    const auto temp = caption_path_.string() + kNewSuffix;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = write_all(fd, caption);
    ::close(fd);
    if (!ok || ::rename(temp.c_str(), caption_path_.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace tess

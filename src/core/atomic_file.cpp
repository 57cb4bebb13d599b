#include "core/atomic_file.h"
#include "core/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

namespace tess {

namespace {

bool write_all(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

ReplaceResult failed(ReplaceStep step, int error) {
    return ReplaceResult{step, error};
}

}  // namespace

ReplaceResult replace_file_atomically(const std::filesystem::path& file, std::string_view bytes) {
    namespace fs = std::filesystem;
    fs::path target(file);
    std::error_code ec;
    if (fs::is_symlink(target, ec)) {
        auto resolved = fs::weakly_canonical(target, ec);
        if (!ec) target = resolved;
    }
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";

    std::random_device random;
    UniqueFd fd;
    fs::path temp;
    for (int attempt = 0; attempt < 16 && !fd; ++attempt) {
        std::array<char, 48> suffix{};
        std::snprintf(suffix.data(), suffix.size(), ".tmp-%ld-%08x", static_cast<long>(::getpid()),
                      static_cast<unsigned>(random()));
        std::string name = target.filename().string();
        name.insert(0, 1, '.');
        name.append(suffix.data());
        temp = dir / name;
        fd.adopt(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd && errno != EEXIST) break;
    }
    if (!fd) return failed(ReplaceStep::CreateTemp, errno);

    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        (void)::fchmod(fd.get(), old.st_mode & 07777);

    bool ok = write_all(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    int error = ok ? 0 : errno;
    if (!fd.reset() && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return failed(ReplaceStep::Write, error);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
        ::unlink(temp.c_str());
        return failed(ReplaceStep::Rename, error);
    }
    // The new name is only durable once the folder is synced; a file system
    // that cannot sync a folder still holds the complete new file.
    UniqueFd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir_fd) (void)::fsync(dir_fd.get());
    return {};
}

}  // namespace tess

// Small helpers shared by the test programs.
#pragma once

#include <filesystem>
#include <string>

namespace tess::test {

// A fresh directory under the system's temporary directory, removed again
// when the object goes. With chdir set, the process works in it meanwhile
// (tessaron takes all its files from the working directory).
class TempDir {
  public:
    explicit TempDir(bool chdir = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
    std::filesystem::path old_cwd_;
    bool chdir_;
};

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);
// Text with "\n" turned into CR LF, for writing INI fixtures.
std::string crlf(const std::string& text);
// The messages of a tessaron.log without their "MM/DD hh:mm:ss | "
// prefixes, one per line, CR LF back to "\n".
std::string log_messages(const std::filesystem::path& log_file);
// The project's own files (data/, docs/).
std::filesystem::path source_dir();

}  // namespace tess::test

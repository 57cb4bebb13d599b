#include "support/test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace tess::test {

TempDir::TempDir(bool chdir) : chdir_(chdir) {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("tessaron-test-" + std::to_string(rd()) + std::to_string(attempt));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            break;
        }
    }
    if (path_.empty()) throw std::runtime_error("cannot create a temporary directory");
    if (chdir_) {
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    if (chdir_) std::filesystem::current_path(old_cwd_, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string crlf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string log_messages(const std::filesystem::path& log_file) {
    const std::string text = read_file(log_file);
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (line.find(" | ") == 14) line.erase(0, 17);
        out += line + "\n";
        pos = end + 2;
    }
    return out;
}

std::filesystem::path source_dir() {
    return TESSARON_SOURCE_DIR;
}

}  // namespace tess::test

#include "core/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <new>
#include <random>

#include "core/atomic_file.h"
#include "core/text.h"
#include "core/unique_fd.h"

namespace tess {

namespace {

constexpr std::string_view kCrLf = "\r\n";
// Longest value text that fits the value buffer with its terminating zero.
constexpr std::size_t kMaxValueLen = kConfigBufferSize - 1;
// Longest section name handed out by config_section_name (a 50-character
// field with its terminating zero).
constexpr std::size_t kSectionNameLen = 49;

enum class ReadStatus {
    Ok,        // the image holds the file
    Missing,   // no such file
    TooSmall,  // fewer than 4 bytes: counts as missing
    Failed,    // the file is there but could not be read
};

// config_read_file: reads the whole file into image.
ReadStatus read_image(DebugLog& log, const std::string& path, std::string& image) {
    image.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        const int err = errno;
        debug_log(log, "CONFIGFILE: Can't open %s for read\n", path);
        return err == ENOENT || err == ENOTDIR ? ReadStatus::Missing : ReadStatus::Failed;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        debug_log(log, "CONFIGFILE: Can't stat %s\n", path);
        return ReadStatus::Failed;
    }
    if (S_ISDIR(st.st_mode)) {
        debug_log(log, "CONFIGFILE: Can't open %s for read\n", path);
        return ReadStatus::Failed;
    }
    if (st.st_size < 4) return ReadStatus::TooSmall;
    const auto size = static_cast<std::size_t>(st.st_size);
    try {
        image.resize(size);
    } catch (const std::exception&) {
        debug_log(log, "CONFIGFILE: Can't allocate memory\n");
        image.clear();
        return ReadStatus::Failed;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd.get(), image.data() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            debug_log(log, "CONFIGFILE: Can't read from %s\n", path);
            image.clear();
            return ReadStatus::Failed;
        }
        done += static_cast<std::size_t>(n);
    }
    return ReadStatus::Ok;
}

// config_find_section: the position just after the header "[name]" CR LF,
// wherever it stands in the image.
std::optional<std::size_t> find_section(std::string_view image, std::string_view section) {
    if (section.size() + 4 > kConfigBufferSize) return std::nullopt;
    std::string pattern;
    pattern.reserve(section.size() + 4);
    pattern += '[';
    pattern += section;
    pattern += ']';
    pattern += kCrLf;
    const auto pos = image.find(pattern);
    if (pos == std::string_view::npos) return std::nullopt;
    return pos + pattern.size();
}

// config_find_key: the position of the key's value inside its section.
std::optional<std::size_t> find_key(std::string_view image, std::string_view section,
                                    std::string_view key) {
    if (key.size() + 1 > kConfigBufferSize) return std::nullopt;
    const auto body = find_section(image, section);
    if (!body) return std::nullopt;

    std::string pattern(key);
    pattern += '=';
    // The key must start a line; a hit inside a longer key is searched past
    // twice, and the third hit is taken as it is.
    auto hit = image.find(pattern, *body);
    for (int attempt = 0; attempt < 2 && hit != std::string_view::npos; ++attempt) {
        if (image[hit - 1] == '\n') break;
        hit = image.find(pattern, hit + 1);
    }
    if (hit == std::string_view::npos) return std::nullopt;

    // A "[" between the body's first character and the hit ends the section.
    if (*body + 1 < image.size()) {
        const auto bracket = image.find('[', *body + 1);
        if (bracket != std::string_view::npos && bracket < hit) return std::nullopt;
    }
    return hit + pattern.size();
}

bool names_fit(std::string_view section, std::string_view key) {
    return section.size() + 4 <= kConfigBufferSize && key.size() + 1 <= kConfigBufferSize;
}

// Finds the value of key for config_read. Returns 1 and the value, 0 when
// it is not there; a value that would not fit the buffer is refused.
int read_value(DebugLog& log, const std::string& path, std::string_view section,
               std::string_view key, bool want_value, std::string_view& value, std::string& image) {
    if (read_image(log, path, image) != ReadStatus::Ok) return 0;
    const auto start = find_key(image, section, key);
    if (!start) return 0;
    if (!want_value) return 1;
    const auto end = std::string_view(image).find(kCrLf, *start);
    if (end == std::string_view::npos) return 0;
    if (end - *start > kMaxValueLen) {
        debug_log(log, "CONFIGFILE: Value of %s in [%s] of %s is longer than 499 characters\n", key,
                  section, path);
        return 0;
    }
    value = std::string_view(image).substr(*start, end - *start);
    return 1;
}

// Replaces the file at path with bytes (see core/atomic_file.h); a failure
// leaves the old file as it was and is logged.
bool replace_file(DebugLog& log, const std::string& path, std::string_view bytes) {
    const ReplaceResult result = replace_file_atomically(path, bytes);
    if (result.step == ReplaceStep::Write)
        debug_log(log, "CONFIGFILE: Write error\n");
    else if (!result)
        debug_log(log, "CONFIGFILE: Can't open %s for write\n", path);
    return static_cast<bool>(result);
}

int write_value(DebugLog& log, const std::string& path, std::string_view section,
                std::string_view key, std::string_view value) {
    if (!names_fit(section, key)) {
        // Such a key could never be found again; every save would add it anew.
        debug_log(log, "CONFIGFILE: Section %s or key %s is too long for %s\n", section, key, path);
        return 0;
    }
    if (value.size() > kMaxValueLen) {
        debug_log(log, "CONFIGFILE: Value of %s in [%s] of %s is longer than 499 characters\n", key,
                  section, path);
        return 0;
    }

    std::string image;
    const ReadStatus status = read_image(log, path, image);
    if (status == ReadStatus::Failed) {
        // Writing now would replace a file we could not read by one value.
        debug_log(log, "CONFIGFILE: Not writing %s, its contents could not be read\n", path);
        return 0;
    }
    const std::string_view img(image);

    std::string out;
    out.reserve(image.size() + section.size() + key.size() + value.size() + 16);
    if (const auto start = find_key(img, section, key)) {
        out.append(img.substr(0, *start));
        out.append(value);
        out.append(kCrLf);
        const auto end = img.find(kCrLf, *start);
        if (end != std::string_view::npos) out.append(img.substr(end + kCrLf.size()));
    } else if (const auto body = find_section(img, section)) {
        out.append(img.substr(0, *body));
        out.append(key);
        out += '=';
        out.append(value);
        out.append(kCrLf);
        out.append(img.substr(*body));
    } else {
        out.append(img);
        out.append(kCrLf);
        out += '[';
        out.append(section);
        out += ']';
        out.append(kCrLf);
        out.append(key);
        out += '=';
        out.append(value);
        out.append(kCrLf);
    }
    return replace_file(log, path, out) ? 1 : 0;
}

bool is_digit_in_base(char c, int base, int& digit) {
    if (c >= '0' && c <= '9')
        digit = c - '0';
    else if (c >= 'a' && c <= 'z')
        digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z')
        digit = c - 'A' + 10;
    else
        return false;
    return digit < base;
}

}  // namespace

int32_t config_parse_int(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    int digit = 0;
    if (i < text.size() && text[i] == '0') {
        // "0x" counts as a prefix only when a hexadecimal digit follows it;
        // otherwise the "0" alone is the number.
        if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
            is_digit_in_base(text[i + 2], 16, digit)) {
            base = 16;
            i += 2;
        } else {
            base = 8;
        }
    }
    // Accumulate with a bound just past the 32-bit range, then clamp.
    constexpr int64_t kLimit = int64_t{1} << 32;
    int64_t value = 0;
    for (; i < text.size() && is_digit_in_base(text[i], base, digit); ++i) {
        value = value * base + digit;
        if (value > kLimit) value = kLimit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

int config_read(DebugLog& log, const std::string& path, std::string_view section,
                std::string_view key) {
    std::string image;
    std::string_view value;
    return read_value(log, path, section, key, false, value, image);
}

int config_read(DebugLog& log, const std::string& path, std::string_view section,
                std::string_view key, int32_t* dest) {
    std::string image;
    std::string_view value;
    if (!read_value(log, path, section, key, dest != nullptr, value, image)) return 0;
    if (dest) *dest = config_parse_int(value);
    return 1;
}

int config_read(DebugLog& log, const std::string& path, std::string_view section,
                std::string_view key, uint8_t* dest) {
    std::string image;
    std::string_view value;
    if (!read_value(log, path, section, key, dest != nullptr, value, image)) return 0;
    if (dest) *dest = static_cast<uint8_t>(static_cast<uint32_t>(config_parse_int(value)) & 0xFF);
    return 1;
}

int config_read(DebugLog& log, const std::string& path, std::string_view section,
                std::string_view key, TextDest dest) {
    std::string image;
    std::string_view value;
    if (!read_value(log, path, section, key, dest.text != nullptr, value, image)) return 0;
    if (dest.text) *dest.text = bounded(value, dest.max_chars);
    return 1;
}

int config_write(DebugLog& log, const std::string& path, std::string_view section,
                 std::string_view key, int32_t value) {
    return write_value(log, path, section, key, std::to_string(value));
}

int config_write(DebugLog& log, const std::string& path, std::string_view section,
                 std::string_view key, uint8_t value) {
    return write_value(log, path, section, key, std::to_string(static_cast<unsigned>(value)));
}

int config_write(DebugLog& log, const std::string& path, std::string_view section,
                 std::string_view key, std::string_view value) {
    return write_value(log, path, section, key, value);
}

// Every "[" of the file counts as the start of a section, also one inside a
// value. Names are cut to 49 characters (the width of a board name). A "["
// with no "]" anywhere after it names nothing: it and every later bracket
// give 0, so an enumeration ends there.
int config_section_name(DebugLog& log, const std::string& path, std::string& dest, int index) {
    if (index < 0) return 0;
    std::string image;
    if (read_image(log, path, image) != ReadStatus::Ok) return 0;
    int seen = 0;
    for (std::size_t i = 0; i + 1 < image.size(); ++i) {
        if (image[i] != '[') continue;
        if (seen++ != index) continue;
        const auto close = image.find(']', i + 1);
        if (close == std::string::npos) return 0;
        dest = image.substr(i + 1, std::min(close - (i + 1), kSectionNameLen));
        return 1;
    }
    return 0;
}

int config_truncate(DebugLog& log, const std::string& path) {
    return replace_file(log, path, {}) ? 0 : -1;
}

std::optional<std::string> config_field(DebugLog& log, std::string_view text, int index,
                                        char separator) {
    if (index < 0) return std::nullopt;
    if (index == 0) {
        const auto sep = text.find(separator);
        return std::string(text.substr(0, sep));
    }
    // Each step begins one character after the current position: first the
    // text's start (so field 0 must not be empty), then the separator that
    // ended the previous field.
    std::size_t position = 0;
    std::size_t field_start = 0;
    std::size_t field_end = std::string_view::npos;
    int steps = 0;
    while (steps <= index) {
        if (position + 1 >= text.size()) {
            debug_log(log, "config: Invalid string %s\n", text.substr(field_start));
            return std::nullopt;
        }
        field_start = position + 1;
        field_end = text.find(separator, field_start);
        ++steps;
        if (field_end == std::string_view::npos) break;
        position = field_end;
    }
    if (steps < index + 1) return std::nullopt;
    return std::string(text.substr(field_start, field_end == std::string_view::npos
                                                    ? std::string_view::npos
                                                    : field_end - field_start));
}

}  // namespace tess

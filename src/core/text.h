// Bounded text helpers: the records keep fixed field widths (names of 20 or
// 30 characters, descriptions of 100) and compare names on a fixed number of
// characters, exactly and case-sensitively.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tess {

// A copy of at most max_chars characters (the field width less its zero).
inline std::string bounded(std::string_view text, std::size_t max_chars) {
    return std::string(text.substr(0, max_chars));
}

// strncmp(a, b, n) == 0 for texts that carry no zero bytes.
inline bool equal_n(std::string_view a, std::string_view b, std::size_t n) {
    return a.substr(0, n) == b.substr(0, n);
}

}  // namespace tess

// A simulated board on the virtual clock with its port trace recorded.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/sim_board.h"
#include "support/test_support.h"

namespace tess::test {

struct TracedBoard {
    explicit TracedBoard(const std::string& toml = sim::SimBoard::default_profile()) {
        std::string error;
        board = sim::SimBoard::from_toml(toml, &error);
        if (!board) throw std::runtime_error("board: " + error);
        board->set_virtual_clock(true);
        board->set_trace_sink([this](std::string_view line) { trace.emplace_back(line); });
    }
    TracedBoard(const TracedBoard&) = delete;
    TracedBoard& operator=(const TracedBoard&) = delete;

    // The trace since the last call, emptied.
    std::vector<std::string> take() {
        auto lines = std::move(trace);
        trace.clear();
        return lines;
    }

    std::unique_ptr<sim::SimBoard> board;
    std::vector<std::string> trace;
};

// A shipped INI file (CR LF lines) as sections of keys, for checks of the data.
struct IniSection {
    std::map<std::string, std::string> keys;
    std::vector<std::string> order;
};

inline std::map<std::string, IniSection> read_ini(const std::filesystem::path& file) {
    const std::string text = read_file(file);
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << file << ": bare LF";
        }
    std::map<std::string, IniSection> out;
    std::string section;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 2;
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            out[section];
        } else if (auto eq = line.find('='); eq != std::string::npos) {
            out[section].keys[line.substr(0, eq)] = line.substr(eq + 1);
            out[section].order.push_back(line.substr(0, eq));
        }
    }
    return out;
}

inline std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::stringstream in(s);
    std::string part;
    while (std::getline(in, part, sep)) parts.push_back(part);
    return parts;
}

}  // namespace tess::test

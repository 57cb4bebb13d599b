// A simulated board behind the drivers, with its port trace recorded, a
// debug log in a temporary directory and the two registry lists.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "core/control.h"
#include "core/debug_log.h"
#include "core/list.h"
#include "sim/sim_board.h"
#include "support/test_support.h"

namespace tess::test {

// One hardware event decoded from the trace.
struct Event {
    enum class Kind { ConfigWrite, ConfigRead, PortWrite, PortRead, Sleep } kind;
    uint32_t where = 0;  // pci_addr code for config accesses, port otherwise
    uint32_t value = 0;  // value, or milliseconds for a sleep
    bool operator==(const Event&) const = default;
};

// The pci_addr code of a configuration address written to 0xCF8.
inline uint32_t pci_addr_of(uint32_t config_address) {
    const uint32_t bus = (config_address >> 16) & 0xFF;
    const uint32_t device = (config_address >> 11) & 0x1F;
    const uint32_t function = (config_address >> 8) & 0x07;
    return bus << 24 | device << 16 | function << 8 | (config_address & 0xFC);
}

class Rig {
  public:
    explicit Rig(const std::string& profile = sim::SimBoard::default_profile())
        : log_(dir_.path() / "tessaron.log") {
        std::string error;
        board_ = sim::SimBoard::from_toml(profile, &error);
        if (!board_) throw std::runtime_error("board profile rejected: " + error);
        board_->set_virtual_clock(true);
        board_->set_trace_sink([this](std::string_view line) { trace_.emplace_back(line); });
    }

    sim::SimBoard& board() { return *board_; }
    DebugLog& log() { return log_; }
    List<Driver>* drivers() { return &drivers_; }
    List<Control>* controls() { return &controls_; }
    const TempDir& dir() const { return dir_; }

    std::string log_text() const { return read_file(dir_.path() / "tessaron.log"); }
    // Log lines without their time prefix, CR LF ends turned back into "\n".
    std::vector<std::string> log_lines() const {
        std::vector<std::string> lines;
        const std::string text = log_text();
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find("\r\n", pos);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(pos, end - pos);
            const std::size_t bar = line.find(" | ");
            lines.push_back(bar == std::string::npos ? line : line.substr(bar + 3));
            pos = end + 2;
        }
        return lines;
    }
    bool logged(std::string_view line) const {
        for (const auto& l : log_lines())
            if (l == line) return true;
        return false;
    }
    std::size_t log_count(std::string_view line) const {
        std::size_t n = 0;
        for (const auto& l : log_lines()) n += (l == line);
        return n;
    }

    const std::vector<std::string>& trace() const { return trace_; }
    void clear_trace() { trace_.clear(); }

    // The trace decoded into configuration accesses, other port accesses and
    // sleeps.
    std::vector<Event> events() const {
        std::vector<Event> out;
        uint32_t address = 0;
        for (const std::string& line : trace_) {
            char op[8] = {};
            unsigned port = 0;
            unsigned long value = 0;
            if (std::sscanf(line.c_str(), "sleep %lu", &value) == 1) {
                out.push_back({Event::Kind::Sleep, 0, static_cast<uint32_t>(value)});
                continue;
            }
            if (std::sscanf(line.c_str(), "%7s 0x%x 0x%lx", op, &port, &value) != 3) continue;
            const std::string_view kind(op);
            const bool write = kind.starts_with("out");
            if (port == 0xCF8) {
                if (write) address = static_cast<uint32_t>(value);
                continue;
            }
            if (port == 0xCFC) {
                out.push_back({write ? Event::Kind::ConfigWrite : Event::Kind::ConfigRead,
                               pci_addr_of(address), static_cast<uint32_t>(value)});
                continue;
            }
            out.push_back({write ? Event::Kind::PortWrite : Event::Kind::PortRead, port,
                           static_cast<uint32_t>(value)});
        }
        return out;
    }

    std::vector<Event> config_writes(uint32_t pci_addr) const {
        std::vector<Event> out;
        for (const Event& e : events())
            if (e.kind == Event::Kind::ConfigWrite && e.where == pci_addr) out.push_back(e);
        return out;
    }

    std::vector<uint32_t> sleeps() const {
        std::vector<uint32_t> out;
        for (const Event& e : events())
            if (e.kind == Event::Kind::Sleep) out.push_back(e.value);
        return out;
    }

    // The PLL words loaded, in order: each load is 0 written to 0xA0 and the
    // word written 64 times to 0xA4.
    std::vector<uint32_t> pll_loads() const {
        std::vector<uint32_t> loads;
        const auto ev = events();
        for (std::size_t i = 0; i < ev.size(); ++i) {
            if (ev[i].kind != Event::Kind::ConfigWrite || ev[i].where != 0xA0 || ev[i].value != 0)
                continue;
            std::size_t j = i + 1;
            std::size_t count = 0;
            uint32_t word = 0;
            for (; j < ev.size() && ev[j].kind == Event::Kind::ConfigWrite && ev[j].where == 0xA4;
                 ++j, ++count)
                word = ev[j].value;
            EXPECT_EQ(count, 64u) << "a PLL load writes its word 64 times";
            loads.push_back(word);
            i = j - 1;
        }
        return loads;
    }

    // SMBus byte transactions of the simulated board's hosts (bases 0x5000
    // and 0x5100), decoded from the writes before each protocol byte.
    struct Transaction {
        int bus;
        bool write;
        uint8_t address;  // 7-bit
        uint8_t reg;
        uint8_t value;  // written byte (writes only)
        bool operator==(const Transaction&) const = default;
    };
    std::vector<Transaction> smbus_transactions() const {
        std::vector<Transaction> out;
        std::array<std::array<uint8_t, 8>, 2> regs{};
        for (const Event& e : events()) {
            if (e.kind != Event::Kind::PortWrite) continue;
            const int bus = e.where >= 0x5000 && e.where < 0x5008   ? 0
                            : e.where >= 0x5100 && e.where < 0x5108 ? 1
                                                                    : -1;
            if (bus < 0) continue;
            const auto offset = e.where & 0x7;
            regs[bus][offset] = static_cast<uint8_t>(e.value);
            if (offset != 0) continue;
            const bool write = e.value == 6;
            out.push_back({bus, write, static_cast<uint8_t>(regs[bus][2] >> 1), regs[bus][3],
                           write ? regs[bus][4] : uint8_t{0}});
        }
        return out;
    }
    std::vector<Transaction> smbus_writes() const {
        std::vector<Transaction> out;
        for (const auto& t : smbus_transactions())
            if (t.write) out.push_back(t);
        return out;
    }

    Control* control(const char* name, const char* driver = nullptr) {
        return control_get(log_, &controls_, name, driver);
    }
    uint32_t get(const char* name, const char* driver = nullptr) {
        return control_get_val(log_, control(name, driver), &drivers_);
    }
    int32_t set(const char* name, int32_t value, const char* driver = nullptr) {
        return control_set_val(log_, control(name, driver), &drivers_, value);
    }

  private:
    TempDir dir_;
    DebugLog log_;
    std::unique_ptr<sim::SimBoard> board_;
    std::vector<std::string> trace_;
    List<Driver> drivers_;
    List<Control> controls_;
};

// The profile text with one line replaced (the first line that starts with
// `from`); fails the test when there is none.
inline std::string edit_profile(std::string text, std::string_view from, std::string_view to) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        if (std::string_view(text).substr(pos, end - pos).starts_with(from)) {
            text.replace(pos, end - pos, to);
            return text;
        }
        pos = end + 1;
    }
    ADD_FAILURE() << "profile has no line starting with " << from;
    return text;
}

}  // namespace tess::test

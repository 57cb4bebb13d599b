// The application without widgets: a recording front end, a simulated board
// on a virtual clock with its port trace, and a working directory holding the
// shipped boards.ini and controls.ini.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/app.h"
#include "app/backend.h"
#include "app/frontend.h"
#include "sim/sim_board.h"
#include "support/test_support.h"

namespace tess::test {

inline constexpr const char* kAtxp1Board = "Simulated nForce2 ATXP1";
inline constexpr const char* kSmiBoard = "Simulated nForce2 SMI";

// Records what the application shows; answers like a window whose widgets
// keep what they were shown.
class FakeFrontend : public Frontend {
  public:
    bool is_headless = false;
    std::vector<std::string> boxes;
    std::vector<std::string> outputs;
    // Status and progress texts in the order shown; progress prefixed "~".
    std::vector<std::string> status;
    std::string caption = "tessaron";
    std::vector<std::string> board_names;
    int board_selected = -2;
    std::vector<std::string> driver_names;
    int driver_selected = -2;
    bool only_settings = false;
    SettingsView view;
    bool autofsb = false;
    int fills = 0;
    int refreshes = 0;
    bool sensor_timer = false;
    bool timers_stopped = false;
    bool minimized = false;

    bool headless() const override { return is_headless; }
    void message_box(const std::string& text) override { boxes.push_back(text); }
    void write_output(const std::string& text) override { outputs.push_back(text); }
    void status_text(const std::string& text) override { status.push_back(text); }
    void progress_text(const std::string& text) override { status.push_back("~" + text); }
    void set_caption(const std::string& text) override { caption = text; }
    void show_board_list(const std::vector<std::string>& names, int selected) override {
        board_names = names;
        board_selected = selected;
    }
    void show_driver_list(const std::vector<std::string>& names, int selected) override {
        driver_names = names;
        driver_selected = selected;
    }
    void show_only_settings() override { only_settings = true; }
    SettingsView settings_view() const override {
        SettingsView v = view;
        v.autofsb = autofsb;
        return v;
    }
    void show_settings(const SettingsView& v) override { view = v; }
    void set_autofsb_checked(bool on) override { autofsb = on; }
    void fill_pages(bool) override { ++fills; }
    void refresh_after_apply(ApplySender) override { ++refreshes; }
    bool show_tray_icon() override { return false; }
    void minimize_to_tray() override { minimized = true; }
    void set_sensor_timer_enabled(bool on) override { sensor_timer = on; }
    void stop_timers() override {
        timers_stopped = true;
        sensor_timer = false;
    }

    std::size_t count_progress(std::string_view prefix) const {
        std::size_t n = 0;
        for (const auto& s : status) n += s.starts_with("~" + std::string(prefix));
        return n;
    }
};

// A configuration write decoded from the trace: pci_addr code and value.
struct ConfigWrite {
    uint32_t pci_addr;
    uint32_t value;
};

class AppTest : public ::testing::Test {
  protected:
    TempDir dir{true};
    FakeFrontend fe;
    std::vector<std::string> trace;
    sim::SimBoard* board = nullptr;  // owned by the back end
    std::unique_ptr<Backend> backend;
    std::unique_ptr<App> app;
    App::Outcome outcome = App::Outcome::Exit;

    void SetUp() override {
        copy_data("boards.ini");
        copy_data("controls.ini");
    }

    void copy_data(const std::string& name) {
        std::filesystem::copy_file(source_dir() / "data" / name, dir.path() / name,
                                   std::filesystem::copy_options::overwrite_existing);
    }

    // The board the application will run on (default: the ATXP1 profile).
    sim::SimBoard& make_board(const std::string& toml = sim::SimBoard::default_profile()) {
        std::string error;
        auto made = sim::SimBoard::from_toml(toml, &error);
        if (!made) throw std::runtime_error("profile rejected: " + error);
        made->set_virtual_clock(true);
        made->set_trace_sink([this](std::string_view line) { trace.emplace_back(line); });
        board = made.get();
        backend = Backend::simulated(std::move(made));
        return *board;
    }

    AppOptions options(std::vector<std::string> args = {}) const {
        AppOptions o;
        o.args = std::move(args);
        o.instance_dir = dir.path() / "registry";
        return o;
    }

    App& start(std::vector<std::string> args = {}) {
        if (!backend) make_board();
        app = std::make_unique<App>(fe, *backend, options(std::move(args)));
        outcome = app->start();
        return *app;
    }

    void write_config(const std::string& text) {
        write_file(dir.path() / "config.ini", crlf(text));
    }
    std::string config() const { return read_file(dir.path() / "config.ini"); }

    // Log lines without their time prefix.
    std::vector<std::string> log_lines() const {
        std::vector<std::string> lines;
        const std::string text = read_file(dir.path() / "tessaron.log");
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(pos, end - pos);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const std::size_t bar = line.find(" | ");
            lines.push_back(bar == std::string::npos ? line : line.substr(bar + 3));
            pos = end + 1;
        }
        return lines;
    }
    bool logged(std::string_view line) const {
        for (const auto& l : log_lines())
            if (l == line) return true;
        return false;
    }
    // Position of the first log line equal to line; -1 when absent.
    long log_index(std::string_view line) const {
        const auto lines = log_lines();
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == line) return static_cast<long>(i);
        return -1;
    }

    std::vector<ConfigWrite> config_writes() const {
        std::vector<ConfigWrite> out;
        uint32_t address = 0;
        for (const std::string& line : trace) {
            char op[8] = {};
            unsigned port = 0;
            unsigned long value = 0;
            if (std::sscanf(line.c_str(), "%7s 0x%x 0x%lx", op, &port, &value) != 3) continue;
            if (std::string_view(op) != "out32") continue;
            if (port == 0xCF8) address = static_cast<uint32_t>(value);
            if (port != 0xCFC) continue;
            const uint32_t code = ((address >> 16) & 0xFF) << 24 | ((address >> 11) & 0x1F) << 16 |
                                  ((address >> 8) & 0x07) << 8 | (address & 0xFC);
            out.push_back({code, static_cast<uint32_t>(value)});
        }
        return out;
    }
    // PLL loads: 0 written to host-bridge register 0xA0.
    std::size_t pll_loads() const {
        std::size_t n = 0;
        for (const auto& w : config_writes()) n += (w.pci_addr == 0xA0 && w.value == 0);
        return n;
    }
    // Every port write of the trace (configuration and SMBus alike).
    std::size_t port_writes() const {
        std::size_t n = 0;
        for (const auto& line : trace) n += line.starts_with("out");
        return n;
    }

    int32_t var(const char* name, const char* slot) const {
        return var_get(app->state().control_vars, name, slot);
    }
    void set_newval(const char* name, int32_t value) {
        var_set(app->log(), app->state().control_vars, name, "newval", value);
    }
};

}  // namespace tess::test

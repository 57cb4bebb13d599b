// The main window on the offscreen platform, started on the simulated board
// (virtual clock) in a working directory of its own that holds the shipped
// boards.ini and controls.ini, with the prompt seam recording instead of
// showing dialogs. Widgets are reached by their names, as the user sees them.
#pragma once

#include <QString>
#include <QWidget>
#include <QtGlobal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/backend.h"
#include "core/variable.h"
#include "sim/sim_board.h"
#include "support/test_support.h"
#include "ui/prompts.h"
#include "ui/tmain.h"

namespace tess::test {

inline constexpr const char* kAtxp1Board = "Simulated nForce2 ATXP1";
inline constexpr const char* kSmiBoard = "Simulated nForce2 SMI";

class RecordingPrompts : public Prompts {
  public:
    RecordingPrompts() : Prompts(false) {}
    void message_box(QWidget*, const std::string& text) override { boxes.push_back(text); }
    std::vector<std::string> boxes;
};

struct SessionOptions {
    std::string config;    // config.ini (LF line ends become CR LF)
    std::string controls;  // replaces the shipped controls.ini when set
    // Runs on the simulated board before the window starts.
    std::function<void(sim::SimBoard&)> setup;

    SessionOptions& with_config(std::string text) {
        config = std::move(text);
        return *this;
    }
    SessionOptions& with_controls(std::string text) {
        controls = std::move(text);
        return *this;
    }
    SessionOptions& with_setup(std::function<void(sim::SimBoard&)> function) {
        setup = std::move(function);
        return *this;
    }
};

class Session {
  public:
    explicit Session(const SessionOptions& options = {}) {
        for (const char* name : {"boards.ini", "controls.ini"})
            std::filesystem::copy_file(source_dir() / "data" / name, dir.path() / name);
        if (!options.controls.empty())
            write_file(dir.path() / "controls.ini", crlf(options.controls));
        if (!options.config.empty()) write_file(dir.path() / "config.ini", crlf(options.config));
        auto sim = sim::SimBoard::from_toml(sim::SimBoard::default_profile(), nullptr);
        sim->set_virtual_clock(true);
        if (options.setup) options.setup(*sim);
        backend = Backend::simulated(std::move(sim));
        AppOptions app_options;
        app_options.instance_dir = dir.path() / "registry";
        window = std::make_unique<TMain>(*backend, prompts, app_options);
    }
    ~Session() { window.reset(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    sim::SimBoard& board() const { return *backend->sim_board(); }
    App& app() const { return window->app(); }

    // The widget of that name; a missing one ends the test program.
    template <typename T>
    T* widget(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        if (!found) qFatal("no widget %s", name);
        return found;
    }

    int32_t var(std::string_view name, std::string_view slot) const {
        return var_get(window->app().state().control_vars, name, slot);
    }
    std::string file(const char* name) const { return read_file(dir.path() / name); }
    std::string config() const { return file("config.ini"); }
    std::string log() const { return file("tessaron.log"); }
    // Log lines are written with CR LF; "\n" in the text stands for that.
    bool logged(std::string_view text) const { return count_logged(text) > 0; }
    std::size_t count_logged(std::string_view text) const {
        const std::string all = log();
        const std::string wanted = crlf(std::string(text));
        std::size_t n = 0;
        for (auto at = all.find(wanted); at != std::string::npos; at = all.find(wanted, at + 1))
            ++n;
        return n;
    }

    // Counts the port accesses of the simulated board from now on.
    void count_accesses() {
        accesses = 0;
        board().set_trace_sink([this](std::string_view line) {
            if (line.rfind("sleep", 0) != 0) ++accesses;
        });
    }

    TempDir dir{true};
    RecordingPrompts prompts;
    std::unique_ptr<Backend> backend;
    std::unique_ptr<TMain> window;
    int accesses = 0;
};

}  // namespace tess::test

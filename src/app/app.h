// The application: start-up and shut-down, the apply engine and the command
// line. It owns the application state, the debug log and the drivers, and
// talks to its window only through the Frontend interface, so all of it runs
// (and is tested) without widgets.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/app_state.h"
#include "app/frontend.h"
#include "core/debug_log.h"

namespace tess {

class Backend;
class Nforce2Smbus;
class Atxp1;
class Smi;
class Nforce2;
class CpuLoad;
class Tools;
class InstanceRegistration;

// Process exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitStartFailed = 1;
// A "-s" that had no name or value, named no control, or whose value could
// not be written.
inline constexpr int kExitSetFailed = 2;

// Where the application finds its outside world.
struct AppOptions {
    std::vector<std::string> args;  // command line without the program name
    std::string log_path = "tessaron.log";
    // The registry of running instances' captions; empty: the user's own.
    std::filesystem::path instance_dir;
};

class App {
  public:
    // How the start-up ended.
    enum class Outcome {
        Running,       // a board was chosen and everything started
        SettingsOnly,  // no board: only the Settings page is offered
        Exit,          // the process ends with exit_code()
    };

    App(Frontend& frontend, Backend& backend, AppOptions options);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    // The start-up sequence (the main window's construction).
    Outcome start();

    // Start-up steps, also run again by the Settings page and resume.
    int choose_board();
    void run_startup(bool first_run);
    void start_drivers();
    void init_values(bool first_run);
    void fill_pages(bool first_run);

    // The apply engine: writes every control whose "newval" differs from
    // its "current", the FSB first when it goes down, last when it goes up.
    void apply(ApplySender sender);
    void apply_controls();
    void apply_fsb();

    // The command line: the number of "-s" options taken.
    int parse_command_line();

    // Settings page.
    void set_board(const std::string& board_name);
    void driver_change(int index);
    void save_settings();

    // The main window is closing: timers off, settings saved, lists freed.
    // Runs once; later calls do nothing.
    void close();

    // Set when the process must end now (start-up failure, command line).
    std::optional<int> exit_code() const { return exit_code_; }

    AppState& state() { return state_; }
    const AppState& state() const { return state_; }
    DebugLog& log() { return log_; }
    Backend& backend() { return backend_; }
    // The voltage driver chosen on the Settings page ("" when none).
    const std::string& chosen_driver() const { return chosen_driver_; }
    int driver_index() const { return driver_index_; }
    const std::vector<std::string>& driver_names() const { return driver_names_; }
    // The window caption start-up chose ("tessaron" until a board is known).
    const std::string& caption() const { return caption_; }
    bool settings_loaded() const { return settings_loaded_; }
    bool closed() const { return closed_; }

    // The drivers (for the pages and for tests).
    Nforce2* nforce2() { return nforce2_.get(); }
    Atxp1* atxp1() { return atxp1_.get(); }

  private:
    void request_exit(int code);
    void set_caption(const std::string& caption);
    void fill_board_list();
    void fill_driver_list();
    SettingsView settings_from_vars() const;
    void free_lists();
    // Whether apply writes this control (its kind, and for voltages the
    // chosen driver).
    bool applies_to(const Control& control) const;
    // After the "-s" values were applied: did each reach its control?
    bool command_values_applied(const std::vector<std::pair<std::string, int32_t>>& values) const;
    void report_write_error(const std::string& name, int32_t value, const std::string& driver_name);

    Frontend& fe_;
    Backend& backend_;
    AppOptions options_;
    DebugLog log_;
    AppState state_;
    std::filesystem::path registry_dir_;
    std::unique_ptr<InstanceRegistration> registration_;  // made with the first caption

    std::unique_ptr<Nforce2Smbus> smbus_;
    std::unique_ptr<Atxp1> atxp1_;
    std::unique_ptr<Smi> smi_;
    std::unique_ptr<Nforce2> nforce2_;
    std::unique_ptr<CpuLoad> cpuload_;
    std::unique_ptr<Tools> tools_;

    // Controls of earlier driver starts: the pages may still point at them
    // until they are filled again, so they live until the lists are freed.
    std::vector<List<Control>> retired_controls_;

    std::vector<std::string> board_names_;   // sorted, as the board list shows them
    std::vector<std::string> driver_names_;  // sorted, as the driver list shows them
    int driver_index_ = -1;
    std::string chosen_driver_;
    std::string values_driver_;  // the driver whose voltages control_vars holds
    std::string caption_ = "tessaron";
    bool settings_loaded_ = false;  // init_values(1) has run for a board
    bool closed_ = false;
    std::optional<int> exit_code_;
};

}  // namespace tess

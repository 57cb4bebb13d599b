#include "app/app.h"

#include <algorithm>
#include <cctype>

#include "app/backend.h"
#include "core/config_file.h"
#include "core/text.h"
#include "hw/atxp1.h"
#include "hw/cpuload.h"
#include "hw/nforce2.h"
#include "hw/nforce2_smbus.h"
#include "hw/smi.h"
#include "hw/tools.h"
#include "os/instance_registry.h"
#include "os/platform.h"
#include "os/proc_stat.h"

namespace tess {

namespace {

constexpr const char* kConfigIni = "config.ini";
constexpr const char* kBoardsIni = "boards.ini";
constexpr std::size_t kBoardKeyLen = 49;
constexpr std::size_t kPort80KeyLen = 39;
// A calculated multiplier above 12.5 replaces the one the chipset reports.
constexpr uint32_t kHighestChipsetMultiplier = 125;

// Order of a sorted list box: case-insensitive, ties broken by the bytes.
bool sorted_before(const std::string& a, const std::string& b) {
    const auto lower = [](unsigned char c) { return static_cast<char>(std::tolower(c)); };
    const auto n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = lower(static_cast<unsigned char>(a[i]));
        const char y = lower(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

int index_of(const std::vector<std::string>& names, const std::string& name) {
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

bool has_var(const List<Variable>& vars, const std::string& name) {
    for (const Variable* var : vars)
        if (equal_n(var->name, name, kVarNameLen)) return true;
    return false;
}

}  // namespace

App::App(Frontend& frontend, Backend& backend, AppOptions options)
    : fe_(frontend),
      backend_(backend),
      options_(std::move(options)),
      log_(options_.log_path),
      registry_dir_(options_.instance_dir.empty() ? default_registry_dir() : options_.instance_dir),
      smbus_(std::make_unique<Nforce2Smbus>(log_, backend.io())),
      atxp1_(std::make_unique<Atxp1>(log_, backend.io())),
      smi_(std::make_unique<Smi>(log_, backend.io())),
      nforce2_(std::make_unique<Nforce2>(log_, backend.io())),
      cpuload_(std::make_unique<CpuLoad>(log_, proc_stat_source())),
      tools_(std::make_unique<Tools>(log_, backend.shutdown_function())) {
    // The walks block the window's thread on purpose; their steps still show.
    auto progress = [this](const std::string& text) { fe_.progress_text(text); };
    nforce2_->set_step_listener(progress);
    atxp1_->set_step_listener(progress);
    state_.version_text = bounded("tessaron " + std::string(kVersion), kVersionTextLen);
}

App::~App() = default;

void App::request_exit(int code) {
    if (!exit_code_) exit_code_ = code;
}

void App::set_caption(const std::string& caption) {
    caption_ = caption;
    fe_.set_caption(caption);
    // A second instance looks for this caption before it starts.
    if (!registration_) registration_ = std::make_unique<InstanceRegistration>(registry_dir_);
    if (!registration_->set_caption(caption))
        debug_log(log_, "TESSARON: Can't publish the window caption in %s\n",
                  registry_dir_.string());
}

App::Outcome App::start() {
    // The instance check comes before the banner: a second instance must not
    // start the running instance's log afresh.
    const bool other_instance = single_instance_running(state_.version_text, registry_dir_) == 1;
    if (other_instance) log_.append_from_start();
    debug_log(log_, "===============================================\n");
    debug_log(log_, "TESSARON: Version %s\n", state_.version_text);
    if (other_instance) {
        debug_log(log_, "TESSARON: Already running! -> Exiting now...\n");
        request_exit(kExitStartFailed);
        return Outcome::Exit;
    }

    if (is_nt_platform()) {
        debug_log(log_, "TESSARON: Linux detected\n");
        debug_log(log_, "TESSARON: Port access through %s\n", backend_.description());
        if (backend_.io_init(log_) != 0) {
            debug_log(log_, "tessaron: io_init() failed\n");
            fe_.message_box("Sorry, IO initialization failed. Check tessaron.log for more.");
            request_exit(kExitStartFailed);
            return Outcome::Exit;
        }
        fe_.status_text("Port access successfully initialized.");
    } else {
        debug_log(log_, "TESSARON: Windows 9x/ME detected\n");
    }

    state_.current_board = nullptr;
    state_.boards.init();
    if (board_load(log_, kBoardsIni, state_.boards) != 0) {
        debug_log(log_, "tessaron: Loading of boards.ini failed\n");
        fe_.message_box("Sorry, loading of boards.ini failed\n");
        request_exit(kExitStartFailed);
        return Outcome::Exit;
    }
    if (state_.boards.empty()) {
        debug_log(log_, "tessaron: No boards found!\n");
        fe_.message_box("Sorry, no boards found in boards.ini");
        request_exit(kExitStartFailed);
        return Outcome::Exit;
    }

    fill_board_list();

    if (choose_board() != 0) {
        fe_.show_only_settings();
        return Outcome::SettingsOnly;
    }
    run_startup(true);
    return exit_code_ ? Outcome::Exit : Outcome::Running;
}

void App::fill_board_list() {
    board_names_.clear();
    for (const Board* board : state_.boards) board_names_.push_back(board->name);
    std::stable_sort(board_names_.begin(), board_names_.end(), sorted_before);
    int selected = board_names_.empty() ? -1 : 0;
    if (state_.current_board) selected = index_of(board_names_, state_.current_board->name);
    fe_.show_board_list(board_names_, selected);
}

int App::choose_board() {
    state_.smi_info = SmiInfo{};
    if (smi_->smi_init(&state_.smi_info) == 1)
        debug_log(log_, "TESSARON: SMI interface available\n");

    std::string wanted;
    if (config_read(log_, kConfigIni, "Main", "Board", TextDest{&wanted, kBoardKeyLen}) == 1) {
        state_.current_board = nullptr;
        for (Board* board : state_.boards) {
            if (board->name == wanted) {
                state_.current_board = board;
                break;
            }
        }
    } else {
        state_.current_board =
            board_find(state_.boards, state_.smi_info.vendor_number(), state_.smi_info.board_name,
                       state_.smi_info.board_version());
    }
    if (!state_.current_board) return -1;

    set_caption(state_.version_text + " (" + state_.current_board->name + ")");
    debug_log(log_, "TESSARON: Using board %s\n", state_.current_board->name);
    return 0;
}

void App::run_startup(bool first_run) {
    if (first_run) start_drivers();
    init_values(first_run);

    if (first_run && !options_.args.empty()) {
        const int taken = parse_command_line();
        if (exit_code_) return;  // a command line that ends the program by itself
        if (taken != 0) {
            // The values were applied; the process ends without the window.
            request_exit(kExitOk);
            return;
        }
    }

    fill_pages(first_run);

    if (!fe_.show_tray_icon()) debug_log(log_, "TESSARON: Trayicon not available\n");
    if (var_get(state_.sensor_vars, "update", "config") != 0) fe_.set_sensor_timer_enabled(true);
    if (first_run && fe_.settings_view().minimized) fe_.minimize_to_tray();
}

void App::start_drivers() {
    // Fresh lists. The old controls stay alive: pages may still refer to
    // them until they are filled again.
    state_.drivers.init();
    if (!state_.controls.empty()) retired_controls_.push_back(std::move(state_.controls));
    state_.controls.init();
    state_.port80_source = nullptr;

    const std::string board_name = state_.current_board ? state_.current_board->name : "";

    smbus_->nforce2_smbus_init(&state_.drivers, &state_.controls);
    debug_log(log_, "tessaron: Init SMBUS drivers done\n");
    atxp1_->atxp1_init(&state_.drivers, &state_.controls, board_name.c_str());
    // The SMI voltage driver registers here once it exists.
    debug_log(log_, "tessaron: Init voltage drivers done\n");
    nforce2_->nforce2_init(&state_.drivers, &state_.controls);
    debug_log(log_, "tessaron: Init chipset drivers done\n");
    // The hardware monitors start here (sensors_init).
    debug_log(log_, "tessaron: Init sensor drivers done\n");
    // SMART drive detection and its sensor driver start here.
    debug_log(log_, "tessaron: Init SMART drivers done\n");
    // The Super I/O probe runs here.
    cpuload_->cpuload_init(&state_.drivers, &state_.controls);
    tools_->tools_init(&state_.drivers, &state_.controls);
}

void App::init_values(bool first_run) {
    if (first_run) {
        state_.main_vars.init();
        const std::pair<const char*, int32_t> main_defaults[] = {
            {"reset", 0},   {"suspend", 0},    {"minimized", 0},    {"driver", 0},
            {"autofsb", 0}, {"fsbdelay", 100}, {"vcoredelay", 100},
        };
        for (const auto& [name, value] : main_defaults)
            var_set(log_, state_.main_vars, name, "config", value);
        var_load(log_, kConfigIni, "Main", state_.main_vars);

        state_.exit_preset.clear();
        state_.suspend_preset.clear();
        config_read(log_, kConfigIni, "Main", "exitpreset",
                    TextDest{&state_.exit_preset, kPresetNameLen});
        config_read(log_, kConfigIni, "Main", "suspendpreset",
                    TextDest{&state_.suspend_preset, kPresetNameLen});

        state_.sensor_vars.init();
        var_set(log_, state_.sensor_vars, "update", "config", 5);
        // The sensor records of section "Sensor" load into the sensor controls here.
        var_load(log_, kConfigIni, "Sensor", state_.sensor_vars);
        state_.port80_source = nullptr;
        std::string port80;
        if (config_read(log_, kConfigIni, "Sensor", "port80", TextDest{&port80, kPort80KeyLen}) ==
                1 &&
            !port80.empty())
            state_.port80_source = control_get(log_, &state_.controls, port80.c_str());

        // The log settings, the presets and the AutoFSB entries load here.

        state_.multiplier = 0;
        if (Control* multiplier = control_get(log_, &state_.controls, "Multiplier")) {
            state_.multiplier =
                static_cast<int32_t>(control_get_val(log_, multiplier, &state_.drivers));
            debug_log(log_, "tessaron: Chipset reported multiplier: %d\n", state_.multiplier);
        }
        if (Control* fsb = control_get(log_, &state_.controls, "FSB")) {
            const uint32_t fsb_mhz = control_get_val(log_, fsb, &state_.drivers);
            // A chipset that reads FSB 0 leaves the chipset's multiplier.
            if (fsb_mhz != 0) {
                const auto calculated =
                    static_cast<uint32_t>(cpu_clock_mhz(backend_.io()) * 10u / fsb_mhz);
                debug_log(log_, "tessaron: Calculated multiplier: %d\n", calculated);
                if (calculated > kHighestChipsetMultiplier)
                    state_.multiplier = static_cast<int32_t>(calculated);
            }
        }
        debug_log(log_, "tessaron: init_values done\n");

        fill_driver_list();
        debug_log(log_, "tessaron: Using driver %s\n", chosen_driver_);

        // The log and chart items load here.

        state_.control_vars.init();

        control_set_val(log_, control_get(log_, &state_.controls, "FSBDelay"), &state_.drivers,
                        var_get(state_.main_vars, "fsbdelay", "config"));
        control_set_val(log_, control_get(log_, &state_.controls, "VCoreDelay"), &state_.drivers,
                        var_get(state_.main_vars, "vcoredelay", "config"));
        settings_loaded_ = true;
    }

    // A refresh keeps pending changes, but a control read for the first time
    // (the voltages of a driver chosen since) has none: it starts from its
    // reading, or Apply would write whatever its slots held.
    const bool driver_changed = chosen_driver_ != values_driver_;
    for (Control* control : state_.controls) {
        const bool voltage = control->kind == kKindVCore || control->kind == kKindVoltage;
        const bool taken = (voltage && control->driver_name == chosen_driver_) ||
                           control->kind == kKindChipset || control->kind == kKindFanPower ||
                           control->kind == kKindAction;
        if (!taken) continue;
        const bool fresh = first_run || (voltage && driver_changed) ||
                           !has_var(state_.control_vars, control->name);
        const auto value = static_cast<int32_t>(control_get_val(log_, control, &state_.drivers));
        var_set(log_, state_.control_vars, control->name, "current", value);
        if (fresh) {
            var_set(log_, state_.control_vars, control->name, "start", value);
            var_set(log_, state_.control_vars, control->name, "newval", value);
        }
    }
    values_driver_ = chosen_driver_;
    debug_log(log_, "tessaron: Init control startup values done\n");
}

void App::fill_driver_list() {
    driver_names_.clear();
    for (const Control* control : state_.controls) {
        if (control->kind != kKindVCore && control->kind != kKindVoltage) continue;
        if (index_of(driver_names_, control->driver_name) < 0)
            driver_names_.push_back(control->driver_name);
    }
    std::stable_sort(driver_names_.begin(), driver_names_.end(), sorted_before);
    const int32_t stored = var_get(state_.main_vars, "driver", "config");
    driver_index_ =
        (stored >= 0 && stored < static_cast<int32_t>(driver_names_.size())) ? stored : -1;
    chosen_driver_ = driver_index_ >= 0 ? driver_names_[driver_index_] : "";
    fe_.show_driver_list(driver_names_, driver_index_);
    // A command line that sets values runs unattended: nobody is asked.
    const bool unattended =
        std::find(options_.args.begin(), options_.args.end(), "-s") != options_.args.end();
    if (chosen_driver_.empty() && !unattended)
        fe_.message_box("Please select a driver on the Settings page.");
}

SettingsView App::settings_from_vars() const {
    SettingsView view = fe_.settings_view();
    view.reset = var_get(state_.main_vars, "reset", "config") != 0;
    view.suspend = var_get(state_.main_vars, "suspend", "config") != 0;
    view.minimized = var_get(state_.main_vars, "minimized", "config") != 0;
    view.autofsb = var_get(state_.main_vars, "autofsb", "config") != 0;
    view.exit_preset = state_.exit_preset;
    view.suspend_preset = state_.suspend_preset;
    view.update = var_get(state_.sensor_vars, "update", "config");
    return view;
}

void App::fill_pages(bool first_run) {
    if (first_run) {
        fe_.show_settings(settings_from_vars());
        fill_board_list();
    }
    fe_.fill_pages(first_run);
    fe_.set_autofsb_checked(var_get(state_.main_vars, "autofsb", "config") != 0);
    fe_.set_sensor_timer_enabled(var_get(state_.sensor_vars, "update", "config") != 0);
}

void App::set_board(const std::string& board_name) {
    if (state_.current_board && state_.current_board->name == board_name) return;
    debug_log(log_, "TESSARON: Re-setting board\n");
    Board* chosen = nullptr;
    for (Board* board : state_.boards) {
        if (board->name == board_name) {
            chosen = board;
            break;
        }
    }
    if (!chosen) return;
    state_.current_board = chosen;
    // The caption names the board in use (and a second instance finds it).
    set_caption(state_.version_text + " (" + chosen->name + ")");
    save_settings();
    run_startup(true);
}

void App::driver_change(int index) {
    if (index == var_get(state_.main_vars, "driver", "config")) return;
    driver_index_ = (index >= 0 && index < static_cast<int>(driver_names_.size())) ? index : -1;
    chosen_driver_ = driver_index_ >= 0 ? driver_names_[driver_index_] : "";
    save_settings();
    init_values(false);
    fill_pages(false);
}

void App::save_settings() {
    // Without a board nothing was loaded, so the files keep what they hold;
    // only a board chosen with "Set" is stored, for the start-up that follows.
    if (!state_.current_board) return;
    config_write(log_, kConfigIni, "Main", "Board", state_.current_board->name);
    if (!settings_loaded_) return;

    const SettingsView view = fe_.settings_view();
    const auto delay = [this](const char* name) {
        return static_cast<int32_t>(
            control_get_val(log_, control_get(log_, &state_.controls, name), &state_.drivers));
    };
    var_set(log_, state_.main_vars, "reset", "config", view.reset ? 1 : 0);
    var_set(log_, state_.main_vars, "suspend", "config", view.suspend ? 1 : 0);
    var_set(log_, state_.main_vars, "minimized", "config", view.minimized ? 1 : 0);
    var_set(log_, state_.main_vars, "driver", "config", driver_index_);
    var_set(log_, state_.main_vars, "autofsb", "config", view.autofsb ? 1 : 0);
    var_set(log_, state_.main_vars, "fsbdelay", "config", delay("FSBDelay"));
    var_set(log_, state_.main_vars, "vcoredelay", "config", delay("VCoreDelay"));
    var_save(log_, kConfigIni, "Main", state_.main_vars);

    state_.exit_preset = bounded(view.exit_preset, kPresetNameLen);
    config_write(log_, kConfigIni, "Main", "exitpreset", state_.exit_preset);
    state_.suspend_preset = bounded(view.suspend_preset, kPresetNameLen);
    config_write(log_, kConfigIni, "Main", "suspendpreset", state_.suspend_preset);
    debug_log(log_, "tessaron: Saved Main vars\n");

    // The sensor records of the sensor controls are saved here.
    var_set(log_, state_.sensor_vars, "update", "config", view.update);
    var_save(log_, kConfigIni, "Sensor", state_.sensor_vars);
    if (state_.port80_source)
        config_write(log_, kConfigIni, "Sensor", "port80", state_.port80_source->name);
    debug_log(log_, "tessaron: Saved sensor settings\n");

    // The presets, the AutoFSB entries and the log settings are saved here.
}

void App::close() {
    if (closed_) return;
    closed_ = true;
    fe_.stop_timers();
    save_settings();
    // The exit preset is applied here once presets exist.
    debug_log(log_, "tessaron: Freeing lists...\n");
    free_lists();
    debug_log(log_, "Done.\n");
}

void App::free_lists() {
    state_.drivers.init();
    state_.current_board = nullptr;
    state_.boards.init();
    state_.main_vars.init();
    state_.sensor_vars.init();
    state_.control_vars.init();
    state_.port80_source = nullptr;
    state_.controls.init();  // each control releases its settings with it
    retired_controls_.clear();
}

}  // namespace tess

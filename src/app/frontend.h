// What the application core asks of its window. The main window implements
// it with widgets; tests implement it with a recorder. The core decides what
// is shown and when, the front end only shows it and reports the widgets'
// states back (the check boxes and choices of the Settings page).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tess {

// Who started an apply. Only the AutoFSB timer is special: an apply of its
// own leaves AutoFSB enabled, every other apply switches it off.
enum class ApplySender { None, ApplyButton, AutoFsbTimer };

// The settings that live in widgets until SaveSettings stores them
// (config.ini "Main" and "Sensor").
struct SettingsView {
    bool reset = false;          // "Apply preset before exit:"
    bool suspend = false;        // "Apply preset before suspend:"
    bool minimized = false;      // "Start minimized"
    bool autofsb = false;        // "Enable AutoFSB"
    std::string exit_preset;     // text of the exit-preset list
    std::string suspend_preset;  // text of the suspend-preset list
    int32_t update = 5;          // sensor update field, seconds
};

class Frontend {
  public:
    virtual ~Frontend() = default;

    // True when nobody can see the window (offscreen or minimal platform):
    // message boxes then go to standard error, and a command line that only
    // prints ("-h", "-l") ends the program.
    virtual bool headless() const = 0;
    // A modal message box; returns when it was closed (at once when headless).
    virtual void message_box(const std::string& text) = 0;
    // Text for standard output (the command line's answers when headless).
    virtual void write_output(const std::string& text) = 0;

    // Simple text of the status bar.
    virtual void status_text(const std::string& text) = 0;
    // The step a blocking hardware walk has reached; must become visible at
    // once, without processing events.
    virtual void progress_text(const std::string& text) = 0;
    virtual void set_caption(const std::string& caption) = 0;

    // The Settings page's board and driver lists, already sorted; selected
    // is an index into names or -1.
    virtual void show_board_list(const std::vector<std::string>& names, int selected) = 0;
    virtual void show_driver_list(const std::vector<std::string>& names, int selected) = 0;
    // Hides every page but "Settings" for the rest of the run.
    virtual void show_only_settings() = 0;

    virtual SettingsView settings_view() const = 0;
    virtual void show_settings(const SettingsView& view) = 0;
    // The "Enable AutoFSB" check box, set from code; its click handler takes
    // effect as for a user click.
    virtual void set_autofsb_checked(bool on) = 0;

    // The pages' share of a refresh after the values were (re)loaded; runs
    // after the Settings page's own fields were shown.
    virtual void fill_pages(bool first_run) = 0;
    // The main page after an apply (track bars and other-controls panel
    // from the "newval" slots).
    virtual void refresh_after_apply(ApplySender sender) = 0;

    // Makes the tray icon visible; false when there is no tray.
    virtual bool show_tray_icon() = 0;
    virtual void minimize_to_tray() = 0;
    virtual void set_sensor_timer_enabled(bool on) = 0;
    // Stops the sensor and AutoFSB timers (closing).
    virtual void stop_timers() = 0;
};

}  // namespace tess

// The main window: nine pages as tabs and a status bar. It owns the
// application (App), whose start-up runs while the window is constructed,
// and shows what the application asks through the Frontend interface.
#pragma once

#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/frontend.h"

class QCloseEvent;
class QSystemTrayIcon;
class QTimer;

namespace Ui {
class TMain;
}

namespace tess {

class Backend;
class Prompts;

class TMain : public QMainWindow, public Frontend {
    Q_OBJECT

  public:
    // Runs the start-up. When it ends the program (a failed start, a command
    // line that applied its values), exit_code() says with which code and the
    // window must not be shown.
    TMain(Backend& backend, Prompts& prompts, AppOptions options, QWidget* parent = nullptr);
    ~TMain() override;

    App& app() { return *app_; }
    App::Outcome outcome() const { return outcome_; }
    std::optional<int> exit_code() const { return app_->exit_code(); }
    Ui::TMain& ui() { return *ui_; }

    // Frontend
    bool headless() const override;
    void message_box(const std::string& text) override;
    void write_output(const std::string& text) override;
    void status_text(const std::string& text) override;
    void progress_text(const std::string& text) override;
    void set_caption(const std::string& caption) override;
    void show_board_list(const std::vector<std::string>& names, int selected) override;
    void show_driver_list(const std::vector<std::string>& names, int selected) override;
    void show_only_settings() override;
    SettingsView settings_view() const override;
    void show_settings(const SettingsView& view) override;
    void set_autofsb_checked(bool on) override;
    void fill_pages(bool first_run) override;
    void refresh_after_apply(ApplySender sender) override;
    bool show_tray_icon() override;
    void minimize_to_tray() override;
    void set_sensor_timer_enabled(bool on) override;
    void stop_timers() override;

    // Handlers.
    void Apply();
    void Exit();
    void UpdateSensor();

    // Main page (page_main.cpp). Moving a track bar writes only "newval";
    // Apply writes through the engine.
    void show_vcore(int32_t mv);
    void show_fsb(int32_t mhz);
    void fill_other_controls();
    // From the combo, the track bar, or code (any other sender, or none):
    // refreshes the other-controls panel; from the track bar it also writes
    // "newval".
    void VoltageChange(QObject* sender);
    void TrackBarVcoreChange();
    void TrackBarFSBChange();
    void UpDownVCoreClick();
    void UpDownFSBClick();
    void ShowCurrent();

    // Settings page (page_settings.cpp).
    void fill_delay_list();
    void SetBoard();
    void SaveSettings();
    void DriverChange(int index);
    // From the delay list, the spin edit (which writes the delay), or code.
    void DelayChange(QObject* sender);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // A start-up pass begun by a page ended the program.
    void end_if_requested();

    void connect_main_page();
    void connect_settings_page();
    // The main page's share of fill_pages.
    void fill_main_page();
    // EditFSB and EditCPU from the FSB track bar's position.
    void show_fsb_texts();
    // The control "VCore" of the chosen voltage driver, or nullptr.
    Control* vcore_control();

    std::unique_ptr<Ui::TMain> ui_;
    Prompts& prompts_;
    QTimer* Timer1 = nullptr;        // sensor updates
    QTimer* TimerAutoFSB = nullptr;  // AutoFSB checks, every 5000 ms
    QSystemTrayIcon* TrayIcon1 = nullptr;
    // The stored preset names, kept until the presets page offers its lists.
    std::string exit_preset_;
    std::string suspend_preset_;
    int32_t update_seconds_ = 5;
    std::unique_ptr<App> app_;
    App::Outcome outcome_ = App::Outcome::Exit;
};

}  // namespace tess

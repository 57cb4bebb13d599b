#include "ui/tmain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <limits>

#include "app/backend.h"
#include "ui/prompts.h"
#include "ui_tmain.h"

namespace tess {

namespace {
constexpr int kAutoFsbIntervalMs = 5000;

// The sensor timer's interval for an update of that many seconds: as long
// as a timer can wait at most; 0 (no updates) for none or fewer.
int sensor_interval_ms(int32_t seconds) {
    const int64_t ms = int64_t{seconds} * 1000;
    return static_cast<int>(std::clamp<int64_t>(ms, 0, std::numeric_limits<int>::max()));
}
}  // namespace

TMain::TMain(Backend& backend, Prompts& prompts, AppOptions options, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::TMain>()), prompts_(prompts) {
    ui_->setupUi(this);
    setWindowTitle(QStringLiteral("tessaron"));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(sensor_interval_ms(update_seconds_));
    TimerAutoFSB = new QTimer(this);
    TimerAutoFSB->setInterval(kAutoFsbIntervalMs);
    connect(Timer1, &QTimer::timeout, this, &TMain::UpdateSensor);

    connect(ui_->ButtonApply, &QPushButton::clicked, this, &TMain::Apply);
    connect(ui_->ButtonExit, &QPushButton::clicked, this, &TMain::Exit);
    connect_main_page();
    connect_settings_page();

    app_ = std::make_unique<App>(*this, backend, std::move(options));
    outcome_ = app_->start();
}

TMain::~TMain() = default;

bool TMain::headless() const {
    return prompts_.headless();
}

void TMain::message_box(const std::string& text) {
    prompts_.message_box(this, text);
}

void TMain::write_output(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

void TMain::status_text(const std::string& text) {
    statusBar()->showMessage(QString::fromStdString(text));
    statusBar()->repaint();
}

void TMain::progress_text(const std::string& text) {
    // The walk blocks this thread: paint now, without running the event loop.
    statusBar()->showMessage(QString::fromStdString(text));
    statusBar()->repaint();
}

void TMain::set_caption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

namespace {
void fill_combo(QComboBox* combo, const std::vector<std::string>& names, int selected) {
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (const std::string& name : names) combo->addItem(QString::fromStdString(name));
    combo->setCurrentIndex(selected);
}
}  // namespace

void TMain::show_board_list(const std::vector<std::string>& names, int selected) {
    fill_combo(ui_->ComboBoxBoard, names, selected);
}

void TMain::show_driver_list(const std::vector<std::string>& names, int selected) {
    fill_combo(ui_->ComboBoxDriver, names, selected);
}

void TMain::show_only_settings() {
    QTabWidget* pages = ui_->PageControl1;
    for (int i = 0; i < pages->count(); ++i)
        pages->setTabVisible(i, pages->widget(i) == ui_->TabSheetSettings);
    pages->setCurrentWidget(ui_->TabSheetSettings);
}

SettingsView TMain::settings_view() const {
    SettingsView view;
    view.reset = ui_->CheckBoxReset->isChecked();
    view.suspend = ui_->CheckBoxSuspend->isChecked();
    view.minimized = ui_->CheckBoxMinimized->isChecked();
    view.autofsb = ui_->CheckBoxAutoFSB->isChecked();
    // Until the preset lists hold presets, the stored names stay as they are.
    view.exit_preset = ui_->ComboBoxExitPreset->count() > 0
                           ? ui_->ComboBoxExitPreset->currentText().toStdString()
                           : exit_preset_;
    view.suspend_preset = ui_->ComboBoxSuspendPreset->count() > 0
                              ? ui_->ComboBoxSuspendPreset->currentText().toStdString()
                              : suspend_preset_;
    view.update = update_seconds_;
    return view;
}

void TMain::show_settings(const SettingsView& view) {
    ui_->CheckBoxReset->setChecked(view.reset);
    ui_->CheckBoxSuspend->setChecked(view.suspend);
    ui_->CheckBoxMinimized->setChecked(view.minimized);
    exit_preset_ = view.exit_preset;
    suspend_preset_ = view.suspend_preset;
    update_seconds_ = view.update;
}

void TMain::set_autofsb_checked(bool on) {
    ui_->CheckBoxAutoFSB->setChecked(on);
}

void TMain::fill_pages(bool first_run) {
    // The sensor, preset, AutoFSB, log and chart pages fill their lists here.
    Timer1->setInterval(sensor_interval_ms(update_seconds_));
    if (first_run) fill_delay_list();
    fill_main_page();
    // The SMART page fills its list here.
}

void TMain::refresh_after_apply(ApplySender /*sender*/) {
    show_vcore(var_get(app_->state().control_vars, "VCore", "newval"));
    show_fsb(var_get(app_->state().control_vars, "FSB", "newval"));
    VoltageChange(nullptr);
}

bool TMain::show_tray_icon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    if (!TrayIcon1) {
        TrayIcon1 = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_ComputerIcon), this);
        TrayIcon1->setToolTip(QStringLiteral("Waiting for data..."));
    }
    if (!TrayIcon1->isVisible()) TrayIcon1->show();
    return TrayIcon1->isVisible();
}

void TMain::minimize_to_tray() {
    setWindowState(windowState() | Qt::WindowMinimized);
}

void TMain::set_sensor_timer_enabled(bool on) {
    // A timer without an interval would fire all the time.
    if (on && Timer1->interval() > 0)
        Timer1->start();
    else
        Timer1->stop();
}

void TMain::stop_timers() {
    Timer1->stop();
    TimerAutoFSB->stop();
}

void TMain::Apply() {
    app_->apply(ApplySender::ApplyButton);
}

void TMain::Exit() {
    close();
}

void TMain::UpdateSensor() {
    // The sensor pages read their sensors here.
}

void TMain::closeEvent(QCloseEvent* event) {
    app_->close();
    event->accept();
}

void TMain::end_if_requested() {
    if (const auto code = app_->exit_code()) QCoreApplication::exit(*code);
}

}  // namespace tess

// The "Settings" page: board, voltage driver, start and exit choices, the
// delays of the FSB and core-voltage walks, and saving all settings.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include "core/control.h"
#include "ui/tmain.h"
#include "ui_tmain.h"

namespace tess {

void TMain::connect_settings_page() {
    connect(ui_->ButtonSetBoard, &QPushButton::clicked, this, &TMain::SetBoard);
    connect(ui_->ButtonSaveSettings, &QPushButton::clicked, this, &TMain::SaveSettings);
    // Only a choice of the user changes the driver; filling the list does not.
    connect(ui_->ComboBoxDriver, &QComboBox::activated, this, &TMain::DriverChange);
    connect(ui_->ListBoxDelay, &QListWidget::currentRowChanged, this,
            [this] { DelayChange(ui_->ListBoxDelay); });
    connect(ui_->CSpinEditDelay, &QSpinBox::valueChanged, this,
            [this] { DelayChange(ui_->CSpinEditDelay); });
    // The delay is changed with the arrows only.
    ui_->CSpinEditDelay->findChild<QLineEdit*>()->setReadOnly(true);
}

void TMain::SetBoard() {
    app_->set_board(ui_->ComboBoxBoard->currentText().toStdString());
    end_if_requested();
}

void TMain::SaveSettings() {
    app_->save_settings();
}

void TMain::DriverChange(int index) {
    app_->driver_change(index);
}

void TMain::fill_delay_list() {
    QListWidget* list = ui_->ListBoxDelay;
    {
        const QSignalBlocker filling(list);
        list->clear();
        // In the order the drivers registered them, not sorted.
        for (const Control* control : app_->state().controls)
            if (control->kind == kKindDelay) list->addItem(QString::fromStdString(control->name));
        if (list->count() > 0) list->setCurrentRow(0);
    }
    DelayChange(nullptr);
}

void TMain::DelayChange(QObject* sender) {
    QListWidget* list = ui_->ListBoxDelay;
    QSpinBox* spin = ui_->CSpinEditDelay;
    if (list->currentRow() < 0) return;
    DebugLog& log = app_->log();
    AppState& state = app_->state();
    const std::string name = list->currentItem()->text().toStdString();
    Control* control = control_get(log, &state.controls, name.c_str());
    if (!control) return;

    const auto show_value = [&] {
        const QSignalBlocker detached(spin);
        spin->setValue(static_cast<int>(control_get_val(log, control, &state.drivers)));
    };
    if (sender == spin) {
        // The driver takes the new delay from its next step on.
        const int value = spin->value();
        if (control_set_val(log, control, &state.drivers, value) == 0) {
            debug_log(log, "tessaron: Changed %s to %d\n", control->name, value);
        } else {
            // A delay the driver refused stays as it was, and so does the field.
            debug_log(log, "tessaron: Error changing %s to %d\n", control->name, value);
            show_value();
        }
        return;
    }
    ui_->LabelDelay->setText(QString::fromStdString(control->description));
    spin->setSingleStep(control->step);
    show_value();
}

}  // namespace tess

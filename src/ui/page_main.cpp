// The "Main" page: the core-voltage and FSB track bars and the
// other-controls panel. The track bars mirror the "newval" slots of
// control_vars; nothing reaches the hardware before Apply.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "core/control.h"
#include "core/variable.h"
#include "ui/page_main_values.h"
#include "ui/tmain.h"
#include "ui/track_bar.h"
#include "ui/up_down.h"
#include "ui_tmain.h"

namespace tess {

namespace {

QString qtext(const std::string& text) {
    return QString::fromStdString(text);
}

// Wide enough for the widest text the edit shows.
void fit_to(QLineEdit* edit, const char* widest) {
    constexpr int kPadding = 16;
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QLatin1String(widest)) + kPadding);
}

int32_t range_of(DebugLog& log, const Control& control, bool highest) {
    return static_cast<int32_t>(control_get_range(log, &control.settings, highest));
}

}  // namespace

void TMain::connect_main_page() {
    connect(ui_->TrackBarVcore, &QSlider::valueChanged, this, &TMain::TrackBarVcoreChange);
    connect(ui_->TrackBarFSB, &QSlider::valueChanged, this, &TMain::TrackBarFSBChange);
    connect(ui_->UpDownVcore, &UpDown::clicked, this, &TMain::UpDownVCoreClick);
    connect(ui_->UpDownFSB, &UpDown::clicked, this, &TMain::UpDownFSBClick);
    // Filling the combo blocks its signals, so this is the user's choice.
    connect(ui_->ComboBoxVoltages, &QComboBox::currentIndexChanged, this,
            [this] { VoltageChange(ui_->ComboBoxVoltages); });
    connect(ui_->TrackBarVoltages, &QSlider::valueChanged, this,
            [this] { VoltageChange(ui_->TrackBarVoltages); });
    connect(ui_->ButtonCurrent, &QPushButton::clicked, this, &TMain::ShowCurrent);

    fit_to(ui_->EditVCore, "1.850 V");
    fit_to(ui_->EditFSB, "300 MHz");
    fit_to(ui_->EditCPU, "300 x 12.5 = 3750 MHz");
    for (QLineEdit* edit : {ui_->EditVoltageCurrent, ui_->EditVoltageStart, ui_->EditVoltages})
        fit_to(edit, "12.000 V");
}

Control* TMain::vcore_control() {
    return control_get(app_->log(), &app_->state().controls, "VCore",
                       app_->chosen_driver().c_str());
}

void TMain::show_vcore(int32_t mv) {
    Control* vcore = vcore_control();
    if (!vcore) {
        debug_log(app_->log(), "tessaron: Getting control for VCore failed\n");
        return;
    }
    // The change event writes "newval" when the position moves.
    ui_->TrackBarVcore->setValue(vcore_position(range_of(app_->log(), *vcore, true), mv));
}

void TMain::show_fsb(int32_t mhz) {
    ui_->TrackBarFSB->setValue(fsb_position(mhz));
    ui_->UpDownFSB->setPosition(fsb_position(mhz));
}

void TMain::show_fsb_texts() {
    const auto fsb = static_cast<uint32_t>(fsb_value(ui_->TrackBarFSB->value()));
    ui_->EditFSB->setText(qtext(fsb_text(fsb)));
    ui_->EditCPU->setText(qtext(cpu_text(fsb, app_->state().multiplier)));
}

void TMain::fill_main_page() {
    DebugLog& log = app_->log();
    AppState& state = app_->state();

    // Without a chipset driver there is no FSB to set: the panel stays
    // still, and no "newval" of a missing control waits for Apply.
    ui_->GroupBoxFSB->setEnabled(control_get(log, &state.controls, "FSB") != nullptr);
    show_fsb(var_get(state.control_vars, "FSB", "current"));
    // The position may not have moved while the multiplier did.
    show_fsb_texts();

    bool usable = false;
    if (Control* vcore = vcore_control()) {
        ui_->GroupBoxVCore->setTitle(QStringLiteral("VCore control"));
        const int32_t highest = range_of(log, *vcore, true);
        const int32_t lowest = range_of(log, *vcore, false);
        usable = highest != 0 && lowest != 0;
        if (usable && vcore->step != 0) {
            ui_->LabelVCoreMax->setText(qtext(format_mv(highest)));
            ui_->LabelVCoreMin->setText(qtext(format_mv(lowest)));
            ui_->TrackBarVcore->setMaximum(vcore_maximum(highest, lowest, vcore->step));
            ui_->TrackBarVcore->setSelectionEnd(vcore_boost_end(highest));
            show_vcore(static_cast<int32_t>(control_get_val(log, vcore, &state.drivers)));
            // "newval" is the reading moved up onto the bar's grid, also when
            // the position did not have to move.
            TrackBarVcoreChange();
        }
    } else {
        debug_log(log, "tessaron: No primary VCore control!\n");
    }
    if (!usable) ui_->GroupBoxVCore->setTitle(QStringLiteral("VCore control disabled"));
    for (QWidget* widget :
         {static_cast<QWidget*>(ui_->TrackBarVcore), static_cast<QWidget*>(ui_->UpDownVcore),
          static_cast<QWidget*>(ui_->EditVCore)})
        widget->setEnabled(usable);

    fill_other_controls();
    debug_log(log, "tessaron: Create voltage list done\n");
}

void TMain::fill_other_controls() {
    AppState& state = app_->state();
    const std::string& driver = app_->chosen_driver();
    QComboBox* combo = ui_->ComboBoxVoltages;
    {
        const QSignalBlocker filling(combo);
        combo->clear();
        const auto add = [combo](const Control* control) {
            const QString name = qtext(control->name);
            if (combo->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
                combo->addItem(name);
        };
        for (const Control* c : state.controls)
            if (c->kind == kKindVoltage && c->settings.count() > 1 && c->driver_name == driver)
                add(c);
        for (const Control* c : state.controls)
            if (c->kind == kKindChipset && c->settings.count() > 1) add(c);
        for (const Control* c : state.controls)
            if ((c->kind == kKindFanPower || c->kind == kKindSensorSetting ||
                 c->kind == kKindAction) &&
                c->settings.count() >= 2)
                add(c);
        if (combo->count() > 0) combo->setCurrentIndex(0);
    }

    const bool usable = combo->count() > 0;
    ui_->GroupBoxVoltages->setTitle(usable ? QStringLiteral("Other controls")
                                           : QStringLiteral("Other controls disabled"));
    for (QWidget* widget :
         {static_cast<QWidget*>(combo), static_cast<QWidget*>(ui_->EditVoltageCurrent),
          static_cast<QWidget*>(ui_->EditVoltages), static_cast<QWidget*>(ui_->EditVoltageStart),
          static_cast<QWidget*>(ui_->TrackBarVoltages)})
        widget->setEnabled(usable);
    if (usable) VoltageChange(nullptr);
}

void TMain::VoltageChange(QObject* sender) {
    QComboBox* combo = ui_->ComboBoxVoltages;
    if (combo->count() == 0) return;
    DebugLog& log = app_->log();
    AppState& state = app_->state();
    TrackBar* bar = ui_->TrackBarVoltages;
    // Positions set here must not come back as a move of the user.
    const QSignalBlocker detached(bar);

    const std::string name = combo->currentText().toStdString();
    const bool voltage = !name.empty() && name.front() == 'V';
    Control* control = nullptr;
    if (voltage) {
        const std::string& driver = app_->chosen_driver();
        control = control_get(log, &state.controls, name.c_str(), driver.c_str());
        if (!control) {
            debug_log(log, "tessaron: Can't get control for %s, driver %s\n", name, driver);
            return;
        }
    } else {
        control = control_get(log, &state.controls, name.c_str());
        if (!control) {
            debug_log(log, "tessaron: Can't get control for %s\n", name);
            return;
        }
    }
    const auto text = [voltage](int32_t value) {
        return qtext(voltage ? format_mv(value) : std::to_string(value));
    };

    const bool from_bar = sender == bar;
    if (!from_bar) {
        const int32_t highest = range_of(log, *control, true);
        const int32_t lowest = range_of(log, *control, false);
        ui_->LabelVoltagesMax->setText(text(highest));
        ui_->LabelVoltagesMin->setText(text(lowest));
        ui_->EditVoltageStart->setText(text(var_get(state.control_vars, name, "start")));
        ui_->EditVoltageCurrent->setText(text(var_get(state.control_vars, name, "current")));
        if (control->step != 0) {
            bar->setRange(lowest, highest);
            bar->setTickInterval(control->step);
        } else {
            bar->setRange(0, static_cast<int>(control->settings.count()) - 1);
            bar->setTickInterval(1);
        }
    }

    int32_t value = var_get(state.control_vars, name, "newval");
    if (from_bar) {
        if (control->step != 0) {
            value = stepped_value(bar->minimum(), bar->maximum(), bar->value());
        } else {
            const int index = position_index(bar->maximum(), bar->value());
            for (const ControlSetting* setting : control->settings) {
                if (setting->index == index) {
                    value = setting->value;
                    break;
                }
            }
        }
        var_set(log, state.control_vars, name, "newval", value);
    } else if (control->step != 0) {
        bar->setValue(stepped_position(bar->minimum(), bar->maximum(), value));
    } else {
        for (const ControlSetting* setting : control->settings) {
            if (setting->value == value) {
                bar->setValue(index_position(bar->maximum(), setting->index));
                break;
            }
        }
    }

    ui_->EditVoltages->setText(text(value));
    ui_->LabelDescription->setText(qtext(control->description));
    ui_->LabelDriver->setText(qtext(control->driver_name));
}

void TMain::TrackBarVcoreChange() {
    Control* vcore = vcore_control();
    if (!vcore) {
        debug_log(app_->log(), "tessaron: Getting control for VCore failed\n");
        return;
    }
    const int position = ui_->TrackBarVcore->value();
    const int32_t newval = vcore_value(range_of(app_->log(), *vcore, true), position);
    var_set(app_->log(), app_->state().control_vars, "VCore", "newval", newval);
    ui_->EditVCore->setText(qtext(format_mv(newval)));
    ui_->UpDownVcore->setPosition(position);
}

void TMain::TrackBarFSBChange() {
    const int position = ui_->TrackBarFSB->value();
    if (control_get(app_->log(), &app_->state().controls, "FSB"))
        var_set(app_->log(), app_->state().control_vars, "FSB", "newval", fsb_value(position));
    ui_->UpDownFSB->setPosition(position);
    show_fsb_texts();
}

void TMain::UpDownVCoreClick() {
    ui_->TrackBarVcore->setValue(ui_->UpDownVcore->position());
    // At an end of the bar the two stay together.
    ui_->UpDownVcore->setPosition(ui_->TrackBarVcore->value());
}

void TMain::UpDownFSBClick() {
    ui_->TrackBarFSB->setValue(ui_->UpDownFSB->position());
    ui_->UpDownFSB->setPosition(ui_->TrackBarFSB->value());
}

void TMain::ShowCurrent() {
    for (Variable* variable : app_->state().control_vars) variable->newval = variable->current;
    show_vcore(var_get(app_->state().control_vars, "VCore", "current"));
    show_fsb(var_get(app_->state().control_vars, "FSB", "current"));
    VoltageChange(ui_->ButtonCurrent);
}

}  // namespace tess

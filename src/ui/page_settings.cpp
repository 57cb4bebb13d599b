// The Settings page: board, voltage driver, saving all settings.

#include "ui/tmain.h"
#include "ui_tmain.h"

namespace tess {

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

}  // namespace tess

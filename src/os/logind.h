// Power off, restart and log off through systemd-logind on the system bus,
// without asking the user (a policy that wants interaction makes the call
// fail instead).
#pragma once

#include <string>

namespace tess {

// mode 0 power off (Manager.PowerOff), 1 restart (Manager.Reboot), 3 log off
// (terminates the caller's session); 0 when logind accepted the request, -1
// for any failure or another mode. A failure's reason goes to *error.
int logind_shutdown(int mode, std::string* error = nullptr);

}  // namespace tess

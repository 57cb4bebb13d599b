// Which way port access is obtained on this operating system.
#pragma once

namespace tess {

// 1 when port access must be granted to the process before any port I/O
// (on Linux always: ioperm with CAP_SYS_RAWIO, see io_init), 0 otherwise.
int is_nt_platform();

}  // namespace tess

#include "os/platform.h"

namespace tess {

int is_nt_platform() {
    return 1;
}

}  // namespace tess

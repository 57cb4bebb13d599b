#include "core/debug_log.h"

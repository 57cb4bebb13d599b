#include "core/control.h"

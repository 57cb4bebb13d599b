#include "core/variable.h"

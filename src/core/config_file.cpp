#include "core/config_file.h"

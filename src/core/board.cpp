#include "core/board.h"

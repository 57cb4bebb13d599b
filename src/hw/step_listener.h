// Progress of a long hardware walk (FSB in 1 MHz steps, core voltage in
// 25 mV steps): the drivers report the step reached before each step's
// pause, so the window can show it while its thread is blocked.
#pragma once

#include <functional>
#include <string>

namespace tess {

using StepListener = std::function<void(const std::string& text)>;

}  // namespace tess

// The arithmetic and texts of the main page, without widgets: how track-bar
// positions map to control values and back, and how voltages, the FSB and
// the CPU clock are written. All integer arithmetic.
#pragma once

#include <cstdint>
#include <string>

namespace tess {

// The core voltage moves in 25 mV steps; above 1850 mV lies the boost range.
inline constexpr int32_t kVCoreGridMv = 25;
inline constexpr int32_t kVCoreBoostFromMv = 1850;
// The FSB track bar: position 0 is 300 MHz, each position 1 MHz less.
inline constexpr int32_t kFsbTopMhz = 300;

// "%d.%03d V": whole volts (truncated) and the magnitude of the remainder;
// -500 is "-0.500 V".
std::string format_mv(int32_t mv);
// The CPU clock in MHz for a multiplier in tenths (a half multiplier adds
// half the FSB).
uint32_t cpu_clock_text(int32_t multiplier, uint32_t fsb);
// "166 MHz".
std::string fsb_text(uint32_t fsb);
// "166 x 11.0 = 1826 MHz".
std::string cpu_text(uint32_t fsb, int32_t multiplier);

// VCore: position 0 is the highest value. A value at or above the highest
// takes the top position: it must never fall to the bottom of the bar,
// which would make the lowest voltage the new value.
int vcore_position(int32_t highest, int32_t mv);
int32_t vcore_value(int32_t highest, int position);
// The number of positions the bar has.
int vcore_maximum(int32_t highest, int32_t lowest, int32_t step);
// End of the selection that marks the boost range at the top of the bar.
int vcore_boost_end(int32_t highest);

int fsb_position(int32_t mhz);
int32_t fsb_value(int position);

// "Other controls", a control with a step: the bar runs lowest..highest
// upside down.
int stepped_position(int32_t lowest, int32_t highest, int32_t value);
int32_t stepped_value(int32_t lowest, int32_t highest, int position);
// A control without a step: the bar runs over the settings' indexes 0..last,
// the last setting at the top.
int index_position(int last, int index);
int position_index(int last, int position);

}  // namespace tess

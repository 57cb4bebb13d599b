#include "ui/page_main_values.h"

#include <cstdio>
#include <cstdlib>

namespace tess {

std::string format_mv(int32_t mv) {
    char text[32];
    // Between -1 V and 0 V the whole volts read 0: the sign goes in front.
    const char* sign = (mv < 0 && mv > -1000) ? "-" : "";
    std::snprintf(text, sizeof text, "%s%d.%03d V", sign, mv / 1000, std::abs(mv % 1000));
    return text;
}

uint32_t cpu_clock_text(int32_t multiplier, uint32_t fsb) {
    const auto whole = static_cast<uint32_t>(multiplier / 10);
    const uint32_t half = (multiplier % 10 != 0) ? fsb / 2 : 0;
    return fsb * whole + half;
}

std::string fsb_text(uint32_t fsb) {
    return std::to_string(fsb) + " MHz";
}

std::string cpu_text(uint32_t fsb, int32_t multiplier) {
    return std::to_string(fsb) + " x " + std::to_string(multiplier / 10) + "." +
           std::to_string(multiplier % 10) + " = " +
           std::to_string(cpu_clock_text(multiplier, fsb)) + " MHz";
}

int vcore_position(int32_t highest, int32_t mv) {
    if (mv >= highest) return 0;
    return (highest - mv) / kVCoreGridMv;
}

int32_t vcore_value(int32_t highest, int position) {
    return highest - position * kVCoreGridMv;
}

int vcore_maximum(int32_t highest, int32_t lowest, int32_t step) {
    return step != 0 ? (highest - lowest) / step : 0;
}

int vcore_boost_end(int32_t highest) {
    return highest > kVCoreBoostFromMv ? (highest - kVCoreBoostFromMv) / kVCoreGridMv : 0;
}

int fsb_position(int32_t mhz) {
    return kFsbTopMhz - mhz;
}

int32_t fsb_value(int position) {
    return kFsbTopMhz - position;
}

int stepped_position(int32_t lowest, int32_t highest, int32_t value) {
    return highest + lowest - value;
}

int32_t stepped_value(int32_t lowest, int32_t highest, int position) {
    return highest + lowest - position;
}

int index_position(int last, int index) {
    return last - index;
}

int position_index(int last, int position) {
    return last - position;
}

}  // namespace tess

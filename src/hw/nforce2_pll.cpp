#include "hw/nforce2_pll.h"

namespace tess {

uint32_t fsb_from_pll(uint32_t word) {
    const uint32_t n = (word >> 8) & 0xFF;
    const uint32_t m = word & 0xFF;
    if (m == 0) return 0;
    // The reference clock is the double nearest 25.06; product and quotient
    // carry the extended significand before the truncation.
    constexpr double kReference = 25.06;
    long double fsb = static_cast<long double>(n) * static_cast<long double>(kReference);
    fsb /= static_cast<long double>(m);
    return static_cast<uint32_t>(fsb);
}

}  // namespace tess

// The nForce2 FSB PLL word: 0x00100000 | N << 8 | M, giving N * 25.06 / M MHz.
#pragma once

#include <cstdint>

namespace tess {

inline constexpr uint32_t kPllFixedBit = 0x00100000u;

inline constexpr uint32_t pll_word(uint32_t n, uint32_t m) {
    return kPllFixedBit | n << 8 | m;
}

// FSB in MHz for a PLL word; 0 when M is 0. Computed with the 64-bit
// significand of long double, so 50/7 gives 178 (plain double would give 179).
uint32_t fsb_from_pll(uint32_t pll_word);

}  // namespace tess

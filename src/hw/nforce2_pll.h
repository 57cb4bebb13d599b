// The nForce2 FSB PLL word (0x00100000 | N << 8 | M, giving N * 25.06 / M MHz)
// and the multiplier code: facts of the chipset shared by the driver and the
// simulated board.
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

// CPU multiplier in tenths for the code in bits 31..28 of host bridge
// register 0xF0: 0 -> 110, 1 -> 115, 2 -> 120, 3 -> 125, c -> c * 5 + 30.
constexpr uint32_t multiplier_from_code(uint32_t code) {
    switch (code) {
        case 0:
            return 110;
        case 1:
            return 115;
        case 2:
            return 120;
        case 3:
            return 125;
        default:
            return code * 5 + 30;
    }
}

}  // namespace tess

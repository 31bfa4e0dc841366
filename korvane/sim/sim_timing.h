// The rate generators' arithmetic: the board's 24 MHz rate clock divided by
// RATE_DIV, turned into tick counts and back into time.
#pragma once

#include <chrono>
#include <cstdint>

#include "tavocore_regs.h"

namespace ksim {

// A divisor of 0 divides by 65536, as a 16-bit counter would.
inline uint64_t RateDivisor(uint32_t reg) {
    const uint32_t div = TAVO_FIELD_GET(RATE_DIV, reg);
    return div == 0 ? 65536u : div;
}

// Whole ticks of a generator with this divisor in `elapsed`.
inline uint64_t TicksIn(std::chrono::steady_clock::duration elapsed, uint64_t divisor) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count();
    if (ns <= 0) return 0;
    // ticks = ns * 24e6 / 1e9 / divisor
    return static_cast<uint64_t>(ns) * (TAVO_RATE_CLOCK_HZ / 1000000u) / (divisor * 1000u);
}

// The time from the generator's base at which tick number `ticks` is due.
inline std::chrono::nanoseconds TimeOfTicks(uint64_t ticks, uint64_t divisor) {
    const uint64_t perMhz = TAVO_RATE_CLOCK_HZ / 1000000u;
    return std::chrono::nanoseconds((ticks * divisor * 1000u + perMhz - 1) / perMhz);
}

}  // namespace ksim

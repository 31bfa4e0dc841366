// Pieces shared by the direct-output tests (entries 5 to 7) and the
// buffered waveform tests (entries 8 to A).
#pragma once

#include <cstdint>

#include "tavocore_regs.h"

// Output codes the operator reads on the meter.
constexpr uint32_t CODE_MINUS_9V836 = 0x020;  // "-9.836V"
constexpr uint32_t CODE_PLUS_9V836 = 0xFE0;   // "+9.836V"
constexpr uint32_t CODE_HALF_PFS = 0xC00;     // half of positive full scale
constexpr uint32_t CODE_HALF_NFS = 0x400;     // half of negative full scale

constexpr uint32_t OUT_CHANNELS = 4;
constexpr uint32_t OUT_LAST_CHANNEL = OUT_CHANNELS - 1;

// One OUT_DATA word: `code` for `channel`, no marker.
constexpr uint32_t OutWord(uint32_t channel, uint32_t code) {
    return TAVO_FIELD_PREP(OUT_CHAN, channel) | code;
}
// The channel-3 word that closes a frame (and, in simultaneous mode, makes
// all four outputs change together).
constexpr uint32_t FrameEndWord(uint32_t code) {
    return OutWord(OUT_LAST_CHANNEL, code) | END_OF_FRAME;
}

// Rate generator B. StartRateB reads RATE_B into LastReg and writes it back
// running; StopRateB writes the value kept in LastReg with RATE_DISABLE set,
// without reading the register again.
void StartRateB();
void StopRateB();

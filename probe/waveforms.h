// Buffered waveform outputs (entries 8, 9 and A): the program-wide pattern
// buffers and the pure builders of the three patterns.
#pragma once

#include <cstdint>

constexpr uint32_t OUT_BUF_WORDS = 6000;        // each of OutBufA and OutBufB
constexpr uint32_t SQUARE_WORDS = 512;          // entry 8: 128 frames
constexpr uint32_t STAIRCASE_FRAMES = 17;       // entry 9
constexpr uint32_t STAIRCASE_WORDS = STAIRCASE_FRAMES * 4;
constexpr uint32_t BURST_FRAMES = 1500;         // entry A, each burst
constexpr uint32_t BURST_WORDS = BURST_FRAMES * 4;
static_assert(BURST_WORDS == OUT_BUF_WORDS, "a burst fills its buffer");

// Handed to Tavo_DMA_TO_Buffer; zero at program start.
extern uint32_t OutBufA[OUT_BUF_WORDS];
extern uint32_t OutBufB[OUT_BUF_WORDS];

// One period of a square wave: 64 frames at 0x400, then 64 at 0xC00; the
// last word carries END_OF_BUFFER (0xF0C00).
void BuildSquarePattern(uint32_t words[SQUARE_WORDS]);
// Steps of 0x200 from mid-scale up to 0xFFE, down to 0x000 and back to
// mid-scale; the last word is 0xF0800.
void BuildStaircase(uint32_t words[STAIRCASE_WORDS]);
// A sine of 50 periods and a cosine of 25, 2.5 V around mid-scale, each
// ending in a word with END_OF_FRAME and END_OF_BUFFER.
void BuildSineCosine(uint32_t sine[BURST_WORDS], uint32_t cosine[BURST_WORDS]);

// Shows BCR live until a key; X (or x) ends, any other key writes the BCR
// value last shown with BURST_TRIGGER set, one burst per key.
void BurstTriggerLoop();

// The patterns of entries 8, 9 and A and the values of the DIO keys, checked
// directly; the program tests then check what the board played.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "dio.h"
#include "waveforms.h"

namespace {

uint32_t CodeOf(uint32_t word) { return word & 0xFFF; }

// Every pattern is a run of frames: channels 0 to 3 in order with one code,
// END_OF_FRAME on channel 3 only, END_OF_BUFFER on the last word only, and
// no other bit.
void ExpectFrames(const uint32_t *words, uint32_t count) {
    for (uint32_t n = 0; n < count; ++n) {
        const uint32_t channel = n % 4;
        const uint32_t markers = (channel == 3 ? 0x40000u : 0u) | (n == count - 1 ? 0x80000u : 0u);
        ASSERT_EQ(words[n] & ~0xFFFu, (channel << 16) | markers) << "word " << n;
        ASSERT_EQ(CodeOf(words[n]), CodeOf(words[n - channel])) << "word " << n;
    }
}

TEST(Patterns, SquareWaveIsHalfNegativeThenHalfPositive) {
    uint32_t words[SQUARE_WORDS];
    BuildSquarePattern(words);
    ExpectFrames(words, SQUARE_WORDS);
    for (uint32_t n = 0; n < SQUARE_WORDS; ++n) {
        ASSERT_EQ(CodeOf(words[n]), n < 256 ? 0x400u : 0xC00u) << "word " << n;
    }
    EXPECT_EQ(words[SQUARE_WORDS - 1], 0xF0C00u);
}

TEST(Patterns, StaircaseStepsUpDownAndBackToMidScale) {
    const uint32_t codes[STAIRCASE_FRAMES] = {0x800, 0xA00, 0xC00, 0xE00, 0xFFE, 0xE00,
                                              0xC00, 0xA00, 0x800, 0x600, 0x400, 0x200,
                                              0x000, 0x200, 0x400, 0x600, 0x800};
    uint32_t words[STAIRCASE_WORDS];
    BuildStaircase(words);
    ExpectFrames(words, STAIRCASE_WORDS);
    for (uint32_t f = 0; f < STAIRCASE_FRAMES; ++f) {
        EXPECT_EQ(CodeOf(words[4 * f]), codes[f]) << "frame " << f + 1;
    }
    EXPECT_EQ(words[STAIRCASE_WORDS - 1], 0xF0800u);
}

TEST(Patterns, SineAndCosineBursts) {
    std::vector<uint32_t> sine(BURST_WORDS), cosine(BURST_WORDS);
    BuildSineCosine(sine.data(), cosine.data());
    ExpectFrames(sine.data(), BURST_WORDS);
    ExpectFrames(cosine.data(), BURST_WORDS);

    // Frames where truncation near a zero crossing decides the code.
    struct Case { uint32_t frame, sine, cosine; };
    const Case cases[] = {
        {0, 0x800, 0xA00}, {1, 0x86A, 0x9FD}, {15, 0x800, 0x800},
        {30, 0x7FF, 0x600}, {45, 0x800, 0x7FF}, {1499, 0x795, 0x9FD},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(CodeOf(sine[4 * c.frame]), c.sine) << "sine frame " << c.frame;
        EXPECT_EQ(CodeOf(cosine[4 * c.frame]), c.cosine) << "cosine frame " << c.frame;
    }
    EXPECT_EQ(sine[BURST_WORDS - 1], 0xF0795u);
    EXPECT_EQ(cosine[BURST_WORDS - 1], 0xF09FDu);
    for (uint32_t n = 0; n < BURST_WORDS; ++n) {
        ASSERT_GE(CodeOf(sine[n]), 0x600u);
        ASSERT_LE(CodeOf(sine[n]), 0xA00u);
        ASSERT_GE(CodeOf(cosine[n]), 0x600u);
        ASSERT_LE(CodeOf(cosine[n]), 0xA00u);
    }
}

// What L, U and R write, from the value last shown and the number entered.
TEST(DioKeys, ValueWrittenForEachKey) {
    enum Key { L, U, R };
    struct Case { const char *what; Key key; uint32_t shown, entered, written; };
    const Case cases[] = {
        {"L uses only the low byte of the entry", L, 0, 0xF3A5, 0x400A5},
        {"L clears bit 17 and bits 20-31, keeps bit 16", L, 0xFFF3ABCD, 0x1A5, 0x5ABA5},
        {"L keeps the upper byte driven", L, 0x000C1234, 0x5A, 0xC125A},
        {"U uses only the low byte of the entry", U, 0, 0xF3A5, 0x8A500},
        {"U clears bits 20-31, keeps bits 16 and 17", U, 0xFFF3ABCD, 0x1A5, 0xBA5CD},
        {"U keeps the lower byte driven", U, 0x00041234, 0x77, 0xC7734},
        {"R returns both bytes to inputs, keeps data and bits 16-17", R, 0xFFFFABCD, 0, 0x3ABCD},
    };
    for (const Case &c : cases) {
        const uint32_t written = c.key == L   ? DioLowerByteValue(c.shown, c.entered)
                                 : c.key == U ? DioUpperByteValue(c.shown, c.entered)
                                              : DioResetValue(c.shown);
        EXPECT_EQ(written, c.written) << c.what;
    }
}

}  // namespace

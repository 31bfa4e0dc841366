// Entries 8, 9 and A: a whole pattern is loaded into the board's output
// buffer first, then rate generator B clocks it out to the four outputs,
// continuously (8) or one burst per trigger key (9 and A).
#include <cmath>

#include "outputs.h"
#include "probe.h"
#include "waveforms.h"

uint32_t OutBufA[OUT_BUF_WORDS];
uint32_t OutBufB[OUT_BUF_WORDS];

namespace {

constexpr uint32_t DMA_CHANNEL = 0;

// Whole RATE_B values, written with the generator stopped.
constexpr uint32_t RATE_B_CONTINUOUS = RATE_DISABLE | TAVO_FIELD_PREP(RATE_DIV, 94);
constexpr uint32_t RATE_B_ONE_SHOT = RATE_DISABLE | TAVO_FIELD_PREP(RATE_DIV, 7500);
constexpr uint32_t RATE_B_SEQUENCE = RATE_DISABLE | TAVO_FIELD_PREP(RATE_DIV, 80);

// The code of every channel of each frame of the staircase.
constexpr uint16_t STAIRCASE_CODES[STAIRCASE_FRAMES] = {
    0x800, 0xA00, 0xC00, 0xE00, 0xFFE, 0xE00, 0xC00, 0xA00, 0x800,
    0x600, 0x400, 0x200, 0x000, 0x200, 0x400, 0x600, 0x800};

// pi to 15 digits. The codes are truncated, so near a zero crossing the
// last digits decide between neighbouring codes (frame 30 of the sine: 0x7FF).
constexpr double BURST_PI = 3.14159265358979;
constexpr double BURST_AMPLITUDE_V = 2.5;
constexpr double OUT_SPAN_V = 20.0;
constexpr double OUT_CODES = 4096.0;
constexpr double OUT_MID_CODE = 2048.0;

// Word n of a pattern of frames that carry one code on all four channels.
uint32_t PatternWord(uint32_t n, uint32_t code) {
    const uint32_t channel = n % OUT_CHANNELS;
    return channel == OUT_LAST_CHANNEL ? FrameEndWord(code) : OutWord(channel, code);
}

// Volts to a code, in this order: divide by the span, scale, add mid-scale,
// truncate toward zero.
uint32_t VoltsToCode(double volts) {
    return static_cast<uint32_t>(volts / OUT_SPAN_V * OUT_CODES + OUT_MID_CODE);
}

void LoadBuffered(const uint32_t *words, uint32_t count) {
    Tavo_DMA_TO_Buffer(static_cast<uint32_t>(BoardNum), DMA_CHANNEL, count, words, &ApiStatus);
}

void OpenDma() {
    Tavo_Open_DMA_Channel(static_cast<uint32_t>(BoardNum), DMA_CHANNEL, &ApiStatus);
}

void CloseDma() {
    Tavo_Close_DMA_Channel(static_cast<uint32_t>(BoardNum), DMA_CHANNEL, &ApiStatus);
}

// Rate generator B stopped at `rateB`, the output buffer cleared and
// 16-channel scans.
void SetUpRegisters(uint32_t rateB) {
    WriteReg(RATE_B, rateB);
    WriteReg(SCAN_CNTRL, SCAN_CNTRL_16CH);
    WriteReg(OUT_CNTRL, OUT_CNTRL_CLEAR_PATTERN);
}

void SetSimultaneousMode() {
    LastReg = ReadReg(BCR);
    WriteReg(BCR, LastReg | OUT_SIMULT);
}

// Burst tests end with a fresh read of RATE_B, written back stopped.
void StopRateBAfterBursts() {
    LastReg = ReadReg(RATE_B);
    WriteReg(RATE_B, LastReg | RATE_DISABLE);
}

}  // namespace

void BuildSquarePattern(uint32_t words[SQUARE_WORDS]) {
    for (uint32_t n = 0; n < SQUARE_WORDS; ++n) {
        words[n] = PatternWord(n, n < SQUARE_WORDS / 2 ? CODE_HALF_NFS : CODE_HALF_PFS);
    }
    words[SQUARE_WORDS - 1] |= END_OF_BUFFER;
}

void BuildStaircase(uint32_t words[STAIRCASE_WORDS]) {
    for (uint32_t n = 0; n < STAIRCASE_WORDS; ++n) {
        words[n] = PatternWord(n, STAIRCASE_CODES[n / OUT_CHANNELS]);
    }
    words[STAIRCASE_WORDS - 1] |= END_OF_BUFFER;
}

void BuildSineCosine(uint32_t sine[BURST_WORDS], uint32_t cosine[BURST_WORDS]) {
    for (uint32_t f = 0; f < BURST_FRAMES; ++f) {
        const double g = f * BURST_PI;
        const uint32_t codeA = VoltsToCode(std::sin(g / 15) * BURST_AMPLITUDE_V);
        const uint32_t codeB = VoltsToCode(std::cos(g / 30) * BURST_AMPLITUDE_V);
        for (uint32_t c = 0; c < OUT_CHANNELS; ++c) {
            sine[f * OUT_CHANNELS + c] = PatternWord(c, codeA);
            cosine[f * OUT_CHANNELS + c] = PatternWord(c, codeB);
        }
    }
    sine[BURST_WORDS - 1] |= uint32_t{END_OF_FRAME} | END_OF_BUFFER;
    cosine[BURST_WORDS - 1] |= uint32_t{END_OF_FRAME} | END_OF_BUFFER;
}

void BurstTriggerLoop() {
    const uint16_t row = ScreenRow;
    for (;;) {
        GotoXY(ScreenCol, row);
        ConPrint("Press X to exit... AnyKey to Cause Burst Trigger....");
        // At least one pass before the key is looked at, so that the trigger
        // below always starts from a BCR value and never from whatever
        // register LastReg held before the loop.
        do {
            GotoXY(ScreenCol, row + 1u);
            LastReg = ReadReg(BCR);
            ConPrint("BCR = %04X", LastReg);
        } while (!KeyPending());
        LastKey = static_cast<char>(UpperKey(ReadKey()));
        if (LastKey == 'X') return;
        WriteReg(BCR, LastReg | BURST_TRIGGER);
    }
}

void TestContinuousOutput() {
    if (!BoardInitCheck(" 8. Continuous Function Output:")) return;
    NextLine();
    NextLine();
    PromptKey("Please Verify that all Channels are now at Zero Volts.");
    SetUpRegisters(RATE_B_CONTINUOUS);
    SetSimultaneousMode();
    BuildSquarePattern(OutBufA);
    NextLine();
    ConPrint("Continuously Looping now...");
    NextLine();
    ConPrint("Press AnyKey to return to the main menu...");
    NextLine();
    FlushKeys();
    OpenDma();
    LoadBuffered(OutBufA, SQUARE_WORDS);
    CloseDma();
    LastReg = ReadReg(BCR);
    WriteReg(BCR, LastReg | OUT_BUFFERED);
    StartRateB();
    // Shown only: LastReg keeps the RATE_B value read to start the generator.
    const uint16_t row = ScreenRow;
    do {
        GotoXY(ScreenCol, row);
        ConPrint("RATE_B %08lx", static_cast<unsigned long>(ReadReg(RATE_B)));
        GotoXY(ScreenCol, row + 1u);
        ConPrint("BCR        %04lx", static_cast<unsigned long>(ReadReg(BCR)));
        GotoXY(ScreenCol, row + 2u);
        ConPrint("SCAN_CNTRL %04lx", static_cast<unsigned long>(ReadReg(SCAN_CNTRL)));
        GotoXY(ScreenCol, row + 3u);
        ConPrint("OUT_CNTRL %05lx", static_cast<unsigned long>(ReadReg(OUT_CNTRL)));
    } while (!KeyPending());
    // The key stays pending; the main menu's prompt discards it.
    StopRateB();
}

namespace {

// Shared end of both burst tests, once their patterns are loaded and BCR is
// in burst mode: run rate generator B, trigger a burst per key until X, stop.
void PlayBursts() {
    StartRateB();
    NextLine();
    NextLine();
    FlushKeys();
    BurstTriggerLoop();
    StopRateBAfterBursts();
    NextLine();
    NextLine();
    PromptKey("Press AnyKey to Continue...");
}

}  // namespace

void TestBurstOneShot() {
    if (!BoardInitCheck(" 9. Burst - Oneshot Output:")) return;
    NextLine();
    ++ScreenRow;
    GotoXY(ScreenCol, ScreenRow);
    PromptKey("Please Verify that all Channels are now at Zero Volts.");
    GotoXY(ScreenCol, ScreenRow);
    ConPrint("Loading Data Pattern .......... Please Wait                  ");
    SetUpRegisters(RATE_B_ONE_SHOT);
    SetSimultaneousMode();
    uint32_t staircase[STAIRCASE_WORDS];
    BuildStaircase(staircase);
    for (uint32_t word : staircase) WriteReg(OUT_DATA, word);
    LastReg = ReadReg(BCR);
    WriteReg(BCR, LastReg | BCR_BURST_MODE);
    PlayBursts();
}

void TestBurstSequence() {
    if (!BoardInitCheck(" A. Burst - Sequencing Output:")) return;
    NextLine();
    NextLine();
    PromptKey("Please Verify that all Channels are now at Zero Volts.");
    WriteReg(RATE_B, RATE_B_SEQUENCE);
    WriteReg(OUT_CNTRL, OUT_CNTRL_CLEAR_PATTERN);
    WriteReg(SCAN_CNTRL, SCAN_CNTRL_16CH);
    SetSimultaneousMode();
    GotoXY(ScreenCol, ScreenRow);
    ConPrint("Writing Data to the Buffers                                  ");
    BuildSineCosine(OutBufA, OutBufB);
    // The second transfer goes through the same library buffer; each call
    // returns once its block has moved.
    OpenDma();
    LoadBuffered(OutBufA, BURST_WORDS);
    LoadBuffered(OutBufB, BURST_WORDS);
    CloseDma();
    // LastReg still holds the BCR value read before loading.
    WriteReg(BCR, LastReg | BCR_BURST_MODE);
    PlayBursts();
}

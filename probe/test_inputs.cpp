// Menu entries 3 and 4: the analog inputs in their three wirings and the six
// self-test modes, both shown live by ShowChannels for the operator to
// compare with the codes printed underneath; ReadChannelAverage picks one
// channel's words out of the input buffer.
#include <cstdio>

#include "probe.h"

namespace {

// Results of ReadChannelAverage beside the 12-bit averages.
constexpr uint32_t CHANNEL_NOT_AVAILABLE = 0x10000;
constexpr uint32_t FIRST_WORD_MISSING = 0x10001;
// What the display shows for FIRST_WORD_MISSING.
constexpr uint32_t SHOWN_FIRST_WORD_MISSING = 0xDEAD;

// The search for the first word of a scan reads at most this many words, and
// a tagged word counts only among the first FIRST_WORD_SEARCH_LIMIT of them.
constexpr uint32_t FIRST_WORD_SEARCH_READS = 240;
constexpr uint32_t FIRST_WORD_SEARCH_LIMIT = 239;

// Last channel of a scan for each SCAN_SIZE.
constexpr int32_t LAST_SCAN_CHANNEL[] = {3, 7, 15, 31};

// The live display: at most 32 channels, eight to a row on rows 4, 6, 8
// and 10, values from column 7, labels at column 0 padded to LABEL_WIDTH.
constexpr int32_t MAX_SHOWN_CHANNELS = 32;
constexpr int32_t CHANNELS_PER_ROW = 8;
constexpr uint16_t FIRST_CHANNEL_ROW = 4;
constexpr uint16_t VALUE_COL = 7;
constexpr uint16_t UPDATE_ROW = 3;
constexpr int LABEL_WIDTH = 54;
constexpr uint32_t THRESHOLD_WORDS_PER_CHANNEL = 256;
constexpr uint32_t READINGS_PER_CHANNEL = 16;
constexpr uint32_t THRESHOLD_POLLS = 500;

// Test screens: lines at rows 19 and 20 padded so that a shorter line
// covers a longer one.
constexpr uint16_t STATUS_ROW = 19;
constexpr uint16_t PROMPT_ROW = 20;
constexpr int STATUS_WIDTH = 57;

// Divisors of rate generator A offered by the input test.
constexpr uint32_t RATE_DIV_25K = 1200;
constexpr uint32_t RATE_DIV_1M = 480;

constexpr uint32_t InputBcr(uint32_t mode, uint32_t range) {
    return BCR_BIT6 | TAVO_FIELD_PREP(INPUT_MODE, mode) | TAVO_FIELD_PREP(INPUT_RANGE, range);
}

uint16_t ChannelRow(int32_t channel) {
    return static_cast<uint16_t>(FIRST_CHANNEL_ROW + 2 * (channel / CHANNELS_PER_ROW));
}

void ShowTitle(const char *title) {
    ClearScreen();
    ScreenCol = 2;
    ScreenRow = 3;
    GotoXY(2, 2);
    ConPrint("%s", title);
}

void ShowPerformingAutocal() {
    GotoXY(ScreenCol, STATUS_ROW);
    ConPrint("%-*s", STATUS_WIDTH, "Performing AutoCalibration");
}

// Range lines start with the plus-minus sign.
void ShowRangeLine(const char *text) {
    GotoXY(ScreenCol, STATUS_ROW);
    ConPrint("%c%s", PLUS_MINUS, text);
}

// --- Entry 3 ---------------------------------------------------------------

const char INPUTS_TITLE[] = "Analog Input Channels:";

struct InputPass {
    bool setScan;  // SCAN_CNTRL is written before BCR, else left as it is
    uint32_t scanCntrl;
    uint32_t bcr;
    const char *range;  // after the plus-minus sign
    int32_t channels;
};

const InputPass INPUT_PASSES[] = {
    {true, SCAN_CNTRL_16CH, InputBcr(INPUT_MODE_DIFFERENTIAL, INPUT_RANGE_10V),
     "10V Range  16 Differential Inputs   ", 16},
    {false, 0, InputBcr(INPUT_MODE_SINGLE_ENDED, INPUT_RANGE_10V),
     "10V Range  16 Single Ended Inputs   ", 16},
    {true, SCAN_CNTRL_32CH, InputBcr(INPUT_MODE_SINGLE_ENDED, INPUT_RANGE_5V),
     "5V Range   32 Single Ended Inputs   ", 32},
};

// --- Entry 4 ---------------------------------------------------------------

struct SelfTestPass {
    uint32_t bcr;
    bool calibrate;
    bool loopback;  // the output codes are written for input channel 0 to read back
    const char *range;          // after the plus-minus sign
    const char *verify;         // before the plus-minus sign
    const char *tolerance;      // after it
    int verifyWidth;
    int32_t channels;
    bool startInputs;  // rate generator A is started, whatever initialization left
};

const char RANGE_10V_DIFF[] = "10V Range  Differential Inputs    ";

// Passes 4 to 6 use the 10 V range that pass 3 has just calibrated.
const SelfTestPass SELFTEST_PASSES[] = {
    {InputBcr(INPUT_MODE_SELFTEST_ZERO, INPUT_RANGE_2V5), true, false,
     "2.5V Range  Differential Inputs   ", "Verify All Channels read 0800 ", "003", 52, 16, true},
    {InputBcr(INPUT_MODE_SELFTEST_REF, INPUT_RANGE_5V), true, false,
     "5V Range   Differential Inputs    ", "Verify that Each Channel reads 0F95 ", "004", 52, 16, false},
    {InputBcr(INPUT_MODE_LOOPBACK_CH0 + 0, INPUT_RANGE_10V), true, true, RANGE_10V_DIFF,
     "Verify that Channel0 reads 0000 ", "004", 51, 1, false},
    {InputBcr(INPUT_MODE_LOOPBACK_CH0 + 1, INPUT_RANGE_10V), false, true, RANGE_10V_DIFF,
     "Verify that Channel0 reads 0100 ", "004", 51, 1, false},
    {InputBcr(INPUT_MODE_LOOPBACK_CH0 + 2, INPUT_RANGE_10V), false, true, RANGE_10V_DIFF,
     "Verify that Channel0 reads 0200 ", "004", 51, 1, false},
    {InputBcr(INPUT_MODE_LOOPBACK_CH0 + 3, INPUT_RANGE_10V), false, true, RANGE_10V_DIFF,
     "Verify that Channel0 reads 0300 ", "004", 51, 1, false},
};

// Output channel n carries n * 0x100, which the loop-back modes bring to
// input channel 0.
constexpr uint32_t LOOPBACK_CHANNELS = 4;
constexpr uint32_t LOOPBACK_CODE_STEP = 0x100;

void WriteLoopbackCodes() {
    for (uint32_t channel = 0; channel < LOOPBACK_CHANNELS; ++channel) {
        WriteReg(OUT_DATA, TAVO_FIELD_PREP(OUT_CHAN, channel) |
                               TAVO_FIELD_PREP(OUT_CODE, channel * LOOPBACK_CODE_STEP));
    }
}

}  // namespace

uint32_t ReadChannelAverage(int32_t channel, uint32_t count) {
    // No reading to average: say so rather than divide by zero.
    if (count == 0 || channel < 0) return CHANNEL_NOT_AVAILABLE;
    const uint32_t scan = ReadReg(SCAN_CNTRL);
    if ((scan & SCAN_TWO_CHAN) != 0 && channel >= 2) return CHANNEL_NOT_AVAILABLE;

    uint64_t sum = 0;
    if ((scan & SINGLE_CHAN) != 0) {
        // Every word is a sample of the selected channel.
        if (static_cast<uint32_t>(channel) != TAVO_FIELD_GET(CHAN_SEL, scan)) {
            return CHANNEL_NOT_AVAILABLE;
        }
        for (uint32_t i = 0; i < count; ++i) sum += TAVO_FIELD_GET(IN_SAMPLE, ReadReg(IN_DATA));
        return static_cast<uint32_t>(sum / count);
    }

    if (channel > LAST_SCAN_CHANNEL[TAVO_FIELD_GET(SCAN_SIZE, scan)]) return CHANNEL_NOT_AVAILABLE;
    for (uint32_t i = 0; i < count; ++i) {
        // Each reading starts at a fresh scan; the rest of the previous one
        // goes with the search.
        uint32_t word = 0;
        uint32_t reads = 0;
        do {
            word = ReadReg(IN_DATA);
            ++reads;
        } while ((word & FIRST_CHAN) == 0 && reads < FIRST_WORD_SEARCH_READS);
        if ((word & FIRST_CHAN) == 0 || reads > FIRST_WORD_SEARCH_LIMIT) return FIRST_WORD_MISSING;
        for (int32_t skipped = 1; skipped < channel; ++skipped) ReadReg(IN_DATA);
        if (channel > 0) word = ReadReg(IN_DATA);
        sum += TAVO_FIELD_GET(IN_SAMPLE, word);
    }
    return static_cast<uint32_t>(sum / count);
}

void ShowChannels(int32_t count) {
    int32_t shown = count;
    if (shown > MAX_SHOWN_CHANNELS) shown = MAX_SHOWN_CHANNELS;
    if (shown < 0) shown = 0;
    // Clear the buffer and wait for 256 words a channel shown.
    const uint32_t inputControl =
        IN_CLEAR | TAVO_FIELD_PREP(IN_THRESHOLD, static_cast<uint32_t>(shown) * THRESHOLD_WORDS_PER_CHANNEL);

    for (int32_t first = 0; first < MAX_SHOWN_CHANNELS; first += CHANNELS_PER_ROW) {
        GotoXY(0, ChannelRow(first));
        if (first < shown) {
            char label[16];
            std::snprintf(label, sizeof label, "CH%02d", static_cast<int>(first));
            ConPrint("%-*s", LABEL_WIDTH, label);
        } else {
            ConPrint("%*s", LABEL_WIDTH, "");
        }
    }

    for (;;) {
        // Restart the input so that the averages come from fresh scans.
        LastReg = ReadReg(RATE_A);
        const uint32_t rate = LastReg;
        WriteReg(RATE_A, rate | RATE_DISABLE);
        WriteReg(IN_CNTRL, inputControl);
        Pause(100);
        WriteReg(RATE_A, rate & ~static_cast<uint32_t>(RATE_DISABLE));
        SpinWait(10);
        // A buffer that never reaches the threshold is read all the same.
        for (uint32_t poll = 0; poll < THRESHOLD_POLLS; ++poll) {
            LastReg = ReadReg(IN_CNTRL);
            SpinWait(5);
            if ((LastReg & IN_THRESHOLD_FLAG) != 0) break;
        }

        GotoXY(VALUE_COL, UPDATE_ROW);
        ConPrint("UPDATE");
        GotoXY(VALUE_COL, FIRST_CHANNEL_ROW);
        for (int32_t channel = 0; channel < shown; ++channel) {
            if (channel > 0 && channel % CHANNELS_PER_ROW == 0) GotoXY(VALUE_COL, ChannelRow(channel));
            uint32_t value = ReadChannelAverage(channel, READINGS_PER_CHANNEL);
            if (value == FIRST_WORD_MISSING) value = SHOWN_FIRST_WORD_MISSING;
            ConPrint("%04X ", static_cast<unsigned int>(value));
        }
        Pause(500);
        GotoXY(VALUE_COL, UPDATE_ROW);
        ConPrint("      ");
        if (KeyPending()) break;
    }
    FlushKeys();
}

void TestAnalogInputs() {
    ShowTitle(INPUTS_TITLE);
    NextLine();
    Tavo_Initialize(static_cast<uint32_t>(BoardNum), &ApiStatus);
    Pause(250);

    NextLine();
    NextLine();
    ConPrint("Please select the desired Sample Rate to test...");
    NextLine();
    ConPrint("     1 - 25K Samples");
    NextLine();
    ConPrint("     2 -  1M Samples");
    NextLine();
    ConPrint("Selection: ");
    // No way back to the menu from here: only a rate goes on.
    int key = 0;
    do {
        key = UpperKey(ReadKey());
    } while (key != '1' && key != '2');
    WriteReg(RATE_A, key == '1' ? RATE_DIV_25K : RATE_DIV_1M);

    ShowTitle(INPUTS_TITLE);
    NextLine();
    ConPrint("Connect All HI(+) and LO(-) inputs to INPUT RETURN.");
    NextLine();
    NextLine();
    PressAnyKey();

    ShowTitle(INPUTS_TITLE);
    ScreenRow = 18;
    GotoXY(ScreenCol, 17);
    ConPrint("Verify Each of the following Readings in both the Single ");
    NextLine();
    ConPrint("ended and differential modes.");
    NextLine();
    NextLine();

    for (const InputPass &pass : INPUT_PASSES) {
        ShowPerformingAutocal();
        if (pass.setScan) WriteReg(SCAN_CNTRL, pass.scanCntrl);
        WriteReg(BCR, pass.bcr);
        RunAutocal();
        ShowRangeLine(pass.range);
        GotoXY(ScreenCol, PROMPT_ROW);
        ConPrint("%-*s", STATUS_WIDTH, "Press anykey for the next Selection...");
        ShowChannels(pass.channels);
    }
}

void TestSelfTestModes() {
    ShowTitle("SelfTest Modes:");
    Tavo_Initialize(static_cast<uint32_t>(BoardNum), &ApiStatus);
    SpinWait(10);

    for (const SelfTestPass &pass : SELFTEST_PASSES) {
        ShowPerformingAutocal();
        WriteReg(BCR, pass.bcr);
        WriteReg(SCAN_CNTRL, SCAN_CNTRL_16CH);
        if (pass.calibrate) RunAutocal();
        ShowRangeLine(pass.range);
        GotoXY(ScreenCol, PROMPT_ROW);
        if (pass.loopback) WriteLoopbackCodes();
        char verify[64];
        std::snprintf(verify, sizeof verify, "%s%c%s", pass.verify, PLUS_MINUS, pass.tolerance);
        ConPrint("%-*s", pass.verifyWidth, verify);
        if (pass.startInputs) {
            LastReg = ReadReg(RATE_A);
            WriteReg(RATE_A, LastReg & ~static_cast<uint32_t>(RATE_DISABLE));
        }
        ShowChannels(pass.channels);
    }
}

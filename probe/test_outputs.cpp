// Entries 5, 6 and 7: the four analog outputs driven by single OUT_DATA
// writes while the operator checks them with a meter. Every test leaves the
// outputs at mid-scale.
#include "outputs.h"
#include "probe.h"

namespace {

const char *const BASIC_TITLE = " 5. Output Channels basic operation:";
const char *const BASIC_LINE_A = "  A - Set all analog output channels to 0020";
const char *const BASIC_LINE_B = "  B - Set all analog output channels to 0800";
const char *const BASIC_LINE_C = "  C - Set all analog output channels to 0FE0";
const char *const BASIC_LINE_D = "  D - Set analog outputs to walking one pattern";
const char *const BASIC_LINE_X = "  X - Return to main menu";

void SetSimultaneousMode() {
    LastReg = ReadReg(BCR);
    WriteReg(BCR, LastReg | OUT_SIMULT);
}

// Clears OUT_SIMULT with the 16-bit mask, so bits 16 to 31 go out as 0 too.
void SetSequentialMode() {
    LastReg = ReadReg(BCR);
    WriteReg(BCR, LastReg & BCR_SEQUENTIAL_MASK);
}

// Rate generator B clocks one word a tick from the output buffer. Stopped
// straight after the last writes, it would leave them in the buffer and the
// outputs at the previous code, so the actions of entry 5 first give it the
// time of one frame (twice over) at the divisor kept in LastReg.
void StopRateBWhenClockedOut() {
    uint64_t divisor = TAVO_FIELD_GET(RATE_DIV, LastReg);
    if (divisor == 0) divisor = uint64_t{RATE_DIV_MASK} + 1;
    const uint64_t frameUs = OUT_CHANNELS * divisor * 1000000u / TAVO_RATE_CLOCK_HZ;
    Pause(static_cast<uint32_t>(2 * frameUs / 1000 + 1));
    StopRateB();
}

// Channels 0 to 2 without marker, channel 3 closing the frame: effective in
// either output mode.
void WriteFrame(uint32_t code) {
    for (uint32_t channel = 0; channel < OUT_LAST_CHANNEL; ++channel) {
        WriteReg(OUT_DATA, OutWord(channel, code));
    }
    WriteReg(OUT_DATA, FrameEndWord(code));
}

// The screen of actions A to C: the action's line, what the meter should
// read, and a key to go back to the submenu.
void ShowActionScreen(const char *actionLine, const char *verifyLine) {
    ClearScreen();
    ScreenCol = 2;
    ScreenRow = 3;
    GotoXY(2, 2);
    NextLine();
    NextLine();
    ConPrint("%s", actionLine);
    NextLine();
    ConPrint("%s", verifyLine);
    NextLine();
    PromptKey("Press any key to return to menu...");
}

// Actions A and C: all four channels to one code in simultaneous mode.
void SetAllSimultaneous(uint32_t code, const char *actionLine, const char *verifyLine) {
    SetSimultaneousMode();
    StartRateB();
    WriteFrame(code);
    ShowActionScreen(actionLine, verifyLine);
    ZeroAllOutputs();
    StopRateBWhenClockedOut();
}

void SetOutputsLow() {
    SetAllSimultaneous(CODE_MINUS_9V836, BASIC_LINE_A,
                       "Use a meter to verify all channels set to -9.836V.");
}

void SetOutputsZero() {
    SetSequentialMode();
    StartRateB();
    for (uint32_t channel = 0; channel < OUT_CHANNELS; ++channel) {
        WriteReg(OUT_DATA, OutWord(channel, TAVO_CODE_ZERO));
    }
    ShowActionScreen(BASIC_LINE_B, "Use a meter to verify all channels set to 0.0V.");
    // The outputs are at mid-scale already.
    StopRateBWhenClockedOut();
}

void SetOutputsHigh() {
    SetAllSimultaneous(CODE_PLUS_9V836, "  C - Set all analog output channels to FE0",
                       "Use a meter to verify all channels set to +9.836V.");
}

void WalkOutputs() {
    ClearScreen();
    ScreenCol = 2;
    ScreenRow = 3;
    GotoXY(2, 2);
    NextLine();
    ConPrint("Setting analog outputs to walking-one");
    NextLine();
    ConPrint("   for cross-channel check.");
    NextLine();
    SetSequentialMode();
    StartRateB();
    for (uint32_t step = 0; step < OUT_CHANNELS; ++step) {
        for (uint32_t channel = 0; channel < OUT_CHANNELS; ++channel) {
            WriteReg(OUT_DATA, OutWord(channel, channel == step ? CODE_PLUS_9V836 : TAVO_CODE_ZERO));
        }
        // Every step prints over the previous one.
        GotoXY(ScreenCol, ScreenRow);
        ConPrint("Verify Ch %02i set to +9.836, and others are 0.0V", static_cast<int>(step));
        // No flush: a key typed ahead moves on at once.
        ReadKey();
    }
    NextLine();
    NextLine();
    PromptKey("Press AnyKey to Continue....");
    ZeroAllOutputs();
    StopRateBWhenClockedOut();
}

void DrawBasicMenu() {
    ClearScreen();
    ScreenCol = 2;
    ScreenRow = 3;
    GotoXY(2, 2);
    ConPrint("%s", BASIC_TITLE);
    const char *const lines[] = {BASIC_LINE_A, BASIC_LINE_B, BASIC_LINE_C, BASIC_LINE_D,
                                 BASIC_LINE_X};
    for (const char *line : lines) {
        NextLine();
        ConPrint("%s", line);
    }
    NextLine();
}

}  // namespace

void StartRateB() {
    LastReg = ReadReg(RATE_B);
    WriteReg(RATE_B, LastReg & ~static_cast<uint32_t>(RATE_DISABLE));
}

void StopRateB() {
    WriteReg(RATE_B, LastReg | RATE_DISABLE);
}

void ZeroAllOutputs() {
    WriteFrame(TAVO_CODE_ZERO);
}

void TestOutputBasic() {
    if (!BoardInitCheck(BASIC_TITLE)) return;
    NextLine();
    PromptKey("Press any key to continue....");
    // The submenu does not initialize the board between actions: each one
    // starts from the output mode the previous one left.
    for (;;) {
        DrawBasicMenu();
        switch (UpperKey(ReadKey())) {
        case 'A':
            SetOutputsLow();
            break;
        case 'B':
            SetOutputsZero();
            break;
        case 'C':
            SetOutputsHigh();
            break;
        case 'D':
            WalkOutputs();
            break;
        case 'X':
            ClearScreen();
            return;
        default:
            break;
        }
    }
}

void TestSequentialOutput() {
    if (!BoardInitCheck(" 6. Sequential Direct Output:")) return;
    NextLine();
    // BCR stays as initialization left it: sequential mode.
    StartRateB();
    NextLine();
    PromptKey("Please Verify that all Channels are now at Zero Volts.");
    for (uint32_t channel = 0; channel < OUT_CHANNELS; ++channel) {
        WriteReg(OUT_DATA, OutWord(channel, CODE_HALF_PFS));
        GotoXY(ScreenCol, ScreenRow);
        ConPrint("Please Verify that Chan %02i is now at Half PFS...", static_cast<int>(channel));
        WaitKey();
    }
    NextLine();
    NextLine();
    PromptKey("Press AnyKey to Continue...");
    ZeroAllOutputs();
}

void TestSimultaneousOutput() {
    if (!BoardInitCheck(" 7. Simultaneous Direct Output:")) return;
    NextLine();
    SetSimultaneousMode();
    StartRateB();
    // These two reads are only shown; LastReg keeps the RATE_B value.
    NextLine();
    ConPrint("BCR        Reads: %04X", ReadReg(BCR));
    NextLine();
    ConPrint("SCAN_CNTRL Reads: %04X", ReadReg(SCAN_CNTRL));
    NextLine();
    NextLine();
    PromptKey("Please Verify that all Channels are now at Zero Volts.");
    NextLine();
    const uint16_t row = ScreenRow;
    for (uint32_t channel = 0; channel < OUT_CHANNELS; ++channel) {
        GotoXY(ScreenCol, row);
        ConPrint("Loading Value for Channel %02i", static_cast<int>(channel));
        GotoXY(ScreenCol, row + 1u);
        if (channel < OUT_LAST_CHANNEL) {
            WriteReg(OUT_DATA, OutWord(channel, CODE_HALF_PFS));
            PromptKey("Please Verify that all Channels remain at Zero Volts.");
        } else {
            WriteReg(OUT_DATA, FrameEndWord(CODE_HALF_PFS));
            ConPrint("Please Verify that all Channels are now at Half PFS. ");
        }
    }
    NextLine();
    NextLine();
    NextLine();
    PromptKey("Press AnyKey to Continue...");
    ZeroAllOutputs();
}

// Menu entries 1 and 2: the register dump after a direct initialization and
// one autocalibration driven by hand through the interrupt path; and
// RunAutocal, the calibration step that the input tests and the continuous
// acquisition share.
#include "os_sync.h"
#include "probe.h"

namespace {

// One line of the register dump: the label, then the value read with at
// least `digits` upper-case hexadecimal digits.
struct DumpLine {
    uint32_t offset;
    const char *label;
    int digits;
};

// Two runs of consecutive registers; OUT_DATA is write-only and skipped.
const DumpLine DUMP_LINES[] = {
    {BCR, "Board Control Register      = ", 8},
    {INT_CNTRL, "Interrupt Control Register  = ", 8},
    {IN_DATA, "Input Data Bufer Register   = ", 8},
    {IN_CNTRL, "Input Data Control Register = ", 8},
    {RATE_A, "Rate Control A Register     = ", 8},
    {RATE_B, "Rate Control B Register     = ", 8},
    {OUT_CNTRL, "Output Control Register     = ", 8},
    {SCAN_CNTRL, "Scan Control Register       = ", 8},
    {DIO, "DIO Register                = ", 8},
    {FW_REV, "FW_REV     * Undocumented * = ", 4},
    {AUTOCAL, "AUTOCAL    * Undocumented * = ", 4},
};

constexpr uint32_t AUTOCAL_WAIT_MS = 10000;
constexpr uint32_t DAC_CHANNELS = 4;
// Not a result Tavo_Autocal gives, but one its callers have always treated
// as an error.
constexpr uint32_t AUTOCAL_RESULT_ERROR = 0xFFFFFFFFu;

uint32_t ReadAutocalWindow(uint32_t index) {
    WriteReg(AUTOCAL, index);
    return ReadReg(AUTOCAL);
}

}  // namespace

void TestBoardInit() {
    ClearScreen();
    ScreenCol = 2;
    ScreenRow = 2;
    WriteReg(BCR, BOARD_INIT);
    SpinWait(50);
    for (const DumpLine &line : DUMP_LINES) {
        NextLine();
        const uint32_t value = ReadReg(line.offset);
        ConPrint("%s%0*lX", line.label, line.digits, static_cast<unsigned long>(value));
    }
    NextLine();
    NextLine();
    PressAnyKey();
}

void TestAutocal() {
    ClearScreen();
    ScreenCol = 2;
    ScreenRow = 3;
    GotoXY(2, 2);
    ConPrint("Auto Calibration Test:");
    Tavo_Initialize(static_cast<uint32_t>(BoardNum), &ApiStatus);
    SpinWait(20);

    OsEvent event = OsCreateEvent();
    if (event == nullptr) {
        ConPrint("Insufficent Resources    ...");
        PressAnyKey();
        return;
    }
    Tavo_EnableInterrupt(static_cast<uint32_t>(BoardNum), INT_SOURCE_AUTOCAL, TAVO_INT_KIND_LOCAL,
                         &ApiStatus);
    // korvane owns the rest of the record; it must stay where it is and
    // untouched until the cancellation.
    NotifyRecord notify = {};
    notify.Event = OsEventToRecord(event);
    Tavo_Register_Interrupt_Notify(static_cast<uint32_t>(BoardNum), &notify, 0,
                                   TAVO_INT_KIND_LOCAL, &ApiStatus);
    SpinWait(5);

    WriteReg(BCR, ReadReg(BCR) | AUTOCAL_START);
    const bool interrupted = OsWaitEvent(event, AUTOCAL_WAIT_MS) == OS_WAIT_SIGNALLED;
    NextLine();
    ConPrint("%s", interrupted ? "Interrupt was requested    ..." : "Interrupt was NOT requested...");

    Tavo_Cancel_Interrupt_Notify(static_cast<uint32_t>(BoardNum), &notify, &ApiStatus);
    OsCloseEvent(event);
    Tavo_DisableInterrupt(static_cast<uint32_t>(BoardNum), INT_SOURCE_AUTOCAL, TAVO_INT_KIND_LOCAL,
                          &ApiStatus);

    // What the board says now, whether or not the interrupt came.
    LastReg = ReadReg(BCR);
    NextLine();
    ConPrint("%s", (LastReg & AUTOCAL_START) != 0 ? "Auto Cal BCR Bit did NOT clear..."
                                                  : "Auto Cal BCR Bit Cleared   ...   ");
    NextLine();
    ConPrint("Auto Cal Status Says %s... %04lx", (LastReg & AUTOCAL_PASS) != 0 ? "PASSED" : "FAILED",
             static_cast<unsigned long>(LastReg));

    NextLine();
    const uint32_t adcGain = ReadAutocalWindow(AUTOCAL_ADC_GAIN);
    const uint32_t adcOffset = ReadAutocalWindow(AUTOCAL_ADC_OFFSET);
    ConPrint("ADC Gain      = %04lX : Offset = %04lx", static_cast<unsigned long>(adcGain),
             static_cast<unsigned long>(adcOffset));
    for (uint32_t channel = 0; channel < DAC_CHANNELS; ++channel) {
        const uint32_t gain = ReadAutocalWindow(AUTOCAL_DAC_GAIN(channel));
        const uint32_t offset = ReadAutocalWindow(AUTOCAL_DAC_OFFSET(channel));
        NextLine();
        ConPrint("DAC Ch %01d Gain = %04lX : Offset = %04lx", static_cast<int>(channel),
                 static_cast<unsigned long>(gain), static_cast<unsigned long>(offset));
    }
    NextLine();
    NextLine();
    PressAnyKey();
}

void RunAutocal() {
    const uint32_t result = Tavo_Autocal(static_cast<uint32_t>(BoardNum), &ApiStatus);
    switch (result) {
    case TAVO_AUTOCAL_FAILED:
        ConPrint("  Autocal FAILED  ...");
        break;
    case TAVO_AUTOCAL_NO_INTERRUPT:
        ConPrint("  Autocal Interrupt ERROR  ...");
        break;
    case TAVO_AUTOCAL_NO_EVENT:
    case AUTOCAL_RESULT_ERROR:
        // No calibration ran at all: the operator must not take silence for
        // a pass.
        ConPrint("  Autocal ERROR  ...");
        break;
    default:
        break;
    }
}

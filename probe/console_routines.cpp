// The globals every screen of tavoprobe shares, the console and keyboard
// routines, the report of a failed library call and the board preamble of
// the tests.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "os_console.h"
#include "os_sync.h"
#include "probe.h"

int32_t BoardNum = 0;
uint32_t BoardsFound = 0;
int32_t ApiStatus = 0;
char BoardList[TAVO_BOARD_LIST_SIZE] = "";
uint16_t ScreenCol = 2;
uint16_t ScreenRow = 2;
char LastKey = 0;
char MenuKey = 0;
uint32_t LastReg = 0;

namespace {

// Most formatted lines fit here; longer ones get a heap block of their own.
constexpr size_t PRINT_BUFFER_SIZE = 1024;

typedef void (*WriteFn)(const char *text, size_t length);

void FormatAndWrite(WriteFn write, const char *format, va_list args) {
    char local[PRINT_BUFFER_SIZE];
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(local, sizeof local, format, args);
    if (length < 0) {
        va_end(again);
        return;
    }
    if (static_cast<size_t>(length) < sizeof local) {
        write(local, static_cast<size_t>(length));
    } else {
        char *large = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
        if (large != nullptr) {
            std::vsnprintf(large, static_cast<size_t>(length) + 1, format, again);
            write(large, static_cast<size_t>(length));
            std::free(large);
        } else {
            write(local, sizeof local - 1);
        }
    }
    va_end(again);
}

// Frames of the spinner: glyph and attribute.
struct SpinFrame {
    const char *glyph;
    uint16_t attribute;
};
const SpinFrame SPIN_FRAMES[] = {
    {"*\b", ATTR_CYAN},         {"|", ATTR_RED},          {"/", ATTR_MAGENTA},
    {"-", ATTR_NORMAL},         {"\\", ATTR_BRIGHT_BLUE}, {"|", ATTR_BRIGHT_GREEN},
    {"/", ATTR_BRIGHT_CYAN},    {"-", ATTR_BRIGHT_RED},   {"\\", ATTR_BRIGHT_MAGENTA},
};
constexpr uint16_t SPIN_COL = 70;
constexpr uint16_t SPIN_ROW = 2;
constexpr uint32_t SPIN_FRAME_MS = 2;
constexpr uint32_t KEY_POLL_MS = 10;

// Names of the failure statuses, from ApiFailed on.
const char *const API_STATUS_NAMES[] = {
    "ApiFailed",
    "ApiNullParam",
    "ApiUnsupportedFunction",
    "ApiNoActiveDriver",
    "ApiConfigAccessFailed",
    "ApiInvalidDeviceInfo",
    "ApiInvalidDriverVersion",
    "ApiInvalidOffset",
    "ApiInvalidData",
    "ApiInvalidSize",
    "ApiInvalidAddress",
    "ApiInvalidAccessType",
    "ApiInvalidIndex",
    "ApiInvalidPowerState",
    "ApiInvalidIopSpace",
    "ApiInvalidHandle",
    "ApiInvalidPciSpace",
    "ApiInvalidBusIndex",
    "ApiInsufficientResources",
    "ApiWaitTimeout",
    "ApiWaitCanceled",
    "ApiDmaChannelUnavailable",
    "ApiDmaChannelInvalid",
    "ApiDmaDone",
    "ApiDmaPaused",
    "ApiDmaInProgress",
    "ApiDmaCommandInvalid",
    "ApiDmaInvalidChannelPriority",
    "ApiDmaSglPagesGetError",
    "ApiDmaSglPagesLockError",
    "ApiMuFifoEmpty",
    "ApiMuFifoFull",
    "ApiPowerDown",
    "ApiHSNotSupported",
    "ApiVPDNotSupported",
    "ApiDeviceInUse",
    "ApiDmaNotReady",
    "ApiInvalidBoardNumber",
    "ApiInvalidDMANumWords",
};
static_assert(sizeof API_STATUS_NAMES / sizeof API_STATUS_NAMES[0] ==
                  ApiInvalidDMANumWords - ApiFailed + 1,
              "one name for each failure status");

// Room for one line of operator input.
constexpr size_t INPUT_LINE_SIZE = 256;

const char *SkipBlanks(const char *p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

// --- Printing -----------------------------------------------------------------

void Print(const char *format, ...) {
    va_list args;
    va_start(args, format);
    FormatAndWrite(ConsoleWriteStd, format, args);
    va_end(args);
}

void ConPrint(const char *format, ...) {
    va_list args;
    va_start(args, format);
    FormatAndWrite(ConsoleWriteDirect, format, args);
    va_end(args);
}

// --- Console routines -----------------------------------------------------------

void ClearScreen() {
    ConsoleFillScreen();
    ConsoleSetCursorPos(0, 0);
}

void GotoXY(uint32_t col, uint32_t row) {
    ConsoleSetCursorPos(static_cast<uint16_t>(col), static_cast<uint16_t>(row));
}

void SetCursorVisible(bool visible) { ConsoleSetCursorVisible(visible); }

void SetTextColor(uint16_t attribute) { ConsoleSetTextAttribute(attribute); }

void NextLine() {
    GotoXY(ScreenCol, ScreenRow);
    ++ScreenRow;
}

void SpinWait(uint32_t turns) {
    uint16_t col = 0;
    uint16_t row = 0;
    const bool known = ConsoleGetCursorPos(&col, &row);
    for (uint32_t turn = 0; turn < turns; ++turn) {
        for (const SpinFrame &frame : SPIN_FRAMES) {
            GotoXY(SPIN_COL, SPIN_ROW);
            SetTextColor(frame.attribute);
            Print("%s", frame.glyph);
            Pause(SPIN_FRAME_MS);
        }
    }
    GotoXY(SPIN_COL, SPIN_ROW);
    Print(" ");
    SetTextColor(ATTR_NORMAL);
    if (known) GotoXY(col, row);
}

bool KeyPending() { return ConsoleKeyPending(); }

int ReadKey() { return ConsoleReadKey(); }

int UpperKey(int key) { return (key >= 'a' && key <= 'z') ? key - 'a' + 'A' : key; }

void Pause(uint32_t ms) { OsSleep(ms); }

void FlushKeys() {
    while (KeyPending()) ReadKey();
}

int PressAnyKey() {
    Print("\n  Press AnyKey to Continue....");
    FlushKeys();
    while (!KeyPending()) Pause(KEY_POLL_MS);
    return UpperKey(ReadKey());
}

int PromptKey(const char *message) {
    Print("%s ", message);
    FlushKeys();
    while (!KeyPending()) Pause(KEY_POLL_MS);
    return UpperKey(ReadKey());
}

int WaitKey() {
    FlushKeys();
    while (!KeyPending()) {
    }
    return UpperKey(ReadKey());
}

// --- Number input -----------------------------------------------------------------

bool ReadDecimal(int32_t *value) {
    char line[INPUT_LINE_SIZE];
    if (!ConsoleReadLine(line, sizeof line)) return false;
    const char *p = SkipBlanks(line);
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (*p < '0' || *p > '9') return false;
    // Magnitude up to 2^31 (the most negative value); beyond is no number.
    int64_t magnitude = 0;
    const int64_t limit = negative ? static_cast<int64_t>(INT32_MAX) + 1 : INT32_MAX;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) return false;
    }
    *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

bool ReadHex(uint32_t *value) {
    char line[INPUT_LINE_SIZE];
    if (!ConsoleReadLine(line, sizeof line)) return false;
    const char *p = SkipBlanks(line);
    // "0x" is a prefix only when a hex digit follows; "0xz" is the number 0.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigit(p[2]) >= 0) p += 2;
    if (HexDigit(*p) < 0) return false;
    uint32_t number = 0;
    for (; HexDigit(*p) >= 0; ++p) number = (number << 4) | static_cast<uint32_t>(HexDigit(*p));
    *value = number;
    return true;
}

// --- Program routines -------------------------------------------------------------

void ShowApiError(int32_t status) {
    Print("\n  An Error has Occured in the API for the Device Driver.");
    Print("\n  Below is all the information that was available about ");
    Print("\n  the encountered Error.                             \n ");
    if (status >= ApiFailed && status <= ApiInvalidDMANumWords) {
        Print("\n  Return Code  %d  = %s\n", static_cast<int>(status),
              API_STATUS_NAMES[status - ApiFailed]);
    } else {
        Print("\n  Return Code  %d  Is not Listed as a valid return code. \n",
              static_cast<int>(status));
    }
    PressAnyKey();
}

bool BoardInitCheck(const char *title) {
    ClearScreen();
    ScreenCol = 2;
    ScreenRow = 3;
    GotoXY(2, 2);
    ConPrint("%s", title);
    NextLine();
    ConPrint("Initializing the Board...");
    Tavo_Initialize(static_cast<uint32_t>(BoardNum), &ApiStatus);
    SpinWait(10);
    LastReg = ReadReg(BCR);
    if (LastReg != BCR_INIT_DONE) {
        ConPrint("Unable to Init Board");
        NextLine();
        ConPrint("BCR Reads: %04X", static_cast<unsigned>(LastReg));
        NextLine();
        PromptKey("Press AnyKey to return to main....");
        return false;
    }
    ConPrint("Initialization Completed");
    return true;
}

uint32_t ReadReg(uint32_t offset) {
    return Tavo_Read_Local32(static_cast<uint32_t>(BoardNum), &ApiStatus, offset);
}

void WriteReg(uint32_t offset, uint32_t value) {
    Tavo_Write_Local32(static_cast<uint32_t>(BoardNum), &ApiStatus, offset, value);
}

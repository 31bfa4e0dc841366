// tavoprobe: the globals and console routines that every test of the menu
// shares, and the tests themselves.
#pragma once

#include <cstdint>

#include "tavocore.h"

// --- Globals (console thread only) ------------------------------------------
extern int32_t BoardNum;      // chosen board, 1 to 5
extern uint32_t BoardsFound;  // count Tavo_FindBoards returned
extern int32_t ApiStatus;     // the one status word; never reset during a run
extern char BoardList[TAVO_BOARD_LIST_SIZE];
extern uint16_t ScreenCol;    // column of a test's lines
extern uint16_t ScreenRow;    // row of a test's next line
extern char LastKey;
extern char MenuKey;
extern uint32_t LastReg;      // register value last read by a test

// Console text attributes.
enum : uint16_t {
    ATTR_CYAN = 3,
    ATTR_RED = 4,
    ATTR_MAGENTA = 5,
    ATTR_NORMAL = 7,
    ATTR_BRIGHT_BLUE = 9,
    ATTR_BRIGHT_GREEN = 10,
    ATTR_BRIGHT_CYAN = 11,
    ATTR_BRIGHT_RED = 12,
    ATTR_BRIGHT_MAGENTA = 13
};
// Shown by the console as the plus-minus sign (code page 437).
constexpr char PLUS_MINUS = static_cast<char>(0xF1);

// --- Printing ----------------------------------------------------------------
// Print: standard output. ConPrint: straight to the console. printf formats.
void Print(const char *format, ...) __attribute__((format(printf, 1, 2)));
void ConPrint(const char *format, ...) __attribute__((format(printf, 1, 2)));

// --- Console routines -------------------------------------------------------
void ClearScreen();
void GotoXY(uint32_t col, uint32_t row);
void SetCursorVisible(bool visible);
void SetTextColor(uint16_t attribute);
void NextLine();
void SpinWait(uint32_t turns);
void FlushKeys();
int PressAnyKey();
int PromptKey(const char *message);
int WaitKey();
// The runtime's pending-key test and unechoed single-key read, as they are.
bool KeyPending();
int ReadKey();
// Upper-cases a to z; every other value unchanged.
int UpperKey(int key);
// Sleep in milliseconds.
void Pause(uint32_t ms);

// Reads one line of operator input and takes a number from its start
// (leading blanks skipped); characters after the number are dropped with the
// rest of the line. False when the line holds no number (value untouched).
bool ReadDecimal(int32_t *value);
bool ReadHex(uint32_t *value);

// --- Program ------------------------------------------------------------------
void ShowApiError(int32_t status);
bool BoardInitCheck(const char *title);
// The whole program run; returns the exit code. Sets the globals to their
// start values first, as a fresh process would have them.
int ProbeMain();
// The globals at their start values.
void ResetProbeGlobals();

// --- Register shorthands (BoardNum, &ApiStatus) ------------------------------
uint32_t ReadReg(uint32_t offset);
void WriteReg(uint32_t offset, uint32_t value);

// --- Tests of the main menu ----------------------------------------------------
void TestBoardInit();          // 1
void TestAutocal();            // 2
void RunAutocal();
void TestAnalogInputs();       // 3
void TestSelfTestModes();      // 4
uint32_t ReadChannelAverage(int32_t channel, uint32_t count);
void ShowChannels(int32_t count);
void TestOutputBasic();        // 5
void TestSequentialOutput();   // 6
void TestSimultaneousOutput(); // 7
void ZeroAllOutputs();
void TestContinuousOutput();   // 8
void TestBurstOneShot();       // 9
void TestBurstSequence();      // A
void TestDioPort();            // B
void TestContinuousInput();    // C

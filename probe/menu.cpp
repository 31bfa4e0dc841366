// The program run of tavoprobe: discovery, the choice of the board, the main
// menu and its dispatch to the tests, and the close at the end.
#include "os_console.h"
#include "probe.h"

namespace {

// The choice screen offers boards 1 to 5 only, whatever the listing holds.
constexpr char MAX_CHOSEN_BOARD = '5';

const char RULE_LINE[] = "  ====================================================\n";
static_assert(sizeof RULE_LINE == 2 + 52 + 2, "two blanks, 52 '=' and the newline");
const char SELECT_PROMPT[] = "  Please Make selection: \n";

// The title's format is padded to 54 characters with "%d" counted as two.
const char MENU_TITLE_FORMAT[] = "   Ovrin Sample Code - Board # %d                     \n";
static_assert(sizeof MENU_TITLE_FORMAT - 2 == 54, "title format padded to 54 characters");

typedef void (*TestFn)();

struct MenuEntry {
    char key;
    const char *line;
    TestFn test;  // nullptr: leave the menu
};

const MenuEntry MENU[] = {
    {'1', "   1 - Board Init Test", TestBoardInit},
    {'2', "   2 - Auto Calibration", TestAutocal},
    {'3', "   3 - Analog Inputs Testing", TestAnalogInputs},
    {'4', "   4 - SelfTest Modes", TestSelfTestModes},
    {'5', "   5 - Analog Output Basic Operations", TestOutputBasic},
    {'6', "   6 - Sequential Direct Output", TestSequentialOutput},
    {'7', "   7 - Simultaneous Direct Output", TestSimultaneousOutput},
    {'8', "   8 - Continuous Output", TestContinuousOutput},
    {'9', "   9 - Burst - One Shot Output", TestBurstOneShot},
    {'A', "   A - Burst - Sequence Output", TestBurstSequence},
    {'B', "   B - DIO Port", TestDioPort},
    {'C', "   C - Analog Inputs (Optional save to disk)", TestContinuousInput},
    {'X', "   X - EXIT (return to DOS)", nullptr},
};
constexpr char EXIT_KEY = 'X';

// The failure exits wait for a key press and leave it unread.
void WaitKeyPressed() {
    while (!KeyPending()) {
    }
}

void ChooseBoard() {
    BoardNum = 0;
    ClearScreen();
    Print("\n\n");
    Print("%s", RULE_LINE);
    Print("%-56s\n", "   Select Board Number to Test");
    Print("%s", RULE_LINE);
    Print("%s\n\n", BoardList);
    for (;;) {
        LastKey = static_cast<char>(PromptKey(SELECT_PROMPT));
        if (LastKey >= '1' && LastKey <= MAX_CHOSEN_BOARD) BoardNum = LastKey - '0';
        if (BoardNum != 0 && static_cast<uint32_t>(BoardNum) <= BoardsFound) return;
        Print("  Error - This is not a valid entry");
    }
}

void ShowMenu() {
    ClearScreen();
    Print("\n\n");
    Print("%s", RULE_LINE);
    Print(MENU_TITLE_FORMAT, static_cast<int>(BoardNum));
    Print("%s", RULE_LINE);
    for (const MenuEntry &entry : MENU) Print("%-54s\n", entry.line);
}

const MenuEntry *FindEntry(char key) {
    for (const MenuEntry &entry : MENU) {
        if (entry.key == key) return &entry;
    }
    return nullptr;
}

}  // namespace

void ResetProbeGlobals() {
    BoardNum = 0;
    BoardsFound = 0;
    ApiStatus = 0;
    BoardList[0] = '\0';
    ScreenCol = 2;
    ScreenRow = 2;
    LastKey = 0;
    MenuKey = 0;
    LastReg = 0;
}

int ProbeMain() {
    ResetProbeGlobals();
    SetCursorVisible(false);

    BoardsFound = Tavo_FindBoards(BoardList, &ApiStatus);
    if (ApiStatus != 0) {
        ShowApiError(ApiStatus);
        WaitKeyPressed();
        return 0;
    }
    if (BoardsFound == 0) {
        Print("  ERROR: No Boards found in the system\n");
        WaitKeyPressed();
        return 0;
    }

    ChooseBoard();
    Tavo_Get_Handle(&ApiStatus, static_cast<uint32_t>(BoardNum));
    if (ApiStatus != 0) {
        ShowApiError(ApiStatus);
        WaitKeyPressed();
        return 0;
    }

    do {
        ShowMenu();
        MenuKey = static_cast<char>(PromptKey(SELECT_PROMPT));
        const MenuEntry *entry = FindEntry(MenuKey);
        if (entry == nullptr) {
            Print("  Invalid Selection: Press AnyKey to continue...\n");
            ReadKey();
        } else if (entry->test != nullptr) {
            entry->test();
        } else {
            ClearScreen();
        }
    } while (MenuKey != EXIT_KEY);

    Tavo_Close_Handle(static_cast<uint32_t>(BoardNum), &ApiStatus);
    SetCursorVisible(true);
    return 0;
}

// tavoprobe's frame on the virtual console with the simulated board: the
// start screens, the choice of the board, the main menu and its keys, the
// failure exits and the report of a failed library call.
#include <string>
#include <vector>

#include "probe_fixture.h"

namespace {

const std::string RULE = "  ====================================================\n";
const std::string PROMPT = "  Please Make selection: \n ";
const std::string NOT_VALID = "  Error - This is not a valid entry";
const std::string INVALID_SELECTION = "  Invalid Selection: Press AnyKey to continue...\n";
const std::string PRESS_ANY_KEY = "\n  Press AnyKey to Continue....";
const std::string API_ERROR_HEAD =
    "\n  An Error has Occured in the API for the Device Driver."
    "\n  Below is all the information that was available about "
    "\n  the encountered Error.                             \n ";

std::string Padded(const std::string &text, size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

size_t Count(const std::string &text, const std::string &part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

bool EndsWith(const std::string &text, const std::string &tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// What the menu prints for `board`, up to and including the prompt.
std::string MenuText(int board) {
    std::string text = "\n\n" + RULE;
    // The title's format is padded to 54 with "%d" counted as two characters.
    text += Padded("   Ovrin Sample Code - Board # " + std::to_string(board), 53) + "\n";
    text += RULE;
    for (const char *line :
         {"   1 - Board Init Test", "   2 - Auto Calibration", "   3 - Analog Inputs Testing",
          "   4 - SelfTest Modes", "   5 - Analog Output Basic Operations",
          "   6 - Sequential Direct Output", "   7 - Simultaneous Direct Output",
          "   8 - Continuous Output", "   9 - Burst - One Shot Output",
          "   A - Burst - Sequence Output", "   B - DIO Port",
          "   C - Analog Inputs (Optional save to disk)", "   X - EXIT (return to DOS)"}) {
        text += Padded(line, 54) + "\n";
    }
    return text + PROMPT;
}

std::string MenuTitle(int board) { return "Ovrin Sample Code - Board # " + std::to_string(board); }

void UseBoards(int count) {
    KSim_ClearDevices();
    for (int i = 0; i < count; ++i) {
        ASSERT_GE(KSim_AddDevice(KSIM_PLX_VENDOR, 0, 1, static_cast<uint8_t>(4 + i)), 0);
    }
}

class ProgramRun : public ProbeTest {};

TEST_F(ProgramRun, ChoiceScreenMenuAndExitOnLowerCaseX) {
    RunMain();
    ASSERT_TRUE(WaitText("Please Make selection:")) << vcon::Screen();
    EXPECT_FALSE(vcon::CursorVisible());
    std::string list(BoardList);
    const std::string choice =
        "\n\n" + RULE + Padded("   Select Board Number to Test", 56) + "\n" + RULE;
    EXPECT_EQ(vcon::StdText(), choice + list + "\n\n" + PROMPT);
    EXPECT_EQ(list.rfind("Board # - 1 : Bus - 1 : Slot - 4 : ", 0), 0u) << list;
    EXPECT_EQ(Row(5).rfind("Board # - 1", 0), 0u);

    ASSERT_TRUE(Key('1'));
    ASSERT_TRUE(WaitText(MenuTitle(1), 3, 3)) << vcon::Screen();
    // The menu is whole once its prompt stands below the last entry.
    ASSERT_TRUE(WaitText("Please Make selection:", 18)) << vcon::Screen();
    EXPECT_EQ(vcon::StdText(), choice + list + "\n\n" + PROMPT + MenuText(1));
    EXPECT_EQ(Row(17).rfind("   X - EXIT (return to DOS)", 0), 0u) << vcon::Screen();
    EXPECT_EQ(KSim_OpenCount(), 1u);

    ASSERT_TRUE(Key('x'));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_TRUE(vcon::CursorVisible());
    EXPECT_EQ(MenuKey, 'X');
    EXPECT_EQ(vcon::Screen().find_first_not_of(" \n"), std::string::npos) << vcon::Screen();
    EXPECT_EQ(KSim_OpenCount(), 0u);
    EXPECT_EQ(KSim_CallCount("PlxPci_DeviceClose"), 1u);
}

struct ChoiceCase {
    const char *name;
    int boards;
    const char *refused;  // keys answered with the error line
    char chosen;
};

class BoardChoice : public ProbeTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(BoardChoice, RefusesKeysAboveTheCountOrFiveAndOpensTheChosenBoard) {
    const ChoiceCase &c = GetParam();
    UseBoards(c.boards);
    RunMain();
    ASSERT_TRUE(WaitText("Please Make selection:")) << vcon::Screen();
    EXPECT_EQ(Count(std::string(BoardList), "Board # - "), static_cast<size_t>(c.boards));
    for (const char *key = c.refused; *key != '\0'; ++key) ASSERT_TRUE(Key(*key)) << *key;
    ASSERT_TRUE(Key(c.chosen));
    ASSERT_TRUE(WaitText(MenuTitle(c.chosen - '0'), 3, 3)) << vcon::Screen();
    ASSERT_TRUE(Key('X'));
    ASSERT_TRUE(Finish());

    const std::string out = vcon::StdText();
    const size_t refused = std::string(c.refused).size();
    EXPECT_EQ(Count(out, NOT_VALID + PROMPT), refused) << out;
    EXPECT_EQ(BoardNum, c.chosen - '0');
    EXPECT_EQ(LastKey, c.chosen);
    EXPECT_EQ(KSim_CallCount("PlxPci_DeviceOpen"), 1u);
    EXPECT_EQ(ExitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoardChoice,
    ::testing::Values(ChoiceCase{"seven_boards_six_and_seven_refused", 7, "670x", '5'},
                      ChoiceCase{"two_boards_five_refused", 2, "5", '2'},
                      ChoiceCase{"one_board", 1, "2\r", '1'}),
    [](const auto &p) { return std::string(p.param.name); });

struct ExitCase {
    const char *name;
    void (*setup)();
    bool choosesBoard;   // the failure comes after the choice
    const char *report;  // what the program prints last
    bool apiError;       // the report is ShowApiError's, which waits for a key itself
};

class FailureExit : public ProbeTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(FailureExit, ReportsWaitsForAKeyAndEndsWithCodeZero) {
    const ExitCase &c = GetParam();
    c.setup();
    RunMain();
    if (c.choosesBoard) {
        ASSERT_TRUE(WaitText("Please Make selection:")) << vcon::Screen();
        ASSERT_TRUE(Key('1'));
    }
    if (c.apiError) {
        ASSERT_TRUE(WaitText("Press AnyKey to Continue....")) << vcon::Screen();
        ASSERT_TRUE(Key(' '));
    }
    // The last wait takes a key press and leaves it unread.
    ASSERT_TRUE(Key('x'));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_TRUE(EndsWith(vcon::StdText(), c.report)) << vcon::StdText();
    EXPECT_FALSE(vcon::CursorVisible());
    EXPECT_EQ(KSim_CallCount("PlxPci_DeviceClose"), 0u);
    EXPECT_FALSE(vcon::WaitText(MenuTitle(1), UINT16_MAX, UINT16_MAX, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailureExit,
    ::testing::Values(
        ExitCase{"no_board", [] { KSim_ClearDevices(); }, false,
                 "  ERROR: No Boards found in the system\n", false},
        ExitCase{"search_fails", [] { KSim_FailCall("PlxPci_DeviceFind", ApiFailed, 0); }, false,
                 "  ERROR: No Boards found in the system\n", false},
        ExitCase{"open_refused",
                 [] { KSim_FailCall("PlxPci_DeviceOpen", ApiNoActiveDriver, 0); }, true,
                 "\n  Return Code  516  = ApiNoActiveDriver\n\n  Press AnyKey to Continue....", true},
        ExitCase{"no_dma_memory", [] { KSim_SetMemoryGrant(0); }, true,
                 "\n  Return Code  531  = ApiInsufficientResources\n\n  Press AnyKey to Continue....",
                 true}),
    [](const auto &p) { return std::string(p.param.name); });

struct ErrorCase {
    int32_t status;
    const char *line;
};

class ApiErrorReport : public ProbeTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ApiErrorReport, PrintsTheHeadAndTheStatusLineThenWaitsForAKey) {
    const ErrorCase &c = GetParam();
    Run([&c] { ShowApiError(c.status); });
    ASSERT_TRUE(WaitText("Press AnyKey to Continue....")) << vcon::Screen();
    ASSERT_TRUE(Key(' '));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(vcon::StdText(), API_ERROR_HEAD + c.line + PRESS_ANY_KEY);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ApiErrorReport,
    ::testing::Values(
        ErrorCase{531, "\n  Return Code  531  = ApiInsufficientResources\n"},
        ErrorCase{513, "\n  Return Code  513  = ApiFailed\n"},
        ErrorCase{551, "\n  Return Code  551  = ApiInvalidDMANumWords\n"},
        ErrorCase{512, "\n  Return Code  512  Is not Listed as a valid return code. \n"},
        ErrorCase{600, "\n  Return Code  600  Is not Listed as a valid return code. \n"},
        ErrorCase{-1, "\n  Return Code  -1  Is not Listed as a valid return code. \n"}),
    [](const auto &p) {
        return (p.param.status < 0 ? std::string("minus") : std::string()) +
               std::to_string(p.param.status < 0 ? -p.param.status : p.param.status);
    });

TEST_F(ProgramRun, InvalidMenuKeysAreReportedAndTheNextKeyIsThrownAway) {
    RunMain();
    ASSERT_TRUE(WaitText("Please Make selection:"));
    ASSERT_TRUE(Key('1'));
    ASSERT_TRUE(WaitText(MenuTitle(1), 3, 3));
    // Keys at or above 0x80 compare as negative characters and select
    // nothing. The key read after the message is dropped unexamined: an "x"
    // there does not end the program.
    const std::vector<int> invalid = {'z', 'D', '0', 0xB1, 0xF1};
    for (int key : invalid) {
        ASSERT_TRUE(Key(key));
        ASSERT_TRUE(WaitText("Invalid Selection")) << vcon::Screen();
        ASSERT_TRUE(Key('x'));
    }
    ASSERT_TRUE(Key('X'));
    ASSERT_TRUE(Finish());
    const std::string out = vcon::StdText();
    EXPECT_EQ(Count(out, INVALID_SELECTION), invalid.size());
    EXPECT_EQ(Count(out, MenuText(1)), invalid.size() + 1);
    EXPECT_EQ(ExitCode(), 0);
}

TEST_F(ProgramRun, LowerCaseCRunsContinuousAcquisition) {
    // The acquisition gives up at once when its DMA channel cannot be
    // opened, which brings the menu back quickly.
    KSim_FailCall("PlxPci_DmaChannelOpen", ApiDmaChannelUnavailable, 0);
    RunMain();
    ASSERT_TRUE(WaitText("Please Make selection:"));
    ASSERT_TRUE(Key('1'));
    ASSERT_TRUE(WaitText(MenuTitle(1), 3, 3));
    ASSERT_TRUE(Key('c'));
    ASSERT_TRUE(WaitText("Continuous Data (to Disk):", 2, 2)) << vcon::Screen();
    ASSERT_TRUE(Line("1024"));
    ASSERT_TRUE(Line("0"));
    ASSERT_TRUE(WaitText("Write data to Disk ? Y or N")) << vcon::Screen();
    ASSERT_TRUE(Key('n'));
    ASSERT_TRUE(WaitText("Error Opening DMA Channel 0")) << vcon::Screen();
    ASSERT_TRUE(Key(' '));
    ASSERT_TRUE(WaitText(MenuTitle(1), 3, 3)) << vcon::Screen();
    ASSERT_TRUE(Key('x'));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(ExitCode(), 0);
    EXPECT_EQ(KSim_OpenCount(), 0u);
}

struct InitCase {
    const char *name;
    uint32_t bcrAfterInit;  // 0: the board initializes normally
    bool initialized;
    const char *row3;
    const char *row4;
};

class InitCheck : public ProbeTest, public ::testing::WithParamInterface<InitCase> {};

TEST_P(InitCheck, ReportsTheBoardControlValueWhenInitializationFails) {
    const InitCase &c = GetParam();
    KSim_SetInitResult(Device(), c.bcrAfterInit);
    OpenBoard();
    bool result = !c.initialized;
    Run([&result] { result = BoardInitCheck(" T. Title:"); });
    if (!c.initialized) {
        ASSERT_TRUE(WaitText("Press AnyKey to return to main.... ", 5, 2)) << vcon::Screen();
        ASSERT_TRUE(Key(' '));
    }
    ASSERT_TRUE(Finish());
    EXPECT_EQ(result, c.initialized);
    EXPECT_EQ(Row(2).substr(2, 10), " T. Title:");
    EXPECT_EQ(Row(3).substr(2).rfind(c.row3, 0), 0u) << vcon::Screen();
    EXPECT_EQ(Row(4).substr(2).rfind(c.row4, 0), 0u) << vcon::Screen();
    EXPECT_EQ(LastReg, c.bcrAfterInit != 0 ? c.bcrAfterInit : BCR_INIT_DONE);
    EXPECT_EQ(ScreenRow, c.initialized ? 4 : 6);
    EXPECT_EQ(Row(2)[70], ' ');  // the spinner ran and left its cell blank
    EXPECT_EQ(vcon::TextAttribute(), ATTR_NORMAL);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InitCheck,
    ::testing::Values(InitCase{"initializes", 0, true,
                               "Initializing the Board...Initialization Completed", "  "},
                      InitCase{"bcr_reads_6060", 0x6060, false,
                               "Initializing the Board...Unable to Init Board",
                               "BCR Reads: 6060"}),
    [](const auto &p) { return std::string(p.param.name); });

}  // namespace

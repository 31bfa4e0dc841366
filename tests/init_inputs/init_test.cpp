// Menu entries 1 and 2 and RunAutocal on the virtual console with the
// simulated board.
#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <thread>

#include "probe_fixture.h"

namespace {

// At least `digits` hexadecimal digits, upper or lower case.
std::string Hex(uint32_t value, int digits, bool upper) {
    char text[32];
    if (upper) {
        std::snprintf(text, sizeof text, "%0*X", digits, static_cast<unsigned>(value));
    } else {
        std::snprintf(text, sizeof text, "%0*x", digits, static_cast<unsigned>(value));
    }
    return text;
}

template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case> &param) {
    return param.param.name;
}

// The text a test line shows from column 2, without the blanks after it.
std::string LineAt(uint16_t row) {
    const std::string text = vcon::Row(row);
    const size_t end = text.find_last_not_of(' ');
    return end == std::string::npos || end < 2 ? std::string() : text.substr(2, end - 1);
}

uint32_t ReadAutocalWindow(uint32_t index) {
    int32_t status = 0;
    Tavo_Write_Local32(static_cast<uint32_t>(BoardNum), &status, AUTOCAL, index);
    const uint32_t value = Tavo_Read_Local32(static_cast<uint32_t>(BoardNum), &status, AUTOCAL);
    EXPECT_EQ(status, 0);
    return value;
}

class InitTest : public ProbeTest {};

TEST_F(InitTest, RegisterDumpShowsElevenRegistersAfterInitialization) {
    OpenBoard();
    Run([] { TestBoardInit(); });
    ASSERT_TRUE(WaitText("Press AnyKey to Continue....")) << vcon::Screen();

    struct Line {
        uint32_t offset;
        const char *label;
        int digits;
    };
    const Line lines[] = {
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
    uint16_t row = 2;
    for (const Line &line : lines) {
        SCOPED_TRACE(line.label);
        const std::string shown = LineAt(row++);
        ASSERT_EQ(shown.rfind(line.label, 0), 0u) << shown;
        if (line.offset == IN_DATA) continue;  // a word of the buffer, checked below
        EXPECT_EQ(shown, line.label + Hex(KSim_PeekRegister(Device(), line.offset), line.digits, true));
    }
    EXPECT_EQ(LineAt(2), "Board Control Register      = 00004060");
    EXPECT_EQ(LineAt(1), "");  // no title
    EXPECT_EQ(LineAt(13), "");
    ASSERT_TRUE(Key(' '));
}

TEST_F(InitTest, RegisterDumpTakesOneWordOutOfTheInputBuffer) {
    // A long initialization keeps the board busy through the whole dump, so
    // that words loaded once it has begun are not cleared by it.
    KSim_SetTiming(Device(), 60000, 50);
    OpenBoard();
    Run([] { TestBoardInit(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (KSim_PeekRegister(Device(), BCR) != BOARD_INIT) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the board was not initialized";
        std::this_thread::yield();
    }
    const uint32_t words[] = {FIRST_CHAN | 0xABC, 0xDEF};
    KSim_LoadInput(Device(), words, 2);
    // The dump reads IN_DATA after it has shown INT_CNTRL on row 3.
    if (LineAt(3) != "") {
        ASSERT_TRUE(WaitText("Press AnyKey to Continue...."));
        ASSERT_TRUE(Key(' '));
        GTEST_SKIP() << "the dump ran ahead of the loaded words";
    }
    ASSERT_TRUE(WaitText("Press AnyKey to Continue....")) << vcon::Screen();
    EXPECT_EQ(LineAt(4), "Input Data Bufer Register   = 00010ABC");
    EXPECT_EQ(KSim_InputLevel(Device()), 1u);
    ASSERT_TRUE(Key(' '));
}

struct AutocalCase {
    const char *name;
    bool neverInterrupts;
    bool fails;
    const char *interruptLine;
    const char *verdict;
};

// Failures name the case rather than dump its bytes.
void PrintTo(const AutocalCase &c, std::ostream *os) { *os << c.name; }

class AutocalTest : public ProbeTest, public ::testing::WithParamInterface<AutocalCase> {};

TEST_P(AutocalTest, ReportsInterruptBcrAndCalibrationValues) {
    const AutocalCase &c = GetParam();
    KSim_SetNeverInterrupt(Device(), c.neverInterrupts ? 1 : 0);
    KSim_SetAutocalFails(Device(), c.fails ? 1 : 0);
    OpenBoard();
    Run([] { TestAutocal(); });
    ASSERT_TRUE(WaitText("Press AnyKey to Continue....")) << vcon::Screen();
    ASSERT_TRUE(Key(' '));
    ASSERT_TRUE(Finish());

    const uint32_t bcr = KSim_PeekRegister(Device(), BCR);
    EXPECT_EQ(LineAt(2), "Auto Calibration Test:");
    EXPECT_EQ(LineAt(3), c.interruptLine);
    EXPECT_EQ(LineAt(4), (bcr & AUTOCAL_START) != 0 ? "Auto Cal BCR Bit did NOT clear..."
                                                    : "Auto Cal BCR Bit Cleared   ...");
    EXPECT_EQ(LineAt(5), std::string("Auto Cal Status Says ") + c.verdict + "... " + Hex(bcr, 4, false));
    EXPECT_EQ(LineAt(6), "ADC Gain      = " + Hex(ReadAutocalWindow(AUTOCAL_ADC_GAIN), 4, true) +
                             " : Offset = " + Hex(ReadAutocalWindow(AUTOCAL_ADC_OFFSET), 4, false));
    for (uint32_t n = 0; n < 4; ++n) {
        EXPECT_EQ(LineAt(static_cast<uint16_t>(7 + n)),
                  "DAC Ch " + std::to_string(n) + " Gain = " +
                      Hex(ReadAutocalWindow(AUTOCAL_DAC_GAIN(n)), 4, true) + " : Offset = " +
                      Hex(ReadAutocalWindow(AUTOCAL_DAC_OFFSET(n)), 4, false));
    }
    // The end-of-calibration interrupt is switched off again.
    EXPECT_EQ(KSim_PeekRegister(Device(), INT_CNTRL) & INT_GROUP_A, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Boards, AutocalTest,
    ::testing::Values(
        AutocalCase{"Passes", false, false, "Interrupt was requested    ...", "PASSED"},
        AutocalCase{"FailsButInterrupts", false, true, "Interrupt was requested    ...", "FAILED"},
        // Waits the full ten seconds.
        AutocalCase{"NeverInterrupts", true, false, "Interrupt was NOT requested...", "PASSED"}),
    CaseName<AutocalCase>);

struct RunAutocalCase {
    const char *name;
    bool fails;
    const char *message;
};

// Failures name the case rather than dump its bytes.
void PrintTo(const RunAutocalCase &c, std::ostream *os) { *os << c.name; }

class RunAutocalTest : public ProbeTest, public ::testing::WithParamInterface<RunAutocalCase> {};

TEST_P(RunAutocalTest, PrintsOnlyForAFailure) {
    KSim_SetAutocalFails(Device(), GetParam().fails ? 1 : 0);
    OpenBoard();
    size_t before = 0;
    bool initialized = false;
    Run([&] {
        initialized = BoardInitCheck("Autocal");
        before = vcon::DirectText().size();
        RunAutocal();
    });
    ASSERT_TRUE(Finish());
    ASSERT_TRUE(initialized);
    EXPECT_EQ(vcon::DirectText().substr(before), GetParam().message);
    EXPECT_EQ(KSim_PeekRegister(Device(), BCR) & AUTOCAL_PASS, GetParam().fails ? 0u : static_cast<uint32_t>(AUTOCAL_PASS));
}

INSTANTIATE_TEST_SUITE_P(Boards, RunAutocalTest,
                         ::testing::Values(RunAutocalCase{"Passes", false, ""},
                                           RunAutocalCase{"Fails", true, "  Autocal FAILED  ..."}),
                         CaseName<RunAutocalCase>);

}  // namespace

// The console routines every screen of tavoprobe uses, on the virtual
// console: the spinner, the key prompts, number input and the print paths.
#include <string>

#include "probe_fixture.h"

namespace {

class ConsoleRoutines : public ProbeTest {};

TEST_F(ConsoleRoutines, ScreenRoutinesMoveTheCursorAndFillWithTheCurrentColour) {
    Print("old text");
    SetTextColor(ATTR_BRIGHT_GREEN);
    ClearScreen();
    uint16_t col = 9, row = 9;
    vcon::Cursor(&col, &row);
    EXPECT_EQ(col, 0);
    EXPECT_EQ(row, 0);
    EXPECT_EQ(vcon::Row(0).find("old"), std::string::npos);
    EXPECT_EQ(vcon::AttributeAt(79, 24), ATTR_BRIGHT_GREEN);

    GotoXY(0x10005, 0x20003);  // only the low 16 bits count
    vcon::Cursor(&col, &row);
    EXPECT_EQ(col, 5);
    EXPECT_EQ(row, 3);

    ScreenCol = 4;
    ScreenRow = 7;
    NextLine();
    vcon::Cursor(&col, &row);
    EXPECT_EQ(col, 4);
    EXPECT_EQ(row, 7);
    EXPECT_EQ(ScreenRow, 8);

    SetCursorVisible(false);
    EXPECT_FALSE(vcon::CursorVisible());
}

TEST_F(ConsoleRoutines, BothPrintPathsFormatLongTextWhole) {
    const std::string longText(3000, 'w');
    Print("%s|%d", longText.c_str(), 42);
    ConPrint("%s", longText.c_str());
    EXPECT_EQ(vcon::StdText(), longText + "|42");
    EXPECT_EQ(vcon::DirectText(), longText);
}

struct SpinCase {
    const char *name;
    uint32_t turns;
    const char *frames;
    uint16_t blankAttribute;  // the last frame's colour stays on the blank
};

class Spinner : public ProbeTest, public ::testing::WithParamInterface<SpinCase> {};

TEST_P(Spinner, BlanksItsCellRestoresTheColourAndPutsTheCursorBack) {
    const SpinCase &c = GetParam();
    GotoXY(70, 2);
    Print("Z");
    SetTextColor(ATTR_BRIGHT_RED);
    GotoXY(5, 7);
    SpinWait(c.turns);
    EXPECT_EQ(vcon::StdText(), std::string("Z") + c.frames + " ");
    EXPECT_EQ(vcon::Row(2)[70], ' ');
    EXPECT_EQ(vcon::AttributeAt(70, 2), c.blankAttribute);
    EXPECT_EQ(vcon::TextAttribute(), ATTR_NORMAL);
    uint16_t col = 0, row = 0;
    vcon::Cursor(&col, &row);
    EXPECT_EQ(col, 5);
    EXPECT_EQ(row, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Spinner,
    ::testing::Values(SpinCase{"no_turn", 0, "", ATTR_BRIGHT_RED},
                      SpinCase{"one_turn", 1, "*\b|/-\\|/-\\", ATTR_BRIGHT_MAGENTA},
                      SpinCase{"two_turns", 2, "*\b|/-\\|/-\\*\b|/-\\|/-\\", ATTR_BRIGHT_MAGENTA}),
    [](const auto &p) { return std::string(p.param.name); });

struct KeyCase {
    const char *name;
    int (*routine)();
    const char *printed;
    int sent;
    int returned;
};

class KeyPrompt : public ProbeTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyPrompt, DropsKeysTypedAheadAndReturnsTheNextUpperCased) {
    const KeyCase &c = GetParam();
    vcon::TypeAhead('q');
    vcon::TypeAhead('r');
    int key = 0;
    Run([&key, &c] { key = c.routine(); });
    ASSERT_TRUE(Key(c.sent));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(key, c.returned);
    EXPECT_EQ(vcon::StdText(), c.printed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyPrompt,
    ::testing::Values(
        KeyCase{"press_any_key", [] { return PressAnyKey(); }, "\n  Press AnyKey to Continue....",
                'b', 'B'},
        KeyCase{"prompt_key", [] { return PromptKey("Go on?"); }, "Go on? ", '+', '+'},
        KeyCase{"wait_key", [] { return WaitKey(); }, "", 'z', 'Z'},
        KeyCase{"extended_key_unchanged", [] { return WaitKey(); }, "", 0xE0, 0xE0}),
    [](const auto &p) { return std::string(p.param.name); });

struct NumberCase {
    const char *name;
    bool hex;
    const char *line;
    bool ok;
    uint32_t value;  // as read (decimal values as their 32-bit pattern)
};

class NumberInput : public ProbeTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(NumberInput, TakesTheNumberAtTheStartOfTheLine) {
    const NumberCase &c = GetParam();
    constexpr uint32_t UNTOUCHED = 0xDEADBEEF;
    uint32_t value = UNTOUCHED;
    bool ok = false;
    Run([&] {
        if (c.hex) {
            ok = ReadHex(&value);
        } else {
            int32_t number = static_cast<int32_t>(UNTOUCHED);
            ok = ReadDecimal(&number);
            value = static_cast<uint32_t>(number);
        }
    });
    ASSERT_TRUE(Line(c.line));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(value, c.ok ? c.value : UNTOUCHED);
    EXPECT_EQ(vcon::Row(0), c.line + std::string(80 - std::string(c.line).size(), ' '));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberInput,
    ::testing::Values(
        NumberCase{"decimal", false, "  1024", true, 1024},
        NumberCase{"decimal_negative_with_tail", false, "-7 Hz", true, static_cast<uint32_t>(-7)},
        NumberCase{"decimal_largest", false, "2147483647", true, 2147483647u},
        NumberCase{"decimal_smallest", false, "-2147483648", true, 0x80000000u},
        NumberCase{"decimal_too_large", false, "2147483648", false, 0},
        NumberCase{"decimal_none", false, "rate", false, 0},
        NumberCase{"decimal_empty", false, "", false, 0},
        NumberCase{"hex", true, "a5", true, 0xA5},
        NumberCase{"hex_prefix", true, " 0x1F", true, 0x1F},
        NumberCase{"hex_tail_dropped", true, "7fz9", true, 0x7F},
        NumberCase{"hex_zero_before_x", true, "0xg", true, 0},
        NumberCase{"hex_low_32_bits", true, "123456789", true, 0x23456789},
        NumberCase{"hex_none", true, "g1", false, 0}),
    [](const auto &p) { return std::string(p.param.name); });

}  // namespace

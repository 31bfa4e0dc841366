// The virtual console itself: how both print paths land in the cells, and
// that a key sent by a test reaches a program that flushes before it waits.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "console_virtual.h"
#include "os_console.h"

namespace {

void Std(const std::string &text) { ConsoleWriteStd(text.data(), text.size()); }
void Direct(const std::string &text) { ConsoleWriteDirect(text.data(), text.size()); }

std::string Trimmed(uint16_t row) {
    std::string text = vcon::Row(row);
    return text.erase(text.find_last_not_of(' ') + 1);
}

struct RenderCase {
    const char *name;
    const char *text;
    const char *row0;
    const char *row1;
    uint16_t col, row;  // cursor afterwards
};

class VirtualConsoleRender : public ::testing::TestWithParam<RenderCase> {};

TEST_P(VirtualConsoleRender, ControlCharactersMoveTheCursorAsTheConsoleDoes) {
    const RenderCase &c = GetParam();
    vcon::Reset(10, 3);
    Std(c.text);
    EXPECT_EQ(Trimmed(0), c.row0);
    EXPECT_EQ(Trimmed(1), c.row1);
    uint16_t col = 0, row = 0;
    vcon::Cursor(&col, &row);
    EXPECT_EQ(col, c.col);
    EXPECT_EQ(row, c.row);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VirtualConsoleRender,
    ::testing::Values(RenderCase{"newline", "ab\ncd", "ab", "cd", 2, 1},
                      RenderCase{"carriage_return", "abc\rX", "Xbc", "", 1, 0},
                      // Backspace moves back without erasing: the spinner's "*\b".
                      RenderCase{"backspace", "*\b", "*", "", 0, 0},
                      RenderCase{"backspace_overwrite", "ab\bX", "aX", "", 2, 0},
                      RenderCase{"wrap", "0123456789AB", "0123456789", "AB", 2, 1},
                      RenderCase{"tab", "a\tb", "a       b", "", 9, 0}),
    [](const auto &p) { return std::string(p.param.name); });

TEST(VirtualConsole, ScrollsUpAtTheBottomAndKeepsBothPathsInOrder) {
    vcon::Reset(10, 3);
    Std("one\n");
    Direct("two\n");
    Std("three\n");
    Direct("four");
    EXPECT_EQ(Trimmed(0), "two");
    EXPECT_EQ(Trimmed(1), "three");
    EXPECT_EQ(Trimmed(2), "four");
    EXPECT_EQ(vcon::StdText(), "one\nthree\n");
    EXPECT_EQ(vcon::DirectText(), "two\nfour");
}

TEST(VirtualConsole, CellsTakeTheAttributeInForceAndFillUsesIt) {
    vcon::Reset(10, 3);
    ConsoleSetTextAttribute(12);
    Std("R");
    ConsoleSetTextAttribute(7);
    Std("n");
    EXPECT_EQ(vcon::AttributeAt(0, 0), 12);
    EXPECT_EQ(vcon::AttributeAt(1, 0), 7);
    ConsoleSetTextAttribute(0x1E);
    ConsoleFillScreen();
    EXPECT_EQ(vcon::Row(0), std::string(10, ' '));
    EXPECT_EQ(vcon::AttributeAt(9, 2), 0x1E);
    uint16_t col = 0, row = 0;
    vcon::Cursor(&col, &row);
    EXPECT_EQ(col, 2);  // filling does not move the cursor
}

TEST(VirtualConsole, WaitTextMatchesPositionRowOrScreen) {
    vcon::Reset(20, 4);
    ConsoleSetCursorPos(3, 2);
    Std("hello");
    EXPECT_TRUE(vcon::WaitText("hello", 2, 3, 0));
    EXPECT_FALSE(vcon::WaitText("hello", 2, 4, 0));
    EXPECT_TRUE(vcon::WaitText("llo", 2, UINT16_MAX, 0));
    EXPECT_FALSE(vcon::WaitText("hello", 1, UINT16_MAX, 0));
    EXPECT_TRUE(vcon::WaitText("hello", UINT16_MAX, UINT16_MAX, 0));
    EXPECT_FALSE(vcon::WaitText("hello world", 2, 3, 0));
}

TEST(VirtualConsole, WaitTextWakesOnAWriteFromAnotherThread) {
    vcon::Reset();
    std::thread writer([] { Direct("late text"); });
    EXPECT_TRUE(vcon::WaitText("late text", 0, 0));
    writer.join();
}

// A program that flushes pending keys and then polls, as a prompt does.
int FlushThenWait() {
    while (ConsoleKeyPending()) ConsoleReadKey();
    while (!ConsoleKeyPending()) {
    }
    return ConsoleReadKey();
}

TEST(VirtualConsole, SentKeySurvivesTheFlushBeforeTheWait) {
    vcon::Reset();
    vcon::TypeAhead('z');  // typed ahead: the flush takes it
    int got = 0;
    std::thread program([&got] { got = FlushThenWait(); });
    ASSERT_TRUE(vcon::SendKey('a'));
    program.join();
    EXPECT_EQ(got, 'a');
}

TEST(VirtualConsole, SentKeysArriveOneAtATimeInOrder) {
    vcon::Reset();
    std::string got;
    std::thread program([&got] {
        for (int i = 0; i < 3; ++i) got.push_back(static_cast<char>(FlushThenWait()));
    });
    for (char key : std::string("xyz")) ASSERT_TRUE(vcon::SendKey(key));
    program.join();
    EXPECT_EQ(got, "xyz");
}

TEST(VirtualConsole, BlockingReadCountsAsWaiting) {
    vcon::Reset();
    int got = 0;
    std::thread program([&got] { got = ConsoleReadKey(); });
    // The read is already waiting when the key is sent.
    ASSERT_TRUE(vcon::WaitKeyPollsTotal(1));
    ASSERT_TRUE(vcon::SendKey(0xE0));
    program.join();
    EXPECT_EQ(got, 0xE0);
}

TEST(VirtualConsole, SendKeyFailsWhenNobodyWaits) {
    vcon::Reset();
    EXPECT_FALSE(vcon::SendKey('a', 50));
}

TEST(VirtualConsole, LineInputIsEchoedAndCutToTheBuffer) {
    vcon::Reset(40, 5);
    Std("Rate? ");
    char line[5] = {};
    bool ok = false;
    std::thread program([&] { ok = ConsoleReadLine(line, sizeof line); });
    ASSERT_TRUE(vcon::SendLine("123456"));
    program.join();
    EXPECT_TRUE(ok);
    EXPECT_STREQ(line, "1234");
    EXPECT_EQ(Trimmed(0), "Rate? 123456");
    uint16_t col = 0, row = 0;
    vcon::Cursor(&col, &row);
    EXPECT_EQ(col, 0);
    EXPECT_EQ(row, 1);
}

}  // namespace

// The virtual console: a screen buffer of cells with attributes, a cursor
// and a scripted keyboard, for running the probe program's real code in
// tests. The program side (os_console.h) may be called from any thread
// (the disk writer prints too); the test side (console_virtual.h) waits on
// condition variables, never on sleeps.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console_virtual.h"
#include "os_console.h"

namespace {

constexpr uint16_t NORMAL_ATTRIBUTE = 7;
constexpr uint16_t TAB_WIDTH = 8;

struct Cell {
    char ch;
    uint16_t attr;
};

struct State {
    std::mutex mutex;
    std::condition_variable screenChanged;  // any write, cursor or attribute change
    std::condition_variable keyboard;       // keys queued, polls made, lines queued

    uint16_t cols = 80;
    uint16_t rows = 25;
    std::vector<Cell> cells = std::vector<Cell>(80u * 25u, Cell{' ', NORMAL_ATTRIBUTE});
    uint16_t col = 0;
    uint16_t row = 0;
    bool visible = true;
    uint16_t attr = NORMAL_ATTRIBUTE;

    std::deque<int> keys;
    uint64_t keyPolls = 0;   // key tests and key reads
    uint64_t emptyPolls = 0; // of those, the ones that found no key (the program waits)
    int blockedReads = 0;    // key reads waiting for a key now

    std::deque<std::string> lines;
    uint64_t lineWaits = 0;  // line reads that found no line queued
    uint64_t linesTaken = 0;

    std::string stdText;
    std::string directText;
};

State &S() {
    static State state;
    return state;
}

std::chrono::steady_clock::time_point Deadline(uint32_t timeoutMs) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
}

// Moves the cursor to the start of the next row, scrolling the screen up by
// one row when it is on the last row already.
void LineFeed(State &s) {
    s.col = 0;
    if (s.row + 1 < s.rows) {
        ++s.row;
        return;
    }
    std::copy(s.cells.begin() + s.cols, s.cells.end(), s.cells.begin());
    std::fill(s.cells.end() - s.cols, s.cells.end(), Cell{' ', s.attr});
}

void Render(State &s, const char *text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        switch (c) {
        case '\n':
            LineFeed(s);
            break;
        case '\r':
            s.col = 0;
            break;
        case '\b':
            if (s.col > 0) --s.col;
            break;
        case '\t': {
            const uint16_t next = static_cast<uint16_t>((s.col / TAB_WIDTH + 1) * TAB_WIDTH);
            while (s.col < next && s.col < s.cols) {
                s.cells[static_cast<size_t>(s.row) * s.cols + s.col] = Cell{' ', s.attr};
                ++s.col;
            }
            if (s.col >= s.cols) LineFeed(s);
            break;
        }
        case '\a':
            break;
        default:
            s.cells[static_cast<size_t>(s.row) * s.cols + s.col] = Cell{c, s.attr};
            if (++s.col >= s.cols) LineFeed(s);
            break;
        }
    }
}

std::string RowText(const State &s, uint16_t row) {
    std::string text;
    if (row >= s.rows) return text;
    text.reserve(s.cols);
    for (uint16_t c = 0; c < s.cols; ++c) text.push_back(s.cells[static_cast<size_t>(row) * s.cols + c].ch);
    return text;
}

bool TextAt(const State &s, const std::string &text, uint16_t row, uint16_t col) {
    if (row == UINT16_MAX) {
        for (uint16_t r = 0; r < s.rows; ++r) {
            if (TextAt(s, text, r, col)) return true;
        }
        return false;
    }
    const std::string line = RowText(s, row);
    if (col == UINT16_MAX) return line.find(text) != std::string::npos;
    return col <= line.size() && line.compare(col, text.size(), text) == 0 &&
           line.size() - col >= text.size();
}

// Records one key test or read; `empty` when it found no key waiting.
void NotePoll(State &s, bool empty) {
    ++s.keyPolls;
    if (empty) ++s.emptyPolls;
    s.keyboard.notify_all();
}

}  // namespace

// --- The program's side ----------------------------------------------------------

void ConsoleOpen() {}
void ConsoleClose() {}

bool ConsoleGetSize(uint16_t *cols, uint16_t *rows) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    *cols = s.cols;
    *rows = s.rows;
    return true;
}

void ConsoleFillScreen() {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::fill(s.cells.begin(), s.cells.end(), Cell{' ', s.attr});
    s.screenChanged.notify_all();
}

void ConsoleSetCursorPos(uint16_t col, uint16_t row) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    // As the real console, a position outside the buffer is refused.
    if (col >= s.cols || row >= s.rows) return;
    s.col = col;
    s.row = row;
    s.screenChanged.notify_all();
}

bool ConsoleGetCursorPos(uint16_t *col, uint16_t *row) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    *col = s.col;
    *row = s.row;
    return true;
}

void ConsoleSetCursorVisible(bool visible) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.visible = visible;
    s.screenChanged.notify_all();
}

bool ConsoleCursorVisible() {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.visible;
}

void ConsoleSetTextAttribute(uint16_t attribute) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.attr = attribute;
    s.screenChanged.notify_all();
}

uint16_t ConsoleTextAttribute() {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.attr;
}

bool ConsoleKeyPending() {
    State &s = S();
    bool pending;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        pending = !s.keys.empty();
        NotePoll(s, !pending);
    }
    // Polling loops without a sleep of their own must not starve the test
    // thread that is about to type; this is no synchronisation.
    if (!pending) std::this_thread::yield();
    return pending;
}

int ConsoleReadKey() {
    State &s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    NotePoll(s, s.keys.empty());
    ++s.blockedReads;
    s.keyboard.wait(lock, [&s] { return !s.keys.empty(); });
    --s.blockedReads;
    const int key = s.keys.front();
    s.keys.pop_front();
    return key;
}

void ConsoleWriteStd(const char *text, size_t length) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.stdText.append(text, length);
    Render(s, text, length);
    s.screenChanged.notify_all();
}

void ConsoleWriteDirect(const char *text, size_t length) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.directText.append(text, length);
    Render(s, text, length);
    s.screenChanged.notify_all();
}

bool ConsoleReadLine(char *buffer, size_t size) {
    State &s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (s.lines.empty()) {
        ++s.lineWaits;
        s.keyboard.notify_all();
    }
    s.keyboard.wait(lock, [&s] { return !s.lines.empty(); });
    std::string line = std::move(s.lines.front());
    s.lines.pop_front();
    ++s.linesTaken;
    // Cooked input echoes what was typed, and the Enter as a new line.
    const std::string echo = line + "\n";
    Render(s, echo.data(), echo.size());
    s.screenChanged.notify_all();
    if (size > 0) {
        const size_t n = std::min(line.size(), size - 1);
        std::memcpy(buffer, line.data(), n);
        buffer[n] = '\0';
    }
    return true;
}

// --- The test's side -------------------------------------------------------------

namespace vcon {

void Reset(uint16_t cols, uint16_t rows) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.cols = cols;
    s.rows = rows;
    s.cells.assign(static_cast<size_t>(cols) * rows, Cell{' ', NORMAL_ATTRIBUTE});
    s.col = 0;
    s.row = 0;
    s.visible = true;
    s.attr = NORMAL_ATTRIBUTE;
    s.keys.clear();
    s.keyPolls = 0;
    s.emptyPolls = 0;
    s.lines.clear();
    s.lineWaits = 0;
    s.linesTaken = 0;
    s.stdText.clear();
    s.directText.clear();
    s.screenChanged.notify_all();
}

std::string Row(uint16_t row) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    return RowText(s, row);
}

std::string Screen() {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::string text;
    for (uint16_t r = 0; r < s.rows; ++r) {
        if (r > 0) text.push_back('\n');
        text += RowText(s, r);
    }
    return text;
}

uint16_t AttributeAt(uint16_t col, uint16_t row) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (col >= s.cols || row >= s.rows) return 0;
    return s.cells[static_cast<size_t>(row) * s.cols + col].attr;
}

void Cursor(uint16_t *col, uint16_t *row) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    *col = s.col;
    *row = s.row;
}

bool CursorVisible() { return ConsoleCursorVisible(); }
uint16_t TextAttribute() { return ConsoleTextAttribute(); }

bool WaitText(const std::string &text, uint16_t row, uint16_t col, uint32_t timeoutMs) {
    State &s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.screenChanged.wait_until(lock, Deadline(timeoutMs),
                                      [&] { return TextAt(s, text, row, col); });
}

bool SendKey(int key, uint32_t timeoutMs) {
    State &s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    // Only a test for a key that comes after this call counts, or a key read
    // that waits now: a flush that ran before cannot take the key away.
    const uint64_t before = s.emptyPolls;
    if (!s.keyboard.wait_until(lock, Deadline(timeoutMs), [&] {
            return s.emptyPolls > before || (s.blockedReads > 0 && s.keys.empty());
        })) {
        return false;
    }
    s.keys.push_back(key);
    s.keyboard.notify_all();
    return true;
}

void TypeAhead(int key) {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.keys.push_back(key);
    s.keyboard.notify_all();
}

bool SendLine(const std::string &line, uint32_t timeoutMs) {
    State &s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    // A reader waits when more line reads have found nothing than lines
    // have been handed over.
    if (!s.keyboard.wait_until(lock, Deadline(timeoutMs), [&] {
            return s.lines.empty() && s.lineWaits > s.linesTaken;
        })) {
        return false;
    }
    s.lines.push_back(line);
    s.keyboard.notify_all();
    return true;
}

uint64_t KeyPolls() {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.keyPolls;
}

bool WaitKeyPolls(uint64_t count, uint32_t timeoutMs) {
    State &s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    const uint64_t target = s.keyPolls + count;
    return s.keyboard.wait_until(lock, Deadline(timeoutMs), [&] { return s.keyPolls >= target; });
}

bool WaitKeyPollsTotal(uint64_t total, uint32_t timeoutMs) {
    State &s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.keyboard.wait_until(lock, Deadline(timeoutMs), [&] { return s.keyPolls >= total; });
}

std::string StdText() {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.stdText;
}

std::string DirectText() {
    State &s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.directText;
}

}  // namespace vcon

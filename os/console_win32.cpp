// The console on Windows: the console API for cursor, colour and clearing,
// and the C runtime's key test, unechoed key read and direct console output.
//
// Every call fails soft when the program has no console (output redirected,
// or a test host without one): the call does nothing and the program goes
// on. What ConsoleOpen finds (cursor, colours, output code page) is put
// back by ConsoleClose, so the console is left as it was.
#include <windows.h>
#include <conio.h>

#include <cstdio>
#include <cstring>

#include "os_console.h"

namespace {

constexpr uint16_t FALLBACK_COLS = 80;
constexpr uint16_t FALLBACK_ROWS = 25;
// The program's text is in code page 437 (0xF1 is the plus-minus sign).
constexpr UINT PROGRAM_CODE_PAGE = 437;
constexpr uint16_t NORMAL_ATTRIBUTE = 7;

struct Saved {
    bool open = false;
    bool haveCursor = false;
    CONSOLE_CURSOR_INFO cursor{};
    bool haveAttribute = false;
    WORD attribute = NORMAL_ATTRIBUTE;
    UINT codePage = 0;
};
Saved g_saved;
// Direct output goes to the console itself, as the runtime's console print
// does, even when standard output is redirected.
HANDLE g_direct = INVALID_HANDLE_VALUE;
uint16_t g_attribute = NORMAL_ATTRIBUTE;

HANDLE Out() { return GetStdHandle(STD_OUTPUT_HANDLE); }

bool ScreenInfo(CONSOLE_SCREEN_BUFFER_INFO *info) {
    return GetConsoleScreenBufferInfo(Out(), info) != 0;
}

void WriteDirectHandle(const char *text, size_t length) {
    HANDLE h = g_direct != INVALID_HANDLE_VALUE ? g_direct : Out();
    while (length > 0) {
        DWORD written = 0;
        const DWORD chunk = length > 0x7FFF ? 0x7FFF : static_cast<DWORD>(length);
        if (!WriteConsoleA(h, text, chunk, &written, nullptr)) {
            // Not a console: the bytes still go out.
            if (!WriteFile(h, text, chunk, &written, nullptr) || written == 0) return;
        }
        text += written;
        length -= written;
    }
}

}  // namespace

void ConsoleOpen() {
    if (g_saved.open) return;
    g_saved.open = true;
    g_saved.haveCursor = GetConsoleCursorInfo(Out(), &g_saved.cursor) != 0;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (ScreenInfo(&info)) {
        g_saved.haveAttribute = true;
        g_saved.attribute = info.wAttributes;
        g_attribute = info.wAttributes;
    }
    g_saved.codePage = GetConsoleOutputCP();
    if (g_saved.codePage != 0 && g_saved.codePage != PROGRAM_CODE_PAGE) {
        SetConsoleOutputCP(PROGRAM_CODE_PAGE);
    }
    g_direct = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
}

void ConsoleClose() {
    if (!g_saved.open) return;
    std::fflush(stdout);
    if (g_saved.haveCursor) SetConsoleCursorInfo(Out(), &g_saved.cursor);
    if (g_saved.haveAttribute) SetConsoleTextAttribute(Out(), g_saved.attribute);
    if (g_saved.codePage != 0 && g_saved.codePage != PROGRAM_CODE_PAGE) {
        SetConsoleOutputCP(g_saved.codePage);
    }
    if (g_direct != INVALID_HANDLE_VALUE) CloseHandle(g_direct);
    g_direct = INVALID_HANDLE_VALUE;
    g_saved.open = false;
}

bool ConsoleGetSize(uint16_t *cols, uint16_t *rows) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!ScreenInfo(&info)) {
        *cols = FALLBACK_COLS;
        *rows = FALLBACK_ROWS;
        return false;
    }
    *cols = static_cast<uint16_t>(info.dwSize.X);
    *rows = static_cast<uint16_t>(info.dwSize.Y);
    return true;
}

void ConsoleFillScreen() {
    std::fflush(stdout);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!ScreenInfo(&info)) return;
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    const COORD origin = {0, 0};
    DWORD done = 0;
    FillConsoleOutputCharacterA(Out(), ' ', cells, origin, &done);
    FillConsoleOutputAttribute(Out(), info.wAttributes, cells, origin, &done);
}

void ConsoleSetCursorPos(uint16_t col, uint16_t row) {
    // Text still buffered on standard output belongs where the cursor was.
    std::fflush(stdout);
    const COORD position = {static_cast<SHORT>(col), static_cast<SHORT>(row)};
    SetConsoleCursorPosition(Out(), position);
}

bool ConsoleGetCursorPos(uint16_t *col, uint16_t *row) {
    std::fflush(stdout);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!ScreenInfo(&info)) return false;
    *col = static_cast<uint16_t>(info.dwCursorPosition.X);
    *row = static_cast<uint16_t>(info.dwCursorPosition.Y);
    return true;
}

void ConsoleSetCursorVisible(bool visible) {
    CONSOLE_CURSOR_INFO cursor;
    if (!GetConsoleCursorInfo(Out(), &cursor)) return;
    cursor.bVisible = visible ? TRUE : FALSE;
    SetConsoleCursorInfo(Out(), &cursor);
}

bool ConsoleCursorVisible() {
    CONSOLE_CURSOR_INFO cursor;
    if (!GetConsoleCursorInfo(Out(), &cursor)) return false;
    return cursor.bVisible != FALSE;
}

void ConsoleSetTextAttribute(uint16_t attribute) {
    std::fflush(stdout);
    g_attribute = attribute;
    SetConsoleTextAttribute(Out(), attribute);
}

uint16_t ConsoleTextAttribute() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (ScreenInfo(&info)) return info.wAttributes;
    return g_attribute;
}

bool ConsoleKeyPending() {
    // A zero wait on the input handle first: on Windows it changes nothing,
    // and Wine's console in a Unix terminal only reads the terminal's keys
    // when the handle is waited on, which _kbhit alone never does.
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input != nullptr && input != INVALID_HANDLE_VALUE) WaitForSingleObject(input, 0);
    return _kbhit() != 0;
}

int ConsoleReadKey() { return _getch(); }

void ConsoleWriteStd(const char *text, size_t length) {
    std::fwrite(text, 1, length, stdout);
    // Flushed at once, so that the direct path that follows lands after it.
    std::fflush(stdout);
}

void ConsoleWriteDirect(const char *text, size_t length) {
    std::fflush(stdout);
    WriteDirectHandle(text, length);
}

bool ConsoleReadLine(char *buffer, size_t size) {
    std::fflush(stdout);
    char line[256];
    if (std::fgets(line, sizeof line, stdin) == nullptr) return false;
    size_t length = std::strlen(line);
    const bool whole = length > 0 && line[length - 1] == '\n';
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) line[--length] = '\0';
    // A line longer than the buffer: the rest is dropped with it.
    if (!whole) {
        int c;
        do {
            c = std::fgetc(stdin);
        } while (c != '\n' && c != EOF);
    }
    if (size > 0) {
        const size_t n = length < size - 1 ? length : size - 1;
        std::memcpy(buffer, line, n);
        buffer[n] = '\0';
    }
    return true;
}

// The text console as the probe program uses it. Three backends, chosen per
// executable by CMake: console_win32.cpp (the Windows console and its
// runtime), console_posix.cpp (a VT/ANSI terminal in raw mode) and
// console_virtual.cpp (a screen buffer and scripted keyboard for tests).
//
// Coordinates are zero-based columns and rows. Attributes are Windows
// console character attributes (7 light grey is the normal colour).
#pragma once

#include <cstddef>
#include <cstdint>

// Called once at program start and end: raw keys, restored terminal.
void ConsoleOpen();
void ConsoleClose();

bool ConsoleGetSize(uint16_t *cols, uint16_t *rows);
// Every cell blank with the current attribute; the cursor is not moved.
void ConsoleFillScreen();
void ConsoleSetCursorPos(uint16_t col, uint16_t row);
bool ConsoleGetCursorPos(uint16_t *col, uint16_t *row);
// Visibility only; the cursor's size stays as it was.
void ConsoleSetCursorVisible(bool visible);
bool ConsoleCursorVisible();
void ConsoleSetTextAttribute(uint16_t attribute);
uint16_t ConsoleTextAttribute();

// The runtime's pending-key test and unechoed single-key read (blocks).
bool ConsoleKeyPending();
int ConsoleReadKey();

// The two print paths, both at the cursor: standard output, and direct
// console output that bypasses it. They keep their order on the screen.
// Text is in code page 437 (0xF1 is the plus-minus sign).
void ConsoleWriteStd(const char *text, size_t length);
void ConsoleWriteDirect(const char *text, size_t length);

// Line input as the console's cooked mode gives it: characters echoed,
// backspace edits, Enter ends the line (not stored). Returns false at end
// of input. The text is NUL-terminated and cut to size - 1.
bool ConsoleReadLine(char *buffer, size_t size);

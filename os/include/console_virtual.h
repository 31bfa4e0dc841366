// Test side of the virtual console: the program under test runs on its own
// thread against console_virtual.cpp; the test reads the screen and types.
// Every wait has a time-out and reports failure instead of hanging; none
// sleeps for synchronisation.
#pragma once

#include <cstdint>
#include <string>

namespace vcon {

// A fresh screen (default 80 x 25, attribute 7, cursor visible at 0,0),
// empty keyboard, empty line input.
void Reset(uint16_t cols = 80, uint16_t rows = 25);

// Text of a row (cols characters, blanks included, raw code page bytes).
std::string Row(uint16_t row);
// The whole screen, rows joined with '\n' (for failure messages).
std::string Screen();
uint16_t AttributeAt(uint16_t col, uint16_t row);
void Cursor(uint16_t *col, uint16_t *row);
bool CursorVisible();
uint16_t TextAttribute();

// Waits until `text` stands at (col, row), or anywhere in the row with
// col = UINT16_MAX, or anywhere on the screen with row = UINT16_MAX too.
bool WaitText(const std::string &text, uint16_t row = UINT16_MAX, uint16_t col = UINT16_MAX,
              uint32_t timeoutMs = 30000);

// Queues a key once the program is waiting for one: after this call it has
// tested for a pending key and found none, or blocks in the key read. Keys
// sent this way cannot be thrown away by a FlushKeys that ran before.
bool SendKey(int key, uint32_t timeoutMs = 30000);
// Queues a key at once (type-ahead).
void TypeAhead(int key);
// Types a line for ConsoleReadLine once the program is reading one (the
// Enter is implied).
bool SendLine(const std::string &line, uint32_t timeoutMs = 30000);
// Number of key tests and key reads so far (for waiting on a polling loop).
uint64_t KeyPolls();
// Waits until the program has made `count` more key tests or reads.
bool WaitKeyPolls(uint64_t count, uint32_t timeoutMs = 30000);
// Waits until the key tests and reads since Reset number at least `total`
// (for a count taken before the program was started: KeyPolls() + n).
bool WaitKeyPollsTotal(uint64_t total, uint32_t timeoutMs = 30000);

// Everything written through each path, in order, since Reset.
std::string StdText();
std::string DirectText();

}  // namespace vcon

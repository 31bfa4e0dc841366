// The console on a VT/ANSI terminal: what the probe program expects of the
// Windows console, done with escape sequences and termios.
//
// - Keys are read raw and unechoed. Enter reads as CR and Backspace as 8, as
//   the Windows runtime gives them; the cursor and editing keys that the
//   terminal sends as escape sequences read as two keys, 0xE0 and the
//   Windows scan code (F1 to F4: 0 and the scan code), as the runtime
//   returns extended keys; other sequences are dropped.
// - The terminal is restored (modes, colours, cursor shown) on every way
//   out: ConsoleClose, exit(), SIGINT, SIGTERM, SIGHUP and SIGQUIT; on
//   SIGTSTP it is restored for the shell and set up again on resume.
// - Both print paths write at once to the same descriptor, so they keep
//   their order. Text is code page 437 and goes out as UTF-8.
// - The cursor position is tracked here from everything written, with the
//   Windows console's rules (it wraps at the right edge at once), rather
//   than asked of the terminal; it is asked once, at open.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>

#include "os_console.h"

namespace {

constexpr uint16_t NORMAL_ATTRIBUTE = 7;
constexpr uint16_t FALLBACK_COLS = 80;
constexpr uint16_t FALLBACK_ROWS = 25;
constexpr uint16_t TAB_WIDTH = 8;
constexpr int KEY_EXTENDED = 0xE0;
constexpr int KEY_FUNCTION = 0x00;
constexpr int KEY_ENTER = '\r';
constexpr int KEY_BACKSPACE = '\b';
constexpr int TERMINAL_DELETE = 0x7F;
constexpr int ESC = 0x1B;
// How long the terminal has to answer the cursor position query at open.
constexpr int POSITION_REPLY_MS = 300;
// How long the rest of an escape sequence may take after its start.
constexpr int ESCAPE_REST_MS = 50;

const int IN = STDIN_FILENO;
const int OUT = STDOUT_FILENO;

// Code page 437 as UTF-8: the glyphs of the control codes the Windows
// console shows as characters, and of 0x7F to 0xFF.
const char *const CP437_LOW[32] = {
    " ", "☺", "☻", "♥", "♦", "♣", "♠", "•", "◘", "○", "◙", "♂", "♀", "♪", "♫", "☼",
    "►", "◄", "↕", "‼", "¶", "§", "▬", "↨", "↑", "↓", "→", "←", "∟", "↔", "▲", "▼",
};
const char *const CP437_HIGH[129] = {
    "⌂",
    "Ç", "ü", "é", "â", "ä", "à", "å", "ç", "ê", "ë", "è", "ï", "î", "ì", "Ä", "Å",
    "É", "æ", "Æ", "ô", "ö", "ò", "û", "ù", "ÿ", "Ö", "Ü", "¢", "£", "¥", "₧", "ƒ",
    "á", "í", "ó", "ú", "ñ", "Ñ", "ª", "º", "¿", "⌐", "¬", "½", "¼", "¡", "«", "»",
    "░", "▒", "▓", "│", "┤", "╡", "╢", "╖", "╕", "╣", "║", "╗", "╝", "╜", "╛", "┐",
    "└", "┴", "┬", "├", "─", "┼", "╞", "╟", "╚", "╔", "╩", "╦", "╠", "═", "╬", "╧",
    "╨", "╤", "╥", "╙", "╘", "╒", "╓", "╫", "╪", "┘", "┌", "█", "▄", "▌", "▐", "▀",
    "α", "ß", "Γ", "π", "Σ", "σ", "µ", "τ", "Φ", "Θ", "Ω", "δ", "∞", "φ", "ε", "∩",
    "≡", "±", "≥", "≤", "⌠", "⌡", "÷", "≈", "°", "∙", "·", "√", "ⁿ", "²", "■", "\u00A0",
};

// Windows colour bits (1 blue, 2 green, 4 red) to ANSI colour numbers
// (1 red, 2 green, 4 blue).
const int ANSI_COLOUR[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// Escape sequences of the cursor and editing keys, and what the Windows
// runtime returns for them after the prefix.
struct KeySequence {
    const char *sequence;  // after ESC
    int prefix;
    int scanCode;
};
const KeySequence KEY_SEQUENCES[] = {
    {"[A", KEY_EXTENDED, 72}, {"[B", KEY_EXTENDED, 80}, {"[C", KEY_EXTENDED, 77},
    {"[D", KEY_EXTENDED, 75}, {"OA", KEY_EXTENDED, 72}, {"OB", KEY_EXTENDED, 80},
    {"OC", KEY_EXTENDED, 77}, {"OD", KEY_EXTENDED, 75}, {"[H", KEY_EXTENDED, 71},
    {"[F", KEY_EXTENDED, 79}, {"OH", KEY_EXTENDED, 71}, {"OF", KEY_EXTENDED, 79},
    {"[1~", KEY_EXTENDED, 71}, {"[4~", KEY_EXTENDED, 79}, {"[2~", KEY_EXTENDED, 82},
    {"[3~", KEY_EXTENDED, 83}, {"[5~", KEY_EXTENDED, 73}, {"[6~", KEY_EXTENDED, 81},
    {"OP", KEY_FUNCTION, 59}, {"OQ", KEY_FUNCTION, 60}, {"OR", KEY_FUNCTION, 61},
    {"OS", KEY_FUNCTION, 62},
};

// The screen side. Input has a lock of its own, so that a print (from the
// disk writer, say) never waits for a key read.
struct Terminal {
    std::mutex mutex;
    bool open = false;
    uint16_t col = 0;
    uint16_t row = 0;
    uint16_t attr = NORMAL_ATTRIBUTE;
    bool visible = true;
};

struct Input {
    std::mutex mutex;
    std::string bytes;     // read from the terminal, not yet keys
    std::deque<int> keys;  // ready for ConsoleReadKey
};

Terminal &T() {
    static Terminal terminal;
    return terminal;
}

Input &I() {
    static Input input;
    return input;
}

// What the signal handlers need, kept apart from the mutex-guarded state.
struct termios g_saved;
volatile sig_atomic_t g_haveSaved = 0;
volatile sig_atomic_t g_raw = 0;
volatile sig_atomic_t g_cursorHidden = 0;
const int HANDLED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void WriteAll(const char *data, size_t length) {
    while (length > 0) {
        const ssize_t n = write(OUT, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
}

void WriteAll(const std::string &text) { WriteAll(text.data(), text.size()); }

// Async-signal-safe: only write() and tcsetattr().
void RestoreTerminal() {
    static const char RESET[] = "\x1b[0m\x1b[?25h";
    ssize_t ignored = write(OUT, RESET, sizeof RESET - 1);
    (void)ignored;
    if (g_haveSaved && g_raw) {
        tcsetattr(IN, TCSANOW, &g_saved);
        g_raw = 0;
    }
}

void EnterRawMode() {
    if (!g_haveSaved) return;
    struct termios raw = g_saved;
    // Unechoed single keys; Ctrl-C still signals. No CR to LF translation:
    // Enter reads as CR, as the Windows runtime gives it.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IXON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(IN, TCSANOW, &raw) == 0) g_raw = 1;
}

void OnFatalSignal(int sig) {
    RestoreTerminal();
    signal(sig, SIG_DFL);
    raise(sig);
}

void OnStop(int sig) {
    const bool wasRaw = g_raw;
    RestoreTerminal();
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    sigemptyset(&action.sa_mask);
    action.sa_handler = SIG_DFL;
    sigaction(SIGTSTP, &action, nullptr);
    raise(SIGTSTP);
    // Continued.
    action.sa_handler = OnStop;
    action.sa_flags = SA_NODEFER;
    sigaction(SIGTSTP, &action, nullptr);
    if (wasRaw) EnterRawMode();
    if (g_cursorHidden) {
        static const char HIDE[] = "\x1b[?25l";
        ssize_t ignored = write(OUT, HIDE, sizeof HIDE - 1);
        (void)ignored;
    }
    (void)sig;
}

void RestoreAtExit() { RestoreTerminal(); }

void InstallHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnFatalSignal;
    for (int sig : HANDLED_SIGNALS) sigaction(sig, &action, nullptr);
    // Not deferred: the handler stops the process from within and goes on
    // when it is continued.
    action.sa_handler = OnStop;
    action.sa_flags = SA_NODEFER;
    sigaction(SIGTSTP, &action, nullptr);
    static bool registered = false;
    if (!registered) std::atexit(RestoreAtExit);
    registered = true;
}

void ScreenSize(uint16_t *cols, uint16_t *rows) {
    struct winsize size;
    if (ioctl(OUT, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
        *cols = size.ws_col;
        *rows = size.ws_row;
    } else {
        *cols = FALLBACK_COLS;
        *rows = FALLBACK_ROWS;
    }
}

std::string ColourSequence(uint16_t attribute) {
    // The normal colour on black is the terminal's own colours, so the
    // program's plain text looks like the rest of the terminal.
    const int fg = attribute & 0x0F;
    const int bg = (attribute >> 4) & 0x0F;
    std::string seq = "\x1b[0";
    if (!(fg == NORMAL_ATTRIBUTE && bg == 0)) {
        seq += ";" + std::to_string((fg & 8 ? 90 : 30) + ANSI_COLOUR[fg & 7]);
    }
    if (bg != 0) seq += ";" + std::to_string((bg & 8 ? 100 : 40) + ANSI_COLOUR[bg & 7]);
    return seq + "m";
}

// Moves the tracked cursor to the next row, as the terminal does on "\r\n".
void NewRow(Terminal &t, uint16_t rows) {
    t.col = 0;
    if (t.row + 1 < rows) ++t.row;
}

// Code page 437 text to terminal output, tracking the cursor.
std::string Translate(Terminal &t, const char *text, size_t length) {
    uint16_t cols = 0;
    uint16_t rows = 0;
    ScreenSize(&cols, &rows);
    std::string out;
    out.reserve(length + 16);
    for (size_t i = 0; i < length; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '\n':
            out += "\r\n";
            NewRow(t, rows);
            continue;
        case '\r':
            out += '\r';
            t.col = 0;
            continue;
        case '\b':
            if (t.col > 0) {
                out += '\b';
                --t.col;
            }
            continue;
        case '\a':
            out += '\a';
            continue;
        case '\t': {
            const uint16_t next = static_cast<uint16_t>((t.col / TAB_WIDTH + 1) * TAB_WIDTH);
            while (t.col < next && t.col < cols) {
                out += ' ';
                ++t.col;
            }
            if (t.col >= cols) {
                out += "\r\n";
                NewRow(t, rows);
            }
            continue;
        }
        default:
            break;
        }
        if (c < 0x20) {
            out += CP437_LOW[c];
        } else if (c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += CP437_HIGH[c - 0x7F];
        }
        // The Windows console moves to the next row as soon as the last
        // column is written; a terminal waits for the next character.
        if (++t.col >= cols) {
            out += "\r\n";
            NewRow(t, rows);
        }
    }
    return out;
}

void Write(const char *text, size_t length) {
    Terminal &t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    WriteAll(Translate(t, text, length));
}

// Turns the bytes read so far into keys. An incomplete escape sequence at
// the end stays for the next read unless `final`.
void DecodeInput(Input &input, bool final) {
    std::string &in = input.bytes;
    std::deque<int> &keys = input.keys;
    size_t i = 0;
    while (i < in.size()) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (c != ESC || i + 1 >= in.size()) {
            if (c == ESC && !final) break;  // maybe the start of a sequence
            keys.push_back(c == TERMINAL_DELETE ? KEY_BACKSPACE : c);
            ++i;
            continue;
        }
        const char intro = in[i + 1];
        if (intro != '[' && intro != 'O') {  // a lone Escape key
            keys.push_back(ESC);
            ++i;
            continue;
        }
        // CSI: parameters and intermediates, then a final byte 0x40-0x7E.
        // SS3: one final byte.
        size_t end = i + 2;
        if (intro == '[') {
            while (end < in.size() && (in[end] < 0x40 || in[end] > 0x7E)) ++end;
        }
        if (end >= in.size()) {
            if (!final) break;
            keys.push_back(ESC);
            ++i;
            continue;
        }
        const std::string sequence = in.substr(i + 1, end - i);
        for (const KeySequence &k : KEY_SEQUENCES) {
            if (sequence == k.sequence) {
                keys.push_back(k.prefix);
                keys.push_back(k.scanCode);
                break;
            }
        }
        i = end + 1;  // unknown sequences (and late cursor reports) dropped
    }
    in.erase(0, i);
}

// Reads what the terminal has sent; blocks when `wait`. False at end of
// input.
bool ReadInput(Input &in, bool wait) {
    struct pollfd fd = {IN, POLLIN, 0};
    if (!wait && poll(&fd, 1, 0) <= 0) return true;
    char buffer[64];
    ssize_t n;
    do {
        n = read(IN, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return false;
    in.bytes.append(buffer, static_cast<size_t>(n));
    DecodeInput(in, false);
    // Only the start of an escape sequence is held back: its rest normally
    // follows at once. A lone Escape key costs this short wait.
    while (!in.bytes.empty() && poll(&fd, 1, ESCAPE_REST_MS) > 0) {
        n = read(IN, buffer, sizeof buffer);
        if (n <= 0) break;
        in.bytes.append(buffer, static_cast<size_t>(n));
        DecodeInput(in, false);
    }
    DecodeInput(in, true);
    return true;
}

// With no more input there is no way to go on: end the run as an operator's
// exit would, with the terminal restored (at exit).
[[noreturn]] void EndOfInput() { std::exit(0); }

// Takes the next key, reading as needed; false at end of input.
bool NextKey(int *key) {
    Input &in = I();
    std::lock_guard<std::mutex> lock(in.mutex);
    while (in.keys.empty()) {
        if (!ReadInput(in, true)) return false;
    }
    *key = in.keys.front();
    in.keys.pop_front();
    return true;
}

// Asks the terminal where the cursor is; what else arrives meanwhile is
// kept as typed keys.
void QueryCursor(Terminal &t, Input &in) {
    static const char QUERY[] = "\x1b[6n";
    WriteAll(QUERY, sizeof QUERY - 1);
    struct pollfd fd = {IN, POLLIN, 0};
    std::string reply;
    while (poll(&fd, 1, POSITION_REPLY_MS) > 0) {
        char buffer[64];
        const ssize_t n = read(IN, buffer, sizeof buffer);
        if (n <= 0) break;
        reply.append(buffer, static_cast<size_t>(n));
        const size_t start = reply.find("\x1b[");
        const size_t end = reply.find('R', start == std::string::npos ? 0 : start);
        if (start == std::string::npos || end == std::string::npos) continue;
        unsigned row = 0;
        unsigned col = 0;
        if (std::sscanf(reply.c_str() + start, "\x1b[%u;%uR", &row, &col) == 2 && row > 0 && col > 0) {
            t.row = static_cast<uint16_t>(row - 1);
            t.col = static_cast<uint16_t>(col - 1);
            reply.erase(start, end - start + 1);
            break;
        }
    }
    in.bytes += reply;
    DecodeInput(in, true);
}

}  // namespace

void ConsoleOpen() {
    Terminal &t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (t.open) return;
    t.open = true;
    if (isatty(IN) && tcgetattr(IN, &g_saved) == 0) {
        g_haveSaved = 1;
        InstallHandlers();
        EnterRawMode();
        if (isatty(OUT)) {
            Input &in = I();
            std::lock_guard<std::mutex> inputLock(in.mutex);
            QueryCursor(t, in);
        }
    }
}

void ConsoleClose() {
    Terminal &t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (!t.open) return;
    // The shell's prompt starts on a line of its own.
    if (t.col != 0) WriteAll("\r\n");
    g_cursorHidden = 0;
    t.visible = true;
    t.attr = NORMAL_ATTRIBUTE;
    RestoreTerminal();
    t.open = false;
}

bool ConsoleGetSize(uint16_t *cols, uint16_t *rows) {
    ScreenSize(cols, rows);
    return true;
}

void ConsoleFillScreen() {
    Terminal &t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    // Erasing fills with the colours in force; the cursor stays.
    WriteAll("\x1b[2J");
}

void ConsoleSetCursorPos(uint16_t col, uint16_t row) {
    Terminal &t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    uint16_t cols = 0;
    uint16_t rows = 0;
    ScreenSize(&cols, &rows);
    // As the Windows console, a position outside the screen is refused.
    if (col >= cols || row >= rows) return;
    t.col = col;
    t.row = row;
    WriteAll("\x1b[" + std::to_string(row + 1) + ";" + std::to_string(col + 1) + "H");
}

bool ConsoleGetCursorPos(uint16_t *col, uint16_t *row) {
    Terminal &t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    *col = t.col;
    *row = t.row;
    return true;
}

void ConsoleSetCursorVisible(bool visible) {
    Terminal &t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.visible = visible;
    g_cursorHidden = visible ? 0 : 1;
    WriteAll(visible ? "\x1b[?25h" : "\x1b[?25l");
}

bool ConsoleCursorVisible() {
    Terminal &t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.visible;
}

void ConsoleSetTextAttribute(uint16_t attribute) {
    Terminal &t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.attr = attribute;
    WriteAll(ColourSequence(attribute));
}

uint16_t ConsoleTextAttribute() {
    Terminal &t = T();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.attr;
}

bool ConsoleKeyPending() {
    Input &in = I();
    std::unique_lock<std::mutex> lock(in.mutex);
    if (in.keys.empty() && !ReadInput(in, false)) {
        lock.unlock();
        EndOfInput();
    }
    return !in.keys.empty();
}

int ConsoleReadKey() {
    int key = 0;
    if (!NextKey(&key)) EndOfInput();
    return key;
}

void ConsoleWriteStd(const char *text, size_t length) { Write(text, length); }

void ConsoleWriteDirect(const char *text, size_t length) { Write(text, length); }

bool ConsoleReadLine(char *buffer, size_t size) {
    std::string line;
    for (;;) {
        int key = 0;
        if (!NextKey(&key)) return false;
        if (key == KEY_ENTER || key == '\n') {
            Write("\n", 1);
            break;
        }
        if (key == KEY_BACKSPACE) {
            if (line.empty()) continue;
            line.pop_back();
            Write("\b \b", 3);
            continue;
        }
        if (key == KEY_EXTENDED || key == KEY_FUNCTION) {
            // The second half of an extended key is no character either.
            NextKey(&key);
            continue;
        }
        // Control keys and bytes of non-ASCII characters can be no part of
        // the numbers read here; they are neither kept nor echoed.
        if (key < 0x20 || key >= TERMINAL_DELETE) continue;
        line.push_back(static_cast<char>(key));
        const char echo = static_cast<char>(key);
        Write(&echo, 1);
    }
    if (size > 0) {
        const size_t n = line.size() < size - 1 ? line.size() : size - 1;
        std::memcpy(buffer, line.data(), n);
        buffer[n] = '\0';
    }
    return true;
}

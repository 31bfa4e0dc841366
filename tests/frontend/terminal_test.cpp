// The real tavoprobe in a real terminal, as a person runs it: tmux provides
// the terminal, the test types keys and reads the screen back. The program
// runs in a shell that notes the terminal modes before and after, and its
// exit code.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#ifndef TAVOPROBE_PATH
#error "TAVOPROBE_PATH names the program under test"
#endif

namespace {

constexpr int COLS = 80;
constexpr int ROWS = 25;
constexpr auto DEADLINE = std::chrono::seconds(60);
// Between two looks at the screen while polling with a deadline.
constexpr auto POLL_INTERVAL = std::chrono::milliseconds(20);

std::string Shell(const std::string &command) {
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::string ReadFile(const std::string &path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class Terminal : public ::testing::Test {
protected:
    void SetUp() override {
        if (system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
        char pattern[] = "/tmp/tavoprobe-tty-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        tmux_ = "tmux -f /dev/null -S " + dir_ + "/socket ";
    }

    void TearDown() override {
        if (dir_.empty()) return;
        Shell(tmux_ + "kill-server 2>/dev/null");
        Shell("rm -rf " + dir_);
    }

    // Starts the program in a fresh terminal of 80 x 25, inside a shell that
    // records the modes and the exit code and then stays, so that the
    // screen can still be read.
    void Start() {
        // The shell outlives a Ctrl-C meant for the program (a trap, unlike
        // an ignored signal, is not passed on to the program).
        const std::string script = "trap : INT; stty -g > " + dir_ + "/before; " TAVOPROBE_PATH "; echo $? > " +
                                   dir_ + "/rc.tmp; stty -g > " + dir_ + "/after; mv " + dir_ +
                                   "/rc.tmp " + dir_ + "/rc; exec cat";
        Shell(tmux_ + "new-session -d -x " + std::to_string(COLS) + " -y " + std::to_string(ROWS) +
            " '" + script + "'");
    }

    std::string Screen() { return Shell(tmux_ + "capture-pane -p"); }

    std::string Row(int row) {
        std::istringstream lines(Screen());
        std::string line;
        for (int r = 0; r <= row && std::getline(lines, line); ++r) {
        }
        return line;
    }

    bool CursorShown() { return Shell(tmux_ + "display-message -p '#{cursor_flag}'") == "1\n"; }

    void Type(const std::string &keys) { Shell(tmux_ + "send-keys " + keys); }

    // Polls the screen until `text` is on it.
    bool WaitScreen(const std::string &text) {
        const auto end = std::chrono::steady_clock::now() + DEADLINE;
        while (std::chrono::steady_clock::now() < end) {
            if (Screen().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(POLL_INTERVAL);
        }
        return false;
    }

    // Polls until the shell has noted the program's exit code.
    bool WaitExit(std::string *rc) {
        const auto end = std::chrono::steady_clock::now() + DEADLINE;
        while (std::chrono::steady_clock::now() < end) {
            if (access((dir_ + "/rc").c_str(), F_OK) == 0) {
                *rc = ReadFile(dir_ + "/rc");
                return true;
            }
            std::this_thread::sleep_for(POLL_INTERVAL);
        }
        return false;
    }

    void ExpectTerminalAsBefore() {
        const std::string before = ReadFile(dir_ + "/before");
        EXPECT_FALSE(before.empty());
        EXPECT_EQ(ReadFile(dir_ + "/after"), before);
        EXPECT_TRUE(CursorShown());
    }

    void ExpectBoardChoice() {
        ASSERT_TRUE(WaitScreen("Please Make selection:")) << Screen();
        EXPECT_EQ(Row(2), "  " + std::string(52, '=')) << Screen();
        EXPECT_EQ(Row(3), "   Select Board Number to Test") << Screen();
        EXPECT_EQ(Row(5).rfind("Board # - 1 : Bus - 1 : Slot - 4 : Type - ", 0), 0u) << Screen();
        EXPECT_FALSE(CursorShown());
    }

    std::string dir_;
    std::string tmux_;
};

TEST_F(Terminal, BoardListMenuAndExitLeaveTheTerminalAsItWas) {
    Start();
    ExpectBoardChoice();
    Type("1");
    ASSERT_TRUE(WaitScreen("X - EXIT (return to DOS)")) << Screen();
    EXPECT_EQ(Row(3), "   Ovrin Sample Code - Board # 1") << Screen();
    EXPECT_EQ(Row(5), "   1 - Board Init Test") << Screen();
    EXPECT_EQ(Row(16), "   C - Analog Inputs (Optional save to disk)") << Screen();
    Type("x");
    std::string rc;
    ASSERT_TRUE(WaitExit(&rc)) << Screen();
    EXPECT_EQ(rc, "0\n");
    EXPECT_EQ(Screen().find("Ovrin Sample Code"), std::string::npos) << Screen();
    ExpectTerminalAsBefore();
}

TEST_F(Terminal, CtrlCRestoresTheTerminal) {
    Start();
    ExpectBoardChoice();
    Type("C-c");
    std::string rc;
    ASSERT_TRUE(WaitExit(&rc)) << Screen();
    EXPECT_EQ(rc, "130\n");  // ended by SIGINT
    ExpectTerminalAsBefore();
}

}  // namespace

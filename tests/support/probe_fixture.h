// Fixture of the program tests: the real menu code of tavoprobe runs on a
// thread of its own against the virtual console and the simulated board,
// while the test reads the screen and types.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <functional>
#include <string>
#include <thread>

#include "console_virtual.h"
#include "korvane_sim.h"
#include "probe.h"

class ProbeTest : public ::testing::Test {
protected:
    // Default bench with short board timings (init 1 ms, autocalibration
    // 50 ms), a fresh virtual console and the program's globals at their
    // start values.
    void SetUp() override;
    // Waits for the program thread (failing the test if it does not end),
    // closes the board if the test opened it or the program left it open.
    void TearDown() override;

    // Finds the boards and opens `board` as the program would, and makes it
    // the chosen board (BoardNum).
    void OpenBoard(uint32_t board = 1);
    // Runs `body` on the program thread.
    void Run(std::function<void()> body);
    // Runs the whole program (ProbeMain) on the program thread.
    void RunMain();
    // Waits for the program thread to end; false on time-out.
    bool Finish(uint32_t timeoutMs = 60000);
    int ExitCode() const { return exitCode_; }

    // Shorthands for the screen.
    static bool WaitText(const std::string &text, uint16_t row = UINT16_MAX,
                         uint16_t col = UINT16_MAX, uint32_t timeoutMs = 30000) {
        return vcon::WaitText(text, row, col, timeoutMs);
    }
    static std::string Row(uint16_t row) { return vcon::Row(row); }
    static bool Key(int key) { return vcon::SendKey(key); }
    static bool Line(const std::string &line) { return vcon::SendLine(line); }

    int32_t Device() const { return 0; }

private:
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable doneCv_;
    bool done_ = true;
    int exitCode_ = -1;
    bool opened_ = false;
};

#include "probe_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

void ProbeTest::SetUp() {
    KSim_Reset();
    KSim_SetTiming(0, 1, 50);
    vcon::Reset();
    ResetProbeGlobals();
}

void ProbeTest::TearDown() {
    if (thread_.joinable()) {
        EXPECT_TRUE(Finish()) << "the program did not end\n" << vcon::Screen();
    }
    // A board the test opened, or one the program left open (its failure
    // exit after a partly failed open does not close it), is closed here so
    // that the next test starts with none open.
    if (opened_ || (KSim_OpenCount() > 0 && BoardNum >= 1 && BoardNum <= TAVO_MAX_BOARDS)) {
        int32_t status = 0;
        Tavo_Close_Handle(static_cast<uint32_t>(BoardNum), &status);
        opened_ = false;
    }
}

void ProbeTest::OpenBoard(uint32_t board) {
    int32_t status = 0;
    ASSERT_GE(Tavo_FindBoards(BoardList, &status), board);
    ASSERT_NE(Tavo_Get_Handle(&status, board), -1);
    ASSERT_EQ(status, 0);
    BoardNum = static_cast<int32_t>(board);
    opened_ = true;
}

void ProbeTest::Run(std::function<void()> body) {
    ASSERT_FALSE(thread_.joinable());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = false;
    }
    thread_ = std::thread([this, body = std::move(body)] {
        body();
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
        doneCv_.notify_all();
    });
}

void ProbeTest::RunMain() {
    Run([this] { exitCode_ = ProbeMain(); });
}

bool ProbeTest::Finish(uint32_t timeoutMs) {
    if (!thread_.joinable()) return true;
    std::unique_lock<std::mutex> lock(mutex_);
    if (!doneCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return done_; })) {
        // A program that hangs cannot be joined; end the run with the screen
        // as evidence rather than hang the whole test command.
        std::fprintf(stderr, "program thread still running after %u ms; screen:\n%s\n", timeoutMs,
                     vcon::Screen().c_str());
        std::fflush(stderr);
        std::abort();
    }
    lock.unlock();
    thread_.join();
    return true;
}

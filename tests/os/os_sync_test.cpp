// Events, threads and sleep of the OS layer, on whichever backend is built.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "os_sync.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kGenerousMs = 10000;

struct EventGuard {
    OsEvent event = OsCreateEvent();
    ~EventGuard() { OsCloseEvent(event); }
};

// Waits (without sleeping as synchronisation) until the thread has ended.
uint32_t ExitCodeWhenDone(OsThread thread) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kGenerousMs);
    uint32_t code = OsGetExitCodeThread(thread);
    while (code == OS_STILL_ACTIVE && Clock::now() < deadline) {
        std::this_thread::yield();
        code = OsGetExitCodeThread(thread);
    }
    return code;
}

TEST(OsEvent, AutoResetKeepsOneSetForTheNextWait) {
    EventGuard e;
    ASSERT_NE(e.event, nullptr);
    EXPECT_EQ(OsWaitEvent(e.event, 0), OS_WAIT_TIMEOUT) << "created unset";
    EXPECT_TRUE(OsSetEvent(e.event));
    EXPECT_TRUE(OsSetEvent(e.event));  // merges with the first
    EXPECT_EQ(OsWaitEvent(e.event, 0), OS_WAIT_SIGNALLED);
    EXPECT_EQ(OsWaitEvent(e.event, 0), OS_WAIT_TIMEOUT) << "one wait consumes the set";
}

TEST(OsEvent, TimeoutWaitsAtLeastItsTime) {
    EventGuard e;
    const auto start = Clock::now();
    EXPECT_EQ(OsWaitEvent(e.event, 30), OS_WAIT_TIMEOUT);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(29));
}

TEST(OsEvent, ClosedHandleIsRefused) {
    OsEvent e = OsCreateEvent();
    ASSERT_NE(e, nullptr);
    OsCloseEvent(e);
    EXPECT_FALSE(OsSetEvent(e));
    EXPECT_EQ(OsWaitEvent(e, 0), OS_WAIT_FAILED);
    EXPECT_FALSE(OsSetEvent(nullptr));
    EXPECT_EQ(OsWaitEvent(nullptr, 0), OS_WAIT_FAILED);
    OsCloseEvent(nullptr);  // harmless
}

#ifndef _WIN32
// Windows may hand a closed handle's value to a new object; our own table
// must not let a stale handle reach the event now in its slot.
TEST(OsEvent, StaleHandleNeverReachesTheSlotsNextEvent) {
    OsEvent stale = OsCreateEvent();
    OsCloseEvent(stale);
    std::vector<OsEvent> fresh;
    for (int i = 0; i < 5000; ++i) {  // more than the table holds: every slot is reused
        OsEvent e = OsCreateEvent();
        if (e == nullptr) break;
        fresh.push_back(e);
    }
    ASSERT_GT(fresh.size(), 100u);
    EXPECT_FALSE(OsSetEvent(stale));
    OsCloseEvent(stale);  // must not close the new occupant
    for (OsEvent e : fresh) {
        EXPECT_EQ(OsWaitEvent(e, 0), OS_WAIT_TIMEOUT);
        EXPECT_TRUE(OsSetEvent(e));
        OsCloseEvent(e);
    }
    OsEvent again = OsCreateEvent();
    EXPECT_NE(again, nullptr) << "slots come back after close";
    OsCloseEvent(again);
}

TEST(OsEvent, CloseWakesAWaiterWithFailure) {
    OsEvent e = OsCreateEvent();
    std::atomic<int> result{-1};
    std::atomic<bool> started{false};
    std::thread waiter([&] {
        started = true;
        result = OsWaitEvent(e, kGenerousMs);
    });
    while (!started) std::this_thread::yield();
    OsCloseEvent(e);  // before or during the wait: either way it fails
    waiter.join();
    EXPECT_EQ(result.load(), OS_WAIT_FAILED);
}
#endif

// Two threads hand a token back and forth: no set may be lost between them.
TEST(OsEvent, PingPongAcrossThreadsLosesNoWake) {
    struct Pair {
        EventGuard ping, pong;
        int rounds = 20000;
    } pair;
    auto responder = [](void *raw) -> uint32_t {
        auto *p = static_cast<Pair *>(raw);
        for (int i = 0; i < p->rounds; ++i) {
            if (OsWaitEvent(p->ping.event, kGenerousMs) != OS_WAIT_SIGNALLED) return 1;
            OsSetEvent(p->pong.event);
        }
        return 0;
    };
    OsThread thread = OsCreateThread(responder, &pair);
    ASSERT_NE(thread, nullptr);
    int answered = 0;
    for (int i = 0; i < pair.rounds; ++i) {
        OsSetEvent(pair.ping.event);
        if (OsWaitEvent(pair.pong.event, kGenerousMs) != OS_WAIT_SIGNALLED) break;
        ++answered;
    }
    EXPECT_EQ(answered, pair.rounds);
    EXPECT_EQ(ExitCodeWhenDone(thread), 0u);
    OsJoinThread(thread);
}

TEST(OsThread, ExitCodeReadsStillActiveUntilTheProcReturns) {
    struct Start {
        EventGuard go;
        std::atomic<bool> ran{false};
    } start;
    auto proc = [](void *raw) -> uint32_t {
        auto *s = static_cast<Start *>(raw);
        s->ran = true;
        return OsWaitEvent(s->go.event, kGenerousMs) == OS_WAIT_SIGNALLED ? 42u : 7u;
    };
    OsThread thread = OsCreateThread(proc, &start);
    ASSERT_NE(thread, nullptr);
    while (!start.ran) std::this_thread::yield();  // starts at once, unprompted
    EXPECT_EQ(OsGetExitCodeThread(thread), OS_STILL_ACTIVE);
    for (OsPriority p : {OS_PRIORITY_TIME_CRITICAL, OS_PRIORITY_LOWEST, OS_PRIORITY_NORMAL})
        EXPECT_TRUE(OsSetThreadPriority(thread, p));
    OsSetEvent(start.go.event);
    EXPECT_EQ(ExitCodeWhenDone(thread), 42u);
    OsJoinThread(thread);
}

TEST(OsThread, CurrentThreadPriorityIsAcceptedAndRestored) {
    std::thread worker([] {
        for (OsPriority p : {OS_PRIORITY_LOWEST, OS_PRIORITY_TIME_CRITICAL, OS_PRIORITY_NORMAL})
            EXPECT_TRUE(OsSetCurrentThreadPriority(p));
    });
    worker.join();
}

TEST(OsSleep, SleepsAtLeastItsTime) {
    const auto start = Clock::now();
    OsSleep(20);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(19));
}

}  // namespace

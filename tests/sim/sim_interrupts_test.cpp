// Interrupts of the simulated board and the notification that carries them
// to the caller's events, set from the board's own thread.
#include <atomic>
#include <thread>

#include "sim_fixture.h"

namespace simtest {
namespace {

using Interrupts = BoardTest;

// A wait that must not be satisfied: long enough for a wrongly delivered
// interrupt of a running board (whose periods here are a few milliseconds).
constexpr uint32_t kQuietMs = 200;

void StartAutocal(BoardTest &t) {
    t.Write(INT_CNTRL, INT_SOURCE_AUTOCAL);
    t.Write(BCR, t.Read(BCR) | AUTOCAL_START);
}

TEST_F(Interrupts, EndOfAutocalibrationSetsTheRegisteredEvent) {
    Initialize();
    OsEvent event = Notify(KV_INT_LOCAL);
    StartAutocal(*this);
    ASSERT_EQ(OsWaitEvent(event, kGenerousMs), OS_WAIT_SIGNALLED);
    EXPECT_FALSE(Read(BCR) & AUTOCAL_START) << "calibration over when the interrupt comes";
    EXPECT_EQ(KSim_InterruptCount(0), 1u);
    EXPECT_NE(KSim_LastInterruptTime(0), 0);
}

// What keeps an interrupt from reaching the event, and whether the board
// still counts it as raised.
TEST_F(Interrupts, NoEventWithoutInterruptEnableRegistrationOrBoardInterrupt) {
    struct Case {
        const char *name;
        bool neverInterrupt;
        bool disableAtBridge;
        uint8_t registeredFlags;
        uint64_t raised;
    } cases[] = {
        {"board never interrupts", true, false, KV_INT_LOCAL, 0},
        {"disabled at the bridge", false, true, KV_INT_LOCAL, 1},
        {"registered for DMA only", false, false, KV_INT_DMA_CH0, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        KSim_SetNeverInterrupt(0, c.neverInterrupt);
        Initialize();
        OsEvent event = Notify(c.registeredFlags);
        if (c.disableAtBridge) {
            InterruptRecord sources{};
            sources.Flags = KV_INT_LOCAL;
            ASSERT_EQ(PlxPci_InterruptDisable(&device_, &sources), KvSuccess);
        }
        const uint64_t before = KSim_InterruptCount(0);
        StartAutocal(*this);
        WaitAutocalEnd();
        EXPECT_EQ(OsWaitEvent(event, kQuietMs), OS_WAIT_TIMEOUT);
        EXPECT_EQ(KSim_InterruptCount(0) - before, c.raised);
        ASSERT_EQ(Pelm_CancelNotification(&device_, LastRecord()), KvSuccess);
        notifications_.pop_back();
    }
}

// The threshold condition is level-sensitive: after a read that leaves the
// buffer at or above the threshold the board interrupts again.
TEST_F(Interrupts, ThresholdInterruptRecursWhileTheLevelStaysAtTheThreshold) {
    Initialize();
    OpenDma();
    HostBlock &mem = Memory();
    OsEvent event = Notify(KV_INT_LOCAL);
    Write(IN_CNTRL, 8);
    Write(INT_CNTRL, TAVO_FIELD_PREP(INT_B, INT_SOURCE_THRESHOLD));
    std::vector<uint32_t> words(20, TAVO_CODE_ZERO);
    KSim_LoadInput(0, words.data(), 7);
    EXPECT_EQ(KSim_InterruptCount(0), 0u);
    KSim_LoadInput(0, words.data(), 13);  // 20 words: crosses 8
    EXPECT_EQ(OsWaitEvent(event, kGenerousMs), OS_WAIT_SIGNALLED);
    struct Step {
        uint32_t words;
        uint64_t interruptsAfter;
    } steps[] = {{4, 2}, {8, 3}, {1, 3}};  // levels 16, 8, 7
    for (const Step &s : steps) {
        ASSERT_EQ(Transfer(mem, IN_DATA, s.words), KvSuccess);
        EXPECT_EQ(KSim_InterruptCount(0), s.interruptsAfter) << "after taking " << s.words;
    }
    EXPECT_EQ(OsWaitEvent(event, kGenerousMs), OS_WAIT_SIGNALLED);
    EXPECT_EQ(KSim_InputLevel(0), 7u);
    EXPECT_FALSE(Read(IN_CNTRL) & IN_THRESHOLD_FLAG);
}

TEST_F(Interrupts, DmaChannelInterruptReachesOnlyThatChannelsRegistration) {
    Initialize();
    OpenDma(1);
    HostBlock &mem = Memory();
    OsEvent local = Notify(KV_INT_LOCAL);
    OsEvent channel0 = Notify(KV_INT_DMA_CH0);
    OsEvent channel1 = Notify(KV_INT_DMA_CH1);
    ASSERT_EQ(Transfer(mem, OUT_DATA, 4, 2000, 1), KvSuccess);
    EXPECT_EQ(OsWaitEvent(channel1, kGenerousMs), OS_WAIT_SIGNALLED);
    EXPECT_EQ(OsWaitEvent(channel0, 0), OS_WAIT_TIMEOUT);
    EXPECT_EQ(OsWaitEvent(local, 0), OS_WAIT_TIMEOUT);
}

// Once Pelm_CancelNotification has returned, the event is never set again,
// even while the board interrupts without pause from another thread's work.
TEST_F(Interrupts, CancelledEventIsNeverSetAgain) {
    Initialize();
    OpenDma();
    HostBlock &mem = Memory();
    OsEvent event = Notify(KV_INT_DMA_CH0);
    std::atomic<bool> stop{false};
    std::atomic<int> transfers{0};
    std::thread storm([&] {
        while (!stop) {
            if (Transfer(mem, OUT_DATA, 1) == KvSuccess) ++transfers;
            Write(OUT_CNTRL, OUT_CLEAR);
        }
    });
    ASSERT_EQ(OsWaitEvent(event, kGenerousMs), OS_WAIT_SIGNALLED);
    ASSERT_EQ(Pelm_CancelNotification(&device_, LastRecord()), KvSuccess);
    notifications_.pop_back();
    OsWaitEvent(event, 0);  // a set from before the cancellation may remain
    const int before = transfers;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kGenerousMs);
    while (transfers < before + 200 && Clock::now() < deadline) std::this_thread::yield();
    stop = true;
    storm.join();
    EXPECT_GE(transfers, before + 200);
    EXPECT_EQ(OsWaitEvent(event, 0), OS_WAIT_TIMEOUT);
    EXPECT_EQ(Pelm_CancelNotification(&device_, &*owned_.back()), KvFailed) << "nothing left to cancel";
}

}  // namespace
}  // namespace simtest

namespace simtest {
namespace {

// A program may end with its board still open and interrupting: the board's
// thread must neither hang the exit nor crash it.
TEST(BoardLifetime, ProcessExitsWithABoardStillOpenAndInterrupting) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            KSim_Reset();
            KSim_SetTiming(0, 0, 0);
            DeviceKey key = AnyKey();
            DeviceObject device{};
            PlxPci_DeviceFind(&key, 0);
            PlxPci_DeviceOpen(&key, &device);
            OsEvent event = OsCreateEvent();
            NotifyRecord notify{};
            notify.Event = OsEventToRecord(event);
            InterruptRecord sources{};
            sources.Flags = KV_INT_ENABLE | KV_INT_LOCAL;
            PlxPci_InterruptEnable(&device, &sources);
            Pelm_RegisterForNotification(&device, &sources, &notify);
            auto write = [&](uint32_t offset, uint32_t value) {
                PlxPci_PciBarSpaceWrite(&device, KV_BAR_REGISTERS, offset, &value, 4, KV_ACCESS_32BIT, 0);
            };
            write(IN_CNTRL, 64);
            write(INT_CNTRL, TAVO_FIELD_PREP(INT_B, INT_SOURCE_THRESHOLD));
            write(RATE_A, TAVO_RATE_CLOCK_HZ / 100000);
            const bool interrupted = OsWaitEvent(event, kGenerousMs) == OS_WAIT_SIGNALLED;
            uint32_t word = 0;  // a read re-asserts the interrupt: one more is on its way
            PlxPci_PciBarSpaceRead(&device, KV_BAR_REGISTERS, IN_DATA, &word, 4, KV_ACCESS_32BIT, 0);
            std::exit(interrupted ? 7 : 1);
        },
        ::testing::ExitedWithCode(7), "");
}

}  // namespace
}  // namespace simtest

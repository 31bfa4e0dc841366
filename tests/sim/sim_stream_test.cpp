// The board at its top rate: 1,000,000 scans a second drained by a reader
// woken by the threshold interrupt, as the continuous acquisition reads it.
#include <thread>

#include "sim_fixture.h"

namespace simtest {
namespace {

constexpr uint32_t kScansPerSecond = 1000000;
constexpr uint32_t kSeconds = 10;
constexpr uint32_t kBlockWords = 4096;
constexpr uint32_t kWordsPerScan = 4;

using Stream = BoardTest;

TEST_F(Stream, TopRateReaderGetsEveryScanOnceAndInOrder) {
    KSim_SetCountingSource(0, 1);
    // A quarter of a second of slack: the test machine may take the reader's
    // CPU for longer than the default buffer lasts at this rate, which is no
    // fault of the board or the reader.
    KSim_SetInputCapacity(0, 1u << 20);
    Initialize();
    OpenDma();
    HostBlock &mem = Memory();
    OsEvent event = Notify(KV_INT_LOCAL);
    OsSetCurrentThreadPriority(OS_PRIORITY_TIME_CRITICAL);

    Write(SCAN_CNTRL, Read(SCAN_CNTRL) & ~SCAN_SIZE_GROUP);
    const uint32_t divisor = TAVO_RATE_CLOCK_HZ / kScansPerSecond;
    Write(RATE_A, divisor | RATE_DISABLE);
    Write(IN_CNTRL, kBlockWords);
    Write(IN_CNTRL, Read(IN_CNTRL) | IN_CLEAR);
    Write(INT_CNTRL, TAVO_FIELD_PREP(INT_B, INT_SOURCE_THRESHOLD));
    Write(RATE_A, Read(RATE_A) & ~static_cast<uint32_t>(RATE_DISABLE));

    const uint64_t blocks = uint64_t{kScansPerSecond} * kWordsPerScan * kSeconds / kBlockWords;
    uint64_t scan = 0;
    uint64_t faults = 0;
    uint64_t firstFault = UINT64_MAX;
    for (uint64_t b = 0; b < blocks; ++b) {
        ASSERT_EQ(OsWaitEvent(event, 2000), OS_WAIT_SIGNALLED) << "block " << b;
        ASSERT_EQ(Transfer(mem, IN_DATA, kBlockWords), KvSuccess) << "block " << b;
        const uint32_t *w = mem.Words();
        for (uint32_t i = 0; i < kBlockWords; i += kWordsPerScan, ++scan) {
            const bool ok = w[i] == ((scan & IN_SAMPLE_MASK) | FIRST_CHAN) &&
                            w[i + 1] == ((scan >> 12) & IN_SAMPLE_MASK) &&
                            w[i + 2] == ((scan >> 24) & IN_SAMPLE_MASK) && w[i + 3] == ((scan >> 36) & IN_SAMPLE_MASK);
            if (!ok && faults++ == 0) firstFault = scan;
        }
    }
    Write(RATE_A, Read(RATE_A) | RATE_DISABLE);
    OsSetCurrentThreadPriority(OS_PRIORITY_NORMAL);
    EXPECT_EQ(faults, 0u) << "first wrong scan " << firstFault;
    EXPECT_EQ(scan, blocks * kBlockWords / kWordsPerScan);
    EXPECT_EQ(KSim_OverflowCount(0), 0u);
}

}  // namespace
}  // namespace simtest

// The simulated board at 1,000,000 scans a second (4,000,000 words and about
// 977 threshold interrupts a second) drained through DMA by a reader woken
// by the threshold interrupt, 4096 words per wake, as the continuous
// acquisition reads it. Prints:
//   - the CPU time the simulation costs per simulated second: the board's
//     thread alone (process CPU minus the reader thread), and the whole
//     process (which adds the generation and copying that the reader's DMA
//     calls do inside korvane);
//   - the interrupt-to-wake latency: from the board setting the event to the
//     reader returning from its wait, median and 99th percentile, over the
//     wakes where the reader was already waiting when the event was set.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "korvane.h"
#include "korvane_sim.h"
#include "os_sync.h"
#include "tavocore_regs.h"

namespace {

constexpr uint32_t kScansPerSecond = 1000000;
constexpr uint32_t kBlockWords = 4096;
constexpr uint32_t kWordsPerScan = 4;

double CpuSeconds(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool Check(KvStatus status, const char *what) {
    if (status == KvSuccess) return true;
    std::fprintf(stderr, "%s failed: %d\n", what, static_cast<int>(status));
    return false;
}

struct Board {
    DeviceObject device{};
    bool Write(uint32_t offset, uint32_t value) {
        return Check(PlxPci_PciBarSpaceWrite(&device, KV_BAR_REGISTERS, offset, &value, 4, KV_ACCESS_32BIT, 0),
                     "register write");
    }
    uint32_t Read(uint32_t offset) {
        uint32_t value = 0;
        Check(PlxPci_PciBarSpaceRead(&device, KV_BAR_REGISTERS, offset, &value, 4, KV_ACCESS_32BIT, 0),
              "register read");
        return value;
    }
};

double Percentile(std::vector<double> &v, double p) {
    if (v.empty()) return 0;
    const size_t i = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(i), v.end());
    return v[i];
}

}  // namespace

int main(int argc, char **argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    KSim_Reset();
    KSim_SetTiming(0, 1, 50);
    KSim_SetCountingSource(0, 1);

    Board b;
    DeviceKey key;
    std::memset(&key, 0xFF, sizeof key);
    if (!Check(PlxPci_DeviceFind(&key, 0), "find") || !Check(PlxPci_DeviceOpen(&key, &b.device), "open")) return 1;
    PhysMemDesc mem{};
    mem.Size = kBlockWords * 4;
    DmaChannelProps props{{0x13, 0x60, 0x00}};
    if (!Check(PlxPci_PhysicalMemoryAllocate(&b.device, &mem, 0), "allocate") ||
        !Check(PlxPci_PhysicalMemoryMap(&b.device, &mem), "map") ||
        !Check(PlxPci_DmaChannelOpen(&b.device, 0, &props), "DMA channel"))
        return 1;

    b.Write(BCR, BOARD_INIT);
    while (b.Read(BCR) != BCR_INIT_DONE) {
    }
    OsEvent event = OsCreateEvent();
    NotifyRecord notify{};
    notify.Event = OsEventToRecord(event);
    InterruptRecord sources{};
    sources.Flags = KV_INT_ENABLE | KV_INT_LOCAL;
    Check(PlxPci_InterruptEnable(&b.device, &sources), "interrupt enable");
    sources.Flags = KV_INT_LOCAL;
    Check(Pelm_RegisterForNotification(&b.device, &sources, &notify), "notification");
    OsSetCurrentThreadPriority(OS_PRIORITY_TIME_CRITICAL);

    b.Write(SCAN_CNTRL, b.Read(SCAN_CNTRL) & ~SCAN_SIZE_GROUP);
    b.Write(RATE_A, (TAVO_RATE_CLOCK_HZ / kScansPerSecond) | RATE_DISABLE);
    b.Write(IN_CNTRL, kBlockWords | IN_CLEAR);
    b.Write(INT_CNTRL, TAVO_FIELD_PREP(INT_B, INT_SOURCE_THRESHOLD));

    const uint64_t blocks = uint64_t{kScansPerSecond} * kWordsPerScan * static_cast<uint64_t>(seconds) / kBlockWords;
    std::vector<double> latencyUs;
    latencyUs.reserve(blocks);
    uint64_t alreadySet = 0;
    uint64_t wrongScans = 0;
    uint64_t scan = 0;
    DmaTransferParams params{};
    params.BusAddr = static_cast<uint32_t>(mem.BusAddr);
    params.LocalAddr = IN_DATA;
    params.ByteCount = kBlockWords * 4;
    params.Flags = KV_DMA_LOCAL_TO_HOST;
    const auto *words = reinterpret_cast<const uint32_t *>(static_cast<uintptr_t>(mem.UserAddr));

    const double process0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double reader0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const auto wall0 = std::chrono::steady_clock::now();
    b.Write(RATE_A, b.Read(RATE_A) & ~static_cast<uint32_t>(RATE_DISABLE));
    for (uint64_t n = 0; n < blocks; ++n) {
        const int64_t waitFrom = NowNs();
        if (OsWaitEvent(event, 2000) != OS_WAIT_SIGNALLED) {
            std::fprintf(stderr, "interrupt time-out at block %llu\n", static_cast<unsigned long long>(n));
            return 1;
        }
        const int64_t woke = NowNs();
        const int64_t raised = KSim_LastInterruptTime(0);
        if (raised >= waitFrom && raised <= woke)
            latencyUs.push_back(static_cast<double>(woke - raised) / 1000.0);
        else
            ++alreadySet;
        if (!Check(PlxPci_DmaTransferBlock(&b.device, 0, &params, 2000), "DMA")) return 1;
        for (uint32_t i = 0; i < kBlockWords; i += kWordsPerScan, ++scan)
            if (words[i] != ((scan & IN_SAMPLE_MASK) | FIRST_CHAN)) ++wrongScans;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const double reader = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - reader0;
    const double process = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - process0;
    b.Write(RATE_A, b.Read(RATE_A) | RATE_DISABLE);
    OsSetCurrentThreadPriority(OS_PRIORITY_NORMAL);

    const double simulated = static_cast<double>(scan) / kScansPerSecond;
    std::printf("simulated %.2f s of 1,000,000 scans/s in %.2f s of wall time; %llu blocks of %u words\n",
                simulated, wall, static_cast<unsigned long long>(blocks), kBlockWords);
    std::printf("overflowed words: %llu, wrong scans: %llu, interrupts raised: %llu\n",
                static_cast<unsigned long long>(KSim_OverflowCount(0)), static_cast<unsigned long long>(wrongScans),
                static_cast<unsigned long long>(KSim_InterruptCount(0)));
    std::printf("CPU per simulated second: board thread %.1f%% of one core, whole process %.1f%% (reader %.1f%%)\n",
                100.0 * (process - reader) / simulated, 100.0 * process / simulated, 100.0 * reader / simulated);
    std::printf("interrupt-to-wake latency over %zu wakes (%llu found the event already set): median %.1f us, "
                "99th percentile %.1f us\n",
                latencyUs.size(), static_cast<unsigned long long>(alreadySet), Percentile(latencyUs, 0.5),
                Percentile(latencyUs, 0.99));

    Pelm_CancelNotification(&b.device, &notify);
    OsCloseEvent(event);
    PlxPci_DmaChannelClose(&b.device, 0);
    PlxPci_PhysicalMemoryUnmap(&b.device, &mem);
    PlxPci_PhysicalMemoryFree(&b.device, &mem);
    PlxPci_DeviceClose(&b.device);
    return 0;
}

// The cost of one acquisition block (4096 words) moved by
// Tavo_DMA_FROM_Buffer from the simulated board, next to the plain memory
// copy of the same 16 KiB. The board's input buffer is kept filled, so no
// transfer waits for data: the figure is the library plus korvane per call.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <numeric>
#include <vector>

#include "korvane_sim.h"
#include "os_sync.h"
#include "tavocore.h"

namespace {

constexpr uint32_t BLOCK_WORDS = 4096;
constexpr uint32_t PREFILL_WORDS = 1u << 22; // 16 MiB: a thousand blocks a refill
constexpr int32_t DEVICE = 0;

bool OpenBoard(int32_t *status)
{
    KSim_Reset();
    KSim_SetTiming(DEVICE, 1, 20);
    KSim_SetInputCapacity(DEVICE, PREFILL_WORDS);
    char list[TAVO_BOARD_LIST_SIZE];
    if (Tavo_FindBoards(list, status) < 1 || Tavo_Get_Handle(status, 1) < 1)
        return false;
    Tavo_Initialize(1, status);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Tavo_Read_Local32(1, status, BCR) != BCR_INIT_DONE) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        OsSleep(1);
    }
    return Tavo_Open_DMA_Channel(1, 0, status) == ApiSuccess;
}

void BM_DmaFromBuffer4096(benchmark::State &state)
{
    int32_t status = 0;
    if (!OpenBoard(&status)) {
        state.SkipWithError("the simulated board did not open");
        return;
    }
    std::vector<uint32_t> fill(PREFILL_WORDS);
    std::iota(fill.begin(), fill.end(), 0u);
    std::vector<uint32_t> destination(BLOCK_WORDS);

    for (auto _ : state) {
        if (KSim_InputLevel(DEVICE) < BLOCK_WORDS) {
            state.PauseTiming();
            KSim_LoadInput(DEVICE, fill.data(), PREFILL_WORDS - KSim_InputLevel(DEVICE));
            state.ResumeTiming();
        }
        if (Tavo_DMA_FROM_Buffer(1, 0, BLOCK_WORDS, destination.data(), &status) != BLOCK_WORDS) {
            state.SkipWithError("transfer failed");
            break;
        }
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * BLOCK_WORDS * 4);
    Tavo_Close_DMA_Channel(1, 0, &status);
    Tavo_Close_Handle(1, &status);
}
BENCHMARK(BM_DmaFromBuffer4096);

void BM_Memcpy16KiB(benchmark::State &state)
{
    std::vector<uint32_t> source(BLOCK_WORDS, 0x5A5A5A5Au);
    std::vector<uint32_t> destination(BLOCK_WORDS);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), BLOCK_WORDS * 4);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * BLOCK_WORDS * 4);
}
BENCHMARK(BM_Memcpy16KiB);

} // namespace

BENCHMARK_MAIN();

// One simulated Ovrin board: its registers, input and output buffers, rate
// generators, autocalibration, interrupts and the thread that raises them.
//
// The board is paced by the real clock, lazily: every access first brings
// the board up to "now" (scans generated, output words clocked out, timed
// operations finished). The board's own thread sleeps until the next thing
// due (threshold reached, autocalibration done) and delivers interrupts, so
// that registered events are always set from the board's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "korvane.h"
#include "korvane_sim.h"
#include "os_sync.h"
#include "tavocore_regs.h"

namespace ksim {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kChannels = 32;
constexpr uint32_t kOutputs = 4;
constexpr uint32_t kDefaultInitMs = 5;
constexpr uint32_t kDefaultAutocalMs = 1000;
constexpr uint32_t kDefaultInputCapacity = 65536;
constexpr uint32_t kOutputCapacity = 1u << 20;
constexpr size_t kRecordCapacity = 1u << 20;
constexpr uint32_t kFirmwareRevision = 0x0107;
constexpr uint32_t kAutocalEntries = 10;

struct Source {
    int32_t kind = KSIM_SOURCE_NOISE;
    double level = TAVO_CODE_ZERO;
    double amplitude = 2;
    double frequency = 0;
};

// What a test or preset sets; survives opening and closing the device.
struct BoardSettings {
    uint32_t initMs = kDefaultInitMs;
    uint32_t autocalMs = kDefaultAutocalMs;
    uint32_t inputCapacity = kDefaultInputCapacity;
    Source sources[kChannels];
    bool counting = false;
    uint16_t dioPins = 0;
    bool neverInterrupt = false;
    bool autocalFails = false;
    uint32_t initResult = 0;
    bool dmaTimeout = false;
};

struct Notification {
    const NotifyRecord *record;
    uint8_t flags;
    OsEvent event;
};

class Board {
public:
    Board();
    ~Board();
    Board(const Board &) = delete;
    Board &operator=(const Board &) = delete;

    // Open starts the board's thread; Close stops it, drops notifications
    // and DMA channels, and wakes any transfer still waiting.
    void Open();
    void Close();

    uint32_t Read(uint32_t offset);
    void Write(uint32_t offset, uint32_t value);

    // Demand-mode transfer from IN_DATA: waits until the buffer holds the
    // words, or the time-out passes (KvWaitTimeout). A transfer to OUT_DATA
    // appends the words. Each raises the channel's interrupt when done.
    KvStatus TransferFromInput(uint32_t *host, uint32_t words, uint64_t timeoutMs, int channel);
    KvStatus TransferToOutput(const uint32_t *host, uint32_t words, uint64_t timeoutMs, int channel);

    bool OpenDmaChannel(int channel);
    bool CloseDmaChannel(int channel);
    void EnableInterrupts(uint8_t flags, bool on);
    void Register(const NotifyRecord *record, uint8_t flags, OsEvent event);
    bool Cancel(const NotifyRecord *record);

    // Control and inspection.
    uint32_t PeekRegister(uint32_t offset);
    BoardSettings Settings();
    void Configure(const BoardSettings &settings);
    void LoadInput(const uint32_t *words, uint32_t count);
    uint32_t InputLevel();
    uint64_t OverflowCount();
    uint64_t InterruptCount();
    int64_t LastInterruptNs();
    void Outputs(uint16_t code[kOutputs]);
    size_t OutputRecord(KSimOutputEntry *entries, size_t max);
    uint64_t OutputRecordTotal();
    void ClearOutputRecord();
    bool WaitOutputIdle(uint32_t timeoutMs);
    bool WaitOutputRecord(uint64_t total, uint32_t timeoutMs);

private:
    static uint32_t ThreadMain(void *self);
    void Run();

    // Everything below runs with mutex_ held.
    void ResetRegisters(Clock::time_point now);
    void Advance(Clock::time_point now);
    void FinishTimedOperations(Clock::time_point now);
    void Raise(uint8_t source);
    void Deliver();
    Clock::time_point NextDue(Clock::time_point now);
    uint32_t Peek(uint32_t offset);
    uint32_t ReadBcr() const;
    void WriteBcr(uint32_t value, Clock::time_point now);
    void WriteRate(bool rateA, uint32_t value, Clock::time_point now);

    // Inputs (sim_input.cpp).
    void GenerateInputs(Clock::time_point now);
    void ProduceScans(uint64_t ticks);
    uint32_t SampleCode(uint32_t channel, uint64_t scan);
    uint32_t NoiseCode(double level, double amplitude);
    void PushInput(uint32_t word);
    uint32_t PopInput();
    void ClearInput();
    uint32_t WordsPerScan() const;
    uint32_t Threshold() const;
    bool ThresholdInterruptOn() const;
    void CheckThresholdAfterRead();
    Clock::time_point TimeOfInputLevel(uint32_t level) const;
    uint64_t RemainingOutputTicks() const;
    Clock::time_point TimeOfOutputTick(uint64_t tick) const;

    // Outputs (sim_output.cpp).
    void ClockOutputs(Clock::time_point now);
    bool HasOutputWork() const;
    void PlayNextWord();
    void ApplyOutputWord(uint32_t word);
    void SetOutputs(const uint16_t codes[kOutputs]);
    void AppendOutput(uint32_t word);
    void ClearOutput();
    bool OutputIdle() const;

    std::mutex mutex_;
    std::condition_variable wake_;  // the board's thread
    std::condition_variable data_;  // transfers and waits of the control API

    BoardSettings settings_;

    // Registers as the board holds them.
    uint32_t bcr_ = BCR_INIT_DONE;
    uint32_t intCntrl_ = 0;
    uint32_t inCntrl_ = 0;
    uint32_t rateA_ = 0;
    uint32_t rateB_ = 0;
    uint32_t outCntrl_ = 0;
    uint32_t scanCntrl_ = 0;
    uint32_t dio_ = 0;
    uint32_t autocalIndex_ = 0;
    uint32_t autocalValues_[kAutocalEntries] = {};

    bool initializing_ = false;
    Clock::time_point initEnd_{};
    bool autocalRunning_ = false;
    Clock::time_point autocalEnd_{};

    // Rate generator A and the input buffer.
    bool rateARunning_ = false;
    Clock::time_point baseA_{};
    uint64_t baseTicksA_ = 0;
    uint64_t scans_ = 0;  // since rate A last started
    std::vector<uint32_t> ring_;
    uint32_t head_ = 0;
    uint32_t level_ = 0;
    uint64_t overflow_ = 0;
    uint32_t noise_ = 0x2545F491u;

    // Rate generator B, the output buffer and the four outputs.
    bool rateBRunning_ = false;
    Clock::time_point baseB_{};
    uint64_t baseTicksB_ = 0;
    uint64_t ticksB_ = 0;  // since the board was opened
    std::vector<uint32_t> outWords_;
    size_t outRead_ = 0;
    size_t playPos_ = 0;
    bool playedOnce_ = false;
    bool burstActive_ = false;
    uint32_t burstsQueued_ = 0;
    size_t burstPos_ = 0;
    size_t nextBurst_ = 0;
    uint16_t outputs_[kOutputs];
    uint16_t held_[kOutputs];
    std::vector<KSimOutputEntry> record_;
    size_t recordStart_ = 0;
    uint64_t recordTotal_ = 0;

    // Bridge, notification and DMA.
    bool open_ = false;
    bool stop_ = false;
    OsThread thread_ = nullptr;
    bool localEnabled_ = false;
    bool dmaEnabled_[2] = {false, false};
    bool dmaOpen_[2] = {false, false};
    uint8_t pending_ = 0;  // KV_INT_* sources raised, not yet delivered
    uint64_t interrupts_ = 0;
    int64_t lastInterruptNs_ = 0;
    std::vector<Notification> notifications_;
};

}  // namespace ksim

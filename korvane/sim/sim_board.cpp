// The simulated board: registers, timed operations, interrupts and the
// board's thread. Inputs are in sim_input.cpp, outputs in sim_output.cpp.
#include "sim_board.h"

#include <algorithm>
#include <cstring>

#include "sim_timing.h"

namespace ksim {

namespace {

// Where a register goes after BOARD_INIT. Rate A holds; rate B runs, so that
// words written to OUT_DATA reach the outputs as soon as they are written
// (the loop-back self-test writes them without starting rate B).
constexpr uint32_t kResetRateA = RATE_DISABLE | 240u;  // 100,000 scans a second once started
constexpr uint32_t kResetRateB = 24u;                  // 1,000,000 words a second
constexpr uint32_t kNominalGain = 0x8000;
constexpr uint32_t kNominalOffset = 0x0800;
// How long the board's thread sleeps at most with nothing due, and with
// output words to clock out (so that a long playback is processed in steps).
constexpr auto kIdlePeriod = std::chrono::milliseconds(100);
constexpr auto kOutputPeriod = std::chrono::milliseconds(20);

int64_t SteadyNs(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

}  // namespace

Board::Board() {
    ring_.assign(settings_.inputCapacity, 0);
    for (uint32_t i = 0; i < kOutputs; ++i) outputs_[i] = held_[i] = TAVO_CODE_ZERO;
    for (uint32_t i = 0; i < kAutocalEntries; ++i)
        autocalValues_[i] = (i % 2 == 0) ? kNominalGain : kNominalOffset;
    ResetRegisters(Clock::now());
}

Board::~Board() { Close(); }

void Board::Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_) return;
    const auto now = Clock::now();
    Advance(now);
    open_ = true;
    stop_ = false;
    pending_ = 0;
    interrupts_ = 0;
    overflow_ = 0;
    ticksB_ = 0;
    baseTicksB_ = 0;
    baseB_ = now;
    record_.clear();
    recordStart_ = 0;
    recordTotal_ = 0;
    thread_ = OsCreateThread(&Board::ThreadMain, this);
    if (thread_ != nullptr) OsSetThreadPriority(thread_, OS_PRIORITY_TIME_CRITICAL);
}

void Board::Close() {
    OsThread thread = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_ && thread_ == nullptr) return;
        open_ = false;
        stop_ = true;
        notifications_.clear();
        localEnabled_ = false;
        dmaEnabled_[0] = dmaEnabled_[1] = false;
        dmaOpen_[0] = dmaOpen_[1] = false;
        thread = thread_;
        thread_ = nullptr;
    }
    wake_.notify_all();
    data_.notify_all();
    OsJoinThread(thread);
}

uint32_t Board::ThreadMain(void *self) {
    static_cast<Board *>(self)->Run();
    return 0;
}

void Board::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        const auto now = Clock::now();
        Advance(now);
        Deliver();
        if (pending_ != 0) continue;
        wake_.wait_until(lock, NextDue(now));
    }
}

Clock::time_point Board::NextDue(Clock::time_point now) {
    auto due = now + kIdlePeriod;
    if (initializing_) due = std::min(due, initEnd_);
    if (autocalRunning_) due = std::min(due, autocalEnd_);
    if (ThresholdInterruptOn() && rateARunning_ && level_ < Threshold() && Threshold() <= ring_.size())
        due = std::min(due, TimeOfInputLevel(Threshold()));
    if (rateBRunning_ && HasOutputWork()) due = std::min(due, now + kOutputPeriod);
    return due;
}

void Board::Advance(Clock::time_point now) {
    FinishTimedOperations(now);
    ClockOutputs(now);
    GenerateInputs(now);
}

void Board::FinishTimedOperations(Clock::time_point now) {
    if (initializing_ && now >= initEnd_) {
        initializing_ = false;
        bcr_ = settings_.initResult != 0 ? settings_.initResult : BCR_INIT_DONE;
    }
    if (autocalRunning_ && now >= autocalEnd_) {
        autocalRunning_ = false;
        bcr_ &= ~static_cast<uint32_t>(AUTOCAL_START);
        if (settings_.autocalFails) {
            bcr_ &= ~static_cast<uint32_t>(AUTOCAL_PASS);
        } else {
            bcr_ |= AUTOCAL_PASS;
            // Plausible results: gains near unity, offsets near mid-scale.
            for (uint32_t i = 0; i < kAutocalEntries; ++i) {
                const uint32_t jitter = NoiseCode(0x20, 0x10);
                autocalValues_[i] = ((i % 2 == 0) ? kNominalGain : kNominalOffset) + jitter - 0x20;
            }
        }
        if (TAVO_FIELD_GET(INT_A, intCntrl_) == INT_SOURCE_AUTOCAL) Raise(KV_INT_LOCAL);
    }
}

void Board::Raise(uint8_t source) {
    if (source == KV_INT_LOCAL) {
        if (settings_.neverInterrupt) return;
        ++interrupts_;
    }
    pending_ |= source;
    wake_.notify_one();
}

// Sets the events of the matching registrations. Holding the board's lock
// here is what lets Cancel promise that a cancelled event is never set again.
void Board::Deliver() {
    const uint32_t sources = pending_;
    pending_ = 0;
    if (sources == 0 || !open_) return;
    bool any = false;
    for (const Notification &n : notifications_) {
        const bool match = ((sources & KV_INT_LOCAL) && localEnabled_ && (n.flags & KV_INT_LOCAL)) ||
                           ((sources & KV_INT_DMA_CH0) && dmaEnabled_[0] && (n.flags & KV_INT_DMA_CH0)) ||
                           ((sources & KV_INT_DMA_CH1) && dmaEnabled_[1] && (n.flags & KV_INT_DMA_CH1));
        if (!match) continue;
        if (!any) lastInterruptNs_ = SteadyNs(Clock::now());
        any = true;
        OsSetEvent(n.event);
    }
}

void Board::ResetRegisters(Clock::time_point now) {
    bcr_ = 0;
    intCntrl_ = 0;
    inCntrl_ = 0;
    rateA_ = kResetRateA;
    rateARunning_ = false;
    rateB_ = kResetRateB;
    rateBRunning_ = true;
    baseB_ = now;
    baseTicksB_ = ticksB_;
    outCntrl_ = 0;
    scanCntrl_ = 0;
    dio_ = 0;
    autocalIndex_ = 0;
    autocalRunning_ = false;
    ClearInput();
    ClearOutput();
    const uint16_t zero[kOutputs] = {TAVO_CODE_ZERO, TAVO_CODE_ZERO, TAVO_CODE_ZERO, TAVO_CODE_ZERO};
    std::copy(zero, zero + kOutputs, held_);
    SetOutputs(zero);
}

uint32_t Board::ReadBcr() const { return initializing_ ? static_cast<uint32_t>(BOARD_INIT) : bcr_; }

void Board::WriteBcr(uint32_t value, Clock::time_point now) {
    if (value & BOARD_INIT) {
        ResetRegisters(now);
        initializing_ = true;
        initEnd_ = now + std::chrono::milliseconds(settings_.initMs);
        FinishTimedOperations(now);
        return;
    }
    const uint32_t wasBurst = bcr_ & BURST_ENABLE;
    const uint32_t wasBuffered = bcr_ & OUT_BUFFERED;
    // The status bits are the board's; BURST_TRIGGER is a strobe.
    const uint32_t status = static_cast<uint32_t>(AUTOCAL_START) | AUTOCAL_PASS;
    bcr_ = (value & ~(status | BOARD_INIT | BURST_TRIGGER)) | (bcr_ & status);
    if ((value & AUTOCAL_START) && !autocalRunning_) {
        autocalRunning_ = true;
        autocalEnd_ = now + std::chrono::milliseconds(settings_.autocalMs);
        bcr_ |= AUTOCAL_START;
    }
    if ((bcr_ & BURST_ENABLE) && !wasBurst) {
        nextBurst_ = outRead_;
        burstActive_ = false;
    }
    if ((bcr_ & OUT_BUFFERED) && !wasBuffered) {
        playPos_ = outRead_;
        playedOnce_ = false;
    }
    if ((value & BURST_TRIGGER) && (bcr_ & BURST_ENABLE)) ++burstsQueued_;
}

void Board::WriteRate(bool rateA, uint32_t value, Clock::time_point now) {
    const bool running = (value & RATE_DISABLE) == 0;
    uint32_t &reg = rateA ? rateA_ : rateB_;
    bool &wasRunning = rateA ? rateARunning_ : rateBRunning_;
    const bool divisorChanged = RateDivisor(reg) != RateDivisor(value);
    if (rateA) {
        if (running && !wasRunning) {
            scans_ = 0;  // the counting source numbers scans from each start
            baseA_ = now;
            baseTicksA_ = 0;
        } else if (running && divisorChanged) {
            baseA_ = now;
            baseTicksA_ = scans_;
        }
    } else if (running && (!wasRunning || divisorChanged)) {
        baseB_ = now;
        baseTicksB_ = ticksB_;
    }
    reg = value;
    wasRunning = running;
}

uint32_t Board::Read(uint32_t offset) {
    std::unique_lock<std::mutex> lock(mutex_);
    Advance(Clock::now());
    if (offset == IN_DATA) {
        const uint32_t word = PopInput();
        CheckThresholdAfterRead();
        return word;
    }
    return Peek(offset);
}

uint32_t Board::Peek(uint32_t offset) {
    // Called with the lock held from Read; the control API takes it itself.
    switch (offset) {
    case BCR: return ReadBcr();
    case INT_CNTRL: return intCntrl_;
    case IN_DATA: return level_ != 0 ? ring_[head_] : 0;
    case IN_CNTRL: return inCntrl_ | (level_ >= Threshold() ? static_cast<uint32_t>(IN_THRESHOLD_FLAG) : 0u);
    case RATE_A: return rateA_;
    case RATE_B: return rateB_;
    case OUT_DATA: return 0;
    case OUT_CNTRL: return outCntrl_;
    case SCAN_CNTRL: return scanCntrl_;
    case DIO: {
        // A byte reads what the board drives while its output enable is set,
        // otherwise the external pins.
        const uint32_t pins = settings_.dioPins;
        const uint32_t lo = (dio_ & DIO_LO_OUT) ? (dio_ & DIO_LO_MASK) : (pins & DIO_LO_MASK);
        const uint32_t hi = (dio_ & DIO_HI_OUT) ? (dio_ & DIO_HI_MASK) : (pins & DIO_HI_MASK);
        return (dio_ & ~(static_cast<uint32_t>(DIO_LO_MASK) | DIO_HI_MASK)) | hi | lo;
    }
    case FW_REV: return kFirmwareRevision;
    case AUTOCAL: return autocalIndex_ < kAutocalEntries ? autocalValues_[autocalIndex_] : 0;
    default: return 0;
    }
}

void Board::Write(uint32_t offset, uint32_t value) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto now = Clock::now();
        Advance(now);
        switch (offset) {
        case BCR: WriteBcr(value, now); break;
        case INT_CNTRL: {
            const bool wasOn = ThresholdInterruptOn();
            intCntrl_ = value;
            // The threshold condition is level-sensitive: enabling it on a
            // buffer already at the threshold interrupts at once.
            if (!wasOn && ThresholdInterruptOn() && level_ >= Threshold()) Raise(KV_INT_LOCAL);
            break;
        }
        case IN_CNTRL:
            if (value & IN_CLEAR) ClearInput();
            inCntrl_ = value & ~(static_cast<uint32_t>(IN_CLEAR) | IN_THRESHOLD_FLAG);
            break;
        case RATE_A: WriteRate(true, value, now); break;
        case RATE_B: WriteRate(false, value, now); break;
        case OUT_DATA: AppendOutput(value); break;
        case OUT_CNTRL:
            if (value & OUT_CLEAR) ClearOutput();
            outCntrl_ = value & ~static_cast<uint32_t>(OUT_CLEAR);
            break;
        case SCAN_CNTRL: scanCntrl_ = value; break;
        case DIO: dio_ = value; break;
        case AUTOCAL: autocalIndex_ = value; break;
        default: break;  // IN_DATA and FW_REV are read only
        }
    }
    wake_.notify_one();
    data_.notify_all();
}

KvStatus Board::TransferFromInput(uint32_t *host, uint32_t words, uint64_t timeoutMs, int channel) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!dmaOpen_[channel]) return KvDmaChannelUnavailable;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::min<uint64_t>(timeoutMs, 86400000u));
    for (;;) {
        const auto now = Clock::now();
        if (!open_) return KvInvalidHandle;
        Advance(now);
        if (!settings_.dmaTimeout && level_ >= words) break;
        if (now >= deadline) return KvWaitTimeout;
        auto until = deadline;
        if (!settings_.dmaTimeout && rateARunning_ && words <= ring_.size())
            until = std::min(until, TimeOfInputLevel(words));
        data_.wait_until(lock, until);
    }
    const uint32_t capacity = static_cast<uint32_t>(ring_.size());
    const uint32_t first = std::min(words, capacity - head_);
    std::memcpy(host, ring_.data() + head_, first * sizeof(uint32_t));
    std::memcpy(host + first, ring_.data(), (words - first) * sizeof(uint32_t));
    head_ = (head_ + words) % capacity;
    level_ -= words;
    CheckThresholdAfterRead();
    Raise(channel == 0 ? KV_INT_DMA_CH0 : KV_INT_DMA_CH1);
    return KvSuccess;
}

KvStatus Board::TransferToOutput(const uint32_t *host, uint32_t words, uint64_t timeoutMs, int channel) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!dmaOpen_[channel]) return KvDmaChannelUnavailable;
    if (settings_.dmaTimeout) {
        data_.wait_for(lock, std::chrono::milliseconds(std::min<uint64_t>(timeoutMs, 86400000u)),
                       [this] { return !open_; });
        return open_ ? KvWaitTimeout : KvInvalidHandle;
    }
    Advance(Clock::now());
    for (uint32_t i = 0; i < words; ++i) AppendOutput(host[i]);
    Raise(channel == 0 ? KV_INT_DMA_CH0 : KV_INT_DMA_CH1);
    lock.unlock();
    data_.notify_all();
    return KvSuccess;
}

bool Board::OpenDmaChannel(int channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (dmaOpen_[channel]) return false;
    dmaOpen_[channel] = true;
    return true;
}

bool Board::CloseDmaChannel(int channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!dmaOpen_[channel]) return false;
    dmaOpen_[channel] = false;
    return true;
}

void Board::EnableInterrupts(uint8_t flags, bool on) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (flags & KV_INT_LOCAL) localEnabled_ = on;
        if (flags & KV_INT_DMA_CH0) dmaEnabled_[0] = on;
        if (flags & KV_INT_DMA_CH1) dmaEnabled_[1] = on;
    }
    wake_.notify_one();
}

void Board::Register(const NotifyRecord *record, uint8_t flags, OsEvent event) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Notification &n : notifications_) {
        if (n.record == record) {
            n.flags = flags;
            n.event = event;
            return;
        }
    }
    notifications_.push_back({record, flags, event});
}

bool Board::Cancel(const NotifyRecord *record) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = std::find_if(notifications_.begin(), notifications_.end(),
                                 [record](const Notification &n) { return n.record == record; });
    if (it == notifications_.end()) return false;
    notifications_.erase(it);
    return true;
}

BoardSettings Board::Settings() {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
}

void Board::Configure(const BoardSettings &settings) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Advance(Clock::now());
        const bool resize = settings.inputCapacity != settings_.inputCapacity;
        settings_ = settings;
        if (settings_.inputCapacity == 0) settings_.inputCapacity = 1;
        if (resize) {
            ring_.assign(settings_.inputCapacity, 0);
            ClearInput();
        }
    }
    wake_.notify_one();
    data_.notify_all();
}

void Board::LoadInput(const uint32_t *words, uint32_t count) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Advance(Clock::now());
        const uint32_t before = level_;
        for (uint32_t i = 0; i < count; ++i) PushInput(words[i]);
        if (ThresholdInterruptOn() && before < Threshold() && level_ >= Threshold()) Raise(KV_INT_LOCAL);
    }
    data_.notify_all();
}

uint32_t Board::InputLevel() {
    std::lock_guard<std::mutex> lock(mutex_);
    Advance(Clock::now());
    return level_;
}

uint64_t Board::OverflowCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    Advance(Clock::now());
    return overflow_;
}

uint64_t Board::InterruptCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    Advance(Clock::now());
    return interrupts_;
}

int64_t Board::LastInterruptNs() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastInterruptNs_;
}

uint32_t Board::PeekRegister(uint32_t offset) {
    std::lock_guard<std::mutex> lock(mutex_);
    Advance(Clock::now());
    return Peek(offset);
}

}  // namespace ksim

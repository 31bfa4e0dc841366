// The outputs of the simulated board: the output buffer, rate generator B
// clocking words out of it (direct, continuous or burst), the four outputs
// and their record.
#include <algorithm>

#include "sim_board.h"
#include "sim_timing.h"

namespace ksim {

namespace {

// How often a waiter of the control API looks again while output words are
// still due, at most.
constexpr auto kOutputPoll = std::chrono::microseconds(500);

}  // namespace

bool Board::HasOutputWork() const {
    const size_t size = outWords_.size();
    if (bcr_ & BURST_ENABLE) return burstActive_ || (burstsQueued_ != 0 && size > outRead_);
    return size > outRead_;  // direct words waiting, or a pattern to loop
}

void Board::ClockOutputs(Clock::time_point now) {
    if (!rateBRunning_) return;
    const uint64_t due = baseTicksB_ + TicksIn(now - baseB_, RateDivisor(rateB_));
    while (ticksB_ < due) {
        if (!HasOutputWork()) {
            ticksB_ = due;
            break;
        }
        ++ticksB_;
        PlayNextWord();
    }
}

// One tick of rate B with a word to play.
void Board::PlayNextWord() {
    const size_t size = outWords_.size();
    if (bcr_ & BURST_ENABLE) {
        // Each trigger plays the next pattern, up to its END_OF_BUFFER word,
        // wrapping to the first pattern after the last.
        if (!burstActive_) {
            burstActive_ = true;
            --burstsQueued_;
            burstPos_ = (nextBurst_ >= outRead_ && nextBurst_ < size) ? nextBurst_ : outRead_;
        }
        const uint32_t word = outWords_[burstPos_];
        ApplyOutputWord(word);
        if ((word & END_OF_BUFFER) || burstPos_ + 1 >= size) {
            burstActive_ = false;
            nextBurst_ = burstPos_ + 1 >= size ? outRead_ : burstPos_ + 1;
        } else {
            ++burstPos_;
        }
        return;
    }
    if (bcr_ & OUT_BUFFERED) {
        // Continuous: the loaded pattern up to END_OF_BUFFER, round again.
        if (playPos_ < outRead_ || playPos_ >= size) playPos_ = outRead_;
        const uint32_t word = outWords_[playPos_];
        ApplyOutputWord(word);
        if ((word & END_OF_BUFFER) || playPos_ + 1 >= size) {
            playPos_ = outRead_;
            playedOnce_ = true;
        } else {
            ++playPos_;
        }
        return;
    }
    const uint32_t word = outWords_[outRead_++];
    ApplyOutputWord(word);
    if (outRead_ == size) {
        outWords_.clear();
        outRead_ = 0;
    }
}

void Board::ApplyOutputWord(uint32_t word) {
    const uint32_t channel = TAVO_FIELD_GET(OUT_CHAN, word);
    held_[channel] = static_cast<uint16_t>(TAVO_FIELD_GET(OUT_CODE, word));
    // Simultaneous mode holds every word until the end of its frame; then all
    // four outputs change together. Sequential mode changes the channel now.
    if ((bcr_ & OUT_SIMULT) && !(word & END_OF_FRAME)) return;
    if (bcr_ & OUT_SIMULT) {
        SetOutputs(held_);
        return;
    }
    uint16_t codes[kOutputs];
    std::copy(outputs_, outputs_ + kOutputs, codes);
    codes[channel] = held_[channel];
    SetOutputs(codes);
}

void Board::SetOutputs(const uint16_t codes[kOutputs]) {
    if (std::equal(codes, codes + kOutputs, outputs_)) return;
    std::copy(codes, codes + kOutputs, outputs_);
    KSimOutputEntry entry{};
    entry.Tick = ticksB_;
    std::copy(outputs_, outputs_ + kOutputs, entry.Code);
    if (record_.size() < kRecordCapacity) {
        record_.push_back(entry);
    } else {
        record_[recordStart_] = entry;
        recordStart_ = (recordStart_ + 1) % kRecordCapacity;
    }
    ++recordTotal_;
}

void Board::AppendOutput(uint32_t word) {
    if (outWords_.size() - outRead_ < kOutputCapacity) outWords_.push_back(word);
}

void Board::ClearOutput() {
    outWords_.clear();
    outRead_ = 0;
    playPos_ = 0;
    playedOnce_ = false;
    burstActive_ = false;
    burstsQueued_ = 0;
    burstPos_ = 0;
    nextBurst_ = 0;
}

bool Board::OutputIdle() const {
    const size_t size = outWords_.size();
    if (bcr_ & BURST_ENABLE) return !burstActive_ && (burstsQueued_ == 0 || size == outRead_);
    if (bcr_ & OUT_BUFFERED) return size == outRead_ || playedOnce_;
    return outRead_ >= size;
}

// Ticks of rate B until the output is idle, as far as can be told now.
uint64_t Board::RemainingOutputTicks() const {
    const size_t size = outWords_.size();
    auto toEndOfPattern = [&](size_t from) -> uint64_t {
        size_t pos = std::max(from, outRead_);
        uint64_t n = 0;
        for (; pos < size; ++pos) {
            ++n;
            if (outWords_[pos] & END_OF_BUFFER) break;
        }
        return n;
    };
    if (bcr_ & BURST_ENABLE) return toEndOfPattern(burstActive_ ? burstPos_ : nextBurst_);
    if (bcr_ & OUT_BUFFERED) return toEndOfPattern(playPos_);
    return size - outRead_;
}

Clock::time_point Board::TimeOfOutputTick(uint64_t tick) const {
    if (!rateBRunning_) return Clock::time_point::max();
    return baseB_ + std::chrono::duration_cast<Clock::duration>(
                        TimeOfTicks(tick > baseTicksB_ ? tick - baseTicksB_ : 0, RateDivisor(rateB_)));
}

void Board::Outputs(uint16_t code[kOutputs]) {
    std::lock_guard<std::mutex> lock(mutex_);
    Advance(Clock::now());
    std::copy(outputs_, outputs_ + kOutputs, code);
}

size_t Board::OutputRecord(KSimOutputEntry *entries, size_t max) {
    std::lock_guard<std::mutex> lock(mutex_);
    Advance(Clock::now());
    const size_t stored = record_.size();
    const size_t n = std::min(max, stored);
    for (size_t i = 0; i < n; ++i) entries[i] = record_[(recordStart_ + stored - n + i) % stored];
    return n;
}

uint64_t Board::OutputRecordTotal() {
    std::lock_guard<std::mutex> lock(mutex_);
    Advance(Clock::now());
    return recordTotal_;
}

void Board::ClearOutputRecord() {
    std::lock_guard<std::mutex> lock(mutex_);
    Advance(Clock::now());
    record_.clear();
    recordStart_ = 0;
    recordTotal_ = 0;
}

bool Board::WaitOutputIdle(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto now = Clock::now();
        Advance(now);
        if (OutputIdle()) return true;
        if (now >= deadline) return false;
        const auto idleAt = TimeOfOutputTick(ticksB_ + RemainingOutputTicks());
        data_.wait_until(lock, std::min(deadline, std::max(idleAt, now + kOutputPoll)));
    }
}

bool Board::WaitOutputRecord(uint64_t total, uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto now = Clock::now();
        Advance(now);
        if (recordTotal_ >= total) return true;
        if (now >= deadline) return false;
        auto until = deadline;
        if (rateBRunning_ && HasOutputWork())
            until = std::min(deadline, std::max(TimeOfOutputTick(ticksB_ + 1), now + kOutputPoll));
        data_.wait_until(lock, until);
    }
}

}  // namespace ksim

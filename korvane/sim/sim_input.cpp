// The inputs of the simulated board: rate generator A, the scan words it
// produces by input mode and source, and the input buffer they go into.
#include <algorithm>
#include <cmath>

#include "sim_board.h"
#include "sim_timing.h"

namespace ksim {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr uint32_t kReferenceCode = 0xF95;
constexpr uint32_t kCountBits = 12;
constexpr uint32_t kCountingChannels = 4;

uint32_t ClampCode(double code) {
    if (code <= TAVO_CODE_MIN) return TAVO_CODE_MIN;
    if (code >= TAVO_CODE_MAX) return TAVO_CODE_MAX;
    return static_cast<uint32_t>(std::lround(code));
}

}  // namespace

uint32_t Board::WordsPerScan() const {
    if (scanCntrl_ & SINGLE_CHAN) return 1;
    return 4u << TAVO_FIELD_GET(SCAN_SIZE, scanCntrl_);
}

uint32_t Board::Threshold() const { return TAVO_FIELD_GET(IN_THRESHOLD, inCntrl_); }

bool Board::ThresholdInterruptOn() const {
    return TAVO_FIELD_GET(INT_B, intCntrl_) == INT_SOURCE_THRESHOLD && Threshold() > 0;
}

// Level-sensitive: a read or transfer that leaves the buffer at or above the
// threshold asserts the interrupt again, so a reader whose auto-reset event
// merged two interrupts still catches up.
void Board::CheckThresholdAfterRead() {
    if (ThresholdInterruptOn() && level_ >= Threshold()) Raise(KV_INT_LOCAL);
}

Clock::time_point Board::TimeOfInputLevel(uint32_t target) const {
    if (!rateARunning_) return Clock::time_point::max();
    if (level_ >= target) return Clock::time_point::min();
    const uint32_t perScan = WordsPerScan();
    const uint64_t ticks = (target - level_ + perScan - 1) / perScan;
    return baseA_ + std::chrono::duration_cast<Clock::duration>(
                        TimeOfTicks(scans_ + ticks - baseTicksA_, RateDivisor(rateA_)));
}

void Board::GenerateInputs(Clock::time_point now) {
    if (!rateARunning_) return;
    const uint64_t due = baseTicksA_ + TicksIn(now - baseA_, RateDivisor(rateA_));
    if (due > scans_) ProduceScans(due - scans_);
}

uint32_t Board::NoiseCode(double level, double amplitude) {
    // xorshift32: cheap enough for millions of words a second.
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 17;
    noise_ ^= noise_ << 5;
    const double unit = static_cast<double>(noise_) / 4294967296.0 * 2.0 - 1.0;
    return ClampCode(level + unit * amplitude);
}

uint32_t Board::SampleCode(uint32_t channel, uint64_t scan) {
    const uint32_t mode = TAVO_FIELD_GET(INPUT_MODE, bcr_);
    switch (mode) {
    case INPUT_MODE_SELFTEST_ZERO: return NoiseCode(TAVO_CODE_ZERO, 1);
    case INPUT_MODE_SELFTEST_REF: return NoiseCode(kReferenceCode, 1);
    case INPUT_MODE_DIFFERENTIAL:
    case INPUT_MODE_SINGLE_ENDED: break;
    default:  // loop-back of output channel mode - 4 onto input channel 0
        if (channel == 0) return NoiseCode(outputs_[mode - INPUT_MODE_LOOPBACK_CH0], 1);
        return NoiseCode(TAVO_CODE_ZERO, 2);
    }
    if (settings_.counting) {
        if (channel >= kCountingChannels) return 0;
        return static_cast<uint32_t>(scan >> (kCountBits * channel)) & IN_SAMPLE_MASK;
    }
    const Source &s = settings_.sources[channel % kChannels];
    const double t = static_cast<double>(scan) * static_cast<double>(RateDivisor(rateA_)) / TAVO_RATE_CLOCK_HZ;
    switch (s.kind) {
    case KSIM_SOURCE_DC: return ClampCode(s.level);
    case KSIM_SOURCE_SINE: return ClampCode(s.level + s.amplitude * std::sin(kTwoPi * s.frequency * t));
    case KSIM_SOURCE_SQUARE: {
        const double phase = s.frequency * t - std::floor(s.frequency * t);
        return ClampCode(s.level + (phase < 0.5 ? s.amplitude : -s.amplitude));
    }
    default: return NoiseCode(s.level, s.amplitude);
    }
}

// Adds `ticks` scans to the input buffer; what does not fit is lost and
// counted. The scan count advances either way, so the counting source shows
// every lost scan as a gap.
void Board::ProduceScans(uint64_t ticks) {
    const uint32_t capacity = static_cast<uint32_t>(ring_.size());
    const uint32_t perScan = WordsPerScan();
    const uint32_t before = level_;
    const bool single = (scanCntrl_ & SINGLE_CHAN) != 0;
    const uint32_t selected = TAVO_FIELD_GET(CHAN_SEL, scanCntrl_);
    const bool countingFast = settings_.counting && !single && perScan == kCountingChannels &&
                              TAVO_FIELD_GET(INPUT_MODE, bcr_) <= INPUT_MODE_SINGLE_ENDED;

    const uint64_t wordsWanted = ticks * perScan;
    const uint32_t room = capacity - level_;
    const uint32_t fitting = static_cast<uint32_t>(std::min<uint64_t>(wordsWanted, room));
    overflow_ += wordsWanted - fitting;

    uint32_t tail = head_ + level_;
    if (tail >= capacity) tail -= capacity;
    uint32_t *ring = ring_.data();
    uint64_t scan = scans_;
    uint32_t written = 0;
    if (countingFast) {
        for (; written + kCountingChannels <= fitting; written += kCountingChannels, ++scan) {
            const uint32_t words[kCountingChannels] = {
                (static_cast<uint32_t>(scan) & IN_SAMPLE_MASK) | FIRST_CHAN,
                static_cast<uint32_t>(scan >> kCountBits) & IN_SAMPLE_MASK,
                static_cast<uint32_t>(scan >> (2 * kCountBits)) & IN_SAMPLE_MASK,
                static_cast<uint32_t>(scan >> (3 * kCountBits)) & IN_SAMPLE_MASK};
            for (uint32_t w : words) {
                ring[tail] = w;
                if (++tail == capacity) tail = 0;
            }
        }
    }
    // The general path, and the last partial scan of a buffer about to fill.
    for (uint32_t channel = 0; written < fitting; ++written) {
        uint32_t word;
        if (single) {
            word = SampleCode(selected, scan++);
        } else {
            word = SampleCode(channel, scan) | (channel == 0 ? static_cast<uint32_t>(FIRST_CHAN) : 0u);
            if (++channel == perScan) {
                channel = 0;
                ++scan;
            }
        }
        ring[tail] = word;
        if (++tail == capacity) tail = 0;
    }
    level_ += fitting;
    scans_ += ticks;
    if (ThresholdInterruptOn() && before < Threshold() && level_ >= Threshold()) Raise(KV_INT_LOCAL);
}

void Board::PushInput(uint32_t word) {
    const uint32_t capacity = static_cast<uint32_t>(ring_.size());
    if (level_ == capacity) {
        ++overflow_;
        return;
    }
    ring_[(head_ + level_) % capacity] = word;
    ++level_;
}

uint32_t Board::PopInput() {
    // An empty buffer reads 0.
    if (level_ == 0) return 0;
    const uint32_t word = ring_[head_];
    head_ = (head_ + 1) % static_cast<uint32_t>(ring_.size());
    --level_;
    return word;
}

void Board::ClearInput() {
    head_ = 0;
    level_ = 0;
}

}  // namespace ksim

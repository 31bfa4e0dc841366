// ReadChannelAverage on exact word sequences preloaded into the simulated
// board's input buffer, with rate generator A stopped.
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "probe_fixture.h"

namespace {

// Whole scans of `channels` words, FIRST_CHAN on channel 0, each word
// carrying code(channel, scan).
std::vector<uint32_t> Scans(uint32_t channels, uint32_t scans,
                            const std::function<uint32_t(uint32_t, uint32_t)> &code) {
    std::vector<uint32_t> words;
    for (uint32_t s = 0; s < scans; ++s) {
        for (uint32_t c = 0; c < channels; ++c) words.push_back((c == 0 ? static_cast<uint32_t>(FIRST_CHAN) : 0u) | code(c, s));
    }
    return words;
}

// Channel c of scan s reads 0x40 * c + s: sixteen readings of one channel
// add up to 16 * 0x40 * c + 120, whose average drops a remainder of 8.
uint32_t Ramp(uint32_t c, uint32_t s) { return 0x40 * c + s; }
uint32_t RampAverage(uint32_t c) { return 0x40 * c + 7; }

// Eight scans with 0x7FF on every channel, then eight with 0x800.
uint32_t HalfAndHalf(uint32_t, uint32_t s) { return s < 8 ? 0x7FF : 0x800; }

std::vector<uint32_t> Concat(std::vector<uint32_t> a, const std::vector<uint32_t> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint32_t> Untagged(uint32_t count, uint32_t code) { return std::vector<uint32_t>(count, code); }

constexpr uint32_t NOT_AVAILABLE = 0x10000;
constexpr uint32_t FIRST_WORD_MISSING = 0x10001;

uint32_t SingleChannel(uint32_t channel) {
    return SCAN_CNTRL_16CH | SINGLE_CHAN | TAVO_FIELD_PREP(CHAN_SEL, channel);
}

struct AverageCase {
    const char *name;
    uint32_t scanCntrl;
    int32_t channel;
    uint32_t count;
    std::vector<uint32_t> words;
    uint32_t expected;
    uint32_t wordsLeft;  // still in the buffer afterwards
};

// Failures name the case rather than dump its bytes.
void PrintTo(const AverageCase &c, std::ostream *os) { *os << c.name; }

// Single-channel words carry no FIRST_CHAN: a search for one would fail.
const std::vector<uint32_t> SINGLE_WORDS = Concat(Untagged(8, 0x7FF), Untagged(9, 0x800));

const AverageCase CASES[] = {
    // A reading takes the tagged word, skips channels 1 to k - 1 and stops
    // right after channel k; the next search eats the rest of the scan.
    {"Scan16Channel5", SCAN_CNTRL_16CH, 5, 16, Scans(16, 17, Ramp), RampAverage(5), 17 * 16 - (15 * 16 + 6)},
    {"Scan16Channel15", SCAN_CNTRL_16CH, 15, 16, Scans(16, 16, Ramp), RampAverage(15), 0},
    {"Scan16Channel16NotInScan", SCAN_CNTRL_16CH, 16, 16, Scans(16, 16, Ramp), NOT_AVAILABLE, 256},
    {"Scan4Channel3", SCAN_CNTRL_16CH & ~SCAN_SIZE_MASK, 3, 16, Scans(4, 16, Ramp), RampAverage(3), 0},
    {"Scan4Channel4NotInScan", SCAN_CNTRL_16CH & ~SCAN_SIZE_MASK, 4, 16, Scans(4, 16, Ramp), NOT_AVAILABLE, 64},
    {"Scan8Channel8NotInScan", (SCAN_CNTRL_16CH & ~SCAN_SIZE_MASK) | SCAN_SIZE_8, 8, 16, Scans(8, 16, Ramp),
     NOT_AVAILABLE, 128},
    {"Scan32Channel31", SCAN_CNTRL_32CH, 31, 16, Scans(32, 16, Ramp), RampAverage(31), 0},
    // Channel 0's reading is the tagged word itself, FIRST_CHAN masked off.
    {"Channel0RemainderDiscarded", SCAN_CNTRL_16CH, 0, 16, Scans(16, 16, HalfAndHalf), 0x7FF, 15},
    {"SingleChannelConsecutiveWords", SingleChannel(9), 9, 16, SINGLE_WORDS, 0x7FF, 1},
    {"SingleChannelOtherChannel", SingleChannel(9), 3, 16, SINGLE_WORDS, NOT_AVAILABLE, 17},
    {"Bit17Channel1", SCAN_CNTRL_16CH | SCAN_TWO_CHAN, 1, 16, Scans(16, 16, Ramp), RampAverage(1), 14},
    {"Bit17Channel2", SCAN_CNTRL_16CH | SCAN_TWO_CHAN, 2, 16, Scans(16, 16, Ramp), NOT_AVAILABLE, 256},
    {"Bit17SingleChannel2", SingleChannel(2) | SCAN_TWO_CHAN, 2, 16, SINGLE_WORDS, NOT_AVAILABLE, 17},
    // The search reads at most 240 words, and only the first 239 count.
    {"FirstWordAs239th", SCAN_CNTRL_16CH, 0, 1, Concat(Untagged(238, 0x123), Scans(16, 1, HalfAndHalf)), 0x7FF,
     15},
    {"FirstWordAs240th", SCAN_CNTRL_16CH, 0, 1, Concat(Untagged(239, 0x123), Scans(16, 1, Ramp)),
     FIRST_WORD_MISSING, 15},
    {"NoFirstWordAtAll", SCAN_CNTRL_16CH, 3, 16, Untagged(300, 0x123), FIRST_WORD_MISSING, 60},
    // Found once, missing on the second reading: the whole call fails.
    {"FirstWordMissingOnSecondReading", SCAN_CNTRL_16CH, 1, 2, Concat(Scans(16, 1, Ramp), Untagged(260, 0x123)),
     FIRST_WORD_MISSING, 16 + 260 - 2 - 240},
    {"CountZeroReadsNothing", SCAN_CNTRL_16CH, 0, 0, Scans(16, 1, Ramp), NOT_AVAILABLE, 16},
    {"NegativeChannel", SCAN_CNTRL_16CH, -1, 16, Scans(16, 16, Ramp), NOT_AVAILABLE, 256},
};

class ChannelAverageTest : public ProbeTest, public ::testing::WithParamInterface<AverageCase> {};

TEST_P(ChannelAverageTest, PicksTheChannelsWordsAndAverages) {
    const AverageCase &c = GetParam();
    OpenBoard();
    WriteReg(RATE_A, RATE_DISABLE);
    WriteReg(IN_CNTRL, IN_CLEAR);
    ASSERT_EQ(KSim_InputLevel(Device()), 0u);
    WriteReg(SCAN_CNTRL, c.scanCntrl);
    KSim_LoadInput(Device(), c.words.data(), static_cast<uint32_t>(c.words.size()));

    EXPECT_EQ(ReadChannelAverage(c.channel, c.count), c.expected);
    EXPECT_EQ(KSim_InputLevel(Device()), c.wordsLeft);
    EXPECT_EQ(ApiStatus, 0);
}

INSTANTIATE_TEST_SUITE_P(Buffers, ChannelAverageTest, ::testing::ValuesIn(CASES),
                         [](const ::testing::TestParamInfo<AverageCase> &param) {
                             return std::string(param.param.name);
                         });

}  // namespace

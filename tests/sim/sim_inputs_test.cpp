// The inputs of the simulated board: codes by input mode and source, the
// layout of scans, the input buffer, demand-mode DMA and rate A's pacing.
#include <algorithm>
#include <set>

#include "sim_fixture.h"

namespace simtest {
namespace {

class Inputs : public BoardTest {
public:
    // Rate A restarted with an empty buffer at `scansPerSecond`.
    void StartRateA(uint32_t scansPerSecond) {
        Write(RATE_A, (TAVO_RATE_CLOCK_HZ / scansPerSecond) | RATE_DISABLE);
        Write(IN_CNTRL, Read(IN_CNTRL) | IN_CLEAR);
        Write(RATE_A, Read(RATE_A) & ~static_cast<uint32_t>(RATE_DISABLE));
    }
    void StopRateA() { Write(RATE_A, Read(RATE_A) | RATE_DISABLE); }

    // `words` input words taken by DMA as they come.
    std::vector<uint32_t> Acquire(uint32_t words) {
        if (!dmaOpen_) OpenDma();
        dmaOpen_ = true;
        if (mem_ == nullptr) mem_ = &Memory();
        EXPECT_EQ(Transfer(*mem_, IN_DATA, words), KvSuccess);
        return std::vector<uint32_t>(mem_->Words(), mem_->Words() + words);
    }

private:
    bool dmaOpen_ = false;
    HostBlock *mem_ = nullptr;
};

// The self-test modes, as the self-test screen sets them up: 16-channel
// scans, outputs 0 to 3 at 0x000, 0x100, 0x200, 0x300 written straight
// after initialization (rate B is not started by that screen).
TEST_F(Inputs, SelfTestModesReadTheirCodes) {
    Initialize();
    for (uint32_t word : {0x00000u, 0x10100u, 0x20200u, 0x30300u}) Write(OUT_DATA, word);
    struct Case {
        uint32_t bcr;
        uint32_t channels;  // channels checked from 0
        uint32_t code;
        uint32_t tolerance;
    } cases[] = {
        {0x42, 16, TAVO_CODE_ZERO, 3}, {0x53, 16, 0xF95, 4}, {0x64, 1, 0x000, 4},
        {0x65, 1, 0x100, 4},           {0x66, 1, 0x200, 4},  {0x67, 1, 0x300, 4},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "BCR 0x" << std::hex << c.bcr);
        Write(BCR, c.bcr);
        Write(SCAN_CNTRL, SCAN_CNTRL_16CH);
        StartRateA(100000);
        const std::vector<uint32_t> words = Acquire(16 * 16);
        StopRateA();
        for (size_t i = 0; i < words.size(); ++i) {
            const uint32_t channel = i % 16;
            EXPECT_EQ((words[i] & FIRST_CHAN) != 0, channel == 0) << "word " << i;
            if (channel >= c.channels) continue;
            EXPECT_NEAR(static_cast<int>(words[i] & IN_SAMPLE_MASK), static_cast<int>(c.code),
                        static_cast<int>(c.tolerance))
                << "word " << i;
        }
    }
}

// Each channel at its own level shows which channel every word carries.
TEST_F(Inputs, ScanLayoutFollowsScanSizeAndSingleChannelMode) {
    for (uint32_t ch = 0; ch < 32; ++ch) KSim_SetInputSource(0, ch, KSIM_SOURCE_DC, 0x100 + 0x10 * ch, 0, 0);
    Initialize();
    Write(BCR, 0x61);  // single-ended, 10 V
    struct Case {
        uint32_t scanCntrl;
        uint32_t perScan;
        int single;  // the only channel, or -1 for scans
    } cases[] = {
        {SCAN_SIZE_4, 4, -1},
        {SCAN_CNTRL_16CH, 16, -1},
        {SCAN_CNTRL_32CH, 32, -1},
        {SCAN_CNTRL_16CH | SINGLE_CHAN | TAVO_FIELD_PREP(CHAN_SEL, 5), 1, 5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "SCAN_CNTRL 0x" << std::hex << c.scanCntrl);
        Write(SCAN_CNTRL, c.scanCntrl);
        StartRateA(50000);
        const std::vector<uint32_t> words = Acquire(c.perScan * 8);
        StopRateA();
        for (size_t i = 0; i < words.size(); ++i) {
            const uint32_t channel = c.single >= 0 ? static_cast<uint32_t>(c.single) : i % c.perScan;
            EXPECT_EQ(words[i] & IN_SAMPLE_MASK, 0x100 + 0x10 * channel) << "word " << i;
            EXPECT_EQ((words[i] & FIRST_CHAN) != 0, c.single < 0 && channel == 0) << "word " << i;
        }
    }
}

TEST_F(Inputs, ConnectedInputsFollowTheirSources) {
    KSim_SetInputSource(0, 0, KSIM_SOURCE_SINE, 0x800, 1000, 1000);
    KSim_SetInputSource(0, 1, KSIM_SOURCE_SQUARE, 0x800, 300, 1000);
    KSim_SetInputSource(0, 2, KSIM_SOURCE_NOISE, 0x400, 20, 0);
    KSim_SetInputSource(0, 3, KSIM_SOURCE_DC, 0x5000, 0, 0);  // clipped at full scale
    Initialize();
    StartRateA(100000);  // 100 samples per period of 1 kHz
    const std::vector<uint32_t> words = Acquire(4 * 1000);
    StopRateA();
    std::vector<int> codes[4];
    for (size_t i = 0; i < words.size(); ++i) codes[i % 4].push_back(static_cast<int>(words[i] & IN_SAMPLE_MASK));
    auto [sineMin, sineMax] = std::minmax_element(codes[0].begin(), codes[0].end());
    EXPECT_NEAR(*sineMin, 0x800 - 1000, 5);
    EXPECT_NEAR(*sineMax, 0x800 + 1000, 5);
    EXPECT_EQ(std::set<int>(codes[1].begin(), codes[1].end()), (std::set<int>{0x800 - 300, 0x800 + 300}));
    auto [noiseMin, noiseMax] = std::minmax_element(codes[2].begin(), codes[2].end());
    EXPECT_GE(*noiseMin, 0x400 - 20);
    EXPECT_LE(*noiseMax, 0x400 + 20);
    EXPECT_GT(*noiseMax - *noiseMin, 20) << "noise varies";
    EXPECT_EQ(std::set<int>(codes[3].begin(), codes[3].end()), std::set<int>{0xFFF});
}

TEST_F(Inputs, DefaultInputsAreTiedToReturnAndCountingNumbersScans) {
    Initialize();
    StartRateA(100000);
    for (uint32_t w : Acquire(4 * 100)) EXPECT_NEAR(static_cast<int>(w & IN_SAMPLE_MASK), 0x800, 2);
    StopRateA();

    KSim_SetCountingSource(0, 1);
    Write(SCAN_CNTRL, SCAN_SIZE_8);
    StartRateA(100000);  // a restart counts from 0 again
    const std::vector<uint32_t> words = Acquire(8 * 100);
    for (uint32_t scan = 0; scan < 100; ++scan) {
        EXPECT_EQ(words[8 * scan], scan | FIRST_CHAN);
        for (uint32_t ch = 1; ch < 8; ++ch) EXPECT_EQ(words[8 * scan + ch], 0u) << "scan " << scan;
    }
}

TEST_F(Inputs, BufferReadsTakeWordsAndOverflowIsCounted) {
    Initialize();
    KSim_SetInputCapacity(0, 8);
    const uint32_t words[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    Write(IN_CNTRL, 8);
    KSim_LoadInput(0, words, 7);
    EXPECT_FALSE(Read(IN_CNTRL) & IN_THRESHOLD_FLAG);
    KSim_LoadInput(0, words + 7, 3);
    EXPECT_TRUE(Read(IN_CNTRL) & IN_THRESHOLD_FLAG);
    EXPECT_EQ(KSim_InputLevel(0), 8u);
    EXPECT_EQ(KSim_OverflowCount(0), 2u) << "the words that did not fit";
    EXPECT_EQ(KSim_PeekRegister(0, IN_DATA), 1u) << "peek takes nothing";
    EXPECT_EQ(Read(IN_DATA), 1u);
    EXPECT_EQ(Read(IN_DATA), 2u);
    EXPECT_EQ(KSim_InputLevel(0), 6u);
    Write(IN_CNTRL, Read(IN_CNTRL) | IN_CLEAR);
    EXPECT_EQ(KSim_InputLevel(0), 0u);
    EXPECT_EQ(Read(IN_DATA), 0u) << "an empty buffer reads 0";
    EXPECT_EQ(Read(IN_CNTRL), 8u) << "clear keeps the threshold";
}

TEST_F(Inputs, OverflowAtSpeedKeepsTheOldestWordsAndCountsTheRest) {
    KSim_SetCountingSource(0, 1);
    KSim_SetInputCapacity(0, 1024);
    Initialize();
    StartRateA(1000000);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kGenerousMs);
    while (KSim_OverflowCount(0) == 0 && Clock::now() < deadline) {
    }
    StopRateA();
    EXPECT_EQ(KSim_InputLevel(0), 1024u);
    EXPECT_GT(KSim_OverflowCount(0), 0u);
    for (uint32_t scan = 0; scan < 256; ++scan) {
        ASSERT_EQ(Read(IN_DATA), scan | FIRST_CHAN) << "scan " << scan;
        for (int ch = 1; ch < 4; ++ch) Read(IN_DATA);
    }
    EXPECT_EQ(KSim_InputLevel(0), 0u);
}

TEST_F(Inputs, DmaFromInputWaitsForItsWordsUpToTheTimeout) {
    Initialize();
    OpenDma();
    HostBlock &mem = Memory();
    const uint32_t loaded[4] = {0x11, 0x22, 0x33, 0x44};
    KSim_LoadInput(0, loaded, 4);
    mem.Words()[0] = 0xCAFE;
    EXPECT_EQ(Transfer(mem, IN_DATA, 5, 30), KvWaitTimeout) << "rate A stopped: the fifth never comes";
    EXPECT_EQ(mem.Words()[0], 0xCAFEu) << "nothing moved";
    EXPECT_EQ(KSim_InputLevel(0), 4u);

    KSim_SetDmaTimeout(0, 1);
    EXPECT_EQ(Transfer(mem, IN_DATA, 4, 30), KvWaitTimeout) << "injected";
    KSim_SetDmaTimeout(0, 0);

    Write(RATE_A, (TAVO_RATE_CLOCK_HZ / 2000) & ~static_cast<uint32_t>(RATE_DISABLE));  // 8 words a ms
    const auto start = Clock::now();
    ASSERT_EQ(Transfer(mem, IN_DATA, 4 + 400, 2000), KvSuccess);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(45)) << "waited for the scans, demand mode";
    EXPECT_EQ(mem.Words()[0], 0x11u);
    EXPECT_EQ(mem.Words()[4] & FIRST_CHAN, static_cast<uint32_t>(FIRST_CHAN));
}

// Words produced against the real clock, over about a second: the count is
// taken between two clock readings, so wake-up delays do not matter.
TEST_F(Inputs, RatesAreAccurateWithinOnePercent) {
    Initialize();
    constexpr uint32_t kScans = 250000;  // rate A: divisor 96
    constexpr uint32_t kWords = 100000;  // rate B: divisor 240
    uint64_t taken = 0;
    Write(RATE_A, TAVO_RATE_CLOCK_HZ / kScans | RATE_DISABLE);
    // Rate B plays a two-word pattern that changes output 0 at every tick.
    Write(RATE_B, TAVO_RATE_CLOCK_HZ / kWords | RATE_DISABLE);
    Write(OUT_CNTRL, OUT_CLEAR);
    Write(OUT_DATA, 0x00100);
    Write(OUT_DATA, 0x00200 | END_OF_FRAME | END_OF_BUFFER);
    Write(BCR, Read(BCR) | OUT_BUFFERED);
    KSim_ClearOutputRecord(0);

    const auto startA = Clock::now();
    Write(RATE_A, Read(RATE_A) & ~static_cast<uint32_t>(RATE_DISABLE));
    Write(RATE_B, Read(RATE_B) & ~static_cast<uint32_t>(RATE_DISABLE));
    const auto startB = Clock::now();
    while (Clock::now() - startB < std::chrono::seconds(1)) {
        Acquire(16384);
        taken += 16384;
    }
    const auto before = Clock::now();
    const uint64_t words = taken + KSim_InputLevel(0);
    const uint64_t ticks = KSim_OutputRecordTotal(0);
    const auto after = Clock::now();
    const double earliest = std::chrono::duration<double>(before - startB).count();
    const double latest = std::chrono::duration<double>(after - startA).count();
    EXPECT_EQ(KSim_OverflowCount(0), 0u);
    EXPECT_GE(words / 4.0, kScans * earliest * 0.99);
    EXPECT_LE(words / 4.0, kScans * latest * 1.01);
    EXPECT_GE(static_cast<double>(ticks), kWords * earliest * 0.99);
    EXPECT_LE(static_cast<double>(ticks), kWords * latest * 1.01);
}

}  // namespace
}  // namespace simtest

// The outputs of the simulated board: direct output in sequential and
// simultaneous mode, continuous playback, bursts, and the record of the four
// outputs that stands in for the operator's meter.
#include <array>

#include "sim_fixture.h"

namespace simtest {
namespace {

using Codes = std::array<uint16_t, 4>;

class Outputs : public BoardTest {
public:
    Codes Now() {
        Codes c{};
        KSim_Outputs(0, c.data());
        return c;
    }
    std::vector<KSimOutputEntry> Record() {
        std::vector<KSimOutputEntry> entries(static_cast<size_t>(KSim_OutputRecordTotal(0)) + 16);
        entries.resize(KSim_OutputRecord(0, entries.data(), entries.size()));
        return entries;
    }
    static Codes CodesOf(const KSimOutputEntry &e) { return {e.Code[0], e.Code[1], e.Code[2], e.Code[3]}; }
    void SetRateB(uint32_t divisor, bool running) { Write(RATE_B, divisor | (running ? 0u : static_cast<uint32_t>(RATE_DISABLE))); }
};

constexpr uint16_t Z = TAVO_CODE_ZERO;
constexpr uint16_t H = 0xC00;

TEST_F(Outputs, SequentialChangesEachChannelSimultaneousWaitsForTheFrameEnd) {
    struct Case {
        const char *name;
        bool simultaneous;
        std::vector<uint32_t> words;
        Codes after;
        uint64_t entries;
    } cases[] = {
        {"sequential, one by one", false, {0x00C00, 0x10C00}, {H, H, Z, Z}, 2},
        {"sequential ignores frame ends", false, {0x00C00, 0x10C00, 0x20C00, 0x70C00}, {H, H, H, H}, 4},
        {"simultaneous holds channels 0 to 2", true, {0x00C00, 0x10C00, 0x20C00}, {Z, Z, Z, Z}, 0},
        {"simultaneous holds channel 3 without the marker", true, {0x00C00, 0x30C00}, {Z, Z, Z, Z}, 0},
        {"simultaneous frame end changes all four at once", true, {0x00C00, 0x10C00, 0x20C00, 0x70C00},
         {H, H, H, H}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Initialize();
        if (c.simultaneous) Write(BCR, Read(BCR) | OUT_SIMULT);
        KSim_ClearOutputRecord(0);
        for (uint32_t w : c.words) Write(OUT_DATA, w);
        ASSERT_TRUE(KSim_WaitOutputIdle(0, kGenerousMs));
        EXPECT_EQ(Now(), c.after);
        EXPECT_EQ(KSim_OutputRecordTotal(0), c.entries);
    }
}

TEST_F(Outputs, NothingIsClockedOutWhileRateBIsStoppedOrAfterOutClear) {
    Initialize();
    SetRateB(80, false);
    Write(OUT_DATA, 0x00100);
    EXPECT_FALSE(KSim_WaitOutputIdle(0, 30));
    EXPECT_EQ(Now(), (Codes{Z, Z, Z, Z}));
    Write(OUT_CNTRL, OUT_CNTRL_CLEAR_PATTERN);
    Write(OUT_DATA, 0x10200);
    SetRateB(80, true);
    ASSERT_TRUE(KSim_WaitOutputIdle(0, kGenerousMs));
    EXPECT_EQ(Now(), (Codes{Z, 0x200, Z, Z})) << "the cleared word never played";
}

// A square wave loaded by DMA, as the continuous-output screen loads it,
// with words after the END_OF_BUFFER word that must never play.
TEST_F(Outputs, ContinuousPlaybackLoopsUpToEndOfBuffer) {
    Initialize();
    OpenDma();
    HostBlock &mem = Memory();
    SetRateB(94, false);
    Write(SCAN_CNTRL, SCAN_CNTRL_16CH);
    Write(OUT_CNTRL, OUT_CNTRL_CLEAR_PATTERN);
    Write(BCR, Read(BCR) | OUT_SIMULT);
    uint32_t *w = mem.Words();
    for (uint32_t n = 0; n < 512; ++n)
        w[n] = TAVO_FIELD_PREP(OUT_CHAN, n & 3) | (n < 256 ? 0x400u : 0xC00u) |
               ((n & 3) == 3 ? static_cast<uint32_t>(END_OF_FRAME) : 0u);
    w[511] |= END_OF_BUFFER;
    for (uint32_t n = 512; n < 520; ++n) w[n] = TAVO_FIELD_PREP(OUT_CHAN, n & 3) | 0xFFF | END_OF_FRAME;
    ASSERT_EQ(Transfer(mem, OUT_DATA, 520), KvSuccess);
    Write(BCR, Read(BCR) | OUT_BUFFERED);
    KSim_ClearOutputRecord(0);
    Write(RATE_B, Read(RATE_B) & ~static_cast<uint32_t>(RATE_DISABLE));
    ASSERT_TRUE(KSim_WaitOutputRecord(0, 7, kGenerousMs));
    const std::vector<KSimOutputEntry> r = Record();
    for (size_t i = 0; i < r.size(); ++i) {
        const uint16_t code = i % 2 == 0 ? 0x400 : 0xC00;
        EXPECT_EQ(CodesOf(r[i]), (Codes{code, code, code, code})) << "entry " << i;
        if (i > 0) {
            EXPECT_EQ(r[i].Tick - r[i - 1].Tick, 256u) << "half a period of 128 frames";
        }
    }
}

// Each trigger plays the next pattern; after the last comes the first.
TEST_F(Outputs, EachBurstTriggerPlaysTheNextPattern) {
    Initialize();
    SetRateB(80, false);
    Write(OUT_CNTRL, OUT_CNTRL_CLEAR_PATTERN);
    Write(BCR, Read(BCR) | OUT_SIMULT);
    auto frame = [this](uint32_t code, uint32_t marker) {
        for (uint32_t c = 0; c < 3; ++c) Write(OUT_DATA, TAVO_FIELD_PREP(OUT_CHAN, c) | code);
        Write(OUT_DATA, TAVO_FIELD_PREP(OUT_CHAN, 3) | code | END_OF_FRAME | marker);
    };
    frame(0x100, 0);
    frame(0x200, 0);
    frame(0x300, END_OF_BUFFER);
    frame(0xA00, 0);
    frame(0xB00, END_OF_BUFFER);
    Write(BCR, Read(BCR) | BCR_BURST_MODE);
    Write(RATE_B, Read(RATE_B) & ~static_cast<uint32_t>(RATE_DISABLE));
    EXPECT_TRUE(KSim_WaitOutputIdle(0, kGenerousMs));
    EXPECT_EQ(KSim_OutputRecordTotal(0), 0u) << "no burst without a trigger";

    const std::vector<uint16_t> bursts[] = {{0x100, 0x200, 0x300}, {0xA00, 0xB00}, {0x100, 0x200, 0x300}};
    for (const auto &burst : bursts) {
        KSim_ClearOutputRecord(0);
        Write(BCR, Read(BCR) | BURST_TRIGGER);
        ASSERT_TRUE(KSim_WaitOutputIdle(0, kGenerousMs));
        const std::vector<KSimOutputEntry> r = Record();
        ASSERT_EQ(r.size(), burst.size());
        for (size_t i = 0; i < r.size(); ++i) {
            const uint16_t code = burst[i];
            EXPECT_EQ(CodesOf(r[i]), (Codes{code, code, code, code}));
        }
    }
}

}  // namespace
}  // namespace simtest

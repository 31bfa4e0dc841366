// Entries 8, 9 and A: what the board plays from the loaded patterns, read
// from the simulated board's record of its outputs.
#include <vector>

#include "board_outputs.h"
#include "probe_fixture.h"
#include "waveforms.h"

namespace {

using namespace outputs_dio;

class Waveforms : public ProbeTest {
protected:
    uint32_t Register(uint32_t offset) { return KSim_PeekRegister(Device(), offset); }
    uint32_t Writes() { return KSim_CallCount("PlxPci_PciBarSpaceWrite"); }

    // Codes of the record from entry `from` on, one per change.
    std::vector<uint16_t> PlayedFrom(uint64_t from) {
        std::vector<uint16_t> codes;
        for (const KSimOutputEntry &entry : RecordFrom(from)) {
            // With OUT_SIMULT set the four outputs change together.
            EXPECT_EQ(CodesOf(entry), AllAt(entry.Code[0])) << "tick " << entry.Tick;
            codes.push_back(entry.Code[0]);
        }
        return codes;
    }

    // A burst test at its trigger loop; returns the record total by then.
    uint64_t ReachTriggerLoop(uint16_t promptRow) {
        EXPECT_TRUE(WaitText("Please Verify that all Channels are now at Zero Volts.", promptRow, 2))
            << vcon::Screen();
        const uint64_t before = KSim_OutputRecordTotal(Device());
        EXPECT_TRUE(Key(' '));
        EXPECT_TRUE(WaitText("Press X to exit... AnyKey to Cause Burst Trigger....", 8, 2))
            << vcon::Screen();
        EXPECT_TRUE(WaitText("BCR = 4760", 9, 2)) << vcon::Screen();
        return before;
    }

    // X ends the loop with no trigger: the only write left is the stop of
    // rate generator B.
    void ExitTriggerLoop(int key, uint32_t stoppedRateB) {
        ASSERT_TRUE(vcon::WaitKeyPolls(1));
        const uint32_t writes = Writes();
        ASSERT_TRUE(Key(key));
        ASSERT_TRUE(WaitText("Press AnyKey to Continue...", 9, 2)) << vcon::Screen();
        EXPECT_EQ(Writes(), writes + 1);
        ASSERT_TRUE(Key(' '));
        ASSERT_TRUE(Finish());
        EXPECT_EQ(Register(RATE_B), stoppedRateB);
        EXPECT_EQ(Register(BCR), 0x4760u);
    }
};

// Codes as the outputs show them: one entry per change, starting from `from`.
std::vector<uint16_t> Changes(const uint32_t *words, uint32_t count, uint16_t &from) {
    std::vector<uint16_t> codes;
    for (uint32_t n = 0; n < count; n += 4) {
        const uint16_t code = static_cast<uint16_t>(words[n] & 0xFFF);
        if (code != from) codes.push_back(code);
        from = code;
    }
    return codes;
}

TEST_F(Waveforms, ContinuousSquareWaveUntilAnyKey) {
    OpenBoard();
    Run(TestContinuousOutput);
    ASSERT_TRUE(WaitText(" 8. Continuous Function Output:", 2, 2));
    ASSERT_TRUE(WaitText("Please Verify that all Channels are now at Zero Volts.", 5, 2))
        << vcon::Screen();
    const uint64_t before = KSim_OutputRecordTotal(Device());
    ASSERT_TRUE(Key(' '));
    ASSERT_TRUE(WaitText("Continuously Looping now...", 6, 2));
    ASSERT_TRUE(WaitText("Press AnyKey to return to the main menu...", 7, 2));
    ASSERT_TRUE(WaitText("RATE_B 0000005e", 9, 2)) << vcon::Screen();
    ASSERT_TRUE(WaitText("BCR        4560", 10, 2)) << vcon::Screen();
    ASSERT_TRUE(WaitText("SCAN_CNTRL 02d2", 11, 2)) << vcon::Screen();
    ASSERT_TRUE(WaitText("OUT_CNTRL 000", 12, 2)) << vcon::Screen();
    // Four periods at least, then X, which ends it like any key.
    ASSERT_TRUE(KSim_WaitOutputRecord(Device(), before + 8, WAIT_MS));
    ASSERT_TRUE(Key('X'));
    ASSERT_TRUE(Finish());
    EXPECT_TRUE(KeyPending()) << "the key that ended the display is left for the menu";
    EXPECT_EQ(Register(RATE_B), 0x1005Eu);
    EXPECT_EQ(Register(BCR), 0x4560u);

    // 64 frames (256 words, one a tick) at 0x400, then 64 at 0xC00, round
    // and round.
    const auto entries = RecordFrom(before);
    ASSERT_GE(entries.size(), 8u);
    for (size_t i = 0; i < entries.size(); ++i) {
        ASSERT_EQ(CodesOf(entries[i]), AllAt(i % 2 == 0 ? 0x400 : 0xC00)) << "change " << i;
        if (i > 0) {
            ASSERT_EQ(entries[i].Tick - entries[i - 1].Tick, 256u) << "change " << i;
        }
    }
}

TEST_F(Waveforms, OneShotPlaysOneStaircasePerTriggerKey) {
    OpenBoard();
    Run(TestBurstOneShot);
    ASSERT_TRUE(WaitText(" 9. Burst - Oneshot Output:", 2, 2));
    const uint64_t before = ReachTriggerLoop(6);
    ASSERT_TRUE(WaitText("Loading Data Pattern .......... Please Wait                  ", 6, 2));
    EXPECT_EQ(KSim_OutputRecordTotal(Device()), before) << "nothing plays before a trigger";

    // A lower-case letter triggers like any key but x.
    const std::vector<uint16_t> staircase = {0xA00, 0xC00, 0xE00, 0xFFE, 0xE00, 0xC00,
                                             0xA00, 0x800, 0x600, 0x400, 0x200, 0x000,
                                             0x200, 0x400, 0x600, 0x800};
    const int triggers[] = {'a', '5'};
    uint64_t expected = before;
    for (int key : triggers) {
        ASSERT_TRUE(Key(key));
        expected += staircase.size();
        ASSERT_TRUE(KSim_WaitOutputRecord(Device(), expected, WAIT_MS)) << "no burst for " << key;
    }
    ExitTriggerLoop('x', 0x11D4C);

    std::vector<uint16_t> twice = staircase;
    twice.insert(twice.end(), staircase.begin(), staircase.end());
    EXPECT_EQ(PlayedFrom(before), twice);
    const auto entries = RecordFrom(before);
    ASSERT_GE(entries.size(), staircase.size());
    for (size_t i = 1; i < staircase.size(); ++i) {
        EXPECT_EQ(entries[i].Tick - entries[i - 1].Tick, 4u) << "one frame a step";
    }
}

TEST_F(Waveforms, SequencePlaysSineThenCosineOnePerTriggerKey) {
    std::vector<uint32_t> sine(BURST_WORDS), cosine(BURST_WORDS);
    BuildSineCosine(sine.data(), cosine.data());
    uint16_t shown = 0x800;
    const std::vector<uint16_t> sineChanges = Changes(sine.data(), BURST_WORDS, shown);
    const std::vector<uint16_t> cosineChanges = Changes(cosine.data(), BURST_WORDS, shown);

    OpenBoard();
    Run(TestBurstSequence);
    ASSERT_TRUE(WaitText(" A. Burst - Sequencing Output:", 2, 2));
    const uint64_t before = ReachTriggerLoop(5);
    ASSERT_TRUE(WaitText("Writing Data to the Buffers                                  ", 6, 2));

    ASSERT_TRUE(Key('s'));
    ASSERT_TRUE(KSim_WaitOutputRecord(Device(), before + sineChanges.size(), WAIT_MS));
    EXPECT_EQ(PlayedFrom(before), sineChanges);
    EXPECT_EQ(sineChanges.front(), 0x86A);

    const uint64_t afterSine = before + sineChanges.size();
    ASSERT_TRUE(Key('c'));
    ASSERT_TRUE(KSim_WaitOutputRecord(Device(), afterSine + cosineChanges.size(), WAIT_MS));
    ExitTriggerLoop('X', 0x10050);
    EXPECT_EQ(PlayedFrom(afterSine), cosineChanges);
    ASSERT_GE(cosineChanges.size(), 2u);
    EXPECT_EQ(cosineChanges[0], 0xA00);
    EXPECT_EQ(cosineChanges[1], 0x9FD);
}

}  // namespace

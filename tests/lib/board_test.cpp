// tavocore on the simulated board: autocalibration through its interrupt,
// continuous input through the threshold interrupt and DMA, and DMA to the
// output buffer.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "korvane_sim.h"
#include "os_sync.h"
#include "tavocore.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int32_t DEVICE = 0;
constexpr uint32_t GENEROUS_MS = 20000;

class SimBoardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        KSim_Reset();
        KSim_SetTiming(DEVICE, 1, 50);
    }
    void TearDown() override
    {
        int32_t ignored = 0;
        if (opened)
            Tavo_Close_Handle(1, &ignored);
        KSim_Reset();
    }

    // Board 1 found, opened and initialized; the status word is then 0.
    void OpenAndInitialize()
    {
        char list[TAVO_BOARD_LIST_SIZE];
        ASSERT_EQ(Tavo_FindBoards(list, &status), 1u);
        ASSERT_EQ(Tavo_Get_Handle(&status, 1), 1);
        opened = true;
        ASSERT_EQ(Tavo_Initialize(1, &status), ApiSuccess);
        const auto deadline = Clock::now() + std::chrono::milliseconds(GENEROUS_MS);
        while (Tavo_Read_Local32(1, &status, BCR) != BCR_INIT_DONE) {
            ASSERT_LT(Clock::now(), deadline) << "initialization did not end";
            OsSleep(1);
        }
        ASSERT_EQ(status, 0);
    }

    // Read-modify-write as the program does it.
    void StartRate(uint32_t offset)
    {
        Tavo_Write_Local32(1, &status, offset, Tavo_Read_Local32(1, &status, offset) & ~RATE_DISABLE);
    }

    int32_t status = 0;
    bool opened = false;
};

struct AutocalCase {
    const char *Name;
    bool NeverInterrupt;
    bool CalibrationFails;
    uint32_t Result;
};

const AutocalCase AUTOCAL_CASES[] = {
    {"PassesThroughItsInterrupt", false, false, TAVO_AUTOCAL_PASSED},
    {"ReportsAFailedCalibration", false, true, TAVO_AUTOCAL_FAILED},
    // The one ten-second wait of the suite.
    {"GivesUpWithoutAnInterrupt", true, false, TAVO_AUTOCAL_NO_INTERRUPT},
};

class AutocalTest : public SimBoardTest, public ::testing::WithParamInterface<AutocalCase> {};

TEST_P(AutocalTest, EndsWithIntASourceCleared)
{
    const AutocalCase &c = GetParam();
    KSim_SetNeverInterrupt(DEVICE, c.NeverInterrupt);
    KSim_SetAutocalFails(DEVICE, c.CalibrationFails);
    OpenAndInitialize();
    Tavo_Write_Local32(1, &status, INT_CNTRL, 0x0F1F); // other groups set, INT_A something else

    EXPECT_EQ(Tavo_Autocal(1, &status), c.Result);
    EXPECT_EQ(status, 0) << "not even the time-out writes the status word";
    EXPECT_EQ(KSim_PeekRegister(DEVICE, INT_CNTRL), 0x0F10u);
    EXPECT_EQ(KSim_InterruptCount(DEVICE), c.NeverInterrupt ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Autocal, AutocalTest, ::testing::ValuesIn(AUTOCAL_CASES),
                         [](const ::testing::TestParamInfo<AutocalCase> &param) { return param.param.Name; });

// The word the counting source gives channel `channel` of scan `scan`: the
// 48-bit scan count, twelve bits a channel, channel 0 the lowest, with
// FIRST_CHAN on channel 0.
uint32_t CountingWord(uint64_t scan, uint32_t channel)
{
    const uint32_t sample = static_cast<uint32_t>(scan >> (12 * channel)) & IN_SAMPLE_MASK;
    return channel == 0 ? (sample | FIRST_CHAN) : sample;
}

TEST_F(SimBoardTest, ContinuousInputLosesAndRepeatsNoWordAtAMillionScansASecond)
{
    constexpr uint32_t BLOCK_WORDS = 4096;
    constexpr uint32_t SCANS_PER_SECOND = 1000000;
    constexpr uint32_t SECONDS = 10;
    constexpr uint32_t BLOCKS = (SCANS_PER_SECOND * SECONDS * 4 + BLOCK_WORDS - 1) / BLOCK_WORDS;
    KSim_SetCountingSource(DEVICE, 1);
    // A second of slack on the board, so that a slow moment of a loaded
    // machine (or a sanitizer) is not taken for a lost word.
    KSim_SetInputCapacity(DEVICE, 1u << 22);
    OpenAndInitialize();

    OsEvent event = OsCreateEvent();
    ASSERT_NE(event, nullptr);
    NotifyRecord notify{};
    notify.Event = OsEventToRecord(event);

    const uint32_t scan = Tavo_Read_Local32(1, &status, SCAN_CNTRL);
    Tavo_Write_Local32(1, &status, SCAN_CNTRL, scan & ~SCAN_SIZE_GROUP); // channels 0 to 3
    Tavo_Write_Local32(1, &status, IN_CNTRL, TAVO_FIELD_PREP(IN_THRESHOLD, BLOCK_WORDS));
    Tavo_Write_Local32(1, &status, RATE_A, RATE_DISABLE | TAVO_RATE_CLOCK_HZ / SCANS_PER_SECOND);
    Tavo_Clear_Input_Buffer(1, &status);
    const uint32_t intB = TAVO_FIELD_PREP(INT_B, INT_SOURCE_THRESHOLD);
    EXPECT_EQ(Tavo_EnableInterrupt(1, intB, TAVO_INT_KIND_LOCAL, &status), intB);
    ASSERT_EQ(Tavo_Register_Interrupt_Notify(1, &notify, intB, TAVO_INT_KIND_LOCAL, &status), ApiSuccess);
    ASSERT_EQ(Tavo_Open_DMA_Channel(1, 0, &status), ApiSuccess);
    StartRate(RATE_A);
    ASSERT_EQ(status, 0);

    std::vector<uint32_t> block(BLOCK_WORDS);
    uint64_t nextScan = 0;
    uint64_t wrongWords = 0;
    for (uint32_t b = 0; b < BLOCKS; ++b) {
        ASSERT_EQ(OsWaitEvent(event, GENEROUS_MS), OS_WAIT_SIGNALLED) << "block " << b;
        ASSERT_EQ(Tavo_DMA_FROM_Buffer(1, 0, BLOCK_WORDS, block.data(), &status), BLOCK_WORDS) << "block " << b;
        for (uint32_t i = 0; i < BLOCK_WORDS; i += 4, ++nextScan)
            for (uint32_t channel = 0; channel < 4; ++channel)
                wrongWords += block[i + channel] != CountingWord(nextScan, channel);
        ASSERT_EQ(wrongWords, 0u) << "first wrong word in block " << b;
    }
    EXPECT_EQ(KSim_OverflowCount(DEVICE), 0u);
    EXPECT_EQ(status, 0);

    Tavo_Write_Local32(1, &status, RATE_A, RATE_DISABLE | TAVO_RATE_CLOCK_HZ / SCANS_PER_SECOND);
    EXPECT_EQ(Tavo_Cancel_Interrupt_Notify(1, &notify, &status), ApiSuccess);
    OsCloseEvent(event);
    Tavo_DisableInterrupt(1, intB, TAVO_INT_KIND_LOCAL, &status);
    Tavo_Close_DMA_Channel(1, 0, &status);
    EXPECT_EQ(status, 0);
}

TEST_F(SimBoardTest, WordsSentByDmaReachTheOutputsInOrder)
{
    constexpr uint32_t WORDS = 6000;
    OpenAndInitialize();
    // Sequential mode: every word changes its own channel, one record entry
    // per word when each code differs from the channel's previous one.
    std::vector<uint32_t> words(WORDS);
    for (uint32_t i = 0; i < WORDS; ++i) {
        const uint32_t channel = i % 4;
        const uint32_t code = (0x100 + i / 4 * 2 + channel) & IN_SAMPLE_MASK;
        words[i] = TAVO_FIELD_PREP(OUT_CODE, code) | TAVO_FIELD_PREP(OUT_CHAN, channel) |
                   (channel == 3 ? static_cast<uint32_t>(END_OF_FRAME) : 0u);
    }
    Tavo_Write_Local32(1, &status, RATE_B, RATE_DISABLE | 24u);
    Tavo_Clear_Output_Buffer(1, &status);
    KSim_ClearOutputRecord(DEVICE);
    ASSERT_EQ(Tavo_Open_DMA_Channel(1, 1, &status), ApiSuccess);

    ASSERT_EQ(Tavo_DMA_TO_Buffer(1, 1, WORDS, words.data(), &status), WORDS);
    StartRate(RATE_B);
    ASSERT_TRUE(KSim_WaitOutputRecord(DEVICE, WORDS, GENEROUS_MS));

    std::vector<KSimOutputEntry> record(WORDS + 1);
    ASSERT_EQ(KSim_OutputRecord(DEVICE, record.data(), record.size()), WORDS);
    for (uint32_t i = 0; i < WORDS; ++i) {
        const uint32_t channel = TAVO_FIELD_GET(OUT_CHAN, words[i]);
        ASSERT_EQ(record[i].Code[channel], TAVO_FIELD_GET(OUT_CODE, words[i])) << "word " << i;
    }
    Tavo_Close_DMA_Channel(1, 1, &status);
    EXPECT_EQ(status, 0);
}

} // namespace

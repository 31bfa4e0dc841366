// Entry C on the simulated board: the dialogue, runs with and without
// saving end to end, and the ways a run ends early.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "acquisition_fixture.h"

namespace {

namespace fs = std::filesystem;

// 1,000,000 scans a second for 10 seconds is the top rate the program
// offers; under ThreadSanitizer the simulated board and the copies run many
// times slower, so a shorter, slower run checks the same hand-off there.
const int kRate = acq::kThreadSanitizer ? 100000 : 1000000;
const int kSeconds = acq::kThreadSanitizer ? 2 : 10;
// Words in one filled buffer: whole 4096-word blocks of one second's data.
const uint64_t kBufferWords = static_cast<uint64_t>(kRate) * 4 / 4096 * 4096;
// A run fills one buffer more than its seconds.
const uint64_t kRunWords = kBufferWords * (kSeconds + 1);
// The simulated board keeps up to a second of scans, as if its input buffer
// were that deep: a test machine shared with other tests can hold the
// acquisition thread off longer than the board's own buffer would cover.
const uint32_t kDeepInputBuffer = 4u << 20;

TEST_F(ContinuousInputTest, SavesEveryWordInOrderAtTheTopRate) {
    KSim_SetCountingSource(0, 1);
    KSim_SetInputCapacity(0, kDeepInputBuffer);
    Enter(std::to_string(kRate), std::to_string(kSeconds), 'y');
    Done(120000);

    EXPECT_EQ(KSim_OverflowCount(0), 0u) << "the board lost scans";
    acq::CountingCheck check;
    const uint64_t words = acq::StreamDataFiles(std::ref(check));
    EXPECT_EQ(words, kRunWords);
    EXPECT_TRUE(check.Ok());
    EXPECT_TRUE(Printed(WrittenLine(static_cast<double>(kRunWords)))) << vcon::DirectText();
    EXPECT_FALSE(Printed("MSamples Collected"));
}

TEST_F(ContinuousInputTest, CountsTheSamplesWithoutSaving) {
    KSim_SetInputCapacity(0, kDeepInputBuffer);
    Enter(std::to_string(kRate), std::to_string(kSeconds), 'N');
    Done(120000);

    char count[64];
    std::snprintf(count, sizeof count, "\n  %.1fMSamples Collected\n", static_cast<double>(kRunWords) / 1e6);
    EXPECT_TRUE(Printed(count)) << vcon::DirectText();
    EXPECT_FALSE(fs::exists(acq::DataFile(0)));
    EXPECT_FALSE(Printed("Samples successfully written"));
}

TEST_F(ContinuousInputTest, RefusesInvalidEntriesAndAsksAgain) {
    const struct {
        const char *rate;
        const char *seconds;  // nullptr: the rate is refused
        const char *message;
    } cases[] = {
        {"fast", nullptr, "Invalid Entry - please enter a whole number"},
        {"1023", nullptr, "Invalid Rate 1023 (1024 Min : 1000000 Max)"},
        {"1000001", nullptr, "Invalid Rate 1000001 (1024 Min : 1000000 Max)"},
        {"0", nullptr, "Invalid Rate 0 (1024 Min : 1000000 Max)"},
        {"-2147483648", nullptr, "Invalid Rate -2147483648 (1024 Min : 1000000 Max)"},
        {"1024", "-1", "Invalid Collection Time -1 (0 Min)"},
        {"1024", "ten", "Invalid Entry - please enter a whole number"},
    };
    Run([] { TestContinuousInput(); });
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " / " << (c.seconds ? c.seconds : "-"));
        ASSERT_TRUE(Line(c.rate)) << vcon::Screen();
        if (c.seconds != nullptr) {
            ASSERT_TRUE(Line(c.seconds)) << vcon::Screen();
        }
        EXPECT_TRUE(WaitText(c.message)) << vcon::Screen();
        ASSERT_TRUE(Key(' '));
    }
    // Accepted at last: a collection time of 0 fills one buffer of 4096 words.
    ASSERT_TRUE(Line("1024"));
    ASSERT_TRUE(Line("0"));
    Save('n');
    Done();
    EXPECT_TRUE(Printed("\n  0.0MSamples Collected\n"));
}

TEST_F(ContinuousInputTest, TooLittleDiskSpaceAsksAgainFromTheRate) {
    Enter("1000000", "2000000000", 'Y');
    EXPECT_TRUE(WaitText("Not Enough Disk Space for 32000000000.0 MBytes")) << vcon::Screen();
    ASSERT_TRUE(Key(' '));
    ASSERT_TRUE(Line("1024"));
    ASSERT_TRUE(Line("0"));
    Save('N');
    Done();
    EXPECT_TRUE(Printed("\n  0.0MSamples Collected\n"));
    EXPECT_FALSE(fs::exists(acq::DataFile(0)));
}

TEST_F(ContinuousInputTest, AWriterThatCannotOpenItsFilesStopsTheRunBeforeItStarts) {
    fs::create_directory(acq::DataFile(0));  // no file can be opened by that name
    Enter("1024", "1", 'Y');
    EXPECT_TRUE(WaitText("Thread Aborted - Cannot continue")) << vcon::Screen();
    EXPECT_TRUE(Printed("\n  Error opening file for save.. Cannot continue"));
    ASSERT_TRUE(Key(' '));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(KSim_PeekRegister(0, INT_CNTRL), 0u) << "no interrupt was to be armed";
    EXPECT_NE(KSim_PeekRegister(0, RATE_A) & RATE_DISABLE, 0u) << "rate generator A must be held";
}

TEST_F(ContinuousInputTest, AnInterruptTimeoutEndsTheRunWithTheFullCleanUp) {
    Enter("1024", "5", 'Y');
    ASSERT_TRUE(WaitText("Data Collection Started", 19, 2)) << vcon::Screen();
    KSim_SetNeverInterrupt(0, 1);
    EXPECT_TRUE(WaitText("Error... Interrupt Timeout")) << vcon::Screen();
    Done();

    EXPECT_FALSE(Printed("MSamples Collected"));
    EXPECT_TRUE(Printed(" Samples successfully written")) << "the writer was stopped and finished";
    EXPECT_EQ(KSim_PeekRegister(0, INT_CNTRL), 0u);
    // One registration for the autocalibration, one for the run; each cancelled.
    EXPECT_EQ(KSim_CallCount("Pelm_CancelNotification"), KSim_CallCount("Pelm_RegisterForNotification"));
    EXPECT_EQ(KSim_CallCount("PlxPci_DmaChannelClose"), KSim_CallCount("PlxPci_DmaChannelOpen"));
    // Whatever reached the files is whole buffers of the counting source.
    for (int i = 0; fs::exists(acq::DataFile(i)); ++i) EXPECT_EQ(acq::FileWords(i) % 4096, 0u);
}

TEST_F(ContinuousInputTest, AFailedSetUpUndoesWhatSucceeded) {
    // The autocalibration before the run registers and cancels a notification
    // of its own and enables the bridge interrupt once.
    const struct {
        const char *function;
        uint32_t nth;
        uint32_t cancels;  // by the autocalibration and the undo
        uint32_t closes;
    } cases[] = {
        {"PlxPci_InterruptEnable", 2, 2, 1},
        {"Pelm_RegisterForNotification", 2, 1, 1},
        {"PlxPci_DmaChannelOpen", 1, 2, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.function);
        KSim_ClearFailures();
        const uint32_t cancelled = KSim_CallCount("Pelm_CancelNotification");
        const uint32_t closed = KSim_CallCount("PlxPci_DmaChannelClose");
        KSim_FailCall(c.function, ApiFailed, c.nth);
        ApiStatus = 0;
        Enter("1024", "1", 'N');
        EXPECT_TRUE(WaitText("Error Opening DMA Channel 0")) << vcon::Screen();
        ASSERT_TRUE(Key(' '));
        ASSERT_TRUE(Finish());

        EXPECT_EQ(ApiStatus, ApiFailed);
        EXPECT_EQ(KSim_PeekRegister(0, INT_CNTRL), 0u) << "INT_B must be off again";
        EXPECT_EQ(KSim_CallCount("Pelm_CancelNotification") - cancelled, c.cancels);
        EXPECT_EQ(KSim_CallCount("PlxPci_DmaChannelClose") - closed, c.closes);
        vcon::Reset();
    }
}

TEST_F(ContinuousInputTest, ReportsFailedTransfersAtTheEnd) {
    KSim_FailCall("PlxPci_DmaTransferBlock", ApiFailed, 2);
    Enter("1024", "1", 'N');
    Done();
    EXPECT_TRUE(Printed("\n  1 DMA Transfers Failed\n")) << vcon::DirectText();
    EXPECT_EQ(ApiStatus, ApiFailed);
}

}  // namespace

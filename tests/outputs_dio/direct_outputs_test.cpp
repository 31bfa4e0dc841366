// Entries 5, 6 and 7: the outputs at each prompt, read from the simulated
// board where the operator would hold a meter.
#include <cstdio>
#include <string>

#include "board_outputs.h"
#include "probe_fixture.h"

namespace {

using namespace outputs_dio;

constexpr uint32_t SLOWEST_RATE_B = uint32_t{RATE_DISABLE} | RATE_DIV_MASK;

class DirectOutputs : public ProbeTest {
protected:
    uint32_t Register(uint32_t offset) { return KSim_PeekRegister(Device(), offset); }
    bool RateBRunning() { return (Register(RATE_B) & RATE_DISABLE) == 0; }
    bool Simultaneous() { return (Register(BCR) & OUT_SIMULT) != 0; }

    // The submenu of entry 5, drawn and waiting for its key.
    void ExpectSubmenu() {
        ASSERT_TRUE(WaitText(" 5. Output Channels basic operation:", 2, 2)) << vcon::Screen();
        ASSERT_TRUE(WaitText("  X - Return to main menu", 7, 2)) << vcon::Screen();
    }
};

TEST_F(DirectOutputs, BasicActionsSetEveryChannelAndReturnToMidScale) {
    OpenBoard();
    Run(TestOutputBasic);
    ASSERT_TRUE(WaitText("Press any key to continue....", 4, 2)) << vcon::Screen();
    ASSERT_TRUE(Key(' '));
    ExpectSubmenu();
    EXPECT_EQ(Row(3).substr(2, 44), "  A - Set all analog output channels to 0020");
    EXPECT_EQ(Row(6).substr(2, 47), "  D - Set analog outputs to walking one pattern");

    struct Case {
        int key;
        const char *line;
        const char *verify;
        uint16_t code;
        bool simultaneous;
    };
    const Case cases[] = {
        {'a', "  A - Set all analog output channels to 0020",
         "Use a meter to verify all channels set to -9.836V.", 0x020, true},
        {'B', "  B - Set all analog output channels to 0800",
         "Use a meter to verify all channels set to 0.0V.", 0x800, false},
        {'c', "  C - Set all analog output channels to FE0",
         "Use a meter to verify all channels set to +9.836V.", 0xFE0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        ASSERT_TRUE(Key(c.key));
        ASSERT_TRUE(WaitText(c.line, 4, 2)) << vcon::Screen();
        ASSERT_TRUE(WaitText(c.verify, 5, 2)) << vcon::Screen();
        ASSERT_TRUE(WaitText("Press any key to return to menu...", 6, 2)) << vcon::Screen();
        EXPECT_EQ(SettledOutputs(), AllAt(c.code));
        EXPECT_TRUE(RateBRunning());
        EXPECT_EQ(Simultaneous(), c.simultaneous);
        ASSERT_TRUE(Key(' '));
        ExpectSubmenu();
        // Back at 0 V with the generator stopped; the mode stays as set.
        EXPECT_EQ(SettledOutputs(), AllAt(0x800));
        EXPECT_FALSE(RateBRunning());
        EXPECT_EQ(Simultaneous(), c.simultaneous);
    }

    // Any other key only redraws the submenu.
    const uint64_t recorded = KSim_OutputRecordTotal(Device());
    ASSERT_TRUE(Key('q'));
    ExpectSubmenu();
    ASSERT_TRUE(Key('x'));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(KSim_OutputRecordTotal(Device()), recorded);
    EXPECT_EQ(vcon::Screen().find_first_not_of(" \n"), std::string::npos) << vcon::Screen();
}

// With rate generator B at its slowest (366 words a second) the closing
// words take 11 ms to reach the outputs: stopping the generator right after
// writing them would leave the outputs at -9.836 V.
TEST_F(DirectOutputs, OutputsReachMidScaleBeforeRateBStops) {
    OpenBoard();
    Run(TestOutputBasic);
    ASSERT_TRUE(WaitText("Press any key to continue....", 4, 2));
    // The program only polls the keyboard here, so the board is free.
    int32_t status = 0;
    Tavo_Write_Local32(static_cast<uint32_t>(BoardNum), &status, RATE_B, SLOWEST_RATE_B);
    ASSERT_EQ(status, 0);
    ASSERT_TRUE(Key(' '));
    ExpectSubmenu();
    ASSERT_TRUE(Key('A'));
    ASSERT_TRUE(WaitText("Press any key to return to menu...", 6, 2));
    EXPECT_EQ(SettledOutputs(), AllAt(0x020));
    ASSERT_TRUE(Key(' '));
    ExpectSubmenu();
    EXPECT_FALSE(RateBRunning());
    EXPECT_EQ(Register(RATE_B), SLOWEST_RATE_B);
    EXPECT_EQ(SettledOutputs(), AllAt(0x800));
    ASSERT_TRUE(Key('X'));
}

TEST_F(DirectOutputs, WalkingOneAfterSimultaneousModeStepsChannelByChannel) {
    OpenBoard();
    Run(TestOutputBasic);
    ASSERT_TRUE(WaitText("Press any key to continue....", 4, 2));
    ASSERT_TRUE(Key(' '));
    // Action A first leaves simultaneous mode, which the walk must undo: in
    // simultaneous mode its frames, which carry no marker, would never show.
    ExpectSubmenu();
    ASSERT_TRUE(Key('A'));
    ASSERT_TRUE(WaitText("Press any key to return to menu...", 6, 2));
    ASSERT_TRUE(Key(' '));
    ExpectSubmenu();

    ASSERT_TRUE(Key('d'));
    ASSERT_TRUE(WaitText("Setting analog outputs to walking-one", 3, 2)) << vcon::Screen();
    ASSERT_TRUE(WaitText("   for cross-channel check.", 4, 2));
    for (uint16_t step = 0; step < 2; ++step) {
        char verify[64];
        std::snprintf(verify, sizeof verify, "Verify Ch %02u set to +9.836, and others are 0.0V",
                      static_cast<unsigned>(step));
        ASSERT_TRUE(WaitText(verify, 6, 2)) << vcon::Screen();
        Codes expected = AllAt(0x800);
        expected[step] = 0xFE0;
        EXPECT_EQ(SettledOutputs(), expected) << "step " << step;
        ASSERT_TRUE(Key(' '));
    }
    // The step reads do not discard keys typed ahead: two keys finish the walk.
    ASSERT_TRUE(WaitText("Verify Ch 02 set to +9.836, and others are 0.0V", 6, 2));
    vcon::TypeAhead(' ');
    vcon::TypeAhead(' ');
    ASSERT_TRUE(WaitText("Press AnyKey to Continue....", 7, 2)) << vcon::Screen();
    Codes last = AllAt(0x800);
    last[3] = 0xFE0;
    EXPECT_EQ(SettledOutputs(), last);
    ASSERT_TRUE(Key(' '));
    ExpectSubmenu();
    EXPECT_EQ(SettledOutputs(), AllAt(0x800));
    EXPECT_FALSE(RateBRunning());
    EXPECT_FALSE(Simultaneous());
    ASSERT_TRUE(Key('X'));
}

TEST_F(DirectOutputs, SequentialModeChangesEachChannelAsItIsWritten) {
    OpenBoard();
    Run(TestSequentialOutput);
    ASSERT_TRUE(WaitText(" 6. Sequential Direct Output:", 2, 2));
    ASSERT_TRUE(WaitText("Please Verify that all Channels are now at Zero Volts.", 5, 2))
        << vcon::Screen();
    EXPECT_EQ(SettledOutputs(), AllAt(0x800));
    ASSERT_TRUE(Key(' '));
    for (uint16_t channel = 0; channel < 4; ++channel) {
        char verify[64];
        std::snprintf(verify, sizeof verify, "Please Verify that Chan %02u is now at Half PFS...",
                      static_cast<unsigned>(channel));
        ASSERT_TRUE(WaitText(verify, 6, 2)) << vcon::Screen();
        Codes expected = AllAt(0x800);
        for (uint16_t set = 0; set <= channel; ++set) expected[set] = 0xC00;
        EXPECT_EQ(SettledOutputs(), expected) << "channel " << channel;
        ASSERT_TRUE(Key(' '));
    }
    ASSERT_TRUE(WaitText("Press AnyKey to Continue...", 7, 2)) << vcon::Screen();
    ASSERT_TRUE(Key(' '));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(SettledOutputs(), AllAt(0x800));
    EXPECT_TRUE(RateBRunning());
    EXPECT_FALSE(Simultaneous());
}

TEST_F(DirectOutputs, SimultaneousModeHoldsChannelsUntilTheFrameEnds) {
    OpenBoard();
    Run(TestSimultaneousOutput);
    ASSERT_TRUE(WaitText(" 7. Simultaneous Direct Output:", 2, 2));
    ASSERT_TRUE(WaitText("BCR        Reads: 4160", 5, 2)) << vcon::Screen();
    ASSERT_TRUE(WaitText("SCAN_CNTRL Reads: ", 6, 2));
    ASSERT_TRUE(WaitText("Please Verify that all Channels are now at Zero Volts.", 8, 2))
        << vcon::Screen();
    EXPECT_EQ(SettledOutputs(), AllAt(0x800));
    const uint64_t before = KSim_OutputRecordTotal(Device());
    ASSERT_TRUE(Key(' '));
    for (uint16_t channel = 0; channel < 3; ++channel) {
        char loading[40];
        std::snprintf(loading, sizeof loading, "Loading Value for Channel %02u",
                      static_cast<unsigned>(channel));
        ASSERT_TRUE(WaitText(loading, 10, 2)) << vcon::Screen();
        ASSERT_TRUE(WaitText("Please Verify that all Channels remain at Zero Volts.", 11, 2));
        // The prompt polls for its key only after the channel's word is written.
        ASSERT_TRUE(vcon::WaitKeyPolls(1));
        EXPECT_EQ(SettledOutputs(), AllAt(0x800)) << "channel " << channel;
        ASSERT_TRUE(Key(' '));
    }
    // The channel-3 word changes all four at once, without a key wait.
    ASSERT_TRUE(WaitText("Loading Value for Channel 03", 10, 2));
    ASSERT_TRUE(WaitText("Please Verify that all Channels are now at Half PFS. ", 11, 2));
    ASSERT_TRUE(WaitText("Press AnyKey to Continue...", 12, 2)) << vcon::Screen();
    EXPECT_EQ(SettledOutputs(), AllAt(0xC00));
    const auto changes = RecordFrom(before);
    EXPECT_EQ(changes.size(), 1u);
    if (!changes.empty()) {
        EXPECT_EQ(CodesOf(changes[0]), AllAt(0xC00));
    }

    ASSERT_TRUE(Key(' '));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(SettledOutputs(), AllAt(0x800));
    EXPECT_TRUE(RateBRunning());
    EXPECT_TRUE(Simultaneous());
}

}  // namespace

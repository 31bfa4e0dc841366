// A board that does not initialize: entries 5 to B report it through the
// common preamble and go back to the menu having written nothing but the
// initialization itself.
#include "board_outputs.h"
#include "probe_fixture.h"

namespace {

class InitFailure : public ProbeTest {};

TEST_F(InitFailure, EntriesFiveToBLeaveTheBoardAlone) {
    struct Case { const char *title; void (*test)(); };
    const Case cases[] = {
        {" 5. Output Channels basic operation:", TestOutputBasic},
        {" 6. Sequential Direct Output:", TestSequentialOutput},
        {" 7. Simultaneous Direct Output:", TestSimultaneousOutput},
        {" 8. Continuous Function Output:", TestContinuousOutput},
        {" 9. Burst - Oneshot Output:", TestBurstOneShot},
        {" A. Burst - Sequencing Output:", TestBurstSequence},
        {" B. DIO Port:", TestDioPort},
    };
    KSim_SetInitResult(Device(), 0x6060);
    OpenBoard();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title);
        vcon::Reset();
        const uint32_t writes = KSim_CallCount("PlxPci_PciBarSpaceWrite");
        Run(c.test);
        ASSERT_TRUE(WaitText(c.title, 2, 2)) << vcon::Screen();
        ASSERT_TRUE(WaitText("BCR Reads: 6060", 4, 2)) << vcon::Screen();
        ASSERT_TRUE(Key(' '));
        ASSERT_TRUE(Finish());
        EXPECT_EQ(KSim_CallCount("PlxPci_PciBarSpaceWrite"), writes + 1);
        EXPECT_EQ(KSim_OutputRecordTotal(Device()), 0u);
    }
}

}  // namespace

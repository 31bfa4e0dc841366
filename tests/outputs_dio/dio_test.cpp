// Entry B: the keys drive the port's bytes as the simulated board shows them
// (pins where a byte is not driven), and X leaves without a write.
#include "board_outputs.h"
#include "probe_fixture.h"

namespace {

class DioPort : public ProbeTest {
protected:
    uint32_t Writes() { return KSim_CallCount("PlxPci_PciBarSpaceWrite"); }

    // Types `entry` at the prompt of key `key` and waits for the register to
    // be shown again with `shown`.
    void Enter(int key, const char *prompt, const std::string &entry, const char *shown) {
        ASSERT_TRUE(Key(key));
        ASSERT_TRUE(WaitText(prompt, 8, 2)) << vcon::Screen();
        ASSERT_TRUE(Line(entry));
        ASSERT_TRUE(WaitText(shown, 8, 2)) << "after " << entry << "\n" << vcon::Screen();
    }
};

TEST_F(DioPort, KeysDriveTheBytesFromTheValueShown) {
    KSim_SetDioPins(Device(), 0x1234);
    OpenBoard();
    Run(TestDioPort);
    ASSERT_TRUE(WaitText(" B. DIO Port:", 2, 2));
    ASSERT_TRUE(WaitText("Press X to exit.. L = Lower Byte, U = Upper Byte, R = Reset", 7, 2))
        << vcon::Screen();
    ASSERT_TRUE(WaitText("DIO = 00001234", 8, 2)) << vcon::Screen();

    // Only the low byte of the entry counts; the rest of the line is dropped.
    Enter('l', "Enter Lower Byte OUTPUT Value (Hex) ", "1A5 zz", "DIO = 000412A5");
    EXPECT_EQ(KSim_PeekRegister(Device(), DIO), 0x412A5u);
    // The 40 blanks clear the prompt and the first four typed characters.
    EXPECT_EQ(Row(8).substr(16, 28), std::string(26, ' ') + "zz");

    // Changes start from what is shown: the upper byte follows the pins
    // until U drives it, and the lower byte stays driven.
    KSim_SetDioPins(Device(), 0x5678);
    ASSERT_TRUE(WaitText("DIO = 000456A5", 8, 2)) << vcon::Screen();
    Enter('u', "Enter Upper Byte OUTPUT Value (Hex) ", "3c", "DIO = 000C3CA5");

    // No number enters 0; the upper byte stays driven.
    Enter('L', "Enter Lower Byte OUTPUT Value (Hex) ", "", "DIO = 000C3C00");

    // R gives both bytes back to the pins.
    ASSERT_TRUE(Key('r'));
    ASSERT_TRUE(WaitText("DIO = 00005678", 8, 2)) << vcon::Screen();
    EXPECT_EQ(KSim_PeekRegister(Device(), DIO) & 0xFFFF0000u, 0u);

    // Other keys and X write nothing.
    ASSERT_TRUE(vcon::WaitKeyPolls(1));
    const uint32_t writes = Writes();
    ASSERT_TRUE(Key('q'));
    ASSERT_TRUE(Key('x'));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(Writes(), writes);
}

}  // namespace

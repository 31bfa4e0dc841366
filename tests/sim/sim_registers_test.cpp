// Registers of the simulated board through PlxPci_PciBarSpaceRead/Write:
// initialization, autocalibration, the calibration window, DIO, the bits no
// operation uses.
#include "sim_fixture.h"

namespace simtest {
namespace {

using Registers = BoardTest;

TEST_F(Registers, InitializationClearsTheWrittenValueAndReadsInitDone) {
    KSim_SetTiming(0, 30, 20);
    Write(SCAN_CNTRL, SCAN_CNTRL_32CH);
    Write(INT_CNTRL, 0x11);
    Write(BCR, 0u | BOARD_INIT | OUT_SIMULT | INPUT_MODE_SELFTEST_REF);
    EXPECT_EQ(Read(BCR), static_cast<uint32_t>(BOARD_INIT)) << "still initializing";
    const auto deadline = Clock::now() + std::chrono::milliseconds(kGenerousMs);
    while (Read(BCR) == BOARD_INIT && Clock::now() < deadline) {
    }
    EXPECT_EQ(Read(BCR), BCR_INIT_DONE);  // mode 0, 10 V, sequential
    EXPECT_EQ(Read(INT_CNTRL), 0u);
    EXPECT_EQ(Read(SCAN_CNTRL), 0u);
    EXPECT_TRUE(Read(RATE_A) & RATE_DISABLE) << "inputs hold until rate A is started";
    uint16_t codes[4];
    KSim_Outputs(0, codes);
    for (uint16_t c : codes) EXPECT_EQ(c, TAVO_CODE_ZERO) << "outputs at zero volts after init";
}

TEST_F(Registers, InjectedInitResultIsWhatBcrReads) {
    KSim_SetInitResult(0, 0x6060);
    Write(BCR, BOARD_INIT);
    const auto deadline = Clock::now() + std::chrono::milliseconds(kGenerousMs);
    while (Read(BCR) == BOARD_INIT && Clock::now() < deadline) {
    }
    EXPECT_EQ(Read(BCR), 0x6060u);
}

TEST_F(Registers, AutocalibrationRunsForItsTimeThenPassesOrFails) {
    for (bool fails : {false, true}) {
        SCOPED_TRACE(fails ? "failing" : "passing");
        KSim_SetAutocalFails(0, fails);
        Initialize();
        Write(BCR, Read(BCR) | AUTOCAL_START);
        EXPECT_TRUE(Read(BCR) & AUTOCAL_START) << "runs for a while";
        WaitAutocalEnd();
        const uint32_t bcr = Read(BCR);
        EXPECT_FALSE(bcr & AUTOCAL_START);
        EXPECT_EQ((bcr & AUTOCAL_PASS) != 0, !fails);
    }
}

TEST_F(Registers, CalibrationWindowHoldsPlausibleGainsAndOffsets) {
    Initialize();
    Write(BCR, Read(BCR) | AUTOCAL_START);
    WaitAutocalEnd();
    for (uint32_t n = 0; n < 4; ++n) {
        for (uint32_t index : {AUTOCAL_ADC_GAIN, AUTOCAL_DAC_GAIN(n)}) {
            Write(AUTOCAL, index);
            EXPECT_NEAR(static_cast<double>(Read(AUTOCAL)), 0x8000, 0x100) << "gain " << index;
        }
        for (uint32_t index : {AUTOCAL_ADC_OFFSET, AUTOCAL_DAC_OFFSET(n)}) {
            Write(AUTOCAL, index);
            EXPECT_NEAR(static_cast<double>(Read(AUTOCAL)), 0x800, 0x100) << "offset " << index;
        }
    }
    Write(AUTOCAL, 10);
    EXPECT_EQ(Read(AUTOCAL), 0u);
}

// Each DIO byte reads what the board drives while its output enable is set,
// otherwise the external pins; bits 16 and 17 keep what was written.
TEST_F(Registers, DioBytesFollowTheirOutputEnables) {
    Initialize();
    KSim_SetDioPins(0, 0xA55A);
    struct Case {
        uint32_t written;
        uint32_t read;
    } cases[] = {
        {0x00000, 0x0A55A},                               // both bytes inputs
        {0xA5 | DIO_LO_OUT | DIO_BIT16, 0x5A5A5},         // lower byte driven
        {0x3C00 | DIO_HI_OUT | DIO_BIT17, 0xA3C5A},        // upper byte driven
        {0x3C77 | DIO_LO_OUT | DIO_HI_OUT, 0xC3C77},       // both driven
        {0x3C77 | DIO_BIT16 | DIO_BIT17, 0x3A55A},         // reset: pins again
    };
    for (const Case &c : cases) {
        Write(DIO, c.written);
        EXPECT_EQ(Read(DIO), c.read) << std::hex << "written 0x" << c.written;
    }
}

TEST_F(Registers, UnusedBitsKeepWhatWasWrittenAndStrobesReadZero) {
    Initialize();
    Write(SCAN_CNTRL, SCAN_CNTRL_16CH | SCAN_TWO_CHAN);
    EXPECT_EQ(Read(SCAN_CNTRL), SCAN_CNTRL_16CH | SCAN_TWO_CHAN);
    Write(OUT_CNTRL, OUT_CNTRL_CLEAR_PATTERN);
    EXPECT_EQ(Read(OUT_CNTRL), OUT_CNTRL_CLEAR_PATTERN & ~static_cast<uint32_t>(OUT_CLEAR));
    Write(IN_CNTRL, 0x1000 | IN_CLEAR);
    EXPECT_EQ(Read(IN_CNTRL) & ~static_cast<uint32_t>(IN_THRESHOLD_FLAG), 0x1000u) << "threshold kept";
    Write(INT_CNTRL, 0x711);
    EXPECT_EQ(Read(INT_CNTRL), 0x711u);
    Write(BCR, BCR_INIT_DONE | BURST_ENABLE | BURST_TRIGGER | (1u << 12));
    EXPECT_EQ(Read(BCR), BCR_INIT_DONE | BURST_ENABLE | (1u << 12)) << "trigger is a strobe";
    const uint32_t rev = Read(FW_REV);
    Write(FW_REV, rev + 1);
    EXPECT_EQ(Read(FW_REV), rev) << "read only";
    EXPECT_NE(rev, 0u);
}

}  // namespace
}  // namespace simtest

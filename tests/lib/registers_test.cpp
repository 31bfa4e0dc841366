// Register access and the fixed register operations.
#include <functional>

#include "double_fixture.h"

namespace {

using RegisterOp = std::function<int32_t(int32_t *status)>;

struct ModifyCase {
    const char *Name;
    RegisterOp Op;
    uint32_t Offset;
    uint32_t Before;
    uint32_t Written;
    uint32_t Reads; // reads of the register before the write
};

const ModifyCase MODIFY_CASES[] = {
    {"InputModeTakesBitsZeroToTwoOfTheMode", [](int32_t *s) { return Tavo_Set_Input_Mode(1, s, 9); }, BCR,
     0xFFFFFFF8u, 0xFFFFFFF9u, 1},
    {"InputModeReplacesTheOldMode", [](int32_t *s) { return Tavo_Set_Input_Mode(1, s, 1); }, BCR, 0x4066u, 0x4061u,
     1},
    {"OutputModeTwoIsSequential", [](int32_t *s) { return Tavo_Set_Output_Mode(1, s, 2); }, BCR, 0x4160u, 0x4060u,
     1},
    {"OutputModeOneIsSimultaneous", [](int32_t *s) { return Tavo_Set_Output_Mode(1, s, 1); }, BCR, 0x4060u,
     0x4160u, 1},
    {"OutputModeThreeIsSimultaneous", [](int32_t *s) { return Tavo_Set_Output_Mode(1, s, 3); }, BCR, 0x4060u,
     0x4160u, 1},
    {"OutputModeZeroKeepsTheOtherBits", [](int32_t *s) { return Tavo_Set_Output_Mode(1, s, 0); }, BCR,
     0xFFFFFFFFu, 0xFFFFFEFFu, 1},
    {"InitializeWritesBoardInitAlone", [](int32_t *s) { return Tavo_Initialize(1, s); }, BCR, 0xFFFFFFFFu, 0x8000u,
     0},
    {"ClearInputKeepsTheThreshold", [](int32_t *s) { return Tavo_Clear_Input_Buffer(1, s); }, IN_CNTRL, 0x1000u,
     0x9000u, 1},
    {"ClearOutputKeepsTheOtherBits", [](int32_t *s) { return Tavo_Clear_Output_Buffer(1, s); }, OUT_CNTRL, 0x0010u,
     0x8010u, 1},
    {"WriteLocal32", [](int32_t *s) { return Tavo_Write_Local32(1, s, AUTOCAL, 0x9u); }, AUTOCAL, 0x1234u, 0x9u, 0},
};

class ModifyTest : public DoubleTest, public ::testing::WithParamInterface<ModifyCase> {};

TEST_P(ModifyTest, WritesExactlyTheChangedValue)
{
    const ModifyCase &c = GetParam();
    const int32_t device = OpenBoard();
    KDbl_SetRegister(device, c.Offset, c.Before);

    EXPECT_EQ(c.Op(&status), ApiSuccess);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(Calls().size(), c.Reads + 1);
    const KDblCall write = Calls().back();
    EXPECT_STREQ(write.Function, "PlxPci_PciBarSpaceWrite");
    EXPECT_EQ(write.Device, device);
    // BAR 2, the register's offset, 4 bytes, 32-bit access, flag 0, value.
    EXPECT_EQ(std::vector<uint64_t>(write.Args, write.Args + write.ArgCount),
              (std::vector<uint64_t>{2, c.Offset, 4, 2, 0, c.Written}));
}

INSTANTIATE_TEST_SUITE_P(Registers, ModifyTest, ::testing::ValuesIn(MODIFY_CASES),
                         CaseName());

struct FailedReadCase {
    const char *Name;
    RegisterOp Op;
    uint32_t Offset;
    uint32_t Written;
};

// A failed read leaves nothing to keep: the operation starts from 0.
const FailedReadCase FAILED_READ_CASES[] = {
    {"InputMode", [](int32_t *s) { return Tavo_Set_Input_Mode(1, s, 5); }, BCR, 0x5u},
    {"OutputMode", [](int32_t *s) { return Tavo_Set_Output_Mode(1, s, 1); }, BCR, OUT_SIMULT},
    {"ClearInput", [](int32_t *s) { return Tavo_Clear_Input_Buffer(1, s); }, IN_CNTRL, IN_CLEAR},
    {"ClearOutput", [](int32_t *s) { return Tavo_Clear_Output_Buffer(1, s); }, OUT_CNTRL, OUT_CLEAR},
};

class FailedReadTest : public DoubleTest, public ::testing::WithParamInterface<FailedReadCase> {};

TEST_P(FailedReadTest, StillWritesAndTheWritesFailureWins)
{
    const FailedReadCase &c = GetParam();
    const int32_t device = OpenBoard();
    KDbl_SetRegister(device, c.Offset, 0xFFFFFFFFu);
    KDbl_Fail("PlxPci_PciBarSpaceRead", ApiInvalidOffset, 1);

    EXPECT_EQ(c.Op(&status), ApiSuccess);
    EXPECT_EQ(status, ApiInvalidOffset);
    EXPECT_EQ(Writes(c.Offset), std::vector<uint32_t>{c.Written});

    KDbl_Fail("PlxPci_PciBarSpaceRead", ApiInvalidOffset, 1);
    KDbl_Fail("PlxPci_PciBarSpaceWrite", ApiInvalidHandle, 1);
    EXPECT_EQ(c.Op(&status), ApiInvalidHandle);
    EXPECT_EQ(status, ApiInvalidHandle);
}

INSTANTIATE_TEST_SUITE_P(Registers, FailedReadTest, ::testing::ValuesIn(FAILED_READ_CASES),
                         CaseName());

TEST_F(DoubleTest, ReadLocal32ReturnsTheRegisterOrZeroOnFailure)
{
    const int32_t device = OpenBoard();
    KDbl_SetRegister(device, FW_REV, 0x0107u);
    EXPECT_EQ(Tavo_Read_Local32(1, &status, FW_REV), 0x0107u);
    EXPECT_EQ(status, 0);
    const KDblCall read = Calls().back();
    EXPECT_EQ(std::vector<uint64_t>(read.Args, read.Args + 5), (std::vector<uint64_t>{2, FW_REV, 4, 2, 0}));

    KDbl_Fail("PlxPci_PciBarSpaceRead", ApiInvalidOffset, 1);
    EXPECT_EQ(Tavo_Read_Local32(1, &status, FW_REV), 0u);
    EXPECT_EQ(status, ApiInvalidOffset);
}

TEST_F(DoubleTest, WriteLocal32ReturnsAndStoresItsFailure)
{
    OpenBoard();
    KDbl_Fail("PlxPci_PciBarSpaceWrite", ApiInvalidOffset, 1);
    EXPECT_EQ(Tavo_Write_Local32(1, &status, 0x30, 1), ApiInvalidOffset);
    EXPECT_EQ(status, ApiInvalidOffset);
}

} // namespace

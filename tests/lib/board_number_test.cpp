// What every export taking a board number does with one outside 1 to 10,
// and that none of them writes the status word when nothing fails.
#include <functional>

#include "double_fixture.h"

namespace {

struct ExportCase {
    const char *Name;
    std::function<int64_t(uint32_t board, int32_t *status)> Call;
    int64_t Refused; // result for a board number outside 1 to 10
};

uint32_t words[8];
NotifyRecord notify;
PhysMemDesc memory;

const ExportCase EXPORT_CASES[] = {
    {"Close_Handle", [](uint32_t b, int32_t *s) { return Tavo_Close_Handle(b, s); }, ApiInvalidBoardNumber},
    {"Read_Local32", [](uint32_t b, int32_t *s) { return int64_t{Tavo_Read_Local32(b, s, BCR)}; }, 0},
    {"Write_Local32", [](uint32_t b, int32_t *s) { return Tavo_Write_Local32(b, s, DIO, 1); }, ApiInvalidBoardNumber},
    {"Initialize", [](uint32_t b, int32_t *s) { return Tavo_Initialize(b, s); }, ApiInvalidBoardNumber},
    {"Set_Input_Mode", [](uint32_t b, int32_t *s) { return Tavo_Set_Input_Mode(b, s, 1); }, ApiInvalidBoardNumber},
    {"Set_Output_Mode", [](uint32_t b, int32_t *s) { return Tavo_Set_Output_Mode(b, s, 1); }, ApiInvalidBoardNumber},
    {"Clear_Input_Buffer", [](uint32_t b, int32_t *s) { return Tavo_Clear_Input_Buffer(b, s); },
     ApiInvalidBoardNumber},
    {"Clear_Output_Buffer", [](uint32_t b, int32_t *s) { return Tavo_Clear_Output_Buffer(b, s); },
     ApiInvalidBoardNumber},
    {"EnableInterrupt", [](uint32_t b, int32_t *s) { return int64_t{Tavo_EnableInterrupt(b, 0x10, 0, s)}; }, 0},
    {"DisableInterrupt", [](uint32_t b, int32_t *s) { Tavo_DisableInterrupt(b, 0x10, 0, s); return int64_t{0}; }, 0},
    {"Interrupt_Notify",
     [](uint32_t b, int32_t *s) {
         Tavo_Register_Interrupt_Notify(b, &notify, 0, 0, s);
         return int64_t{Tavo_Cancel_Interrupt_Notify(b, &notify, s)};
     },
     ApiInvalidBoardNumber},
    {"Autocal", [](uint32_t b, int32_t *s) { return int64_t{Tavo_Autocal(b, s)}; }, TAVO_AUTOCAL_FAILED},
    {"Open_DMA_Channel", [](uint32_t b, int32_t *s) { return Tavo_Open_DMA_Channel(b, 0, s); },
     ApiInvalidBoardNumber},
    {"Close_DMA_Channel", [](uint32_t b, int32_t *s) { return Tavo_Close_DMA_Channel(b, 0, s); },
     ApiInvalidBoardNumber},
    {"DMA_TO_Buffer", [](uint32_t b, int32_t *s) { return int64_t{Tavo_DMA_TO_Buffer(b, 0, 8, words, s)}; }, 0},
    {"DMA_FROM_Buffer", [](uint32_t b, int32_t *s) { return int64_t{Tavo_DMA_FROM_Buffer(b, 0, 8, words, s)}; }, 0},
    {"Physical_Memory",
     [](uint32_t b, int32_t *s) {
         memory = PhysMemDesc{};
         memory.Size = 0x1000;
         Tavo_Get_Physical_Memory(b, &memory, 0, s);
         return int64_t{Tavo_Free_Physical_Memory(b, &memory, s)};
     },
     ApiInvalidBoardNumber},
};

class ExportTest : public DoubleTest, public ::testing::WithParamInterface<ExportCase> {};

TEST_P(ExportTest, RefusesBoardNumbersOutsideTheTables)
{
    OpenBoard();
    for (uint32_t board : {0u, 11u, 0xFFFFFFFFu}) {
        status = 0;
        EXPECT_EQ(GetParam().Call(board, &status), GetParam().Refused) << "board " << board;
        EXPECT_EQ(status, ApiInvalidBoardNumber) << "board " << board;
    }
    EXPECT_EQ(Calls().size(), 0u) << "no table touched, nothing asked of korvane";
}

TEST_P(ExportTest, NeverWritesTheStatusWordWhenNothingFails)
{
    const int32_t device = OpenBoard();
    KDbl_InterruptOnWrite(device, BCR, AUTOCAL_START);
    status = 0;
    GetParam().Call(1, &status);
    EXPECT_EQ(status, 0);
    EXPECT_GT(Calls().size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Exports, ExportTest, ::testing::ValuesIn(EXPORT_CASES),
                         CaseName());

TEST_F(DoubleTest, ANullStatusWordIsNeverWritten)
{
    OpenBoard();
    KDbl_Fail("PlxPci_PciBarSpaceWrite", ApiFailed, KDBL_EVERY_CALL);
    EXPECT_EQ(Tavo_Initialize(1, nullptr), ApiFailed);
    EXPECT_EQ(Tavo_Get_Handle(nullptr, 0), -1);
}

} // namespace

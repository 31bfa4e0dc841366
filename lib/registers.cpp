// Register access and the fixed register operations.
#include "board_table.h"
#include "register_io.h"

extern "C" TAVO_API uint32_t TAVO_CALL Tavo_Read_Local32(uint32_t board, int32_t *status, uint32_t offset)
{
    if (!BoardAccepted(board, status))
        return 0;
    return ReadRegister(SlotOf(board), offset, status);
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Write_Local32(uint32_t board, int32_t *status, uint32_t offset,
                                                         uint32_t value)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    return WriteRegister(SlotOf(board), offset, value, status);
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Initialize(uint32_t board, int32_t *status)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    // BOARD_INIT alone: every other bit of BCR is written as 0.
    return WriteRegister(SlotOf(board), BCR, BOARD_INIT, status);
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Set_Input_Mode(uint32_t board, int32_t *status, uint32_t mode)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    return ModifyRegister(SlotOf(board), BCR, INPUT_MODE_MASK, TAVO_FIELD_PREP(INPUT_MODE, mode), status);
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Set_Output_Mode(uint32_t board, int32_t *status, uint32_t mode)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    // Bit 0 of the mode: 1 simultaneous, 0 sequential.
    return ModifyRegister(SlotOf(board), BCR, OUT_SIMULT, TAVO_FIELD_PREP(OUT_SIMULT, mode), status);
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Clear_Input_Buffer(uint32_t board, int32_t *status)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    return ModifyRegister(SlotOf(board), IN_CNTRL, 0, IN_CLEAR, status);
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Clear_Output_Buffer(uint32_t board, int32_t *status)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    return ModifyRegister(SlotOf(board), OUT_CNTRL, 0, OUT_CLEAR, status);
}

#include "board_table.h"

BoardEntry BoardTable[TAVO_MAX_BOARDS];
uint32_t BoardCount;
DeviceObject DeviceObjects[TAVO_MAX_BOARDS];
PhysMemDesc InputBuffers[TAVO_MAX_BOARDS];
PhysMemDesc OutputBuffers[TAVO_MAX_BOARDS];
InterruptRecord InterruptRecords[TAVO_MAX_BOARDS];

void StoreFailure(int32_t *status, int32_t result)
{
    if (result != ApiSuccess && status != nullptr)
        *status = result;
}

bool BoardAccepted(uint32_t board, int32_t *status)
{
    if (board >= 1u && board <= TAVO_MAX_BOARDS)
        return true;
    StoreFailure(status, ApiInvalidBoardNumber);
    return false;
}

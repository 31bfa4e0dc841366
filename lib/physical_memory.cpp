// Further host memory that the board can reach, held in the caller's
// descriptor; the library keeps no record of it.
#include "board_table.h"

extern "C" TAVO_API uint32_t TAVO_CALL Tavo_Get_Physical_Memory(uint32_t board, PhysMemDesc *memory,
                                                                uint8_t smallerOk, int32_t *status)
{
    if (!BoardAccepted(board, status))
        return 0;
    if (memory == nullptr) {
        StoreFailure(status, ApiNullParam);
        return 0;
    }
    DeviceObject *device = &DeviceObjects[SlotOf(board)];
    KvStatus result = PlxPci_PhysicalMemoryAllocate(device, memory, smallerOk != 0 ? 1 : 0);
    if (result != KvSuccess) {
        StoreFailure(status, result);
        return 0;
    }
    result = PlxPci_PhysicalMemoryMap(device, memory);
    if (result != KvSuccess) {
        StoreFailure(status, result);
        return 0;
    }
    return memory->Size;
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Free_Physical_Memory(uint32_t board, PhysMemDesc *memory,
                                                               int32_t *status)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    if (memory == nullptr) {
        StoreFailure(status, ApiNullParam);
        return ApiNullParam;
    }
    DeviceObject *device = &DeviceObjects[SlotOf(board)];
    StoreFailure(status, PlxPci_PhysicalMemoryUnmap(device, memory));
    KvStatus freed = PlxPci_PhysicalMemoryFree(device, memory);
    StoreFailure(status, freed);
    return freed;
}

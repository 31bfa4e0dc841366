// Interrupt sources at the board (INT_CNTRL) and at the PCI bridge, and the
// notification of a caller's event.
#include <string.h>

#include "board_table.h"
#include "register_io.h"

namespace {

// A DMA source's value names the channel: 0, or anything else for channel 1.
uint8_t DmaChannelFlag(uint32_t value) { return value != 0 ? KV_INT_DMA_CH1 : KV_INT_DMA_CH0; }

InterruptRecord &ClearedRecord(uint32_t slot)
{
    InterruptRecord &record = InterruptRecords[slot];
    memset(&record, 0, sizeof record);
    return record;
}

} // namespace

extern "C" TAVO_API uint32_t TAVO_CALL Tavo_EnableInterrupt(uint32_t board, uint32_t value, int32_t kind,
                                                            int32_t *status)
{
    if (!BoardAccepted(board, status))
        return 0;
    const uint32_t slot = SlotOf(board);
    InterruptRecord &record = ClearedRecord(slot);
    uint32_t result = value;

    if (kind == TAVO_INT_KIND_LOCAL) {
        uint32_t control = ReadRegister(slot, INT_CNTRL, status);
        // A value that selects only INT_A replaces group A; a value with
        // INT_B or INT_C bits replaces those groups and keeps group A.
        if (value <= static_cast<uint32_t>(INT_A_MASK))
            control &= ~INT_GROUP_A;
        if (value & INT_B_MASK)
            control &= ~INT_GROUP_B;
        if (value & INT_C_MASK)
            control &= ~INT_GROUP_C;
        control |= value & INT_FIELDS;
        WriteRegister(slot, INT_CNTRL, control, status);
        record.Flags = KV_INT_LOCAL;
        result = control & INT_FIELDS;
    } else {
        record.Flags = DmaChannelFlag(value);
    }
    record.Flags |= KV_INT_ENABLE;
    StoreFailure(status, PlxPci_InterruptEnable(&DeviceObjects[slot], &record));
    return result;
}

extern "C" TAVO_API void TAVO_CALL Tavo_DisableInterrupt(uint32_t board, uint32_t value, int32_t kind,
                                                         int32_t *status)
{
    if (!BoardAccepted(board, status))
        return;
    const uint32_t slot = SlotOf(board);
    InterruptRecord &record = ClearedRecord(slot);

    if (kind == TAVO_INT_KIND_LOCAL) {
        uint32_t control = ReadRegister(slot, INT_CNTRL, status);
        // Group A goes for any value below INT_GROUP_A: 15 itself keeps it.
        if (value < INT_GROUP_A)
            control &= ~INT_GROUP_A;
        if (value & INT_GROUP_B)
            control &= ~INT_GROUP_B;
        if (value & INT_GROUP_C)
            control &= ~INT_GROUP_C;
        WriteRegister(slot, INT_CNTRL, control, status);
        record.Flags = KV_INT_LOCAL;
        // The bridge interrupt stays on while any board source is selected.
        if (control == 0)
            StoreFailure(status, PlxPci_InterruptDisable(&DeviceObjects[slot], &record));
    } else {
        record.Flags = DmaChannelFlag(value);
        StoreFailure(status, PlxPci_InterruptDisable(&DeviceObjects[slot], &record));
    }
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Register_Interrupt_Notify(uint32_t board, NotifyRecord *notify,
                                                                     uint32_t value, int32_t kind,
                                                                     int32_t *status)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    InterruptRecord sources;
    memset(&sources, 0, sizeof sources);
    sources.Flags = kind == TAVO_INT_KIND_DMA ? DmaChannelFlag(value) : KV_INT_LOCAL;
    KvStatus result = Pelm_RegisterForNotification(&DeviceObjects[SlotOf(board)], &sources, notify);
    StoreFailure(status, result);
    return result;
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Cancel_Interrupt_Notify(uint32_t board, NotifyRecord *notify,
                                                                   int32_t *status)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    KvStatus result = Pelm_CancelNotification(&DeviceObjects[SlotOf(board)], notify);
    StoreFailure(status, result);
    return result;
}

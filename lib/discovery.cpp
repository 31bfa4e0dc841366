// Finding the boards, opening a board with its two DMA buffers, closing it.
#include <stdio.h>
#include <string.h>

#include "board_table.h"

namespace {

// The PCI bridge's vendor ID: every Ovrin board carries it.
constexpr uint16_t BRIDGE_VENDOR_ID = 0x10B5;

// Reserves and maps one of the board's DMA buffers; false if korvane refuses
// either step or grants nothing. A failed reservation is not mapped.
bool ReserveBuffer(DeviceObject *device, PhysMemDesc *buffer)
{
    buffer->UserAddr = 0;
    buffer->Size = TAVO_DMA_BUFFER_BYTES;
    KvStatus result = PlxPci_PhysicalMemoryAllocate(device, buffer, 0);
    if (result == KvSuccess)
        result = PlxPci_PhysicalMemoryMap(device, buffer);
    return result == KvSuccess && buffer->Size != 0;
}

} // namespace

extern "C" TAVO_API uint32_t TAVO_CALL Tavo_FindBoards(char *list, int32_t *status)
{
    (void)status; // the search reports through its count and listing only
    // A caller without a listing buffer still gets the search.
    char scratch[TAVO_BOARD_LIST_SIZE];
    if (list == nullptr)
        list = scratch;

    static const char noDevices[] = "No Devices Available\n";
    memcpy(list, noDevices, sizeof noDevices);
    size_t listLength = 0;

    uint32_t count = 0;
    uint8_t deviceNumber = 0;
    for (;;) {
        BoardEntry &entry = BoardTable[count];
        entry.Number = 0;
        entry.Bus = EMPTY_BUS_SLOT;
        entry.Slot = EMPTY_BUS_SLOT;

        DeviceKey key;
        memset(&key, 0xFF, sizeof key); // 0xFF matches any device
        KvStatus found = PlxPci_DeviceFind(&key, deviceNumber);
        ++deviceNumber;

        if (found == KvSuccess && key.VendorId == BRIDGE_VENDOR_ID) {
            if (count == 0)
                list[0] = '\0';
            entry.Number = count + 1;
            entry.Bus = key.Bus;
            entry.Slot = key.Slot;
            entry.Key = key;
            // At most 79 characters: the caller's buffer holds ten such lines.
            int written = snprintf(list + listLength, TAVO_BOARD_LIST_SIZE - listLength,
                                   "Board # - %ld : Bus - %X : Slot - %X : Type - %04X : Ser# - %s\n",
                                   static_cast<long>(entry.Number), static_cast<unsigned>(key.Bus),
                                   static_cast<unsigned>(key.Slot), static_cast<unsigned>(key.SubDeviceId),
                                   FindModelName(key.SubDeviceId));
            if (written > 0)
                listLength += static_cast<size_t>(written);
            ++count;
        }
        // The device number is 8 bits: once it wraps, every number has been
        // asked and a further round would list the same boards again.
        if (found != KvSuccess || count == TAVO_MAX_BOARDS || deviceNumber == 0)
            break;
    }
    BoardCount = count;
    return count;
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Get_Handle(int32_t *status, uint32_t board)
{
    if (board == 0 || board > TAVO_MAX_BOARDS) {
        StoreFailure(status, ApiInvalidDeviceInfo);
        return -1;
    }
    for (uint32_t index = 0; index < BoardCount; ++index) {
        if (BoardTable[index].Number != board)
            continue;
        const uint32_t slot = SlotOf(board);
        DeviceObject *device = &DeviceObjects[slot];

        DeviceKey key = BoardTable[index].Key;
        KvStatus opened = PlxPci_DeviceOpen(&key, device);
        if (opened != KvSuccess) {
            StoreFailure(status, opened);
            return -1;
        }
        DriverProperties properties;
        (void)PlxPci_DriverProperties(device, &properties); // nothing in it is needed

        if (!ReserveBuffer(device, &InputBuffers[slot]) || !ReserveBuffer(device, &OutputBuffers[slot])) {
            StoreFailure(status, ApiInsufficientResources);
            return -1;
        }
    }
    return static_cast<int32_t>(BoardCount);
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Close_Handle(uint32_t board, int32_t *status)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    const uint32_t slot = SlotOf(board);
    DeviceObject *device = &DeviceObjects[slot];

    StoreFailure(status, PlxPci_PhysicalMemoryUnmap(device, &InputBuffers[slot]));
    StoreFailure(status, PlxPci_PhysicalMemoryFree(device, &InputBuffers[slot]));
    StoreFailure(status, PlxPci_PhysicalMemoryUnmap(device, &OutputBuffers[slot]));
    StoreFailure(status, PlxPci_PhysicalMemoryFree(device, &OutputBuffers[slot]));
    KvStatus closed = PlxPci_DeviceClose(device);
    StoreFailure(status, closed);

    // The buffers are gone: a transfer before the next Tavo_Get_Handle must
    // find no buffer rather than released memory.
    memset(&InputBuffers[slot], 0, sizeof InputBuffers[slot]);
    memset(&OutputBuffers[slot], 0, sizeof OutputBuffers[slot]);
    return closed;
}

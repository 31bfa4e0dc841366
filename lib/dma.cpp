// DMA channels and block transfers through the board's two host buffers.
#include <string.h>

#include "board_table.h"

namespace {

// The bridge has channels 0 and 1; only bit 0 of a channel argument counts.
constexpr uint32_t DMA_CHANNEL_BIT = 1u;
constexpr uint64_t DMA_TIMEOUT_MS = 2000;
constexpr uint32_t BYTES_PER_WORD = 4;

uint8_t ChannelOf(uint32_t channel) { return static_cast<uint8_t>(channel & DMA_CHANNEL_BIT); }

// The channel set-up every open uses: bytes 0x13 0x60 0x00.
const DmaChannelProps CHANNEL_PROPERTIES = {{0x13, 0x60, 0x00}};

KvStatus TransferBlock(uint32_t slot, uint32_t channel, const PhysMemDesc &buffer, uint32_t localAddress,
                       uint32_t words, uint32_t direction)
{
    DmaTransferParams params;
    memset(&params, 0, sizeof params);
    params.BusAddr = static_cast<uint32_t>(buffer.BusAddr);
    params.LocalAddr = localAddress;
    params.ByteCount = words * BYTES_PER_WORD;
    params.Flags = direction;
    return PlxPci_DmaTransferBlock(&DeviceObjects[slot], ChannelOf(channel), &params, DMA_TIMEOUT_MS);
}

// Common refusals of both directions. False when the transfer must not run;
// a board without its buffer is refused silently, as before Tavo_Get_Handle.
bool TransferAccepted(uint32_t board, const PhysMemDesc *buffers, uint32_t words, const void *callerWords,
                      int32_t *status)
{
    if (!BoardAccepted(board, status))
        return false;
    if (buffers[SlotOf(board)].UserAddr == 0)
        return false;
    if (words > TAVO_DMA_MAX_WORDS) {
        StoreFailure(status, ApiInvalidDMANumWords);
        return false;
    }
    if (words != 0 && callerWords == nullptr) {
        StoreFailure(status, ApiNullParam);
        return false;
    }
    return true;
}

void *UserPointer(const PhysMemDesc &buffer)
{
    return reinterpret_cast<void *>(static_cast<uintptr_t>(buffer.UserAddr));
}

} // namespace

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Open_DMA_Channel(uint32_t board, uint32_t channel, int32_t *status)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    DmaChannelProps properties = CHANNEL_PROPERTIES;
    KvStatus result = PlxPci_DmaChannelOpen(&DeviceObjects[SlotOf(board)], ChannelOf(channel), &properties);
    StoreFailure(status, result);
    return result;
}

extern "C" TAVO_API int32_t TAVO_CALL Tavo_Close_DMA_Channel(uint32_t board, uint32_t channel, int32_t *status)
{
    if (!BoardAccepted(board, status))
        return ApiInvalidBoardNumber;
    KvStatus result = PlxPci_DmaChannelClose(&DeviceObjects[SlotOf(board)], ChannelOf(channel));
    StoreFailure(status, result);
    return result;
}

extern "C" TAVO_API uint32_t TAVO_CALL Tavo_DMA_TO_Buffer(uint32_t board, uint32_t channel, uint32_t words,
                                                          const uint32_t *source, int32_t *status)
{
    if (!TransferAccepted(board, OutputBuffers, words, source, status))
        return 0;
    const uint32_t slot = SlotOf(board);
    const PhysMemDesc &buffer = OutputBuffers[slot];
    if (words != 0)
        memcpy(UserPointer(buffer), source, words * BYTES_PER_WORD);
    KvStatus result = TransferBlock(slot, channel, buffer, OUT_DATA, words, 0);
    if (result != KvSuccess) {
        StoreFailure(status, result);
        return 0;
    }
    return words;
}

extern "C" TAVO_API uint32_t TAVO_CALL Tavo_DMA_FROM_Buffer(uint32_t board, uint32_t channel, uint32_t words,
                                                            uint32_t *destination, int32_t *status)
{
    if (!TransferAccepted(board, InputBuffers, words, destination, status))
        return 0;
    const uint32_t slot = SlotOf(board);
    const PhysMemDesc &buffer = InputBuffers[slot];
    KvStatus result = TransferBlock(slot, channel, buffer, IN_DATA, words, KV_DMA_LOCAL_TO_HOST);
    if (result != KvSuccess) {
        StoreFailure(status, result);
        return 0;
    }
    if (words != 0)
        memcpy(destination, UserPointer(buffer), words * BYTES_PER_WORD);
    return words;
}

// Per-board state of tavocore and the helpers every export shares.
// All tables are static, zero at load and indexed by slot = board - 1.
#pragma once

#include <stdint.h>

#include "korvane.h"
#include "tavocore.h"

// A board the last search found. Number is 0 and Bus/Slot EMPTY_BUS_SLOT
// while the entry is empty.
struct BoardEntry {
    uint32_t Number;
    uint8_t Bus;
    uint8_t Slot;
    DeviceKey Key;
};

constexpr uint8_t EMPTY_BUS_SLOT = 0xFF;

extern BoardEntry BoardTable[TAVO_MAX_BOARDS];
extern uint32_t BoardCount;
extern DeviceObject DeviceObjects[TAVO_MAX_BOARDS];
extern PhysMemDesc InputBuffers[TAVO_MAX_BOARDS];
extern PhysMemDesc OutputBuffers[TAVO_MAX_BOARDS];
extern InterruptRecord InterruptRecords[TAVO_MAX_BOARDS];

// Stores a failed step's status in the caller's word. Success (512) is never
// stored, so the word keeps the last failure of a call.
void StoreFailure(int32_t *status, int32_t result);

// True for board numbers 1 to TAVO_MAX_BOARDS. Any other number would index
// outside the tables: it is refused with ApiInvalidBoardNumber.
bool BoardAccepted(uint32_t board, int32_t *status);

inline uint32_t SlotOf(uint32_t board) { return board - 1u; }

// Name of the catalogue model with this subsystem ID, "Unknown" for none.
const char *FindModelName(uint16_t modelId);

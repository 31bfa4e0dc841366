/* Records that a caller of tavocore passes to the board API and that
 * tavocore hands on, byte for byte, to the bus-access library korvane.
 * Their sizes and offsets are fixed: the same on 32-bit and 64-bit builds. */
#ifndef TAVOCORE_RECORDS_H
#define TAVOCORE_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A block of host memory that the board can reach by DMA. */
typedef struct PhysMemDesc {
    uint64_t UserAddr;  /* 0: user address of the mapping, 0 = none */
    uint64_t BusAddr;   /* 8: bus address; its low 32 bits go to the DMA engine */
    uint8_t Korvane[8]; /* 16: korvane's own */
    uint32_t Size;      /* 24: bytes wanted on input, granted on output, 0 = none */
    uint32_t Reserved;  /* 28 */
} PhysMemDesc;

/* Carries an operating-system event to korvane, which sets it at each
 * interrupt registered with it. Offsets 0 to 15 are korvane's: a caller sets
 * only the event and passes the same record, untouched, to the cancellation. */
typedef struct NotifyRecord {
    uint8_t Korvane[16]; /* 0 */
    int64_t Event;       /* 16: event handle, widened with sign extension */
} NotifyRecord;

#ifdef __cplusplus
}
#define TAVO_STATIC_ASSERT static_assert
#else
#define TAVO_STATIC_ASSERT _Static_assert
#endif

TAVO_STATIC_ASSERT(sizeof(PhysMemDesc) == 32, "PhysMemDesc is 32 bytes");
TAVO_STATIC_ASSERT(offsetof(PhysMemDesc, UserAddr) == 0, "PhysMemDesc.UserAddr");
TAVO_STATIC_ASSERT(offsetof(PhysMemDesc, BusAddr) == 8, "PhysMemDesc.BusAddr");
TAVO_STATIC_ASSERT(offsetof(PhysMemDesc, Size) == 24, "PhysMemDesc.Size");
TAVO_STATIC_ASSERT(sizeof(NotifyRecord) == 24, "NotifyRecord is 24 bytes");
TAVO_STATIC_ASSERT(offsetof(NotifyRecord, Event) == 16, "NotifyRecord.Event");

#endif

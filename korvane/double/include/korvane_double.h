// Control and inspection of the recording korvane double: a korvane that
// serves scripted devices, keeps a register file per device, hands out real
// memory for DMA buffers and logs every call it receives with its arguments
// and the bytes of each record passed. Unit tests of tavocore load it in
// place of the simulated board. Exported with C linkage.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "korvane.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KDBL_MAX_ARGS 6
#define KDBL_MAX_RECORDS 2
#define KDBL_RECORD_BYTES 64
#define KDBL_NO_DEVICE (-1)
#define KDBL_EVERY_CALL 0u

// One call as the double received it. Records are copied on entry, before
// the double changes anything in them.
typedef struct KDblCall {
    char Function[40];
    int32_t Device;  // device the DeviceObject was open on, KDBL_NO_DEVICE if none
    int32_t Status;  // what the double returned
    uint64_t ObjectAddress;
    // Scalar arguments in call order, DeviceObject and records left out.
    // BAR accesses: bar, offset, byte count, access type, local flag, and
    // the value written or read. DMA transfers: channel, time-out.
    uint32_t ArgCount;
    uint64_t Args[KDBL_MAX_ARGS];
    // Records in call order: DeviceKey; InterruptRecord; DmaChannelProps;
    // DmaTransferParams; PhysMemDesc; InterruptRecord then NotifyRecord.
    uint32_t RecordCount;
    uint32_t RecordSize[KDBL_MAX_RECORDS];
    uint64_t RecordAddress[KDBL_MAX_RECORDS];
    uint8_t Record[KDBL_MAX_RECORDS][KDBL_RECORD_BYTES];
} KDblCall;

// Forgets devices, registers, memory, scripts, registrations and the log.
KV_API void KV_CALL KDbl_Reset(void);
// Appends a device to the bus; returns its index.
KV_API int32_t KV_CALL KDbl_AddDevice(uint16_t vendorId, uint16_t subDeviceId, uint8_t bus, uint8_t slot);

// The named function returns `status` without doing anything: on its nth
// call from now (n >= 1) only, or on every call (KDBL_EVERY_CALL).
KV_API void KV_CALL KDbl_Fail(const char *function, int32_t status, uint32_t nthCall);
// PlxPci_PhysicalMemoryAllocate grants at most `bytes` (0: nothing, yet
// success) on its nth call from now, or on every call (KDBL_EVERY_CALL).
KV_API void KV_CALL KDbl_LimitGrant(uint32_t nthCall, uint32_t bytes);

// The register file: what a read returns, and what the last write left.
KV_API void KV_CALL KDbl_SetRegister(int32_t device, uint32_t offset, uint32_t value);
KV_API uint32_t KV_CALL KDbl_Register(int32_t device, uint32_t offset);
// A BAR write to `offset` with any of `bits` set sets the events of every
// notification registered for the device, as the board's interrupt would.
KV_API void KV_CALL KDbl_InterruptOnWrite(int32_t device, uint32_t offset, uint32_t bits);

// Words that DMA from the board delivers, in order (0 once used up).
KV_API void KV_CALL KDbl_LoadInput(int32_t device, const uint32_t *words, uint32_t count);
// Words DMA has delivered to the board, oldest first: copies up to `max`,
// returns how many there are in all.
KV_API uint32_t KV_CALL KDbl_Output(int32_t device, uint32_t *words, uint32_t max);

KV_API uint32_t KV_CALL KDbl_OpenDevices(void);       // devices open now
KV_API uint32_t KV_CALL KDbl_MemoryBlocks(void);      // blocks allocated and not freed
KV_API uint32_t KV_CALL KDbl_Registrations(void);     // notifications not cancelled

KV_API uint32_t KV_CALL KDbl_CallCount(void);
// Copies the call at `index` (0 = oldest); false past the end.
KV_API int32_t KV_CALL KDbl_GetCall(uint32_t index, KDblCall *call);
KV_API void KV_CALL KDbl_ClearLog(void);

#ifdef __cplusplus
}
#endif

/* korvane: the bus-access library through which tavocore reaches the board.
 *
 * This is the interface as tavocore relies on it: seventeen functions with
 * C linkage and the caller-cleans convention, each returning a 32-bit status
 * (KvSuccess or a failure value), and the records passed to them. Any
 * library with these exports, named korvane, can be put in place of another
 * at load time. */
#ifndef KORVANE_H
#define KORVANE_H

#include <stddef.h>
#include <stdint.h>

#include "tavocore_records.h" /* PhysMemDesc, NotifyRecord */

#if defined(_WIN32)
#define KV_CALL __cdecl
#if defined(KORVANE_BUILD)
#define KV_API __declspec(dllexport)
#else
#define KV_API __declspec(dllimport)
#endif
#else
#define KV_CALL
#if defined(KORVANE_BUILD)
#define KV_API __attribute__((visibility("default")))
#else
#define KV_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t KvStatus;
#define KvSuccess 512
#define KvFailed 513
#define KvNullParam 514
#define KvUnsupportedFunction 515
#define KvInvalidDeviceInfo 518
#define KvInvalidOffset 520
#define KvInvalidData 521
#define KvInvalidSize 522
#define KvInvalidAddress 523
#define KvInvalidAccessType 524
#define KvInvalidHandle 528
#define KvInvalidPciSpace 529
#define KvInsufficientResources 531
#define KvWaitTimeout 532
#define KvDmaChannelUnavailable 534
#define KvDmaChannelInvalid 535
#define KvDmaInProgress 538
#define KvDeviceInUse 548

/* Completed by PlxPci_DeviceFind; 0xFF bytes match any device. */
typedef struct DeviceKey {
    uint32_t IsValidTag;    /* 0: korvane's */
    uint8_t Bus;            /* 4: PCI bus number */
    uint8_t Slot;           /* 5: PCI slot number */
    uint8_t Function;       /* 6 */
    uint8_t PlatformId;     /* 7 */
    uint16_t VendorId;      /* 8: PCI vendor ID */
    uint16_t DeviceId;      /* 10 */
    uint16_t SubVendorId;   /* 12 */
    uint16_t SubDeviceId;   /* 14: PCI subsystem device ID, the board model */
    uint8_t Korvane[44];    /* 16..59: korvane's */
} DeviceKey;

/* Opaque to the caller; must stay at one address while the device is open. */
typedef struct DeviceObject {
    uint64_t Opaque[49];
} DeviceObject;

/* Filled by PlxPci_DriverProperties; nothing in it is used. */
typedef struct DriverProperties {
    uint32_t Version;
    uint32_t Reserved[15];
} DriverProperties;

/* Interrupt sources, for enable, disable and notification. */
typedef struct InterruptRecord {
    uint32_t Reserved0;   /* 0: 0 */
    uint8_t Flags;        /* 4: KV_INT_* */
    uint8_t Reserved[7];  /* 5: 0 */
} InterruptRecord;
#define KV_INT_ENABLE 0x01u    /* in every enable request */
#define KV_INT_LOCAL 0x04u     /* the board's own interrupt */
#define KV_INT_DMA_CH0 0x40u
#define KV_INT_DMA_CH1 0x80u

typedef struct DmaChannelProps {
    uint8_t Bytes[3]; /* 0x13 0x60 0x00 */
} DmaChannelProps;

typedef struct DmaTransferParams {
    uint32_t BusAddr;     /* 0: low 32 bits of the host buffer's bus address */
    uint32_t Reserved[2]; /* 4: 0 */
    uint32_t LocalAddr;   /* 12: board local address (IN_DATA or OUT_DATA) */
    uint32_t ByteCount;   /* 16 */
    uint32_t Flags;       /* 20: KV_DMA_* */
} DmaTransferParams;
#define KV_DMA_LOCAL_TO_HOST 0x02u /* direction bit: from the board into host memory */

#define KV_BAR_REGISTERS 2
#define KV_ACCESS_32BIT 2

KV_API KvStatus KV_CALL PlxPci_DeviceFind(DeviceKey *key, uint8_t deviceNumber);
KV_API KvStatus KV_CALL PlxPci_DeviceOpen(DeviceKey *key, DeviceObject *device);
KV_API KvStatus KV_CALL PlxPci_DeviceClose(DeviceObject *device);
KV_API KvStatus KV_CALL PlxPci_DriverProperties(DeviceObject *device, DriverProperties *properties);
KV_API KvStatus KV_CALL PlxPci_PciBarSpaceRead(DeviceObject *device, uint8_t bar, uint32_t offset,
                                               void *data, uint32_t byteCount, int32_t accessType,
                                               uint8_t localAddressing);
KV_API KvStatus KV_CALL PlxPci_PciBarSpaceWrite(DeviceObject *device, uint8_t bar, uint32_t offset,
                                                void *data, uint32_t byteCount, int32_t accessType,
                                                uint8_t localAddressing);
KV_API KvStatus KV_CALL PlxPci_InterruptEnable(DeviceObject *device, InterruptRecord *sources);
KV_API KvStatus KV_CALL PlxPci_InterruptDisable(DeviceObject *device, InterruptRecord *sources);
KV_API KvStatus KV_CALL PlxPci_DmaChannelOpen(DeviceObject *device, uint8_t channel,
                                              DmaChannelProps *properties);
KV_API KvStatus KV_CALL PlxPci_DmaChannelClose(DeviceObject *device, uint8_t channel);
KV_API KvStatus KV_CALL PlxPci_DmaTransferBlock(DeviceObject *device, uint8_t channel,
                                                DmaTransferParams *params, uint64_t timeoutMs);
KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryAllocate(DeviceObject *device, PhysMemDesc *memory,
                                                      uint8_t smallerOk);
KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryMap(DeviceObject *device, PhysMemDesc *memory);
KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryUnmap(DeviceObject *device, PhysMemDesc *memory);
KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryFree(DeviceObject *device, PhysMemDesc *memory);
KV_API KvStatus KV_CALL Pelm_RegisterForNotification(DeviceObject *device, InterruptRecord *sources,
                                                     NotifyRecord *notify);
KV_API KvStatus KV_CALL Pelm_CancelNotification(DeviceObject *device, NotifyRecord *notify);

#ifdef __cplusplus
}
#endif

TAVO_STATIC_ASSERT(sizeof(DeviceKey) == 60, "DeviceKey is 60 bytes");
TAVO_STATIC_ASSERT(offsetof(DeviceKey, Bus) == 4, "DeviceKey.Bus");
TAVO_STATIC_ASSERT(offsetof(DeviceKey, Slot) == 5, "DeviceKey.Slot");
TAVO_STATIC_ASSERT(offsetof(DeviceKey, VendorId) == 8, "DeviceKey.VendorId");
TAVO_STATIC_ASSERT(offsetof(DeviceKey, SubDeviceId) == 14, "DeviceKey.SubDeviceId");
TAVO_STATIC_ASSERT(sizeof(DeviceObject) == 392, "DeviceObject is 392 bytes");
TAVO_STATIC_ASSERT(sizeof(InterruptRecord) == 12, "InterruptRecord is 12 bytes");
TAVO_STATIC_ASSERT(offsetof(InterruptRecord, Flags) == 4, "InterruptRecord.Flags");
TAVO_STATIC_ASSERT(sizeof(DmaChannelProps) == 3, "DmaChannelProps is 3 bytes");
TAVO_STATIC_ASSERT(sizeof(DmaTransferParams) == 24, "DmaTransferParams is 24 bytes");
TAVO_STATIC_ASSERT(offsetof(DmaTransferParams, LocalAddr) == 12, "DmaTransferParams.LocalAddr");
TAVO_STATIC_ASSERT(offsetof(DmaTransferParams, ByteCount) == 16, "DmaTransferParams.ByteCount");
TAVO_STATIC_ASSERT(offsetof(DmaTransferParams, Flags) == 20, "DmaTransferParams.Flags");

#endif

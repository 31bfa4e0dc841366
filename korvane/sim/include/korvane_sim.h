// Control and inspection of the simulated Ovrin boards behind the korvane
// stand-in. Not part of tavocore: tests, benchmarks and the operator's
// presets use it. Exported from the korvane library with C linkage.
//
// A device is named by its index in the simulated bus (0 = first found).
// Settings apply from the next call that reaches the board; devices are
// configured while none is open.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "korvane.h"

#ifdef __cplusplus
extern "C" {
#endif

#define KSIM_PLX_VENDOR 0x10B5u
#define KSIM_MAX_DEVICES 32

// --- The bus ------------------------------------------------------------
// Back to the default bench: one Ovrin board (bus 1, slot 4, a catalogue
// model), default timings and sources, no failure injected. Closes nothing:
// call with no device open. Also reads the preset named by the environment
// variable KORVANE_SIM_PRESET (see the README).
KV_API void KV_CALL KSim_Reset(void);
KV_API void KV_CALL KSim_ClearDevices(void);
// Appends a device; returns its index, or -1 when the bus is full. A
// vendor other than KSIM_PLX_VENDOR is a foreign device with no board.
KV_API int32_t KV_CALL KSim_AddDevice(uint16_t vendorId, uint16_t subDeviceId, uint8_t bus,
                                      uint8_t slot);
KV_API uint32_t KV_CALL KSim_DeviceCount(void);

// --- Timing ---------------------------------------------------------------
// How long after BOARD_INIT the board reads BCR_INIT_DONE (default 5 ms),
// and how long autocalibration runs (default 1000 ms).
KV_API void KV_CALL KSim_SetTiming(int32_t device, uint32_t initMs, uint32_t autocalMs);
// Input buffer capacity in words (default 65536).
KV_API void KV_CALL KSim_SetInputCapacity(int32_t device, uint32_t words);

// --- Signals ----------------------------------------------------------------
enum KSimSourceKind {
    KSIM_SOURCE_DC = 0,      // level
    KSIM_SOURCE_SINE = 1,    // level + amplitude * sin(2 pi f t)
    KSIM_SOURCE_SQUARE = 2,  // level +/- amplitude at f
    KSIM_SOURCE_NOISE = 3    // level + uniform noise within +/- amplitude
};
// Source of one connected input channel (input modes 0 and 1), in codes.
// Default: inputs tied to input return, mid-scale 0x800 with +/-2 of noise.
KV_API void KV_CALL KSim_SetInputSource(int32_t device, uint32_t channel, int32_t kind,
                                        double levelCode, double amplitudeCode, double frequencyHz);
// The counting source on channels 0 to 3 of the connected inputs: the scan
// count since rate generator A last started, twelve bits a channel, channel
// 0 the lowest twelve. Off again with on = 0.
KV_API void KV_CALL KSim_SetCountingSource(int32_t device, int32_t on);
// The external pins of the digital port, read where the board does not
// drive a byte.
KV_API void KV_CALL KSim_SetDioPins(int32_t device, uint16_t pins);
// Appends words to the input buffer exactly as given (for tests of readers
// that need a particular word sequence).
KV_API void KV_CALL KSim_LoadInput(int32_t device, const uint32_t *words, uint32_t count);

// --- Failures -----------------------------------------------------------------
// The named korvane function ("PlxPci_DmaTransferBlock", ...) returns
// `status`: on its nth call from now (n >= 1) only, or on every call (n = 0).
KV_API void KV_CALL KSim_FailCall(const char *function, int32_t status, uint32_t nthCall);
// PlxPci_PhysicalMemoryAllocate grants this many bytes at most (default: as
// asked); 0 makes it grant nothing while reporting success.
KV_API void KV_CALL KSim_SetMemoryGrant(uint32_t maxBytes);
KV_API void KV_CALL KSim_SetNeverInterrupt(int32_t device, int32_t on);
KV_API void KV_CALL KSim_SetAutocalFails(int32_t device, int32_t on);
// BCR reads this after initialization in place of BCR_INIT_DONE (0 = normal).
KV_API void KV_CALL KSim_SetInitResult(int32_t device, uint32_t bcr);
// Every DMA transfer times out (532) after its time-out.
KV_API void KV_CALL KSim_SetDmaTimeout(int32_t device, int32_t on);
KV_API void KV_CALL KSim_ClearFailures(void);

// --- Inspection -----------------------------------------------------------------
// Register as the board holds it, without the side effects of a bus read.
KV_API uint32_t KV_CALL KSim_PeekRegister(int32_t device, uint32_t offset);
KV_API uint32_t KV_CALL KSim_InputLevel(int32_t device);        // words waiting
KV_API uint64_t KV_CALL KSim_OverflowCount(int32_t device);     // words lost
KV_API uint64_t KV_CALL KSim_InterruptCount(int32_t device);    // interrupts raised
KV_API uint32_t KV_CALL KSim_CallCount(const char *function);   // since KSim_Reset
KV_API uint32_t KV_CALL KSim_OpenCount(void);                   // devices open now
// When the board last set a registered event: nanoseconds of the monotonic
// clock (std::chrono::steady_clock), 0 before the first. For latency figures.
KV_API int64_t KV_CALL KSim_LastInterruptTime(int32_t device);

// The four analog outputs over time: one entry each time any output changes,
// stamped with the count of rate-B ticks since the board was opened.
typedef struct KSimOutputEntry {
    uint64_t Tick;
    uint16_t Code[4];
} KSimOutputEntry;
KV_API void KV_CALL KSim_Outputs(int32_t device, uint16_t code[4]);
// Copies up to `max` of the most recent entries, oldest first; returns the
// number copied. The record keeps the latest 1,048,576 entries.
KV_API size_t KV_CALL KSim_OutputRecord(int32_t device, KSimOutputEntry *entries, size_t max);
KV_API uint64_t KV_CALL KSim_OutputRecordTotal(int32_t device);
KV_API void KV_CALL KSim_ClearOutputRecord(int32_t device);
// Waits until the output buffer is empty (every written word clocked out)
// or `timeoutMs` passes; false on time-out.
KV_API int32_t KV_CALL KSim_WaitOutputIdle(int32_t device, uint32_t timeoutMs);
// Waits until the record holds at least `total` entries in all.
KV_API int32_t KV_CALL KSim_WaitOutputRecord(int32_t device, uint64_t total, uint32_t timeoutMs);

#ifdef __cplusplus
}
#endif

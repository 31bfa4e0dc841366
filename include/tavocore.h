/* tavocore: the board API of the Ovrin PCI analog I/O board.
 *
 * Boards are numbered 1 to 10 in the order Tavo_FindBoards found them.
 * Every export takes a pointer to the caller's 32-bit status word. The
 * library writes it only when a step fails, with that step's status, and
 * never clears it: set it to 0 before a call and it still reads 0 after a
 * call without failure. Calls for one board are not to overlap.
 *
 * Refused calls. Every export that takes a board number refuses one outside
 * 1 to 10 with ApiInvalidBoardNumber (550) and touches nothing; the result
 * is then 0 for the exports returning a value or a count (Tavo_Read_Local32,
 * Tavo_EnableInterrupt, Tavo_Autocal, the DMA transfers,
 * Tavo_Get_Physical_Memory) and 550 for those returning a status.
 * Tavo_Get_Handle keeps its own rule: board 0 or above 10 gives 518 and -1.
 * A DMA transfer of more than TAVO_DMA_MAX_WORDS words is refused with
 * ApiInvalidDMANumWords (551) and result 0; a missing caller array or
 * PhysMemDesc with ApiNullParam (514). A status word pointer of NULL is
 * allowed: nothing is stored. Tavo_FindBoards with a NULL listing buffer
 * still searches. A failed register read yields 0, and a read-modify-write
 * whose read failed starts from 0. Tavo_Close_Handle empties the board's
 * buffer records, so transfers before the next Tavo_Get_Handle return 0. */
#ifndef TAVOCORE_H
#define TAVOCORE_H

#include <stdint.h>

#include "tavocore_records.h"
#include "tavocore_regs.h"

#if defined(_WIN32)
#define TAVO_CALL __cdecl
#if defined(TAVOCORE_BUILD)
#define TAVO_API __declspec(dllexport)
#else
#define TAVO_API __declspec(dllimport)
#endif
#else
#define TAVO_CALL
#if defined(TAVOCORE_BUILD)
#define TAVO_API __attribute__((visibility("default")))
#else
#define TAVO_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status values. ApiSuccess is success; the rest name failures. */
enum TavoStatus {
    ApiSuccess = 512,
    ApiFailed = 513,
    ApiNullParam = 514,
    ApiUnsupportedFunction = 515,
    ApiNoActiveDriver = 516,
    ApiConfigAccessFailed = 517,
    ApiInvalidDeviceInfo = 518,
    ApiInvalidDriverVersion = 519,
    ApiInvalidOffset = 520,
    ApiInvalidData = 521,
    ApiInvalidSize = 522,
    ApiInvalidAddress = 523,
    ApiInvalidAccessType = 524,
    ApiInvalidIndex = 525,
    ApiInvalidPowerState = 526,
    ApiInvalidIopSpace = 527,
    ApiInvalidHandle = 528,
    ApiInvalidPciSpace = 529,
    ApiInvalidBusIndex = 530,
    ApiInsufficientResources = 531,
    ApiWaitTimeout = 532,
    ApiWaitCanceled = 533,
    ApiDmaChannelUnavailable = 534,
    ApiDmaChannelInvalid = 535,
    ApiDmaDone = 536,
    ApiDmaPaused = 537,
    ApiDmaInProgress = 538,
    ApiDmaCommandInvalid = 539,
    ApiDmaInvalidChannelPriority = 540,
    ApiDmaSglPagesGetError = 541,
    ApiDmaSglPagesLockError = 542,
    ApiMuFifoEmpty = 543,
    ApiMuFifoFull = 544,
    ApiPowerDown = 545,
    ApiHSNotSupported = 546,
    ApiVPDNotSupported = 547,
    ApiDeviceInUse = 548,
    ApiDmaNotReady = 549,
    ApiInvalidBoardNumber = 550,
    ApiInvalidDMANumWords = 551
};

#define TAVO_MAX_BOARDS 10
/* Room for the longest listing: ten lines of at most 79 characters and the
 * terminating NUL. */
#define TAVO_BOARD_LIST_SIZE 791
/* Each board's two host DMA buffers, and the most one transfer moves. */
#define TAVO_DMA_BUFFER_BYTES 0x20000u
#define TAVO_DMA_MAX_WORDS (TAVO_DMA_BUFFER_BYTES / 4u)
/* Results of Tavo_Autocal. */
#define TAVO_AUTOCAL_PASSED 1u
#define TAVO_AUTOCAL_FAILED 0u
#define TAVO_AUTOCAL_NO_INTERRUPT 170u /* 0xAA */
#define TAVO_AUTOCAL_NO_EVENT 85u      /* 0x55 */
/* Interrupt source kinds. */
#define TAVO_INT_KIND_LOCAL 0
#define TAVO_INT_KIND_DMA 1

/* Discovery and handles */
TAVO_API uint32_t TAVO_CALL Tavo_FindBoards(char *list, int32_t *status);
TAVO_API int32_t TAVO_CALL Tavo_Get_Handle(int32_t *status, uint32_t board);
TAVO_API int32_t TAVO_CALL Tavo_Close_Handle(uint32_t board, int32_t *status);

/* Registers and modes */
TAVO_API uint32_t TAVO_CALL Tavo_Read_Local32(uint32_t board, int32_t *status, uint32_t offset);
TAVO_API int32_t TAVO_CALL Tavo_Write_Local32(uint32_t board, int32_t *status, uint32_t offset,
                                              uint32_t value);
TAVO_API int32_t TAVO_CALL Tavo_Initialize(uint32_t board, int32_t *status);
TAVO_API int32_t TAVO_CALL Tavo_Set_Input_Mode(uint32_t board, int32_t *status, uint32_t mode);
TAVO_API int32_t TAVO_CALL Tavo_Set_Output_Mode(uint32_t board, int32_t *status, uint32_t mode);
TAVO_API int32_t TAVO_CALL Tavo_Clear_Input_Buffer(uint32_t board, int32_t *status);
TAVO_API int32_t TAVO_CALL Tavo_Clear_Output_Buffer(uint32_t board, int32_t *status);

/* Interrupts, notification, autocalibration */
TAVO_API uint32_t TAVO_CALL Tavo_EnableInterrupt(uint32_t board, uint32_t value, int32_t kind,
                                                 int32_t *status);
TAVO_API void TAVO_CALL Tavo_DisableInterrupt(uint32_t board, uint32_t value, int32_t kind,
                                              int32_t *status);
TAVO_API int32_t TAVO_CALL Tavo_Register_Interrupt_Notify(uint32_t board, NotifyRecord *notify,
                                                          uint32_t value, int32_t kind,
                                                          int32_t *status);
TAVO_API int32_t TAVO_CALL Tavo_Cancel_Interrupt_Notify(uint32_t board, NotifyRecord *notify,
                                                        int32_t *status);
TAVO_API uint32_t TAVO_CALL Tavo_Autocal(uint32_t board, int32_t *status);

/* DMA */
TAVO_API int32_t TAVO_CALL Tavo_Open_DMA_Channel(uint32_t board, uint32_t channel, int32_t *status);
TAVO_API int32_t TAVO_CALL Tavo_Close_DMA_Channel(uint32_t board, uint32_t channel, int32_t *status);
TAVO_API uint32_t TAVO_CALL Tavo_DMA_TO_Buffer(uint32_t board, uint32_t channel, uint32_t words,
                                               const uint32_t *source, int32_t *status);
TAVO_API uint32_t TAVO_CALL Tavo_DMA_FROM_Buffer(uint32_t board, uint32_t channel, uint32_t words,
                                                 uint32_t *destination, int32_t *status);
TAVO_API uint32_t TAVO_CALL Tavo_Get_Physical_Memory(uint32_t board, PhysMemDesc *memory,
                                                     uint8_t smallerOk, int32_t *status);
TAVO_API int32_t TAVO_CALL Tavo_Free_Physical_Memory(uint32_t board, PhysMemDesc *memory,
                                                     int32_t *status);

#ifdef __cplusplus
}
#endif

#endif

// Autocalibration, run to its end-of-calibration interrupt.
#include <string.h>

#include "board_table.h"
#include "os_sync.h"
#include "register_io.h"

namespace {

constexpr uint32_t AUTOCAL_WAIT_MS = 10000;

} // namespace

extern "C" TAVO_API uint32_t TAVO_CALL Tavo_Autocal(uint32_t board, int32_t *status)
{
    if (!BoardAccepted(board, status))
        return TAVO_AUTOCAL_FAILED;
    const uint32_t slot = SlotOf(board);
    DeviceObject *device = &DeviceObjects[slot];
    InterruptRecord &record = InterruptRecords[slot];

    OsEvent event = OsCreateEvent();
    if (event == nullptr) {
        StoreFailure(status, ApiInsufficientResources);
        return TAVO_AUTOCAL_NO_EVENT;
    }
    NotifyRecord notify;
    memset(&notify, 0, sizeof notify);
    notify.Event = OsEventToRecord(event);

    // INT_A = 1: the board interrupts when calibration ends.
    memset(&record, 0, sizeof record);
    uint32_t control = ReadRegister(slot, INT_CNTRL, status);
    control = (control & ~INT_GROUP_A) | TAVO_FIELD_PREP(INT_A, INT_SOURCE_AUTOCAL);
    WriteRegister(slot, INT_CNTRL, control, status);
    record.Flags = KV_INT_ENABLE | KV_INT_LOCAL;
    StoreFailure(status, PlxPci_InterruptEnable(device, &record));

    InterruptRecord sources;
    memset(&sources, 0, sizeof sources);
    sources.Flags = KV_INT_LOCAL;
    StoreFailure(status, Pelm_RegisterForNotification(device, &sources, &notify));

    ModifyRegister(slot, BCR, 0, AUTOCAL_START, status);

    const bool interrupted = OsWaitEvent(event, AUTOCAL_WAIT_MS) == OS_WAIT_SIGNALLED;

    StoreFailure(status, Pelm_CancelNotification(device, &notify));
    OsCloseEvent(event);

    memset(&record, 0, sizeof record);
    control = ReadRegister(slot, INT_CNTRL, status) & ~INT_GROUP_A;
    WriteRegister(slot, INT_CNTRL, control, status);
    record.Flags = KV_INT_LOCAL;
    if (control == 0)
        StoreFailure(status, PlxPci_InterruptDisable(device, &record));

    const uint32_t bcr = ReadRegister(slot, BCR, status);
    if (!interrupted)
        return TAVO_AUTOCAL_NO_INTERRUPT;
    return TAVO_FIELD_GET(AUTOCAL_PASS, bcr) ? TAVO_AUTOCAL_PASSED : TAVO_AUTOCAL_FAILED;
}

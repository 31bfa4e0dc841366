#include "register_io.h"

#include "board_table.h"

namespace {

constexpr uint8_t REGISTER_BAR = KV_BAR_REGISTERS;
constexpr uint32_t REGISTER_BYTES = 4;

} // namespace

uint32_t ReadRegister(uint32_t slot, uint32_t offset, int32_t *status)
{
    uint32_t value = 0;
    KvStatus result = PlxPci_PciBarSpaceRead(&DeviceObjects[slot], REGISTER_BAR, offset, &value,
                                             REGISTER_BYTES, KV_ACCESS_32BIT, 0);
    if (result != KvSuccess) {
        StoreFailure(status, result);
        return 0;
    }
    return value;
}

int32_t WriteRegister(uint32_t slot, uint32_t offset, uint32_t value, int32_t *status)
{
    KvStatus result = PlxPci_PciBarSpaceWrite(&DeviceObjects[slot], REGISTER_BAR, offset, &value,
                                              REGISTER_BYTES, KV_ACCESS_32BIT, 0);
    StoreFailure(status, result);
    return result;
}

int32_t ModifyRegister(uint32_t slot, uint32_t offset, uint32_t clear, uint32_t set, int32_t *status)
{
    uint32_t value = ReadRegister(slot, offset, status);
    return WriteRegister(slot, offset, (value & ~clear) | set, status);
}

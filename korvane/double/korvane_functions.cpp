// The seventeen korvane functions of the double: each is logged, may be
// scripted to fail, and otherwise acts on the scripted devices.
#include <algorithm>
#include <cstring>

#include "double_state.h"
#include "os_sync.h"

using namespace kdbl;

namespace {

constexpr uint64_t OPEN_MARK = 0x4B44424C4F50454Eull; // marks a DeviceObject the double opened
constexpr uint16_t ANY16 = 0xFFFF;
constexpr uint8_t ANY8 = 0xFF;

// One call in progress: holds the lock, counts the call and builds its log
// entry, which Return() stores.
class Call {
public:
    Call(const char *function, const DeviceObject *object) : guard_(State().Lock), state_(State())
    {
        std::strncpy(entry_.Function, function, sizeof entry_.Function - 1);
        entry_.ObjectAddress = reinterpret_cast<uintptr_t>(object);
        entry_.Device = DeviceOf(object);
        const uint64_t number = ++state_.Calls[function];
        for (const Failure &failure : state_.Failures)
            if (failure.Function == function && (failure.OnCall == 0 || failure.OnCall == number))
                injected_ = failure.Status;
        number_ = number;
    }
    Call(const Call &) = delete;
    Call &operator=(const Call &) = delete;

    void Arg(uint64_t value)
    {
        if (entry_.ArgCount < KDBL_MAX_ARGS)
            entry_.Args[entry_.ArgCount++] = value;
    }
    void SetArg(uint32_t index, uint64_t value) { entry_.Args[index] = value; }
    void Record(const void *record, size_t bytes)
    {
        if (entry_.RecordCount >= KDBL_MAX_RECORDS)
            return;
        const uint32_t index = entry_.RecordCount++;
        entry_.RecordAddress[index] = reinterpret_cast<uintptr_t>(record);
        entry_.RecordSize[index] = static_cast<uint32_t>(std::min<size_t>(bytes, KDBL_RECORD_BYTES));
        if (record != nullptr)
            std::memcpy(entry_.Record[index], record, entry_.RecordSize[index]);
    }

    bool Injected() const { return injected_ != KvSuccess; }
    KvStatus InjectedStatus() const { return injected_; }
    int32_t Device() const { return entry_.Device; }
    uint64_t Number() const { return number_; }
    DoubleState &Shared() { return state_; }

    KvStatus Return(KvStatus status)
    {
        entry_.Status = status;
        state_.Log.push_back(entry_);
        return status;
    }

private:
    int32_t DeviceOf(const DeviceObject *object) const
    {
        if (object == nullptr || object->Opaque[0] != OPEN_MARK)
            return KDBL_NO_DEVICE;
        const uint64_t index = object->Opaque[1];
        if (index >= state_.Devices.size() || !state_.Devices[index].Open)
            return KDBL_NO_DEVICE;
        return static_cast<int32_t>(index);
    }

    std::lock_guard<std::mutex> guard_;
    DoubleState &state_;
    KDblCall entry_{};
    KvStatus injected_ = KvSuccess;
    uint64_t number_ = 0;
};

bool KeyMatches(const DeviceKey &key, const Device &device)
{
    return (key.VendorId == ANY16 || key.VendorId == device.VendorId) &&
           (key.SubDeviceId == ANY16 || key.SubDeviceId == device.SubDeviceId) &&
           (key.Bus == ANY8 || key.Bus == device.Bus) && (key.Slot == ANY8 || key.Slot == device.Slot);
}

Block *FindBlock(DoubleState &state, uint64_t busAddress)
{
    auto found = state.Blocks.find(static_cast<uint32_t>(busAddress));
    return found == state.Blocks.end() ? nullptr : &found->second;
}

} // namespace

extern "C" {

KV_API KvStatus KV_CALL PlxPci_DeviceFind(DeviceKey *key, uint8_t deviceNumber)
{
    Call call("PlxPci_DeviceFind", nullptr);
    call.Record(key, sizeof *key);
    call.Arg(deviceNumber);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (key == nullptr)
        return call.Return(KvNullParam);
    uint32_t matches = 0;
    for (const Device &device : call.Shared().Devices) {
        if (!KeyMatches(*key, device) || matches++ != deviceNumber)
            continue;
        std::memset(key, 0, sizeof *key);
        key->IsValidTag = 1;
        key->Bus = device.Bus;
        key->Slot = device.Slot;
        key->VendorId = device.VendorId;
        key->SubVendorId = device.VendorId;
        key->SubDeviceId = device.SubDeviceId;
        return call.Return(KvSuccess);
    }
    return call.Return(KvInvalidDeviceInfo);
}

KV_API KvStatus KV_CALL PlxPci_DeviceOpen(DeviceKey *key, DeviceObject *object)
{
    Call call("PlxPci_DeviceOpen", object);
    call.Record(key, sizeof *key);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (key == nullptr || object == nullptr)
        return call.Return(KvNullParam);
    std::vector<Device> &devices = call.Shared().Devices;
    for (size_t index = 0; index < devices.size(); ++index) {
        Device &device = devices[index];
        if (device.Bus != key->Bus || device.Slot != key->Slot || device.VendorId != key->VendorId)
            continue;
        device.Open = true;
        object->Opaque[0] = OPEN_MARK;
        object->Opaque[1] = index;
        return call.Return(KvSuccess);
    }
    return call.Return(KvInvalidDeviceInfo);
}

KV_API KvStatus KV_CALL PlxPci_DeviceClose(DeviceObject *object)
{
    Call call("PlxPci_DeviceClose", object);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    call.Shared().Devices[static_cast<size_t>(call.Device())].Open = false;
    object->Opaque[0] = 0;
    object->Opaque[1] = 0;
    return call.Return(KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_DriverProperties(DeviceObject *object, DriverProperties *properties)
{
    Call call("PlxPci_DriverProperties", object);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    if (properties != nullptr) {
        std::memset(properties, 0, sizeof *properties);
        properties->Version = 1;
    }
    return call.Return(KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_PciBarSpaceRead(DeviceObject *object, uint8_t bar, uint32_t offset, void *data,
                                               uint32_t byteCount, int32_t accessType, uint8_t localAddressing)
{
    Call call("PlxPci_PciBarSpaceRead", object);
    for (uint64_t arg : {uint64_t{bar}, uint64_t{offset}, uint64_t{byteCount},
                         static_cast<uint64_t>(accessType), uint64_t{localAddressing}, uint64_t{0}})
        call.Arg(arg);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    if (data == nullptr)
        return call.Return(KvNullParam);
    const uint32_t value = call.Shared().Devices[static_cast<size_t>(call.Device())].Registers[offset];
    std::memcpy(data, &value, sizeof value);
    call.SetArg(5, value);
    return call.Return(KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_PciBarSpaceWrite(DeviceObject *object, uint8_t bar, uint32_t offset, void *data,
                                                uint32_t byteCount, int32_t accessType, uint8_t localAddressing)
{
    Call call("PlxPci_PciBarSpaceWrite", object);
    uint32_t value = 0;
    if (data != nullptr)
        std::memcpy(&value, data, sizeof value);
    for (uint64_t arg : {uint64_t{bar}, uint64_t{offset}, uint64_t{byteCount},
                         static_cast<uint64_t>(accessType), uint64_t{localAddressing}, uint64_t{value}})
        call.Arg(arg);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    if (data == nullptr)
        return call.Return(KvNullParam);
    Device &device = call.Shared().Devices[static_cast<size_t>(call.Device())];
    device.Registers[offset] = value;
    for (const auto &[interruptOffset, bits] : device.InterruptWrites) {
        if (interruptOffset != offset || (value & bits) == 0)
            continue;
        for (const Registration &registration : call.Shared().Registrations)
            if (registration.Device == call.Device())
                OsSetEvent(OsEventFromRecord(registration.Event));
    }
    return call.Return(KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_InterruptEnable(DeviceObject *object, InterruptRecord *sources)
{
    Call call("PlxPci_InterruptEnable", object);
    call.Record(sources, sizeof *sources);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    return call.Return(call.Device() == KDBL_NO_DEVICE ? KvInvalidHandle : KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_InterruptDisable(DeviceObject *object, InterruptRecord *sources)
{
    Call call("PlxPci_InterruptDisable", object);
    call.Record(sources, sizeof *sources);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    return call.Return(call.Device() == KDBL_NO_DEVICE ? KvInvalidHandle : KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_DmaChannelOpen(DeviceObject *object, uint8_t channel, DmaChannelProps *properties)
{
    Call call("PlxPci_DmaChannelOpen", object);
    call.Arg(channel);
    call.Record(properties, sizeof *properties);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    return call.Return(channel > 1 ? KvDmaChannelInvalid : KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_DmaChannelClose(DeviceObject *object, uint8_t channel)
{
    Call call("PlxPci_DmaChannelClose", object);
    call.Arg(channel);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    return call.Return(channel > 1 ? KvDmaChannelInvalid : KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_DmaTransferBlock(DeviceObject *object, uint8_t channel, DmaTransferParams *params,
                                                uint64_t timeoutMs)
{
    Call call("PlxPci_DmaTransferBlock", object);
    call.Arg(channel);
    call.Arg(timeoutMs);
    call.Record(params, sizeof *params);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    if (params == nullptr)
        return call.Return(KvNullParam);
    if (channel > 1)
        return call.Return(KvDmaChannelInvalid);
    Block *block = FindBlock(call.Shared(), params->BusAddr);
    if (block == nullptr)
        return call.Return(KvInvalidAddress);
    if (params->ByteCount > block->Bytes.size() || params->ByteCount % sizeof(uint32_t) != 0)
        return call.Return(KvInvalidSize);
    Device &device = call.Shared().Devices[static_cast<size_t>(call.Device())];
    const size_t words = params->ByteCount / sizeof(uint32_t);
    for (size_t i = 0; i < words; ++i) {
        uint32_t word = 0;
        if (params->Flags & KV_DMA_LOCAL_TO_HOST) {
            if (!device.Input.empty()) {
                word = device.Input.front();
                device.Input.pop_front();
            }
            std::memcpy(block->Bytes.data() + i * sizeof word, &word, sizeof word);
        } else {
            std::memcpy(&word, block->Bytes.data() + i * sizeof word, sizeof word);
            device.Output.push_back(word);
        }
    }
    return call.Return(KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryAllocate(DeviceObject *object, PhysMemDesc *memory, uint8_t smallerOk)
{
    Call call("PlxPci_PhysicalMemoryAllocate", object);
    call.Arg(smallerOk);
    call.Record(memory, sizeof *memory);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    if (memory == nullptr)
        return call.Return(KvNullParam);
    DoubleState &state = call.Shared();
    uint32_t granted = memory->Size;
    for (const GrantLimit &limit : state.Grants)
        if (limit.OnCall == 0 || limit.OnCall == call.Number())
            granted = std::min(granted, limit.Bytes);
    memory->Size = granted;
    memory->BusAddr = 0;
    if (granted != 0) {
        const uint32_t busAddress = state.NextBusAddress;
        state.NextBusAddress += (granted + BUS_ADDRESS_ALIGN - 1) / BUS_ADDRESS_ALIGN * BUS_ADDRESS_ALIGN;
        state.Blocks[busAddress].Bytes.assign(granted, 0);
        memory->BusAddr = busAddress;
    }
    return call.Return(KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryMap(DeviceObject *object, PhysMemDesc *memory)
{
    Call call("PlxPci_PhysicalMemoryMap", object);
    call.Record(memory, sizeof *memory);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    if (memory == nullptr)
        return call.Return(KvNullParam);
    if (memory->Size == 0) // nothing was granted: nothing to map
        return call.Return(KvSuccess);
    Block *block = FindBlock(call.Shared(), memory->BusAddr);
    if (block == nullptr)
        return call.Return(KvInvalidAddress);
    block->Mapped = true;
    memory->UserAddr = reinterpret_cast<uintptr_t>(block->Bytes.data());
    return call.Return(KvSuccess);
}

// Unmap and free leave the caller's record as it was: clearing it is the
// caller's business, and a test must be able to see whether it did.
KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryUnmap(DeviceObject *object, PhysMemDesc *memory)
{
    Call call("PlxPci_PhysicalMemoryUnmap", object);
    call.Record(memory, sizeof *memory);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    if (memory == nullptr)
        return call.Return(KvNullParam);
    Block *block = FindBlock(call.Shared(), memory->BusAddr);
    if (block == nullptr || !block->Mapped)
        return call.Return(KvInvalidAddress);
    block->Mapped = false;
    return call.Return(KvSuccess);
}

KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryFree(DeviceObject *object, PhysMemDesc *memory)
{
    Call call("PlxPci_PhysicalMemoryFree", object);
    call.Record(memory, sizeof *memory);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    if (memory == nullptr)
        return call.Return(KvNullParam);
    if (call.Shared().Blocks.erase(static_cast<uint32_t>(memory->BusAddr)) == 0)
        return call.Return(KvInvalidAddress);
    return call.Return(KvSuccess);
}

KV_API KvStatus KV_CALL Pelm_RegisterForNotification(DeviceObject *object, InterruptRecord *sources,
                                                     NotifyRecord *notify)
{
    Call call("Pelm_RegisterForNotification", object);
    call.Record(sources, sizeof *sources);
    call.Record(notify, sizeof *notify);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    if (sources == nullptr || notify == nullptr)
        return call.Return(KvNullParam);
    call.Shared().Registrations.push_back({notify, call.Device(), notify->Event});
    return call.Return(KvSuccess);
}

KV_API KvStatus KV_CALL Pelm_CancelNotification(DeviceObject *object, NotifyRecord *notify)
{
    Call call("Pelm_CancelNotification", object);
    call.Record(notify, sizeof *notify);
    if (call.Injected())
        return call.Return(call.InjectedStatus());
    if (call.Device() == KDBL_NO_DEVICE)
        return call.Return(KvInvalidHandle);
    std::vector<Registration> &registrations = call.Shared().Registrations;
    auto found = std::find_if(registrations.begin(), registrations.end(),
                              [notify](const Registration &r) { return r.Record == notify; });
    if (found == registrations.end())
        return call.Return(KvFailed);
    registrations.erase(found);
    return call.Return(KvSuccess);
}

} // extern "C"

// The seventeen korvane functions over the simulated bus.
#include <cstring>
#include <new>

#include "sim_registry.h"

using namespace ksim;

namespace {

constexpr uint32_t kDriverVersion = 0x00010000;
constexpr uint16_t kBridgeDeviceId = 0x9050;
constexpr uint8_t kFunctionNumber = 0;
constexpr uint8_t kWildcard8 = 0xFF;
constexpr uint16_t kWildcard16 = 0xFFFF;
constexpr uint32_t kRegisterBytes = 4;
constexpr int kDmaChannels = 2;

bool Matches8(uint8_t want, uint8_t have) { return want == kWildcard8 || want == have; }
bool Matches16(uint16_t want, uint16_t have) { return want == kWildcard16 || want == have; }

bool KeyMatches(const DeviceKey &key, const Device &d) {
    return Matches8(key.Bus, d.bus) && Matches8(key.Slot, d.slot) && Matches8(key.Function, kFunctionNumber) &&
           Matches16(key.VendorId, d.vendor) && Matches16(key.DeviceId, kBridgeDeviceId) &&
           Matches16(key.SubVendorId, d.vendor) && Matches16(key.SubDeviceId, d.subDevice);
}

// The board behind an open object, or the status that refuses the call.
KvStatus BoardOf(DeviceObject *object, std::shared_ptr<Board> *board) {
    if (object == nullptr) return KvNullParam;
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    Device *d = OpenDevice(bus, object);
    if (d == nullptr) return KvInvalidHandle;
    if (!d->board) return KvUnsupportedFunction;
    *board = d->board;
    return KvSuccess;
}

KvStatus CheckRegisterAccess(uint8_t bar, uint32_t offset, const void *data, uint32_t byteCount,
                             int32_t accessType) {
    if (data == nullptr) return KvNullParam;
    if (bar != KV_BAR_REGISTERS) return KvInvalidPciSpace;
    if (byteCount != kRegisterBytes) return KvInvalidSize;
    if (accessType != KV_ACCESS_32BIT) return KvInvalidAccessType;
    if (offset % kRegisterBytes != 0 || offset >= TAVO_REGISTER_SPAN) return KvInvalidOffset;
    return KvSuccess;
}

#define KSIM_INTERCEPT(name)                             \
    do {                                                 \
        if (const KvStatus injected = Intercept(name))   \
            return injected;                             \
    } while (0)

}  // namespace

extern "C" {

KV_API KvStatus KV_CALL PlxPci_DeviceFind(DeviceKey *key, uint8_t deviceNumber) {
    KSIM_INTERCEPT("PlxPci_DeviceFind");
    if (key == nullptr) return KvNullParam;
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    uint32_t found = 0;
    for (size_t i = 0; i < bus.devices.size(); ++i) {
        const Device &d = bus.devices[i];
        if (!KeyMatches(*key, d)) continue;
        if (found++ != deviceNumber) continue;
        std::memset(key, 0, sizeof *key);
        key->Bus = d.bus;
        key->Slot = d.slot;
        key->Function = kFunctionNumber;
        key->VendorId = d.vendor;
        key->DeviceId = kBridgeDeviceId;
        key->SubVendorId = d.vendor;
        key->SubDeviceId = d.subDevice;
        const uint32_t index = static_cast<uint32_t>(i);
        std::memcpy(key->Korvane, &index, sizeof index);
        return KvSuccess;
    }
    return KvInvalidDeviceInfo;
}

KV_API KvStatus KV_CALL PlxPci_DeviceOpen(DeviceKey *key, DeviceObject *device) {
    KSIM_INTERCEPT("PlxPci_DeviceOpen");
    if (key == nullptr || device == nullptr) return KvNullParam;
    Bus &bus = TheBus();
    std::shared_ptr<Board> board;
    {
        std::lock_guard<std::mutex> lock(bus.mutex);
        if (OpenDevice(bus, device) != nullptr) return KvDeviceInUse;  // this object is open
        Device *match = nullptr;
        size_t index = 0;
        for (size_t i = 0; i < bus.devices.size() && match == nullptr; ++i) {
            Device &d = bus.devices[i];
            if (d.bus == key->Bus && d.slot == key->Slot && d.vendor == key->VendorId) {
                match = &d;
                index = i;
            }
        }
        if (match == nullptr) return KvInvalidDeviceInfo;
        if (match->open) return KvDeviceInUse;
        match->open = true;
        match->openSerial = bus.nextSerial++;
        std::memset(device, 0, sizeof *device);
        device->Opaque[0] = kObjectMagic;
        device->Opaque[1] = index;
        device->Opaque[2] = match->openSerial;
        board = match->board;
    }
    if (board) board->Open();
    return KvSuccess;
}

KV_API KvStatus KV_CALL PlxPci_DeviceClose(DeviceObject *device) {
    KSIM_INTERCEPT("PlxPci_DeviceClose");
    if (device == nullptr) return KvNullParam;
    Bus &bus = TheBus();
    std::shared_ptr<Board> board;
    {
        std::lock_guard<std::mutex> lock(bus.mutex);
        Device *d = OpenDevice(bus, device);
        if (d == nullptr) return KvInvalidHandle;
        d->open = false;
        board = d->board;
        std::memset(device, 0, sizeof *device);
    }
    if (board) board->Close();
    return KvSuccess;
}

KV_API KvStatus KV_CALL PlxPci_DriverProperties(DeviceObject *device, DriverProperties *properties) {
    KSIM_INTERCEPT("PlxPci_DriverProperties");
    if (device == nullptr || properties == nullptr) return KvNullParam;
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    if (OpenDevice(bus, device) == nullptr) return KvInvalidHandle;
    std::memset(properties, 0, sizeof *properties);
    properties->Version = kDriverVersion;
    return KvSuccess;
}

KV_API KvStatus KV_CALL PlxPci_PciBarSpaceRead(DeviceObject *device, uint8_t bar, uint32_t offset, void *data,
                                               uint32_t byteCount, int32_t accessType, uint8_t) {
    KSIM_INTERCEPT("PlxPci_PciBarSpaceRead");
    std::shared_ptr<Board> board;
    if (const KvStatus s = BoardOf(device, &board); s != KvSuccess) return s;
    if (const KvStatus s = CheckRegisterAccess(bar, offset, data, byteCount, accessType); s != KvSuccess)
        return s;
    const uint32_t value = board->Read(offset);
    std::memcpy(data, &value, sizeof value);
    return KvSuccess;
}

KV_API KvStatus KV_CALL PlxPci_PciBarSpaceWrite(DeviceObject *device, uint8_t bar, uint32_t offset, void *data,
                                                uint32_t byteCount, int32_t accessType, uint8_t) {
    KSIM_INTERCEPT("PlxPci_PciBarSpaceWrite");
    std::shared_ptr<Board> board;
    if (const KvStatus s = BoardOf(device, &board); s != KvSuccess) return s;
    if (const KvStatus s = CheckRegisterAccess(bar, offset, data, byteCount, accessType); s != KvSuccess)
        return s;
    uint32_t value;
    std::memcpy(&value, data, sizeof value);
    board->Write(offset, value);
    return KvSuccess;
}

KV_API KvStatus KV_CALL PlxPci_InterruptEnable(DeviceObject *device, InterruptRecord *sources) {
    KSIM_INTERCEPT("PlxPci_InterruptEnable");
    std::shared_ptr<Board> board;
    if (const KvStatus s = BoardOf(device, &board); s != KvSuccess) return s;
    if (sources == nullptr) return KvNullParam;
    board->EnableInterrupts(sources->Flags, true);
    return KvSuccess;
}

KV_API KvStatus KV_CALL PlxPci_InterruptDisable(DeviceObject *device, InterruptRecord *sources) {
    KSIM_INTERCEPT("PlxPci_InterruptDisable");
    std::shared_ptr<Board> board;
    if (const KvStatus s = BoardOf(device, &board); s != KvSuccess) return s;
    if (sources == nullptr) return KvNullParam;
    board->EnableInterrupts(sources->Flags, false);
    return KvSuccess;
}

KV_API KvStatus KV_CALL PlxPci_DmaChannelOpen(DeviceObject *device, uint8_t channel, DmaChannelProps *properties) {
    KSIM_INTERCEPT("PlxPci_DmaChannelOpen");
    std::shared_ptr<Board> board;
    if (const KvStatus s = BoardOf(device, &board); s != KvSuccess) return s;
    if (properties == nullptr) return KvNullParam;
    if (channel >= kDmaChannels) return KvDmaChannelInvalid;
    return board->OpenDmaChannel(channel) ? KvSuccess : KvDmaChannelUnavailable;
}

KV_API KvStatus KV_CALL PlxPci_DmaChannelClose(DeviceObject *device, uint8_t channel) {
    KSIM_INTERCEPT("PlxPci_DmaChannelClose");
    std::shared_ptr<Board> board;
    if (const KvStatus s = BoardOf(device, &board); s != KvSuccess) return s;
    if (channel >= kDmaChannels) return KvDmaChannelInvalid;
    return board->CloseDmaChannel(channel) ? KvSuccess : KvDmaChannelUnavailable;
}

KV_API KvStatus KV_CALL PlxPci_DmaTransferBlock(DeviceObject *device, uint8_t channel, DmaTransferParams *params,
                                                uint64_t timeoutMs) {
    KSIM_INTERCEPT("PlxPci_DmaTransferBlock");
    std::shared_ptr<Board> board;
    if (const KvStatus s = BoardOf(device, &board); s != KvSuccess) return s;
    if (params == nullptr) return KvNullParam;
    if (channel >= kDmaChannels) return KvDmaChannelInvalid;
    if (params->ByteCount == 0 || params->ByteCount % sizeof(uint32_t) != 0) return KvInvalidSize;
    const bool fromBoard = (params->Flags & KV_DMA_LOCAL_TO_HOST) != 0;
    if (params->LocalAddr != (fromBoard ? static_cast<uint32_t>(IN_DATA) : static_cast<uint32_t>(OUT_DATA)))
        return KvInvalidAddress;

    // Resolve the bus address to the host block that holds it; the block
    // stays alive for the transfer even if it is freed meanwhile.
    std::shared_ptr<uint32_t[]> block;
    uint32_t *host = nullptr;
    {
        Bus &bus = TheBus();
        std::lock_guard<std::mutex> lock(bus.mutex);
        auto it = bus.memory.upper_bound(params->BusAddr);
        if (it == bus.memory.begin()) return KvInvalidAddress;
        --it;
        const uint32_t offset = params->BusAddr - it->first;
        if (offset >= it->second.size || offset % sizeof(uint32_t) != 0) return KvInvalidAddress;
        if (params->ByteCount > it->second.size - offset) return KvInvalidSize;
        block = it->second.words;
        host = block.get() + offset / sizeof(uint32_t);
    }
    const uint32_t words = params->ByteCount / sizeof(uint32_t);
    return fromBoard ? board->TransferFromInput(host, words, timeoutMs, channel)
                     : board->TransferToOutput(host, words, timeoutMs, channel);
}

KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryAllocate(DeviceObject *device, PhysMemDesc *memory, uint8_t) {
    KSIM_INTERCEPT("PlxPci_PhysicalMemoryAllocate");
    if (device == nullptr || memory == nullptr) return KvNullParam;
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    if (OpenDevice(bus, device) == nullptr) return KvInvalidHandle;
    if (memory->Size == 0) return KvInvalidSize;
    const uint32_t granted = memory->Size < bus.memoryGrant ? memory->Size : bus.memoryGrant;
    memory->UserAddr = 0;
    memory->BusAddr = 0;
    memory->Size = granted;
    if (granted == 0) return KvSuccess;  // an injected refusal that reports success
    const uint32_t span = (granted + kBusAddressAlign - 1) / kBusAddressAlign * kBusAddressAlign;
    if (bus.nextBusAddress > UINT32_MAX - span - kBusAddressAlign) return KvInsufficientResources;
    const size_t words = (static_cast<size_t>(granted) + sizeof(uint32_t) - 1) / sizeof(uint32_t);
    std::shared_ptr<uint32_t[]> block(new (std::nothrow) uint32_t[words]());
    if (!block) return KvInsufficientResources;
    const uint32_t address = bus.nextBusAddress;
    bus.nextBusAddress += span + kBusAddressAlign;  // a gap, so that overruns are caught
    bus.memory[address] = MemoryBlock{block, granted, false};
    memory->BusAddr = address;
    return KvSuccess;
}

KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryMap(DeviceObject *device, PhysMemDesc *memory) {
    KSIM_INTERCEPT("PlxPci_PhysicalMemoryMap");
    if (device == nullptr || memory == nullptr) return KvNullParam;
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    if (OpenDevice(bus, device) == nullptr) return KvInvalidHandle;
    const auto it = bus.memory.find(static_cast<uint32_t>(memory->BusAddr));
    if (memory->BusAddr > UINT32_MAX || it == bus.memory.end()) return KvInvalidAddress;
    it->second.mapped = true;
    memory->UserAddr = reinterpret_cast<uintptr_t>(it->second.words.get());
    return KvSuccess;
}

KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryUnmap(DeviceObject *device, PhysMemDesc *memory) {
    KSIM_INTERCEPT("PlxPci_PhysicalMemoryUnmap");
    if (device == nullptr || memory == nullptr) return KvNullParam;
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    if (OpenDevice(bus, device) == nullptr) return KvInvalidHandle;
    const auto it = bus.memory.find(static_cast<uint32_t>(memory->BusAddr));
    if (memory->BusAddr > UINT32_MAX || it == bus.memory.end() || !it->second.mapped) return KvInvalidAddress;
    it->second.mapped = false;
    memory->UserAddr = 0;
    return KvSuccess;
}

KV_API KvStatus KV_CALL PlxPci_PhysicalMemoryFree(DeviceObject *device, PhysMemDesc *memory) {
    KSIM_INTERCEPT("PlxPci_PhysicalMemoryFree");
    if (device == nullptr || memory == nullptr) return KvNullParam;
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    if (OpenDevice(bus, device) == nullptr) return KvInvalidHandle;
    const auto it = bus.memory.find(static_cast<uint32_t>(memory->BusAddr));
    if (memory->BusAddr > UINT32_MAX || it == bus.memory.end()) return KvInvalidAddress;
    bus.memory.erase(it);
    memory->UserAddr = 0;
    memory->BusAddr = 0;
    return KvSuccess;
}

KV_API KvStatus KV_CALL Pelm_RegisterForNotification(DeviceObject *device, InterruptRecord *sources,
                                                     NotifyRecord *notify) {
    KSIM_INTERCEPT("Pelm_RegisterForNotification");
    std::shared_ptr<Board> board;
    if (const KvStatus s = BoardOf(device, &board); s != KvSuccess) return s;
    if (sources == nullptr || notify == nullptr) return KvNullParam;
    const uint8_t flags = sources->Flags & (KV_INT_LOCAL | KV_INT_DMA_CH0 | KV_INT_DMA_CH1);
    if (flags == 0) return KvInvalidData;
    board->Register(notify, flags, OsEventFromRecord(notify->Event));
    return KvSuccess;
}

KV_API KvStatus KV_CALL Pelm_CancelNotification(DeviceObject *device, NotifyRecord *notify) {
    KSIM_INTERCEPT("Pelm_CancelNotification");
    std::shared_ptr<Board> board;
    if (const KvStatus s = BoardOf(device, &board); s != KvSuccess) return s;
    if (notify == nullptr) return KvNullParam;
    return board->Cancel(notify) ? KvSuccess : KvFailed;
}

}  // extern "C"

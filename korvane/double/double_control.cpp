// The control and inspection API of the double.
#include <algorithm>
#include <cstring>

#include "double_state.h"

using namespace kdbl;

namespace {

Device *DeviceAt(DoubleState &state, int32_t device)
{
    if (device < 0 || static_cast<size_t>(device) >= state.Devices.size())
        return nullptr;
    return &state.Devices[static_cast<size_t>(device)];
}

} // namespace

extern "C" {

KV_API void KV_CALL KDbl_Reset(void)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    ResetLocked(state);
}

KV_API int32_t KV_CALL KDbl_AddDevice(uint16_t vendorId, uint16_t subDeviceId, uint8_t bus, uint8_t slot)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    Device device;
    device.VendorId = vendorId;
    device.SubDeviceId = subDeviceId;
    device.Bus = bus;
    device.Slot = slot;
    state.Devices.push_back(std::move(device));
    return static_cast<int32_t>(state.Devices.size() - 1);
}

KV_API void KV_CALL KDbl_Fail(const char *function, int32_t status, uint32_t nthCall)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    const uint64_t onCall = nthCall == KDBL_EVERY_CALL ? 0 : state.Calls[function] + nthCall;
    state.Failures.push_back({function, status, onCall});
}

KV_API void KV_CALL KDbl_LimitGrant(uint32_t nthCall, uint32_t bytes)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    const uint64_t onCall =
        nthCall == KDBL_EVERY_CALL ? 0 : state.Calls["PlxPci_PhysicalMemoryAllocate"] + nthCall;
    state.Grants.push_back({onCall, bytes});
}

KV_API void KV_CALL KDbl_SetRegister(int32_t device, uint32_t offset, uint32_t value)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    if (Device *d = DeviceAt(state, device))
        d->Registers[offset] = value;
}

KV_API uint32_t KV_CALL KDbl_Register(int32_t device, uint32_t offset)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    Device *d = DeviceAt(state, device);
    return d != nullptr ? d->Registers[offset] : 0;
}

KV_API void KV_CALL KDbl_InterruptOnWrite(int32_t device, uint32_t offset, uint32_t bits)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    if (Device *d = DeviceAt(state, device))
        d->InterruptWrites.emplace_back(offset, bits);
}

KV_API void KV_CALL KDbl_LoadInput(int32_t device, const uint32_t *words, uint32_t count)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    if (Device *d = DeviceAt(state, device))
        d->Input.insert(d->Input.end(), words, words + count);
}

KV_API uint32_t KV_CALL KDbl_Output(int32_t device, uint32_t *words, uint32_t max)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    Device *d = DeviceAt(state, device);
    if (d == nullptr)
        return 0;
    const size_t copied = std::min<size_t>(max, d->Output.size());
    if (copied != 0)
        std::memcpy(words, d->Output.data(), copied * sizeof(uint32_t));
    return static_cast<uint32_t>(d->Output.size());
}

KV_API uint32_t KV_CALL KDbl_OpenDevices(void)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    return static_cast<uint32_t>(
        std::count_if(state.Devices.begin(), state.Devices.end(), [](const Device &d) { return d.Open; }));
}

KV_API uint32_t KV_CALL KDbl_MemoryBlocks(void)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    return static_cast<uint32_t>(state.Blocks.size());
}

KV_API uint32_t KV_CALL KDbl_Registrations(void)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    return static_cast<uint32_t>(state.Registrations.size());
}

KV_API uint32_t KV_CALL KDbl_CallCount(void)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    return static_cast<uint32_t>(state.Log.size());
}

KV_API int32_t KV_CALL KDbl_GetCall(uint32_t index, KDblCall *call)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    if (index >= state.Log.size() || call == nullptr)
        return 0;
    *call = state.Log[index];
    return 1;
}

KV_API void KV_CALL KDbl_ClearLog(void)
{
    DoubleState &state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    state.Log.clear();
}

} // extern "C"

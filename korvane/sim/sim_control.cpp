// The control and inspection API of the simulated boards (korvane_sim.h).
#include <algorithm>

#include "sim_registry.h"

using namespace ksim;

namespace {

// The board of a device index, or nullptr (foreign device, no such index).
std::shared_ptr<Board> BoardAt(int32_t device) {
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    if (device < 0 || static_cast<size_t>(device) >= bus.devices.size()) return nullptr;
    return bus.devices[static_cast<size_t>(device)].board;
}

template <typename Change>
void ChangeSettings(int32_t device, Change change) {
    if (auto board = BoardAt(device)) {
        BoardSettings s = board->Settings();
        change(s);
        board->Configure(s);
    }
}

}  // namespace

extern "C" {

KV_API void KV_CALL KSim_Reset(void) {
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    ResetBus(bus);
}

KV_API void KV_CALL KSim_ClearDevices(void) {
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    bus.devices.clear();
}

KV_API int32_t KV_CALL KSim_AddDevice(uint16_t vendorId, uint16_t subDeviceId, uint8_t bus, uint8_t slot) {
    Bus &b = TheBus();
    std::lock_guard<std::mutex> lock(b.mutex);
    if (b.devices.size() >= KSIM_MAX_DEVICES) return -1;
    Device d{vendorId, subDeviceId, bus, slot, nullptr};
    if (vendorId == KSIM_PLX_VENDOR) d.board = std::make_shared<Board>();
    b.devices.push_back(std::move(d));
    return static_cast<int32_t>(b.devices.size() - 1);
}

KV_API uint32_t KV_CALL KSim_DeviceCount(void) {
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    return static_cast<uint32_t>(bus.devices.size());
}

KV_API void KV_CALL KSim_SetTiming(int32_t device, uint32_t initMs, uint32_t autocalMs) {
    ChangeSettings(device, [&](BoardSettings &s) {
        s.initMs = initMs;
        s.autocalMs = autocalMs;
    });
}

KV_API void KV_CALL KSim_SetInputCapacity(int32_t device, uint32_t words) {
    ChangeSettings(device, [&](BoardSettings &s) { s.inputCapacity = std::max<uint32_t>(words, 1); });
}

KV_API void KV_CALL KSim_SetInputSource(int32_t device, uint32_t channel, int32_t kind, double levelCode,
                                        double amplitudeCode, double frequencyHz) {
    if (channel >= kChannels) return;
    ChangeSettings(device, [&](BoardSettings &s) {
        s.sources[channel] = Source{kind, levelCode, amplitudeCode, frequencyHz};
    });
}

KV_API void KV_CALL KSim_SetCountingSource(int32_t device, int32_t on) {
    ChangeSettings(device, [&](BoardSettings &s) { s.counting = on != 0; });
}

KV_API void KV_CALL KSim_SetDioPins(int32_t device, uint16_t pins) {
    ChangeSettings(device, [&](BoardSettings &s) { s.dioPins = pins; });
}

KV_API void KV_CALL KSim_LoadInput(int32_t device, const uint32_t *words, uint32_t count) {
    if (words == nullptr) return;
    if (auto board = BoardAt(device)) board->LoadInput(words, count);
}

KV_API void KV_CALL KSim_FailCall(const char *function, int32_t status, uint32_t nthCall) {
    if (function == nullptr) return;
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    bus.failures[function] = FailureRule{status, nthCall, bus.calls[function]};
}

KV_API void KV_CALL KSim_SetMemoryGrant(uint32_t maxBytes) {
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    bus.memoryGrant = maxBytes;
}

KV_API void KV_CALL KSim_SetNeverInterrupt(int32_t device, int32_t on) {
    ChangeSettings(device, [&](BoardSettings &s) { s.neverInterrupt = on != 0; });
}

KV_API void KV_CALL KSim_SetAutocalFails(int32_t device, int32_t on) {
    ChangeSettings(device, [&](BoardSettings &s) { s.autocalFails = on != 0; });
}

KV_API void KV_CALL KSim_SetInitResult(int32_t device, uint32_t bcr) {
    ChangeSettings(device, [&](BoardSettings &s) { s.initResult = bcr; });
}

KV_API void KV_CALL KSim_SetDmaTimeout(int32_t device, int32_t on) {
    ChangeSettings(device, [&](BoardSettings &s) { s.dmaTimeout = on != 0; });
}

KV_API void KV_CALL KSim_ClearFailures(void) {
    std::vector<std::shared_ptr<Board>> boards;
    {
        Bus &bus = TheBus();
        std::lock_guard<std::mutex> lock(bus.mutex);
        bus.failures.clear();
        bus.memoryGrant = kGrantAsAsked;
        for (const Device &d : bus.devices)
            if (d.board) boards.push_back(d.board);
    }
    for (const auto &board : boards) {
        BoardSettings s = board->Settings();
        s.neverInterrupt = false;
        s.autocalFails = false;
        s.initResult = 0;
        s.dmaTimeout = false;
        board->Configure(s);
    }
}

KV_API uint32_t KV_CALL KSim_PeekRegister(int32_t device, uint32_t offset) {
    auto board = BoardAt(device);
    return board ? board->PeekRegister(offset) : 0;
}

KV_API uint32_t KV_CALL KSim_InputLevel(int32_t device) {
    auto board = BoardAt(device);
    return board ? board->InputLevel() : 0;
}

KV_API uint64_t KV_CALL KSim_OverflowCount(int32_t device) {
    auto board = BoardAt(device);
    return board ? board->OverflowCount() : 0;
}

KV_API uint64_t KV_CALL KSim_InterruptCount(int32_t device) {
    auto board = BoardAt(device);
    return board ? board->InterruptCount() : 0;
}

KV_API int64_t KV_CALL KSim_LastInterruptTime(int32_t device) {
    auto board = BoardAt(device);
    return board ? board->LastInterruptNs() : 0;
}

KV_API uint32_t KV_CALL KSim_CallCount(const char *function) {
    if (function == nullptr) return 0;
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    const auto it = bus.calls.find(function);
    return it == bus.calls.end() ? 0 : it->second;
}

KV_API uint32_t KV_CALL KSim_OpenCount(void) {
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    return static_cast<uint32_t>(std::count_if(bus.devices.begin(), bus.devices.end(),
                                               [](const Device &d) { return d.open; }));
}

KV_API void KV_CALL KSim_Outputs(int32_t device, uint16_t code[4]) {
    if (code == nullptr) return;
    if (auto board = BoardAt(device)) board->Outputs(code);
}

KV_API size_t KV_CALL KSim_OutputRecord(int32_t device, KSimOutputEntry *entries, size_t max) {
    if (entries == nullptr) return 0;
    auto board = BoardAt(device);
    return board ? board->OutputRecord(entries, max) : 0;
}

KV_API uint64_t KV_CALL KSim_OutputRecordTotal(int32_t device) {
    auto board = BoardAt(device);
    return board ? board->OutputRecordTotal() : 0;
}

KV_API void KV_CALL KSim_ClearOutputRecord(int32_t device) {
    if (auto board = BoardAt(device)) board->ClearOutputRecord();
}

KV_API int32_t KV_CALL KSim_WaitOutputIdle(int32_t device, uint32_t timeoutMs) {
    auto board = BoardAt(device);
    return board && board->WaitOutputIdle(timeoutMs) ? 1 : 0;
}

KV_API int32_t KV_CALL KSim_WaitOutputRecord(int32_t device, uint64_t total, uint32_t timeoutMs) {
    auto board = BoardAt(device);
    return board && board->WaitOutputRecord(total, timeoutMs) ? 1 : 0;
}

}  // extern "C"

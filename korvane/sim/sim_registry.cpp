// The simulated bus: default bench, presets, call counting and failures.
#include "sim_registry.h"

#include <cstdlib>
#include <sstream>

namespace ksim {

namespace {

constexpr uint16_t kDefaultModel = 0x1234;  // a 32-input, 4-output Ovrin
constexpr uint8_t kDefaultBus = 1;
constexpr uint8_t kDefaultSlot = 4;
constexpr uint32_t kSlowAutocalMs = 5000;
constexpr double kSineAmplitude = 1000;

void AddBoard(Bus &bus, uint8_t slot) {
    Device d{KSIM_PLX_VENDOR, kDefaultModel, kDefaultBus, slot, std::make_shared<Board>()};
    bus.devices.push_back(std::move(d));
}

// The operator's presets, comma separated (see README.md).
void ApplyPreset(Bus &bus, const std::string &name) {
    auto eachBoard = [&bus](auto change) {
        for (Device &d : bus.devices) {
            if (!d.board) continue;
            BoardSettings s = d.board->Settings();
            change(s);
            d.board->Configure(s);
        }
    };
    if (name == "no-board") {
        bus.devices.clear();
    } else if (name == "two-boards") {
        if (bus.devices.size() < 2) AddBoard(bus, static_cast<uint8_t>(kDefaultSlot + 1));
    } else if (name == "counting") {
        eachBoard([](BoardSettings &s) { s.counting = true; });
    } else if (name == "sine") {
        eachBoard([](BoardSettings &s) {
            for (uint32_t ch = 0; ch < kChannels; ++ch)
                s.sources[ch] = {KSIM_SOURCE_SINE, TAVO_CODE_ZERO, kSineAmplitude, 10.0 * (ch + 1)};
        });
    } else if (name == "fast") {
        eachBoard([](BoardSettings &s) {
            s.initMs = 1;
            s.autocalMs = 50;
        });
    } else if (name == "slow-autocal") {
        eachBoard([](BoardSettings &s) { s.autocalMs = kSlowAutocalMs; });
    } else if (name == "autocal-fail") {
        eachBoard([](BoardSettings &s) { s.autocalFails = true; });
    } else if (name == "no-interrupt") {
        eachBoard([](BoardSettings &s) { s.neverInterrupt = true; });
    }
}

}  // namespace

Bus &TheBus() {
    static Bus *bus = [] {
        auto *b = new Bus;
        std::lock_guard<std::mutex> lock(b->mutex);
        ResetBus(*b);
        return b;
    }();
    return *bus;
}

void ResetBus(Bus &bus) {
    bus.devices.clear();
    bus.memory.clear();
    bus.nextBusAddress = kFirstBusAddress;
    bus.memoryGrant = kGrantAsAsked;
    bus.calls.clear();
    bus.failures.clear();
    AddBoard(bus, kDefaultSlot);
    if (const char *preset = std::getenv("KORVANE_SIM_PRESET")) {
        std::stringstream list(preset);
        std::string name;
        while (std::getline(list, name, ',')) ApplyPreset(bus, name);
    }
}

namespace {
// The bench (and the operator's preset) is set up when the library loads.
[[maybe_unused]] const bool g_benchAtLoad = (TheBus(), true);
}  // namespace

KvStatus Intercept(const char *function) {
    Bus &bus = TheBus();
    std::lock_guard<std::mutex> lock(bus.mutex);
    const uint32_t count = ++bus.calls[function];
    const auto it = bus.failures.find(function);
    if (it == bus.failures.end()) return 0;
    const FailureRule rule = it->second;
    if (rule.nth == 0) return rule.status;
    if (count - rule.base == rule.nth) {
        bus.failures.erase(it);
        return rule.status;
    }
    return 0;
}

Device *OpenDevice(Bus &bus, const DeviceObject *object) {
    if (object == nullptr || object->Opaque[0] != kObjectMagic) return nullptr;
    const uint64_t index = object->Opaque[1];
    if (index >= bus.devices.size()) return nullptr;
    Device &d = bus.devices[index];
    if (!d.open || d.openSerial != object->Opaque[2]) return nullptr;
    return &d;
}

}  // namespace ksim

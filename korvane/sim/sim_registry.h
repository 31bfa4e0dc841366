// The simulated bus: its devices, the host memory blocks that DMA reaches,
// injected call failures and call counts. One lock guards it all; a board
// has its own lock, always taken after this one (or alone), so that a
// transfer waiting on its board never holds up the bus.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "korvane.h"
#include "sim_board.h"

namespace ksim {

struct Device {
    uint16_t vendor;
    uint16_t subDevice;
    uint8_t bus;
    uint8_t slot;
    std::shared_ptr<Board> board;  // none for a foreign vendor
    bool open = false;
    uint64_t openSerial = 0;
};

struct MemoryBlock {
    std::shared_ptr<uint32_t[]> words;
    uint32_t size;
    bool mapped;
};

struct FailureRule {
    KvStatus status;
    uint32_t nth;   // 0: every call
    uint32_t base;  // the call count when the rule was set
};

struct Bus {
    std::mutex mutex;
    std::vector<Device> devices;
    std::map<uint32_t, MemoryBlock> memory;  // by bus address
    uint32_t nextBusAddress;
    uint32_t memoryGrant;
    uint64_t nextSerial = 1;
    std::map<std::string, uint32_t> calls;
    std::map<std::string, FailureRule> failures;
};

// Created at first use and never destroyed: boards' threads may still run
// while the process exits.
Bus &TheBus();

// Counts a call of a korvane function and returns the status injected for
// it, or 0 to go on. Takes the bus lock itself.
KvStatus Intercept(const char *function);

// The device a DeviceObject opened, with the bus lock held; nullptr when the
// object is not open.
Device *OpenDevice(Bus &bus, const DeviceObject *object);

// Resets the bus to the default bench and applies the preset named by the
// environment; with the bus lock held.
void ResetBus(Bus &bus);

// What an open DeviceObject holds: this magic, the device's index and the
// serial of the open (so that an object closed and copied is recognised).
constexpr uint64_t kObjectMagic = 0x4F5652494E53494Dull;
constexpr uint32_t kFirstBusAddress = 0x10000000u;
constexpr uint32_t kBusAddressAlign = 0x10000u;
constexpr uint32_t kGrantAsAsked = 0xFFFFFFFFu;

}  // namespace ksim

// Internal state of the recording double, shared by the korvane functions
// and the control API. Every access holds DoubleState::Lock.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "korvane_double.h"

namespace kdbl {

struct Device {
    uint16_t VendorId = 0;
    uint16_t SubDeviceId = 0;
    uint8_t Bus = 0;
    uint8_t Slot = 0;
    bool Open = false;
    std::map<uint32_t, uint32_t> Registers;
    std::deque<uint32_t> Input;
    std::vector<uint32_t> Output;
    std::vector<std::pair<uint32_t, uint32_t>> InterruptWrites; // offset, bits
};

struct Block {
    std::vector<uint8_t> Bytes;
    bool Mapped = false;
};

struct Registration {
    const NotifyRecord *Record;
    int32_t Device;
    int64_t Event;
};

struct Failure {
    std::string Function;
    int32_t Status;
    uint64_t OnCall; // the function's call number to fail; 0 = every call
};

struct GrantLimit {
    uint64_t OnCall; // 0 = every call
    uint32_t Bytes;
};

// Bus addresses are made up, aligned and far from 0, so that a transfer
// naming a wrong address is caught.
constexpr uint32_t FIRST_BUS_ADDRESS = 0x20000000u;
constexpr uint32_t BUS_ADDRESS_ALIGN = 0x10000u;

struct DoubleState {
    std::mutex Lock;
    std::vector<Device> Devices;
    std::map<uint32_t, Block> Blocks; // by bus address
    uint32_t NextBusAddress = FIRST_BUS_ADDRESS;
    std::vector<Registration> Registrations;
    std::vector<Failure> Failures;
    std::vector<GrantLimit> Grants;
    std::map<std::string, uint64_t> Calls; // calls so far, by function
    std::vector<KDblCall> Log;
};

DoubleState &State();
void ResetLocked(DoubleState &state);

} // namespace kdbl

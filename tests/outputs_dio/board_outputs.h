// The simulated board's four analog outputs, as the program tests read them
// in place of the operator's meter.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "korvane_sim.h"

namespace outputs_dio {

using Codes = std::array<uint16_t, 4>;

constexpr uint32_t WAIT_MS = 30000;

inline Codes AllAt(uint16_t code) { return {code, code, code, code}; }

// The outputs once every word written so far has been clocked out.
inline Codes SettledOutputs(int32_t device = 0) {
    EXPECT_TRUE(KSim_WaitOutputIdle(device, WAIT_MS)) << "output buffer never emptied";
    Codes codes{};
    KSim_Outputs(device, codes.data());
    return codes;
}

// The record entries from entry number `from` (counted since the board was
// opened) up to the latest.
inline std::vector<KSimOutputEntry> RecordFrom(uint64_t from, int32_t device = 0) {
    const uint64_t total = KSim_OutputRecordTotal(device);
    if (total <= from) return {};
    std::vector<KSimOutputEntry> entries(static_cast<size_t>(total - from));
    entries.resize(KSim_OutputRecord(device, entries.data(), entries.size()));
    return entries;
}

inline Codes CodesOf(const KSimOutputEntry &entry) {
    return {entry.Code[0], entry.Code[1], entry.Code[2], entry.Code[3]};
}

}  // namespace outputs_dio

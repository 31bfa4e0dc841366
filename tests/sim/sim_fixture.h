// A simulated board opened through the korvane functions, as tavocore opens
// it, with short timings; helpers for registers, memory and notification.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <vector>

#include "korvane.h"
#include "korvane_sim.h"
#include "os_sync.h"
#include "tavocore_regs.h"

namespace simtest {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kGenerousMs = 10000;
constexpr uint32_t kMemoryBytes = 0x20000;

inline DeviceKey AnyKey() {
    DeviceKey key;
    std::memset(&key, 0xFF, sizeof key);
    return key;
}

// Host memory allocated and mapped through korvane.
struct HostBlock {
    PhysMemDesc desc{};
    uint32_t *Words() const { return reinterpret_cast<uint32_t *>(static_cast<uintptr_t>(desc.UserAddr)); }
};

class BoardTest : public ::testing::Test {
public:
    void SetUp() override {
        KSim_Reset();
        KSim_SetTiming(0, 1, 20);
        Open();
    }
    void TearDown() override {
        for (HostBlock &b : blocks_) {
            PlxPci_PhysicalMemoryUnmap(&device_, &b.desc);
            PlxPci_PhysicalMemoryFree(&device_, &b.desc);
        }
        blocks_.clear();
        for (NotifyRecord *n : notifications_) Pelm_CancelNotification(&device_, n);
        notifications_.clear();
        for (OsEvent e : events_) OsCloseEvent(e);
        PlxPci_DeviceClose(&device_);
        KSim_Reset();
    }

    void Open(uint8_t number = 0) {
        DeviceKey key = AnyKey();
        ASSERT_EQ(PlxPci_DeviceFind(&key, number), KvSuccess);
        ASSERT_EQ(PlxPci_DeviceOpen(&key, &device_), KvSuccess);
    }

    uint32_t Read(uint32_t offset) {
        uint32_t value = 0xDEADBEEF;
        EXPECT_EQ(PlxPci_PciBarSpaceRead(&device_, KV_BAR_REGISTERS, offset, &value, 4, KV_ACCESS_32BIT, 0),
                  KvSuccess);
        return value;
    }
    void Write(uint32_t offset, uint32_t value) {
        EXPECT_EQ(PlxPci_PciBarSpaceWrite(&device_, KV_BAR_REGISTERS, offset, &value, 4, KV_ACCESS_32BIT, 0),
                  KvSuccess);
    }

    // BOARD_INIT, then wait (by polling BCR, bounded) for the board to finish.
    void Initialize() {
        Write(BCR, BOARD_INIT);
        const auto deadline = Clock::now() + std::chrono::milliseconds(kGenerousMs);
        while (Read(BCR) == BOARD_INIT && Clock::now() < deadline) {
        }
        ASSERT_EQ(Read(BCR), BCR_INIT_DONE);
    }

    HostBlock &Memory(uint32_t bytes = kMemoryBytes) {
        blocks_.emplace_back();
        HostBlock &b = blocks_.back();
        b.desc.Size = bytes;
        EXPECT_EQ(PlxPci_PhysicalMemoryAllocate(&device_, &b.desc, 0), KvSuccess);
        EXPECT_EQ(PlxPci_PhysicalMemoryMap(&device_, &b.desc), KvSuccess);
        return b;
    }

    // Waits (by polling, bounded) until autocalibration has ended.
    void WaitAutocalEnd() {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kGenerousMs);
        while ((Read(BCR) & AUTOCAL_START) && Clock::now() < deadline) {
        }
    }

    KvStatus Transfer(const HostBlock &b, uint32_t local, uint32_t words, uint64_t timeoutMs = 2000,
                      uint8_t channel = 0) {
        DmaTransferParams p{};
        p.BusAddr = static_cast<uint32_t>(b.desc.BusAddr);
        p.LocalAddr = local;
        p.ByteCount = words * 4;
        p.Flags = local == IN_DATA ? KV_DMA_LOCAL_TO_HOST : 0;
        return PlxPci_DmaTransferBlock(&device_, channel, &p, timeoutMs);
    }

    void OpenDma(uint8_t channel = 0) {
        DmaChannelProps props{{0x13, 0x60, 0x00}};
        ASSERT_EQ(PlxPci_DmaChannelOpen(&device_, channel, &props), KvSuccess);
    }

    // An event registered for `flags`, with the source enabled at the bridge.
    OsEvent Notify(uint8_t flags) {
        OsEvent event = OsCreateEvent();
        events_.push_back(event);
        auto *record = new NotifyRecord{};
        owned_.emplace_back(record);
        record->Event = OsEventToRecord(event);
        InterruptRecord sources{};
        sources.Flags = static_cast<uint8_t>(KV_INT_ENABLE | flags);
        EXPECT_EQ(PlxPci_InterruptEnable(&device_, &sources), KvSuccess);
        sources.Flags = flags;
        EXPECT_EQ(Pelm_RegisterForNotification(&device_, &sources, record), KvSuccess);
        notifications_.push_back(record);
        return event;
    }
    NotifyRecord *LastRecord() { return notifications_.back(); }

    DeviceObject device_{};
    std::deque<HostBlock> blocks_;
    std::vector<OsEvent> events_;
    std::vector<NotifyRecord *> notifications_;
    std::vector<std::unique_ptr<NotifyRecord>> owned_;
};

}  // namespace simtest

// The simulated bus through the korvane functions: discovery, open and
// close, refused arguments, host memory, injected failures.
#include "sim_fixture.h"

namespace simtest {
namespace {

uint32_t CountFound(std::vector<DeviceKey> *keys = nullptr) {
    for (uint8_t n = 0;; ++n) {
        DeviceKey key = AnyKey();
        if (PlxPci_DeviceFind(&key, n) != KvSuccess) return n;
        if (keys) keys->push_back(key);
    }
}

class Bus : public ::testing::Test {
protected:
    void SetUp() override { KSim_Reset(); }
    void TearDown() override { KSim_Reset(); }
};

TEST_F(Bus, DefaultBenchIsOneOvrinBoard) {
    std::vector<DeviceKey> keys;
    ASSERT_EQ(CountFound(&keys), 1u);
    EXPECT_EQ(keys[0].VendorId, KSIM_PLX_VENDOR);
    EXPECT_EQ(keys[0].Bus, 1);
    EXPECT_EQ(keys[0].Slot, 4);
    EXPECT_NE(keys[0].SubDeviceId, 0);
}

TEST_F(Bus, FindNumbersEveryDeviceAndHonoursWildcards) {
    KSim_ClearDevices();
    KSim_AddDevice(KSIM_PLX_VENDOR, 0x1234, 2, 3);
    KSim_AddDevice(0x8086, 0x0001, 2, 5);  // foreign: found, uses a number
    KSim_AddDevice(KSIM_PLX_VENDOR, 0x4321, 3, 0x1F);
    std::vector<DeviceKey> keys;
    ASSERT_EQ(CountFound(&keys), 3u);
    EXPECT_EQ(keys[1].VendorId, 0x8086);
    EXPECT_EQ(keys[2].SubDeviceId, 0x4321);
    EXPECT_EQ(keys[2].Slot, 0x1F);

    DeviceKey onBus3 = AnyKey();
    onBus3.Bus = 3;
    ASSERT_EQ(PlxPci_DeviceFind(&onBus3, 0), KvSuccess);
    EXPECT_EQ(onBus3.SubDeviceId, 0x4321);
    EXPECT_NE(PlxPci_DeviceFind(&onBus3, 1), KvSuccess);
    EXPECT_EQ(PlxPci_DeviceFind(nullptr, 0), KvNullParam);
}

TEST_F(Bus, ManyBoardsAndAFullBus) {
    KSim_ClearDevices();
    for (uint8_t i = 0; i < 11; ++i) EXPECT_EQ(KSim_AddDevice(KSIM_PLX_VENDOR, 0x1234, 1, i), i);
    EXPECT_EQ(CountFound(), 11u);
    while (KSim_DeviceCount() < KSIM_MAX_DEVICES) KSim_AddDevice(KSIM_PLX_VENDOR, 0x1234, 9, 9);
    EXPECT_EQ(KSim_AddDevice(KSIM_PLX_VENDOR, 0x1234, 9, 9), -1);
}

TEST_F(Bus, SecondOpenIsRefusedAndAClosedObjectIsInvalid) {
    DeviceKey key = AnyKey();
    ASSERT_EQ(PlxPci_DeviceFind(&key, 0), KvSuccess);
    DeviceObject device{};
    DeviceObject other{};
    ASSERT_EQ(PlxPci_DeviceOpen(&key, &device), KvSuccess);
    EXPECT_EQ(KSim_OpenCount(), 1u);
    EXPECT_EQ(PlxPci_DeviceOpen(&key, &device), KvDeviceInUse);
    EXPECT_EQ(PlxPci_DeviceOpen(&key, &other), KvDeviceInUse);
    DeviceObject copy = device;
    ASSERT_EQ(PlxPci_DeviceClose(&device), KvSuccess);
    EXPECT_EQ(KSim_OpenCount(), 0u);
    uint32_t value = 0;
    EXPECT_EQ(PlxPci_PciBarSpaceRead(&copy, KV_BAR_REGISTERS, BCR, &value, 4, KV_ACCESS_32BIT, 0), KvInvalidHandle);
    EXPECT_EQ(PlxPci_DeviceClose(&copy), KvInvalidHandle);
    DeviceObject never{};
    EXPECT_EQ(PlxPci_DeviceClose(&never), KvInvalidHandle);
    DriverProperties props{};
    EXPECT_EQ(PlxPci_DriverProperties(&never, &props), KvInvalidHandle);
}

using Access = BoardTest;

TEST_F(Access, RegisterAccessOutsideTheMapIsRefusedNotCrashed) {
    struct Case {
        const char *name;
        uint8_t bar;
        uint32_t offset;
        uint32_t bytes;
        int32_t access;
        bool nullData;
        KvStatus status;
    } cases[] = {
        {"BAR 0", 0, BCR, 4, KV_ACCESS_32BIT, false, KvInvalidPciSpace},
        {"two bytes", KV_BAR_REGISTERS, BCR, 2, KV_ACCESS_32BIT, false, KvInvalidSize},
        {"byte access", KV_BAR_REGISTERS, BCR, 4, 0, false, KvInvalidAccessType},
        {"past the map", KV_BAR_REGISTERS, TAVO_REGISTER_SPAN, 4, KV_ACCESS_32BIT, false, KvInvalidOffset},
        {"unaligned", KV_BAR_REGISTERS, 2, 4, KV_ACCESS_32BIT, false, KvInvalidOffset},
        {"far away", KV_BAR_REGISTERS, 0xFFFFFFFC, 4, KV_ACCESS_32BIT, false, KvInvalidOffset},
        {"no data", KV_BAR_REGISTERS, BCR, 4, KV_ACCESS_32BIT, true, KvNullParam},
    };
    for (const Case &c : cases) {
        uint32_t value = 0;
        void *data = c.nullData ? nullptr : &value;
        EXPECT_EQ(PlxPci_PciBarSpaceRead(&device_, c.bar, c.offset, data, c.bytes, c.access, 0), c.status) << c.name;
        EXPECT_EQ(PlxPci_PciBarSpaceWrite(&device_, c.bar, c.offset, data, c.bytes, c.access, 0), c.status) << c.name;
    }
    EXPECT_EQ(Read(FW_REV), KSim_PeekRegister(0, FW_REV)) << "board unharmed";
}

TEST_F(Access, MemoryIsZeroedDistinctAndMappedOnlyOnRequest) {
    PhysMemDesc a{};
    PhysMemDesc b{};
    a.Size = b.Size = 0x1000;
    ASSERT_EQ(PlxPci_PhysicalMemoryAllocate(&device_, &a, 0), KvSuccess);
    ASSERT_EQ(PlxPci_PhysicalMemoryAllocate(&device_, &b, 0), KvSuccess);
    EXPECT_EQ(a.UserAddr, 0u);
    EXPECT_NE(a.BusAddr, b.BusAddr);
    EXPECT_EQ(a.Size, 0x1000u);
    ASSERT_EQ(PlxPci_PhysicalMemoryMap(&device_, &a), KvSuccess);
    const auto *words = reinterpret_cast<const uint32_t *>(static_cast<uintptr_t>(a.UserAddr));
    for (uint32_t i = 0; i < 0x1000 / 4; ++i) ASSERT_EQ(words[i], 0u);
    EXPECT_EQ(PlxPci_PhysicalMemoryUnmap(&device_, &a), KvSuccess);
    EXPECT_EQ(a.UserAddr, 0u);
    EXPECT_EQ(PlxPci_PhysicalMemoryUnmap(&device_, &a), KvInvalidAddress) << "not mapped";
    EXPECT_EQ(PlxPci_PhysicalMemoryFree(&device_, &a), KvSuccess);
    EXPECT_EQ(PlxPci_PhysicalMemoryFree(&device_, &a), KvInvalidAddress) << "already free";
    EXPECT_EQ(PlxPci_PhysicalMemoryFree(&device_, &b), KvSuccess);
}

TEST_F(Access, DmaResolvesOnlyAddressesInsideABlock) {
    OpenDma();
    HostBlock &mem = Memory(0x1000);
    const uint32_t bus = static_cast<uint32_t>(mem.desc.BusAddr);
    struct Case {
        const char *name;
        uint32_t busAddr;
        uint32_t bytes;
        uint32_t local;
        KvStatus status;
    } cases[] = {
        {"whole block", bus, 0x1000, OUT_DATA, KvSuccess},
        {"inside", bus + 0x800, 0x800, OUT_DATA, KvSuccess},
        {"beyond the block", bus + 0x800, 0x804, OUT_DATA, KvInvalidSize},
        {"unknown address", bus - 0x1000, 4, OUT_DATA, KvInvalidAddress},
        {"after the block", bus + 0x1000, 4, OUT_DATA, KvInvalidAddress},
        {"no bytes", bus, 0, OUT_DATA, KvInvalidSize},
        {"not whole words", bus, 6, OUT_DATA, KvInvalidSize},
        {"not a data register", bus, 4, BCR, KvInvalidAddress},
    };
    for (const Case &c : cases) {
        DmaTransferParams p{};
        p.BusAddr = c.busAddr;
        p.LocalAddr = c.local;
        p.ByteCount = c.bytes;
        EXPECT_EQ(PlxPci_DmaTransferBlock(&device_, 0, &p, 2000), c.status) << c.name;
    }
    DmaTransferParams p{};
    p.BusAddr = bus;
    p.LocalAddr = OUT_DATA;
    p.ByteCount = 4;
    EXPECT_EQ(PlxPci_DmaTransferBlock(&device_, 1, &p, 2000), KvDmaChannelUnavailable) << "channel 1 not open";
    EXPECT_EQ(PlxPci_DmaTransferBlock(&device_, 2, &p, 2000), KvDmaChannelInvalid);
    DmaChannelProps props{{0x13, 0x60, 0x00}};
    EXPECT_EQ(PlxPci_DmaChannelOpen(&device_, 0, &props), KvDmaChannelUnavailable) << "already open";
    EXPECT_EQ(PlxPci_DmaChannelClose(&device_, 0), KvSuccess);
    EXPECT_EQ(PlxPci_DmaTransferBlock(&device_, 0, &p, 2000), KvDmaChannelUnavailable) << "closed";
}

TEST_F(Access, InjectedFailuresAndGrants) {
    KSim_FailCall("PlxPci_PciBarSpaceWrite", KvFailed, 2);
    uint32_t value = 0;
    auto write = [&] { return PlxPci_PciBarSpaceWrite(&device_, KV_BAR_REGISTERS, DIO, &value, 4, KV_ACCESS_32BIT, 0); };
    EXPECT_EQ(write(), KvSuccess);
    EXPECT_EQ(write(), KvFailed) << "the second call from now";
    EXPECT_EQ(write(), KvSuccess) << "only once";
    KSim_FailCall("PlxPci_PciBarSpaceWrite", KvInvalidHandle, 0);
    EXPECT_EQ(write(), KvInvalidHandle);
    EXPECT_EQ(write(), KvInvalidHandle);
    EXPECT_EQ(KSim_CallCount("PlxPci_PciBarSpaceWrite"), 5u);
    KSim_ClearFailures();
    EXPECT_EQ(write(), KvSuccess);

    KSim_SetMemoryGrant(0);
    PhysMemDesc none{};
    none.Size = kMemoryBytes;
    EXPECT_EQ(PlxPci_PhysicalMemoryAllocate(&device_, &none, 0), KvSuccess);
    EXPECT_EQ(none.Size, 0u) << "nothing granted";
    KSim_SetMemoryGrant(0x800);
    PhysMemDesc some{};
    some.Size = kMemoryBytes;
    EXPECT_EQ(PlxPci_PhysicalMemoryAllocate(&device_, &some, 1), KvSuccess);
    EXPECT_EQ(some.Size, 0x800u);
    EXPECT_EQ(PlxPci_PhysicalMemoryFree(&device_, &some), KvSuccess);
}

}  // namespace
}  // namespace simtest

// DMA channels, block transfers and further physical memory.
#include <functional>
#include <numeric>

#include "double_fixture.h"

namespace {

constexpr uint32_t SENTINEL = 0xA5A5A5A5u;

DmaTransferParams Params(uint64_t bus, uint32_t local, uint32_t bytes, uint32_t flags)
{
    DmaTransferParams params;
    memset(&params, 0, sizeof params);
    params.BusAddr = static_cast<uint32_t>(bus);
    params.LocalAddr = local;
    params.ByteCount = bytes;
    params.Flags = flags;
    return params;
}

std::vector<uint32_t> Counting(uint32_t count, uint32_t first)
{
    std::vector<uint32_t> words(count);
    std::iota(words.begin(), words.end(), first);
    return words;
}

TEST_F(DoubleTest, FromBufferMovesOneBlockFromInDataAndCopiesItOut)
{
    const int32_t device = OpenBoard();
    const std::vector<uint32_t> input = Counting(4096, 0x10000);
    KDbl_LoadInput(device, input.data(), 4096);
    std::vector<uint32_t> destination(4100, SENTINEL);

    EXPECT_EQ(Tavo_DMA_FROM_Buffer(1, 0, 4096, destination.data(), &status), 4096u);
    EXPECT_EQ(status, 0);
    const std::vector<KDblCall> transfers = CallsOf("PlxPci_DmaTransferBlock");
    ASSERT_EQ(Calls().size(), 1u);
    const DmaTransferParams expected = Params(inputBus, IN_DATA, 16384, KV_DMA_LOCAL_TO_HOST);
    EXPECT_EQ(RecordHex(transfers[0]), Hex(&expected, sizeof expected));
    EXPECT_EQ(transfers[0].Args[0], 0u);
    EXPECT_EQ(transfers[0].Args[1], 2000u) << "time-out in milliseconds";
    EXPECT_EQ(std::vector<uint32_t>(destination.begin(), destination.begin() + 4096), input);
    EXPECT_EQ(std::vector<uint32_t>(destination.begin() + 4096, destination.end()),
              std::vector<uint32_t>(4, SENTINEL));
}

TEST_F(DoubleTest, ToBufferCopiesTheWordsInBeforeOneBlockToOutData)
{
    const int32_t device = OpenBoard();
    const std::vector<uint32_t> source = Counting(6000, 0x40000);

    EXPECT_EQ(Tavo_DMA_TO_Buffer(1, 1, 6000, source.data(), &status), 6000u);
    EXPECT_EQ(status, 0);
    const std::vector<KDblCall> transfers = CallsOf("PlxPci_DmaTransferBlock");
    ASSERT_EQ(Calls().size(), 1u);
    const DmaTransferParams expected = Params(outputBus, OUT_DATA, 24000, 0);
    EXPECT_EQ(RecordHex(transfers[0]), Hex(&expected, sizeof expected));
    EXPECT_EQ(transfers[0].Args[0], 1u);
    std::vector<uint32_t> delivered(6000);
    EXPECT_EQ(KDbl_Output(device, delivered.data(), 6000), 6000u);
    EXPECT_EQ(delivered, source);
}

struct ChannelCase {
    const char *Name;
    std::function<void(uint32_t channel, int32_t *status)> Op;
    const char *Function;
};

const ChannelCase CHANNEL_CASES[] = {
    {"From", [](uint32_t ch, int32_t *s) { uint32_t w[4]; Tavo_DMA_FROM_Buffer(1, ch, 4, w, s); },
     "PlxPci_DmaTransferBlock"},
    {"To", [](uint32_t ch, int32_t *s) { const uint32_t w[4] = {}; Tavo_DMA_TO_Buffer(1, ch, 4, w, s); },
     "PlxPci_DmaTransferBlock"},
    {"Open", [](uint32_t ch, int32_t *s) { Tavo_Open_DMA_Channel(1, ch, s); }, "PlxPci_DmaChannelOpen"},
    {"Close", [](uint32_t ch, int32_t *s) { Tavo_Close_DMA_Channel(1, ch, s); }, "PlxPci_DmaChannelClose"},
};

class ChannelTest : public DoubleTest, public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(ChannelTest, OnlyBitZeroOfTheChannelCounts)
{
    OpenBoard();
    for (uint32_t channel : {0u, 1u, 2u, 3u, 0xFFu})
        GetParam().Op(channel, &status);
    std::vector<uint64_t> passed;
    for (const KDblCall &call : CallsOf(GetParam().Function))
        passed.push_back(call.Args[0]);
    EXPECT_EQ(passed, (std::vector<uint64_t>{0, 1, 0, 1, 1}));
    EXPECT_EQ(status, 0);
}

INSTANTIATE_TEST_SUITE_P(Dma, ChannelTest, ::testing::ValuesIn(CHANNEL_CASES),
                         CaseName());

TEST_F(DoubleTest, ChannelOpenPassesItsFixedPropertiesAndReportsFailures)
{
    OpenBoard();
    EXPECT_EQ(Tavo_Open_DMA_Channel(1, 0, &status), ApiSuccess);
    EXPECT_EQ(RecordHex(CallsOf("PlxPci_DmaChannelOpen")[0]), "13 60 00");
    EXPECT_EQ(status, 0);

    KDbl_Fail("PlxPci_DmaChannelOpen", ApiDmaChannelUnavailable, 1);
    KDbl_Fail("PlxPci_DmaChannelClose", ApiDmaChannelInvalid, 1);
    EXPECT_EQ(Tavo_Open_DMA_Channel(1, 0, &status), ApiDmaChannelUnavailable);
    EXPECT_EQ(status, ApiDmaChannelUnavailable);
    EXPECT_EQ(Tavo_Close_DMA_Channel(1, 0, &status), ApiDmaChannelInvalid);
    EXPECT_EQ(status, ApiDmaChannelInvalid);
}

TEST_F(DoubleTest, FailedTransferReportsItsStatusAndLeavesTheCallersArray)
{
    const int32_t device = OpenBoard();
    const std::vector<uint32_t> input = Counting(16, 1);
    KDbl_LoadInput(device, input.data(), 16);
    KDbl_Fail("PlxPci_DmaTransferBlock", ApiWaitTimeout, KDBL_EVERY_CALL);
    std::vector<uint32_t> words(16, SENTINEL);

    EXPECT_EQ(Tavo_DMA_FROM_Buffer(1, 0, 16, words.data(), &status), 0u);
    EXPECT_EQ(status, ApiWaitTimeout);
    EXPECT_EQ(words, std::vector<uint32_t>(16, SENTINEL));

    status = 0;
    EXPECT_EQ(Tavo_DMA_TO_Buffer(1, 0, 16, input.data(), &status), 0u);
    EXPECT_EQ(status, ApiWaitTimeout);
}

struct RefusalCase {
    const char *Name;
    std::function<void(DoubleTest *)> Setup; // leaves the board in the state to refuse from
    uint32_t Board;
    uint32_t Words;
    bool NullArray;
    int32_t Status;
};

const RefusalCase REFUSAL_CASES[] = {
    // Board 9 is never opened by any test: its buffer records are as loaded.
    {"BeforeGetHandle", [](DoubleTest *) {}, 9, 16, false, 0},
    {"AfterCloseHandle", [](DoubleTest *) { int32_t s = 0; Tavo_Close_Handle(1, &s); }, 1, 16, false, 0},
    {"MoreWordsThanTheBuffer", [](DoubleTest *) {}, 1, TAVO_DMA_MAX_WORDS + 1, false, ApiInvalidDMANumWords},
    {"NoCallerArray", [](DoubleTest *) {}, 1, 16, true, ApiNullParam},
};

class RefusalTest : public DoubleTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, MovesAndCopiesNothing)
{
    const RefusalCase &c = GetParam();
    OpenBoard();
    c.Setup(this);
    KDbl_ClearLog();
    std::vector<uint32_t> words(TAVO_DMA_MAX_WORDS + 1, SENTINEL);
    uint32_t *array = c.NullArray ? nullptr : words.data();

    EXPECT_EQ(Tavo_DMA_FROM_Buffer(c.Board, 0, c.Words, array, &status), 0u);
    EXPECT_EQ(status, c.Status);
    status = 0;
    EXPECT_EQ(Tavo_DMA_TO_Buffer(c.Board, 0, c.Words, array, &status), 0u);
    EXPECT_EQ(status, c.Status);
    EXPECT_EQ(Calls().size(), 0u);
    EXPECT_EQ(words[0], SENTINEL);
}

INSTANTIATE_TEST_SUITE_P(Dma, RefusalTest, ::testing::ValuesIn(REFUSAL_CASES),
                         CaseName());

TEST_F(DoubleTest, AWholeBufferIsTheLargestTransfer)
{
    const int32_t device = OpenBoard();
    const std::vector<uint32_t> source = Counting(TAVO_DMA_MAX_WORDS, 7);
    EXPECT_EQ(Tavo_DMA_TO_Buffer(1, 0, TAVO_DMA_MAX_WORDS, source.data(), &status), TAVO_DMA_MAX_WORDS);
    EXPECT_EQ(KDbl_Output(device, nullptr, 0), TAVO_DMA_MAX_WORDS);
    EXPECT_EQ(status, 0);
}

TEST_F(DoubleTest, ZeroWordsReturnZero)
{
    OpenBoard();
    EXPECT_EQ(Tavo_DMA_FROM_Buffer(1, 0, 0, nullptr, &status), 0u);
    EXPECT_EQ(Tavo_DMA_TO_Buffer(1, 0, 0, nullptr, &status), 0u);
    EXPECT_EQ(status, 0);
}

TEST_F(DoubleTest, PhysicalMemoryIsGrantedMappedAndReleased)
{
    OpenBoard();
    PhysMemDesc memory{};
    memory.Size = 0x4000;
    KDbl_LimitGrant(1, 0x1000);

    EXPECT_EQ(Tavo_Get_Physical_Memory(1, &memory, 5, &status), 0x1000u);
    EXPECT_EQ(status, 0);
    EXPECT_NE(memory.UserAddr, 0u);
    ASSERT_EQ(CallNames(), (std::vector<std::string>{"PlxPci_PhysicalMemoryAllocate", "PlxPci_PhysicalMemoryMap"}));
    EXPECT_EQ(Calls()[0].Args[0], 1u) << "a nonzero flag is passed as 1";
    EXPECT_EQ(Calls()[0].RecordAddress[0], reinterpret_cast<uintptr_t>(&memory));

    KDbl_ClearLog();
    EXPECT_EQ(Tavo_Free_Physical_Memory(1, &memory, &status), ApiSuccess);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"PlxPci_PhysicalMemoryUnmap", "PlxPci_PhysicalMemoryFree"}));
    EXPECT_EQ(KDbl_MemoryBlocks(), 2u) << "only the board's own buffers are left";
    EXPECT_EQ(status, 0);
}

TEST_F(DoubleTest, PhysicalMemoryFailuresAreStored)
{
    OpenBoard();
    PhysMemDesc memory{};
    memory.Size = 0x1000;
    KDbl_Fail("PlxPci_PhysicalMemoryAllocate", ApiInsufficientResources, 1);
    EXPECT_EQ(Tavo_Get_Physical_Memory(1, &memory, 0, &status), 0u);
    EXPECT_EQ(status, ApiInsufficientResources);
    EXPECT_EQ(CallNames(), std::vector<std::string>{"PlxPci_PhysicalMemoryAllocate"});

    KDbl_Fail("PlxPci_PhysicalMemoryMap", ApiInvalidAddress, 1);
    EXPECT_EQ(Tavo_Get_Physical_Memory(1, &memory, 0, &status), 0u);
    EXPECT_EQ(status, ApiInvalidAddress);

    // The free runs after a failed unmap; its own status is the result.
    status = 0;
    KDbl_Fail("PlxPci_PhysicalMemoryUnmap", ApiFailed, 1);
    EXPECT_EQ(Tavo_Free_Physical_Memory(1, &memory, &status), ApiSuccess);
    EXPECT_EQ(status, ApiFailed);
    EXPECT_EQ(KDbl_MemoryBlocks(), 2u);
}

} // namespace

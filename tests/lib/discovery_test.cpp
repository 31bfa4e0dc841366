// Board search and listing, opening a board with its buffers, closing it.
#include <algorithm>
#include <functional>

#include "double_fixture.h"

namespace {

struct DeviceSpec {
    uint16_t Vendor;
    uint16_t Model;
    uint8_t Bus;
    uint8_t Slot;
};

std::vector<DeviceSpec> Boards(size_t count, DeviceSpec spec)
{
    return std::vector<DeviceSpec>(count, spec);
}

struct ListingCase {
    const char *Name;
    std::vector<DeviceSpec> Devices;
    uint32_t Count;
    std::string Listing;
    uint32_t Searches; // PlxPci_DeviceFind calls
};

std::string TenLongLines()
{
    std::string listing;
    for (int board = 1; board <= 10; ++board)
        listing += "Board # - " + std::to_string(board) +
                   " : Bus - FF : Slot - FF : Type - 16B4 : Ser# - OVR-1632-AO4-XT\n";
    return listing;
}

const ListingCase LISTING_CASES[] = {
    {"NoDevice", {}, 0, "No Devices Available\n", 1},
    {"TwoBoards",
     {{BRIDGE_VENDOR, 0x1234, 1, 4}, {BRIDGE_VENDOR, 0x1610, 0x1A, 0x0F}},
     2,
     "Board # - 1 : Bus - 1 : Slot - 4 : Type - 1234 : Ser# - OVR-1232-AO4\n"
     "Board # - 2 : Bus - 1A : Slot - F : Type - 1610 : Ser# - OVR-1616-AI\n",
     3},
    {"ModelsOutsideTheCatalogue",
     {{BRIDGE_VENDOR, 0x00AB, 0, 0}, {BRIDGE_VENDOR, 0xA500, 2, 3}},
     2,
     "Board # - 1 : Bus - 0 : Slot - 0 : Type - 00AB : Ser# - Unknown\n"
     "Board # - 2 : Bus - 2 : Slot - 3 : Type - A500 : Ser# - Unknown\n",
     3},
    {"ForeignDeviceBetweenBoards",
     {{BRIDGE_VENDOR, 0x1214, 1, 4}, {FOREIGN_VENDOR, 0x1234, 1, 5}, {BRIDGE_VENDOR, 0x16B4, 2, 1}},
     2,
     "Board # - 1 : Bus - 1 : Slot - 4 : Type - 1214 : Ser# - OVR-1216-AO4\n"
     "Board # - 2 : Bus - 2 : Slot - 1 : Type - 16B4 : Ser# - OVR-1632-AO4-XT\n",
     4},
    {"OnlyForeignDevices", {{FOREIGN_VENDOR, 0x1234, 1, 4}}, 0, "No Devices Available\n", 2},
    // The longest lines; the eleventh board is never asked for.
    {"ElevenBoards", Boards(11, {BRIDGE_VENDOR, 0x16B4, 0xFF, 0xFF}), 10, TenLongLines(), 10},
    // An 8-bit device number: after 256 numbers the search ends rather than
    // start over and list the same devices again.
    {"DeviceNumbersRunOut", Boards(300, {FOREIGN_VENDOR, 0x1234, 1, 1}), 0, "No Devices Available\n", 256},
};

class ListingTest : public DoubleTest, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(ListingTest, ListsTheBoardsInSearchOrder)
{
    const ListingCase &c = GetParam();
    for (const DeviceSpec &d : c.Devices)
        KDbl_AddDevice(d.Vendor, d.Model, d.Bus, d.Slot);
    char list[TAVO_BOARD_LIST_SIZE];
    memset(list, '#', sizeof list);
    status = 7777;

    EXPECT_EQ(Tavo_FindBoards(list, &status), c.Count);
    EXPECT_EQ(std::string(list), c.Listing);
    EXPECT_EQ(CallsOf("PlxPci_DeviceFind").size(), c.Searches);
    EXPECT_EQ(status, 7777) << "the search never writes the status word";
}

INSTANTIATE_TEST_SUITE_P(Listing, ListingTest, ::testing::ValuesIn(LISTING_CASES),
                         CaseName());

TEST_F(DoubleTest, SearchAsksWithAWildcardKeyAndNumbersDevicesFromZero)
{
    KDbl_AddDevice(BRIDGE_VENDOR, MODEL_ID, 1, 4);
    char list[TAVO_BOARD_LIST_SIZE];
    Tavo_FindBoards(list, &status);
    const std::vector<KDblCall> finds = CallsOf("PlxPci_DeviceFind");
    ASSERT_EQ(finds.size(), 2u);
    for (uint32_t i = 0; i < finds.size(); ++i) {
        EXPECT_EQ(finds[i].Args[0], i);
        const DeviceKey key = RecordAs<DeviceKey>(finds[i]);
        const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&key);
        EXPECT_EQ(std::count(bytes, bytes + sizeof key, 0xFF), static_cast<std::ptrdiff_t>(sizeof key));
    }
}

TEST_F(DoubleTest, SearchFailingAtOnceListsNothingAndLeavesTheStatusAlone)
{
    KDbl_AddDevice(BRIDGE_VENDOR, MODEL_ID, 1, 4);
    KDbl_Fail("PlxPci_DeviceFind", ApiNoActiveDriver, KDBL_EVERY_CALL);
    char list[TAVO_BOARD_LIST_SIZE];
    EXPECT_EQ(Tavo_FindBoards(list, &status), 0u);
    EXPECT_STREQ(list, "No Devices Available\n");
    EXPECT_EQ(status, 0);
}

TEST_F(DoubleTest, SearchWithoutAListingBufferStillFindsTheBoards)
{
    KDbl_AddDevice(BRIDGE_VENDOR, MODEL_ID, 1, 4);
    EXPECT_EQ(Tavo_FindBoards(nullptr, &status), 1u);
    EXPECT_EQ(Tavo_Get_Handle(&status, 1), 1);
    EXPECT_EQ(KDbl_OpenDevices(), 1u);
}

TEST_F(DoubleTest, NewSearchForgetsBoardsThatAreGone)
{
    OpenBoard(3);
    Tavo_Close_Handle(1, &status);
    KDbl_Reset();
    KDbl_AddDevice(BRIDGE_VENDOR, MODEL_ID, 1, 4);
    char list[TAVO_BOARD_LIST_SIZE];
    ASSERT_EQ(Tavo_FindBoards(list, &status), 1u);

    KDbl_ClearLog();
    EXPECT_EQ(Tavo_Get_Handle(&status, 2), 1);
    EXPECT_EQ(Calls().size(), 0u) << "board 2 is not opened";
    EXPECT_EQ(status, 0);
}

TEST_F(DoubleTest, OpensTheBoardOfTheNumberAsked)
{
    KDbl_AddDevice(BRIDGE_VENDOR, MODEL_ID, 1, 4);
    KDbl_AddDevice(BRIDGE_VENDOR, MODEL_ID, 7, 9);
    char list[TAVO_BOARD_LIST_SIZE];
    Tavo_FindBoards(list, &status);
    KDbl_ClearLog();

    EXPECT_EQ(Tavo_Get_Handle(&status, 2), 2);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{
                               "PlxPci_DeviceOpen", "PlxPci_DriverProperties", "PlxPci_PhysicalMemoryAllocate",
                               "PlxPci_PhysicalMemoryMap", "PlxPci_PhysicalMemoryAllocate",
                               "PlxPci_PhysicalMemoryMap"}));
    const KDblCall open = Calls()[0];
    const DeviceKey key = RecordAs<DeviceKey>(open);
    EXPECT_EQ(key.Bus, 7);
    EXPECT_EQ(key.Slot, 9);
    EXPECT_EQ(open.Device, KDBL_NO_DEVICE) << "opened on a fresh object";
    for (const KDblCall &allocate : CallsOf("PlxPci_PhysicalMemoryAllocate")) {
        const PhysMemDesc wanted = RecordAs<PhysMemDesc>(allocate);
        EXPECT_EQ(wanted.UserAddr, 0u);
        EXPECT_EQ(wanted.Size, TAVO_DMA_BUFFER_BYTES);
        EXPECT_EQ(allocate.Args[0], 0u) << "the full size is required";
        EXPECT_EQ(allocate.Device, 1);
    }
    EXPECT_EQ(KDbl_MemoryBlocks(), 2u);
    EXPECT_EQ(status, 0);
}

struct HandleCase {
    const char *Name;
    std::function<void()> Script;
    uint32_t Board;
    int32_t Result;
    int32_t Status;
    std::vector<std::string> Calls;
    uint32_t BlocksLeft;
};

const std::vector<std::string> OPEN_ONLY = {"PlxPci_DeviceOpen"};

const HandleCase HANDLE_CASES[] = {
    {"BoardZero", [] {}, 0, -1, ApiInvalidDeviceInfo, {}, 0},
    {"BoardEleven", [] {}, 11, -1, ApiInvalidDeviceInfo, {}, 0},
    {"BoardNotFound", [] {}, 3, 2, 0, {}, 0},
    {"OpenRefused", [] { KDbl_Fail("PlxPci_DeviceOpen", ApiDeviceInUse, 1); }, 1, -1, ApiDeviceInUse, OPEN_ONLY, 0},
    {"DriverPropertiesIgnored",
     [] { KDbl_Fail("PlxPci_DriverProperties", ApiFailed, 1); },
     1,
     2,
     0,
     {"PlxPci_DeviceOpen", "PlxPci_DriverProperties", "PlxPci_PhysicalMemoryAllocate", "PlxPci_PhysicalMemoryMap",
      "PlxPci_PhysicalMemoryAllocate", "PlxPci_PhysicalMemoryMap"},
     2},
    {"InputReservationRefused",
     [] { KDbl_Fail("PlxPci_PhysicalMemoryAllocate", ApiFailed, 1); },
     1,
     -1,
     ApiInsufficientResources,
     {"PlxPci_DeviceOpen", "PlxPci_DriverProperties", "PlxPci_PhysicalMemoryAllocate"},
     0},
    {"InputMappingRefused",
     [] { KDbl_Fail("PlxPci_PhysicalMemoryMap", ApiInvalidAddress, 1); },
     1,
     -1,
     ApiInsufficientResources,
     {"PlxPci_DeviceOpen", "PlxPci_DriverProperties", "PlxPci_PhysicalMemoryAllocate", "PlxPci_PhysicalMemoryMap"},
     1},
    {"OutputGrantedNothing",
     [] { KDbl_LimitGrant(2, 0); },
     1,
     -1,
     ApiInsufficientResources,
     {"PlxPci_DeviceOpen", "PlxPci_DriverProperties", "PlxPci_PhysicalMemoryAllocate", "PlxPci_PhysicalMemoryMap",
      "PlxPci_PhysicalMemoryAllocate", "PlxPci_PhysicalMemoryMap"},
     1},
    {"OutputMappingRefused",
     [] { KDbl_Fail("PlxPci_PhysicalMemoryMap", ApiFailed, 2); },
     1,
     -1,
     ApiInsufficientResources,
     {"PlxPci_DeviceOpen", "PlxPci_DriverProperties", "PlxPci_PhysicalMemoryAllocate", "PlxPci_PhysicalMemoryMap",
      "PlxPci_PhysicalMemoryAllocate", "PlxPci_PhysicalMemoryMap"},
     2},
};

class HandleTest : public DoubleTest, public ::testing::WithParamInterface<HandleCase> {};

TEST_P(HandleTest, OpensOrFailsAsAStep)
{
    const HandleCase &c = GetParam();
    KDbl_AddDevice(BRIDGE_VENDOR, MODEL_ID, 1, 4);
    KDbl_AddDevice(BRIDGE_VENDOR, MODEL_ID, 1, 5);
    char list[TAVO_BOARD_LIST_SIZE];
    ASSERT_EQ(Tavo_FindBoards(list, &status), 2u);
    KDbl_ClearLog();
    c.Script();

    EXPECT_EQ(Tavo_Get_Handle(&status, c.Board), c.Result);
    EXPECT_EQ(status, c.Status);
    EXPECT_EQ(CallNames(), c.Calls);
    EXPECT_EQ(KDbl_MemoryBlocks(), c.BlocksLeft) << "what was reserved before a failure stays reserved";
    for (const KDblCall &call : CallsOf("PlxPci_PhysicalMemoryUnmap"))
        ADD_FAILURE() << "nothing is released on failure: " << call.Function;
}

INSTANTIATE_TEST_SUITE_P(GetHandle, HandleTest, ::testing::ValuesIn(HANDLE_CASES),
                         CaseName());

struct CloseCase {
    const char *Name;
    std::vector<std::pair<const char *, int32_t>> Failures; // function, status; on the nth call below
    std::vector<uint32_t> OnCall;
    int32_t Result;
    int32_t Status;
};

const CloseCase CLOSE_CASES[] = {
    {"AllSucceed", {}, {}, ApiSuccess, 0},
    {"LastFailureWins",
     {{"PlxPci_PhysicalMemoryUnmap", ApiInvalidAddress}, {"PlxPci_PhysicalMemoryFree", ApiInvalidHandle}},
     {1, 2},
     ApiSuccess,
     ApiInvalidHandle},
    {"EarlyFailureKeptWhenTheRestSucceed", {{"PlxPci_PhysicalMemoryFree", ApiFailed}}, {1}, ApiSuccess, ApiFailed},
    {"CloseFailureIsTheResult",
     {{"PlxPci_PhysicalMemoryUnmap", ApiInvalidAddress}, {"PlxPci_DeviceClose", ApiInvalidHandle}},
     {2, 1},
     ApiInvalidHandle,
     ApiInvalidHandle},
};

class CloseTest : public DoubleTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseTest, RunsAllFiveStepsAndKeepsTheLastFailure)
{
    const CloseCase &c = GetParam();
    OpenBoard();
    for (size_t i = 0; i < c.Failures.size(); ++i)
        KDbl_Fail(c.Failures[i].first, c.Failures[i].second, c.OnCall[i]);

    EXPECT_EQ(Tavo_Close_Handle(1, &status), c.Result);
    EXPECT_EQ(status, c.Status);
    const std::vector<KDblCall> calls = Calls();
    ASSERT_EQ(CallNames(), (std::vector<std::string>{"PlxPci_PhysicalMemoryUnmap", "PlxPci_PhysicalMemoryFree",
                                                     "PlxPci_PhysicalMemoryUnmap", "PlxPci_PhysicalMemoryFree",
                                                     "PlxPci_DeviceClose"}));
    // Input buffer first, then the output buffer, each on the board's object.
    const uint64_t input = RecordAs<PhysMemDesc>(calls[0]).BusAddr;
    const uint64_t output = RecordAs<PhysMemDesc>(calls[2]).BusAddr;
    EXPECT_NE(input, output);
    EXPECT_EQ(RecordAs<PhysMemDesc>(calls[1]).BusAddr, input);
    EXPECT_EQ(RecordAs<PhysMemDesc>(calls[3]).BusAddr, output);
    for (const KDblCall &call : calls)
        EXPECT_EQ(call.ObjectAddress, calls[4].ObjectAddress);
}

INSTANTIATE_TEST_SUITE_P(CloseHandle, CloseTest, ::testing::ValuesIn(CLOSE_CASES),
                         CaseName());

TEST_F(DoubleTest, ClosingAfterAFailedOpenReleasesWhatWasReserved)
{
    KDbl_AddDevice(BRIDGE_VENDOR, MODEL_ID, 1, 4);
    char list[TAVO_BOARD_LIST_SIZE];
    Tavo_FindBoards(list, &status);
    KDbl_LimitGrant(2, 0);
    ASSERT_EQ(Tavo_Get_Handle(&status, 1), -1);
    status = 0;

    Tavo_Close_Handle(1, &status);
    EXPECT_EQ(KDbl_MemoryBlocks(), 0u);
    EXPECT_EQ(KDbl_OpenDevices(), 0u);
    EXPECT_EQ(status, ApiInvalidAddress) << "the double refuses to unmap and free the empty output buffer";
}

} // namespace

// Interrupt sources, notification and autocalibration.
#include "double_fixture.h"

namespace {

constexpr uint32_t UNTOUCHED = 0xFFFFFFFFu; // no INT_CNTRL write expected

std::string SourcesHex(uint8_t flags)
{
    char text[40];
    snprintf(text, sizeof text, "00 00 00 00 %02X 00 00 00 00 00 00 00", flags);
    return text;
}

struct EnableCase {
    const char *Name;
    uint32_t Value;
    int32_t Kind;
    uint32_t Before;
    uint32_t Written;
    uint32_t Result;
    uint8_t Flags;
};

const EnableCase ENABLE_CASES[] = {
    {"IntBKeepsIntA", 0x10, 0, 0x0001, 0x0011, 0x011, 0x05},
    {"IntAReplacesGroupAOnly", 0x1, 0, 0x00F3, 0x00F1, 0x071, 0x05},
    {"ZeroClearsGroupAAndStillEnables", 0x0, 0, 0x0F3F, 0x0F30, 0x730, 0x05},
    {"IntCReplacesGroupC", 0x100, 0, 0x0F3F, 0x013F, 0x137, 0x05},
    {"ResultIsMaskedWith777", 0x10, 0, 0xFFFF8888u, 0xFFFF8818u, 0x010, 0x05},
    {"KindTwoIsDmaChannelOne", 0x1, 2, 0x0001, UNTOUCHED, 0x1, 0x81},
    {"DmaChannelZero", 0x0, 1, 0x0001, UNTOUCHED, 0x0, 0x41},
    {"AnyNonzeroValueIsChannelOne", 0x7, 1, 0x0001, UNTOUCHED, 0x7, 0x81},
};

class EnableTest : public DoubleTest, public ::testing::WithParamInterface<EnableCase> {};

TEST_P(EnableTest, SetsTheSourceAndEnablesTheBridgeInterrupt)
{
    const EnableCase &c = GetParam();
    const int32_t device = OpenBoard();
    KDbl_SetRegister(device, INT_CNTRL, c.Before);

    EXPECT_EQ(Tavo_EnableInterrupt(1, c.Value, c.Kind, &status), c.Result);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Writes(INT_CNTRL), c.Written == UNTOUCHED ? std::vector<uint32_t>{} : std::vector<uint32_t>{c.Written});
    const std::vector<KDblCall> enables = CallsOf("PlxPci_InterruptEnable");
    ASSERT_EQ(enables.size(), 1u);
    EXPECT_EQ(RecordHex(enables[0]), SourcesHex(c.Flags));
    EXPECT_EQ(CallNames().back(), "PlxPci_InterruptEnable");
}

INSTANTIATE_TEST_SUITE_P(Interrupts, EnableTest, ::testing::ValuesIn(ENABLE_CASES),
                         CaseName());

struct DisableCase {
    const char *Name;
    uint32_t Value;
    int32_t Kind;
    uint32_t Before;
    uint32_t Written;
    bool BridgeDisabled;
    uint8_t Flags;
};

const DisableCase DISABLE_CASES[] = {
    {"IntBLeavesIntAAndTheBridge", 0x10, 0, 0x0011, 0x0001, false, 0},
    {"LastSourceDisablesTheBridge", 0x1, 0, 0x0001, 0x0000, true, 0x04},
    {"FifteenKeepsGroupA", 15, 0, 0x000F, 0x000F, false, 0},
    {"GroupsBAndCTogether", 0x110, 0, 0x0FF0, 0x0000, true, 0x04},
    {"DmaChannelZero", 0x0, 1, 0x0011, UNTOUCHED, true, 0x40},
    {"KindThreeIsDmaChannelOne", 0x1, 3, 0x0011, UNTOUCHED, true, 0x80},
};

class DisableTest : public DoubleTest, public ::testing::WithParamInterface<DisableCase> {};

TEST_P(DisableTest, ClearsTheSourceAndDisablesTheBridgeWhenNothingIsLeft)
{
    const DisableCase &c = GetParam();
    const int32_t device = OpenBoard();
    KDbl_SetRegister(device, INT_CNTRL, c.Before);
    // An enable for another source first: its flags must not carry over.
    Tavo_EnableInterrupt(1, 1, 1, &status);
    KDbl_ClearLog();

    Tavo_DisableInterrupt(1, c.Value, c.Kind, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Writes(INT_CNTRL), c.Written == UNTOUCHED ? std::vector<uint32_t>{} : std::vector<uint32_t>{c.Written});
    const std::vector<KDblCall> disables = CallsOf("PlxPci_InterruptDisable");
    ASSERT_EQ(disables.size(), c.BridgeDisabled ? 1u : 0u);
    if (c.BridgeDisabled) {
        EXPECT_EQ(RecordHex(disables[0]), SourcesHex(c.Flags));
    }
}

INSTANTIATE_TEST_SUITE_P(Interrupts, DisableTest, ::testing::ValuesIn(DISABLE_CASES),
                         CaseName());

TEST_F(DoubleTest, EnableAndDisableGoOnAfterAFailedReadAndStoreEachFailure)
{
    const int32_t device = OpenBoard();
    KDbl_SetRegister(device, INT_CNTRL, 0x0F00);
    KDbl_Fail("PlxPci_PciBarSpaceRead", ApiInvalidOffset, 1);
    EXPECT_EQ(Tavo_EnableInterrupt(1, 0x10, 0, &status), 0x010u);
    EXPECT_EQ(status, ApiInvalidOffset);
    EXPECT_EQ(Writes(INT_CNTRL), std::vector<uint32_t>{0x0010});

    status = 0;
    KDbl_Fail("PlxPci_InterruptEnable", ApiFailed, 1);
    Tavo_EnableInterrupt(1, 1, 1, &status);
    EXPECT_EQ(status, ApiFailed);

    status = 0;
    KDbl_Fail("PlxPci_InterruptDisable", ApiInvalidHandle, 1);
    Tavo_DisableInterrupt(1, 0x10, 0, &status);
    EXPECT_EQ(status, ApiInvalidHandle);
}

struct NotifyCase {
    const char *Name;
    uint32_t Value;
    int32_t Kind;
    uint8_t Flags;
};

const NotifyCase NOTIFY_CASES[] = {
    {"Local", 0x10, 0, 0x04},
    {"DmaChannelZero", 0, 1, 0x40},
    {"DmaChannelOne", 1, 1, 0x80},
    {"KindTwoIsLocal", 1, 2, 0x04},
};

class NotifyTest : public DoubleTest, public ::testing::WithParamInterface<NotifyCase> {};

TEST_P(NotifyTest, RegistersTheCallersRecordAndCancelsTheSame)
{
    const NotifyCase &c = GetParam();
    OpenBoard();
    NotifyRecord notify{};
    notify.Event = -2; // a handle with the top bit set, widened with its sign

    EXPECT_EQ(Tavo_Register_Interrupt_Notify(1, &notify, c.Value, c.Kind, &status), ApiSuccess);
    EXPECT_EQ(Tavo_Cancel_Interrupt_Notify(1, &notify, &status), ApiSuccess);
    EXPECT_EQ(status, 0);

    const std::vector<KDblCall> calls = Calls();
    ASSERT_EQ(CallNames(), (std::vector<std::string>{"Pelm_RegisterForNotification", "Pelm_CancelNotification"}));
    EXPECT_EQ(RecordHex(calls[0], 0), SourcesHex(c.Flags));
    EXPECT_EQ(calls[0].RecordAddress[1], reinterpret_cast<uintptr_t>(&notify));
    EXPECT_EQ(RecordHex(calls[0], 1),
              "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 FE FF FF FF FF FF FF FF");
    EXPECT_EQ(calls[1].RecordAddress[0], reinterpret_cast<uintptr_t>(&notify));
    EXPECT_EQ(KDbl_Registrations(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Notify, NotifyTest, ::testing::ValuesIn(NOTIFY_CASES),
                         CaseName());

TEST_F(DoubleTest, NotificationFailuresAreReturnedAndStored)
{
    OpenBoard();
    NotifyRecord notify{};
    KDbl_Fail("Pelm_RegisterForNotification", ApiInsufficientResources, 1);
    EXPECT_EQ(Tavo_Register_Interrupt_Notify(1, &notify, 0, 0, &status), ApiInsufficientResources);
    EXPECT_EQ(status, ApiInsufficientResources);
    EXPECT_EQ(Tavo_Cancel_Interrupt_Notify(1, &notify, &status), ApiFailed) << "nothing was registered";
    EXPECT_EQ(status, ApiFailed);
}

// Autocalibration against the double, whose board "interrupts" as soon as
// AUTOCAL_START is written; the case without an interrupt runs on the
// simulated board.
struct AutocalCase {
    const char *Name;
    uint32_t Bcr;
    uint32_t IntCntrl;
    const char *FailingFunction; // on its last call in the sequence, or nullptr
    uint32_t FailOnCall;
    uint32_t Result;
    int32_t Status;
    std::vector<uint32_t> IntCntrlWrites;
    bool BridgeDisabled;
};

const AutocalCase AUTOCAL_CASES[] = {
    {"Passes", 0x4060, 0x0F37, nullptr, 0, TAVO_AUTOCAL_PASSED, 0, {0x0F31, 0x0F30}, false},
    {"Fails", 0x0060, 0x0000, nullptr, 0, TAVO_AUTOCAL_FAILED, 0, {0x0001, 0x0000}, true},
    {"FinalBcrReadFailing", 0x4060, 0x0000, "PlxPci_PciBarSpaceRead", 4, TAVO_AUTOCAL_FAILED, ApiInvalidOffset,
     {0x0001, 0x0000}, true},
    {"BridgeEnableFailing", 0x4060, 0x0000, "PlxPci_InterruptEnable", 1, TAVO_AUTOCAL_PASSED, ApiFailed,
     {0x0001, 0x0000}, true},
};

class AutocalTest : public DoubleTest, public ::testing::WithParamInterface<AutocalCase> {};

TEST_P(AutocalTest, RunsEveryStepInOrder)
{
    const AutocalCase &c = GetParam();
    const int32_t device = OpenBoard();
    KDbl_SetRegister(device, BCR, c.Bcr);
    KDbl_SetRegister(device, INT_CNTRL, c.IntCntrl);
    KDbl_InterruptOnWrite(device, BCR, AUTOCAL_START);
    if (c.FailingFunction != nullptr)
        KDbl_Fail(c.FailingFunction, c.Status, c.FailOnCall);

    EXPECT_EQ(Tavo_Autocal(1, &status), c.Result);
    EXPECT_EQ(status, c.Status);

    std::vector<std::string> expected = {
        "PlxPci_PciBarSpaceRead",  "PlxPci_PciBarSpaceWrite", "PlxPci_InterruptEnable",
        "Pelm_RegisterForNotification", "PlxPci_PciBarSpaceRead", "PlxPci_PciBarSpaceWrite",
        "Pelm_CancelNotification", "PlxPci_PciBarSpaceRead", "PlxPci_PciBarSpaceWrite"};
    if (c.BridgeDisabled)
        expected.push_back("PlxPci_InterruptDisable");
    expected.push_back("PlxPci_PciBarSpaceRead");
    EXPECT_EQ(CallNames(), expected);

    EXPECT_EQ(Writes(INT_CNTRL), c.IntCntrlWrites);
    EXPECT_EQ(Writes(BCR), std::vector<uint32_t>{c.Bcr | AUTOCAL_START});
    const std::vector<KDblCall> calls = Calls();
    EXPECT_EQ(RecordHex(calls[2]), SourcesHex(0x05));
    EXPECT_EQ(RecordHex(calls[3], 0), SourcesHex(0x04));
    if (c.BridgeDisabled) {
        EXPECT_EQ(RecordHex(CallsOf("PlxPci_InterruptDisable")[0]), SourcesHex(0x04));
    }

    // Its own record with an event in it, the same record cancelled.
    const NotifyRecord notify = RecordAs<NotifyRecord>(calls[3], 1);
    EXPECT_NE(notify.Event, 0);
    EXPECT_EQ(calls[6].RecordAddress[0], calls[3].RecordAddress[1]);
    EXPECT_EQ(RecordAs<NotifyRecord>(calls[6]).Event, notify.Event);
    EXPECT_EQ(KDbl_Registrations(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Autocal, AutocalTest, ::testing::ValuesIn(AUTOCAL_CASES),
                         CaseName());

} // namespace

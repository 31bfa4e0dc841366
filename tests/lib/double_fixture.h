// Fixture of the tavocore unit tests: tavocore loaded against the recording
// korvane double, with helpers to read what the library asked of it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "korvane_double.h"
#include "tavocore.h"

constexpr uint16_t BRIDGE_VENDOR = 0x10B5;
constexpr uint16_t FOREIGN_VENDOR = 0x8086;
constexpr uint16_t MODEL_ID = 0x1234; // OVR-1232-AO4

// Names parameterised cases after their Name field.
struct CaseName {
    template <typename Case> std::string operator()(const ::testing::TestParamInfo<Case> &param) const
    {
        return param.param.Name;
    }
};

class DoubleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CloseAllBoards();
        KDbl_Reset();
    }
    void TearDown() override { CloseAllBoards(); }

    // Releases whatever an earlier test left open, so every test starts
    // with empty buffer records.
    static void CloseAllBoards()
    {
        for (uint32_t board = 1; board <= TAVO_MAX_BOARDS; ++board) {
            int32_t ignored = 0;
            Tavo_Close_Handle(board, &ignored);
        }
    }

    // `count` Ovrin boards found and board 1 opened; the log is then cleared
    // and the status word is 0. Returns the double's device index of board 1.
    int32_t OpenBoard(uint32_t count = 1)
    {
        for (uint32_t i = 0; i < count; ++i)
            KDbl_AddDevice(BRIDGE_VENDOR, MODEL_ID, static_cast<uint8_t>(1 + i), static_cast<uint8_t>(4 + i));
        char list[TAVO_BOARD_LIST_SIZE];
        EXPECT_EQ(Tavo_FindBoards(list, &status), count);
        EXPECT_EQ(Tavo_Get_Handle(&status, 1), static_cast<int32_t>(count));
        EXPECT_EQ(status, 0);
        const std::vector<KDblCall> maps = CallsOf("PlxPci_PhysicalMemoryMap");
        if (maps.size() == 2) {
            inputBus = RecordAs<PhysMemDesc>(maps[0]).BusAddr;
            outputBus = RecordAs<PhysMemDesc>(maps[1]).BusAddr;
        }
        KDbl_ClearLog();
        return 0;
    }

    static std::vector<KDblCall> Calls()
    {
        std::vector<KDblCall> calls(KDbl_CallCount());
        for (uint32_t i = 0; i < calls.size(); ++i)
            KDbl_GetCall(i, &calls[i]);
        return calls;
    }

    static std::vector<std::string> CallNames()
    {
        std::vector<std::string> names;
        for (const KDblCall &call : Calls())
            names.emplace_back(call.Function);
        return names;
    }

    static std::vector<KDblCall> CallsOf(const std::string &function)
    {
        std::vector<KDblCall> found;
        for (const KDblCall &call : Calls())
            if (function == call.Function)
                found.push_back(call);
        return found;
    }

    // Values written to one register, in order.
    static std::vector<uint32_t> Writes(uint32_t offset)
    {
        std::vector<uint32_t> values;
        for (const KDblCall &call : CallsOf("PlxPci_PciBarSpaceWrite"))
            if (call.Args[1] == offset)
                values.push_back(static_cast<uint32_t>(call.Args[5]));
        return values;
    }

    // Bytes as "13 60 00".
    static std::string Hex(const void *data, size_t size)
    {
        std::string text;
        char byte[4];
        for (size_t i = 0; i < size; ++i) {
            snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", static_cast<const uint8_t *>(data)[i]);
            text += byte;
        }
        return text;
    }
    static std::string RecordHex(const KDblCall &call, uint32_t index = 0)
    {
        return Hex(call.Record[index], call.RecordSize[index]);
    }

    template <typename T> static T RecordAs(const KDblCall &call, uint32_t index = 0)
    {
        T value;
        std::memcpy(&value, call.Record[index], sizeof value);
        return value;
    }

    int32_t status = 0;
    uint64_t inputBus = 0;  // bus addresses of board 1's buffers, once opened
    uint64_t outputBus = 0;
};

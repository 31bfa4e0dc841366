// The live channel display and menu entries 3 and 4 on the virtual console
// with the simulated board: what the screen shows against what the board's
// inputs carry and what the screen tells the operator to expect.
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "probe_fixture.h"

namespace {

const std::string PM = "\xF1";  // plus-minus sign, code page 437
const std::string BLANK_ROW(80, ' ');

std::string Hex4(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(value));
    return text;
}

// The values of the first display cycle that starts after `from` in the
// text written to the console: "UPDATE" and then n values of "%04X ".
std::vector<uint32_t> ShownAfter(const std::string &text, size_t from, size_t n) {
    std::vector<uint32_t> values;
    size_t at = text.find("UPDATE", from);
    if (at == std::string::npos) return values;
    at += 6;
    for (size_t i = 0; i < n; ++i) {
        const size_t blank = text.find(' ', at);
        if (blank == std::string::npos || blank == at) return values;
        const std::string digits = text.substr(at, blank - at);
        char *end = nullptr;
        const unsigned long value = std::strtoul(digits.c_str(), &end, 16);
        if (*end != '\0') return values;
        values.push_back(static_cast<uint32_t>(value));
        at = blank + 1;
    }
    return values;
}

// The cycle values shown after the first occurrence of `marker`.
std::vector<uint32_t> ShownAfterText(const std::string &marker, size_t n) {
    const std::string text = vcon::DirectText();
    const size_t at = text.find(marker);
    if (at == std::string::npos) return {};
    return ShownAfter(text, at + marker.size(), n);
}

void ExpectAllNear(const std::vector<uint32_t> &values, size_t n, uint32_t code, uint32_t tolerance) {
    ASSERT_EQ(values.size(), n);
    for (size_t i = 0; i < n; ++i) {
        EXPECT_LE(values[i], code + tolerance) << "channel " << i;
        EXPECT_GE(values[i] + tolerance, code) << "channel " << i;
    }
}

uint32_t Threshold() { return TAVO_FIELD_GET(IN_THRESHOLD, KSim_PeekRegister(0, IN_CNTRL)); }

constexpr uint32_t BCR_SINGLE_ENDED_10V =
    BCR_BIT6 | TAVO_FIELD_PREP(INPUT_MODE, INPUT_MODE_SINGLE_ENDED) | TAVO_FIELD_PREP(INPUT_RANGE, INPUT_RANGE_10V);
constexpr uint32_t RATE_DIV_1M = 480;

// --- ShowChannels ------------------------------------------------------------

// Each connected input carries a level of its own, so that a value shown in
// the wrong place is seen.
uint32_t SourceCode(uint32_t channel) { return 0x100 + 0x60 * channel; }

struct DisplayCase {
    const char *name;
    int32_t count;
    uint32_t scanCntrl;
    int32_t shown;
    int32_t selected;  // single-channel mode on this channel, -1 for scans
};

// Failures name the case rather than dump its bytes.
void PrintTo(const DisplayCase &c, std::ostream *os) { *os << c.name; }

class ShowChannelsTest : public ProbeTest, public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(ShowChannelsTest, LabelsValuesAndThreshold) {
    const DisplayCase &c = GetParam();
    for (uint32_t ch = 0; ch < 32; ++ch) {
        KSim_SetInputSource(Device(), ch, KSIM_SOURCE_DC, SourceCode(ch), 0, 0);
    }
    OpenBoard();
    bool initialized = false;
    Run([&] {
        initialized = BoardInitCheck("Channels");
        if (!initialized) return;
        WriteReg(BCR, BCR_SINGLE_ENDED_10V);
        WriteReg(SCAN_CNTRL, c.scanCntrl);
        WriteReg(RATE_A, RATE_DIV_1M);
        ShowChannels(c.count);
    });
    ASSERT_TRUE(WaitText("CH00", 4, 0)) << vcon::Screen();
    vcon::TypeAhead(' ');  // ends the display after the cycle under way
    ASSERT_TRUE(Finish());
    ASSERT_TRUE(initialized);

    for (int32_t first = 0; first < 32; first += 8) {
        const uint16_t row = static_cast<uint16_t>(4 + first / 4);
        SCOPED_TRACE("row " + std::to_string(row));
        if (first >= c.shown) {
            EXPECT_EQ(Row(row), BLANK_ROW);
            continue;
        }
        char label[8];
        std::snprintf(label, sizeof label, "CH%02d   ", static_cast<int>(first));
        std::string expected = label;
        for (int32_t ch = first; ch < first + 8 && ch < c.shown; ++ch) {
            // A channel that is not available shows five digits and pushes the
            // rest of the row right.
            const bool available = c.selected < 0 || ch == c.selected;
            expected += (available ? Hex4(SourceCode(static_cast<uint32_t>(ch))) : "10000") + " ";
        }
        expected.resize(80, ' ');
        EXPECT_EQ(Row(row), expected);
    }
    EXPECT_EQ(Row(3).substr(7, 6), "      ");  // UPDATE erased
    EXPECT_EQ(Threshold(), static_cast<uint32_t>(c.shown) * 256u);
    EXPECT_EQ(KSim_PeekRegister(Device(), RATE_A), RATE_DIV_1M);  // running, divisor kept
}

INSTANTIATE_TEST_SUITE_P(Counts, ShowChannelsTest,
                         ::testing::Values(DisplayCase{"One", 1, SCAN_CNTRL_16CH, 1, -1},
                                           DisplayCase{"Sixteen", 16, SCAN_CNTRL_16CH, 16, -1},
                                           DisplayCase{"ThirtyTwo", 32, SCAN_CNTRL_32CH, 32, -1},
                                           DisplayCase{"AboveThirtyTwo", 40, SCAN_CNTRL_32CH, 32, -1},
                                           DisplayCase{"SingleChannel", 3,
                                                       SCAN_CNTRL_16CH | SINGLE_CHAN | TAVO_FIELD_PREP(CHAN_SEL, 1),
                                                       3, 1}),
                         [](const ::testing::TestParamInfo<DisplayCase> &param) {
                             return std::string(param.param.name);
                         });

// --- Entry 3 -----------------------------------------------------------------

class AnalogInputsTest : public ProbeTest {};

TEST_F(AnalogInputsTest, ThreePassesShowTheInputsTiedToReturn) {
    OpenBoard();  // inputs tied to input return: mid-scale with a little noise
    Run([] { TestAnalogInputs(); });
    ASSERT_TRUE(WaitText("Selection: ", 8, 2)) << vcon::Screen();
    EXPECT_EQ(Row(5).substr(2, 48), "Please select the desired Sample Rate to test...");
    EXPECT_EQ(Row(6).substr(2, 20), "     1 - 25K Samples");
    EXPECT_EQ(Row(7).substr(2, 20), "     2 -  1M Samples");
    // Only 1 and 2 choose a rate; nothing leads back to the menu.
    for (int key : {int{'X'}, int{'0'}, int{'3'}, 27}) ASSERT_TRUE(Key(key));
    ASSERT_TRUE(Key('2'));
    ASSERT_TRUE(WaitText("Connect All HI(+) and LO(-) inputs to INPUT RETURN.", 3, 2)) << vcon::Screen();
    ASSERT_TRUE(Key(' '));

    struct Pass {
        std::string range;
        size_t channels;
    };
    const Pass passes[] = {
        {PM + "10V Range  16 Differential Inputs   ", 16},
        {PM + "10V Range  16 Single Ended Inputs   ", 16},
        {PM + "5V Range   32 Single Ended Inputs   ", 32},
    };
    for (const Pass &pass : passes) {
        ASSERT_TRUE(WaitText(pass.range, 19, 2)) << vcon::Screen();
        vcon::TypeAhead(' ');
    }
    ASSERT_TRUE(Finish());

    EXPECT_EQ(Row(2).substr(2, 22), "Analog Input Channels:");
    EXPECT_EQ(Row(17).substr(2, 57), "Verify Each of the following Readings in both the Single ");
    EXPECT_EQ(Row(18).substr(2, 29), "ended and differential modes.");
    EXPECT_EQ(Row(20).substr(2, 57), "Press anykey for the next Selection...                   ");
    for (const Pass &pass : passes) {
        SCOPED_TRACE(pass.range);
        ExpectAllNear(ShownAfterText(pass.range, pass.channels), pass.channels, TAVO_CODE_ZERO, 3);
    }
    // What the last pass leaves on the board.
    const uint32_t bcr = KSim_PeekRegister(Device(), BCR);
    EXPECT_EQ(TAVO_FIELD_GET(INPUT_MODE, bcr), static_cast<uint32_t>(INPUT_MODE_SINGLE_ENDED));
    EXPECT_EQ(TAVO_FIELD_GET(INPUT_RANGE, bcr), static_cast<uint32_t>(INPUT_RANGE_5V));
    EXPECT_EQ(KSim_PeekRegister(Device(), SCAN_CNTRL), SCAN_CNTRL_32CH);
    EXPECT_EQ(KSim_PeekRegister(Device(), RATE_A), RATE_DIV_1M);
    EXPECT_EQ(Threshold(), 32u * 256u);
}

// --- Entry 4 -----------------------------------------------------------------

class SelfTestModesTest : public ProbeTest {};

TEST_F(SelfTestModesTest, EachPassShowsTheCodesItsVerifyLineNames) {
    OpenBoard();
    Run([] { TestSelfTestModes(); });

    struct Pass {
        std::string range;
        std::string verify;  // as shown, padded
        size_t channels;
        uint32_t code;
        uint32_t tolerance;
    };
    const std::string range10 = PM + "10V Range  Differential Inputs    ";
    auto pad = [](std::string text, size_t width) {
        text.resize(width, ' ');
        return text;
    };
    const Pass passes[] = {
        {PM + "2.5V Range  Differential Inputs   ", pad("Verify All Channels read 0800 " + PM + "003", 52), 16,
         0x800, 3},
        {PM + "5V Range   Differential Inputs    ", pad("Verify that Each Channel reads 0F95 " + PM + "004", 52),
         16, 0xF95, 4},
        {range10, pad("Verify that Channel0 reads 0000 " + PM + "004", 51), 1, 0x000, 4},
        {range10, pad("Verify that Channel0 reads 0100 " + PM + "004", 51), 1, 0x100, 4},
        {range10, pad("Verify that Channel0 reads 0200 " + PM + "004", 51), 1, 0x200, 4},
        {range10, pad("Verify that Channel0 reads 0300 " + PM + "004", 51), 1, 0x300, 4},
    };
    for (const Pass &pass : passes) {
        ASSERT_TRUE(WaitText(pass.verify, 20, 2)) << vcon::Screen();
        EXPECT_EQ(Row(19).substr(2, pass.range.size()), pass.range);
        vcon::TypeAhead(' ');
    }
    ASSERT_TRUE(Finish());

    EXPECT_EQ(Row(2).substr(2, 15), "SelfTest Modes:");
    for (const Pass &pass : passes) {
        SCOPED_TRACE(pass.verify);
        ExpectAllNear(ShownAfterText(pass.verify, pass.channels), pass.channels, pass.code, pass.tolerance);
    }
    // The loop-back codes stay on the outputs.
    uint16_t outputs[4] = {};
    KSim_Outputs(Device(), outputs);
    EXPECT_EQ(outputs[0], 0x000);
    EXPECT_EQ(outputs[1], 0x100);
    EXPECT_EQ(outputs[2], 0x200);
    EXPECT_EQ(outputs[3], 0x300);
    EXPECT_EQ(TAVO_FIELD_GET(INPUT_MODE, KSim_PeekRegister(Device(), BCR)), INPUT_MODE_LOOPBACK_CH0 + 3u);
    EXPECT_EQ(KSim_PeekRegister(Device(), SCAN_CNTRL), SCAN_CNTRL_16CH);
    EXPECT_EQ(Threshold(), 256u);
}

}  // namespace

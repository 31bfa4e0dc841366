// Entry B: the DIO register shown live; L and U drive the lower or upper
// byte with a value typed in hexadecimal, R returns both bytes to inputs.
// Each change starts from the value last shown.
#include "dio.h"
#include "probe.h"

namespace {

// What survives each key's write of the value shown.
constexpr uint32_t KEEP_ON_LOWER = uint32_t{DIO_HI_MASK} | DIO_BIT16 | DIO_LO_OUT | DIO_HI_OUT;  // 0xDFF00
constexpr uint32_t KEEP_ON_UPPER = uint32_t{DIO_LO_MASK} | DIO_BIT16 | DIO_BIT17 | DIO_LO_OUT;   // 0x700FF
constexpr uint32_t KEEP_ON_RESET = uint32_t{DIO_LO_MASK} | DIO_HI_MASK | DIO_BIT16 | DIO_BIT17;  // 0x3FFFF

// Wide enough to cover the 36-character prompt and four typed characters.
constexpr int PROMPT_CLEAR_WIDTH = 40;

// Asks for a byte on the "DIO = " line and reads it; no number reads as 0,
// and whatever follows the number on the line is dropped.
uint32_t EnterByte(uint16_t row, const char *prompt) {
    uint32_t entered = 0;
    GotoXY(ScreenCol, row);
    ConPrint("%s", prompt);
    ReadHex(&entered);
    return entered;
}

void ClearPromptLine(uint16_t row) {
    GotoXY(ScreenCol, row);
    ConPrint("%*s", PROMPT_CLEAR_WIDTH, "");
}

}  // namespace

uint32_t DioLowerByteValue(uint32_t shown, uint32_t entered) {
    return (shown & KEEP_ON_LOWER) | TAVO_FIELD_PREP(DIO_LO, entered) | DIO_LO_OUT;
}

uint32_t DioUpperByteValue(uint32_t shown, uint32_t entered) {
    return (shown & KEEP_ON_UPPER) | TAVO_FIELD_PREP(DIO_HI, entered) | DIO_HI_OUT;
}

uint32_t DioResetValue(uint32_t shown) {
    return shown & KEEP_ON_RESET;
}

void TestDioPort() {
    if (!BoardInitCheck(" B. DIO Port:")) return;
    NextLine();
    NextLine();
    NextLine();
    FlushKeys();
    const uint16_t row = ScreenRow;
    for (;;) {
        GotoXY(ScreenCol, row);
        ConPrint("Press X to exit.. L = Lower Byte, U = Upper Byte, R = Reset");
        // At least one pass before the key is looked at, so that a change
        // always starts from a DIO value and never from the BCR value that
        // the initialization left in LastReg.
        do {
            GotoXY(ScreenCol, row + 1u);
            LastReg = ReadReg(DIO);
            ConPrint("DIO = %08X", LastReg);
        } while (!KeyPending());
        LastKey = static_cast<char>(UpperKey(ReadKey()));
        switch (LastKey) {
        case 'X':
            return;
        case 'L': {
            const uint32_t entered = EnterByte(row + 1u, "Enter Lower Byte OUTPUT Value (Hex) ");
            LastReg = DioLowerByteValue(LastReg, entered);
            WriteReg(DIO, LastReg);
            ClearPromptLine(row + 1u);
            break;
        }
        case 'U': {
            const uint32_t entered = EnterByte(row + 1u, "Enter Upper Byte OUTPUT Value (Hex) ");
            LastReg = DioUpperByteValue(LastReg, entered);
            WriteReg(DIO, LastReg);
            ClearPromptLine(row + 1u);
            break;
        }
        case 'R':
            LastReg = DioResetValue(LastReg);
            WriteReg(DIO, LastReg);
            break;
        default:
            break;
        }
    }
}

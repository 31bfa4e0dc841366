// The digital port test (entry B): the values each key writes to DIO, from
// the value last shown and the number the operator entered.
#pragma once

#include <cstdint>

// L: the entered byte (low 8 bits of `entered`) driven on the lower byte;
// the upper byte, bit 16 and both output enables as shown; bit 17 and
// bits 20 to 31 cleared.
uint32_t DioLowerByteValue(uint32_t shown, uint32_t entered);
// U: the entered byte driven on the upper byte; the lower byte, bits 16 and
// 17 and DIO_LO_OUT as shown; bits 20 to 31 cleared.
uint32_t DioUpperByteValue(uint32_t shown, uint32_t entered);
// R: both bytes back to inputs; data bytes and bits 16 and 17 as shown.
uint32_t DioResetValue(uint32_t shown);

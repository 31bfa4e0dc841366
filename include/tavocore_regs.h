/* The Ovrin register map: the twelve 32-bit local registers of PCI BAR 2,
 * and every field the software writes or tests, as masks and shifts.
 *
 * Each field is declared once with its shift and width; the mask is derived.
 * TAVO_FIELD_GET(NAME, value) extracts a field, TAVO_FIELD_PREP(NAME, x)
 * places x in it. One-bit fields are also usable directly as flags
 * (bcr | OUT_SIMULT). Usable from C and C++. */
#ifndef TAVOCORE_REGS_H
#define TAVOCORE_REGS_H

/* Register offsets (bytes into BAR 2). */
enum TavoRegister {
    BCR = 0x00,        /* board control */
    INT_CNTRL = 0x04,  /* interrupt control */
    IN_DATA = 0x08,    /* input data buffer: each read takes the next word */
    IN_CNTRL = 0x0C,   /* input data control */
    RATE_A = 0x10,     /* rate generator A, paces the inputs */
    RATE_B = 0x14,     /* rate generator B, paces the outputs */
    OUT_DATA = 0x18,   /* output data buffer: each write appends a word */
    OUT_CNTRL = 0x1C,  /* output control */
    SCAN_CNTRL = 0x20, /* scan control */
    DIO = 0x24,        /* digital port */
    FW_REV = 0x28,     /* firmware revision, read only */
    AUTOCAL = 0x2C     /* window onto the calibration values: write index, read value */
};
#define TAVO_REGISTER_COUNT 12
#define TAVO_REGISTER_SPAN 0x30

#define TAVO_FIELD_MASK_OF(shift, len) ((((1u << ((len) - 1)) << 1) - 1u) << (shift))
#define TAVO_FIELD_DECLARE(name, shift, len) \
    enum { name##_SHIFT = (shift), name##_LENGTH = (len), name##_MASK = TAVO_FIELD_MASK_OF(shift, len) }
#define TAVO_FLAG_DECLARE(name, bit) \
    enum { name##_SHIFT = (bit), name##_LENGTH = 1, name##_MASK = 1u << (bit), name = 1u << (bit) }
#define TAVO_FIELD_GET(name, value) ((((unsigned int)(value)) & name##_MASK) >> name##_SHIFT)
#define TAVO_FIELD_PREP(name, x) ((((unsigned int)(x)) << name##_SHIFT) & name##_MASK)

/* BCR */
TAVO_FIELD_DECLARE(INPUT_MODE, 0, 3);
TAVO_FIELD_DECLARE(INPUT_RANGE, 4, 2);
TAVO_FLAG_DECLARE(OUT_SIMULT, 8);
TAVO_FLAG_DECLARE(BURST_ENABLE, 9);
TAVO_FLAG_DECLARE(OUT_BUFFERED, 10);
TAVO_FLAG_DECLARE(BURST_TRIGGER, 11);
TAVO_FLAG_DECLARE(AUTOCAL_START, 13);
TAVO_FLAG_DECLARE(AUTOCAL_PASS, 14);
TAVO_FLAG_DECLARE(BOARD_INIT, 15);
/* Bit 6 reads 1 after initialization and is set in every whole BCR value the
 * input tests write. */
#define BCR_BIT6 (1u << 6)
/* What BCR reads once initialization has finished: AUTOCAL_PASS, bit 6 and
 * INPUT_RANGE 2 (10 V). Anything else means a failed initialization. */
#define BCR_INIT_DONE 0x4060u
/* Clears OUT_SIMULT and, with it, bits 16 to 31 of the value written. */
#define BCR_SEQUENTIAL_MASK 0xFEFFu
/* OUT_SIMULT, BURST_ENABLE and OUT_BUFFERED together: the burst set-up. */
#define BCR_BURST_MODE ((unsigned int)OUT_SIMULT | BURST_ENABLE | OUT_BUFFERED)

/* INPUT_MODE values */
enum TavoInputMode {
    INPUT_MODE_DIFFERENTIAL = 0,
    INPUT_MODE_SINGLE_ENDED = 1,
    INPUT_MODE_SELFTEST_ZERO = 2,
    INPUT_MODE_SELFTEST_REF = 3,
    INPUT_MODE_LOOPBACK_CH0 = 4 /* 4 to 7: output channel 0 to 3 on input channel 0 */
};
/* INPUT_RANGE values */
enum TavoInputRange { INPUT_RANGE_2V5 = 0, INPUT_RANGE_5V = 1, INPUT_RANGE_10V = 2 };

/* INT_CNTRL: three interrupt source fields, each in a 4-bit group whose top
 * bit is never set. */
TAVO_FIELD_DECLARE(INT_A, 0, 3);
TAVO_FIELD_DECLARE(INT_B, 4, 3);
TAVO_FIELD_DECLARE(INT_C, 8, 3);
#define INT_GROUP_A 0x000Fu
#define INT_GROUP_B 0x00F0u
#define INT_GROUP_C 0x0F00u
#define INT_FIELDS ((unsigned int)INT_A_MASK | INT_B_MASK | INT_C_MASK) /* 0x777 */
/* INT_A = 1: interrupt at the end of autocalibration.
 * INT_B = 1: interrupt when the input buffer reaches IN_THRESHOLD. */
#define INT_SOURCE_AUTOCAL 1u
#define INT_SOURCE_THRESHOLD 1u

/* IN_DATA words */
TAVO_FIELD_DECLARE(IN_SAMPLE, 0, 12);
TAVO_FLAG_DECLARE(FIRST_CHAN, 16);

/* IN_CNTRL */
TAVO_FIELD_DECLARE(IN_THRESHOLD, 0, 15);
TAVO_FLAG_DECLARE(IN_CLEAR, 15);
TAVO_FLAG_DECLARE(IN_THRESHOLD_FLAG, 16);

/* RATE_A and RATE_B */
TAVO_FIELD_DECLARE(RATE_DIV, 0, 16);
TAVO_FLAG_DECLARE(RATE_DISABLE, 16);
/* The board's rate clock, as the continuous acquisition takes it. */
#define TAVO_RATE_CLOCK_HZ 24000000u

/* OUT_DATA words */
TAVO_FIELD_DECLARE(OUT_CODE, 0, 12);
TAVO_FIELD_DECLARE(OUT_CHAN, 16, 2);
TAVO_FLAG_DECLARE(END_OF_FRAME, 18);
TAVO_FLAG_DECLARE(END_OF_BUFFER, 19);

/* OUT_CNTRL */
TAVO_FLAG_DECLARE(OUT_CLEAR, 15);
/* OUT_CLEAR with bit 4, as the buffered-output tests write it. */
#define OUT_CNTRL_CLEAR_PATTERN 0x8010u

/* SCAN_CNTRL */
TAVO_FIELD_DECLARE(SCAN_SIZE, 0, 2);
TAVO_FLAG_DECLARE(SINGLE_CHAN, 11);
TAVO_FIELD_DECLARE(CHAN_SEL, 12, 5);
TAVO_FLAG_DECLARE(SCAN_TWO_CHAN, 17); /* bit 17: only channels 0 and 1 readable */
/* SCAN_SIZE values: 4, 8, 16 or 32 channels per scan. */
enum TavoScanSize { SCAN_SIZE_4 = 0, SCAN_SIZE_8 = 1, SCAN_SIZE_16 = 2, SCAN_SIZE_32 = 3 };
/* Bits 0 to 3: SCAN_SIZE and the two unused bits above it. */
#define SCAN_SIZE_GROUP 0x0000000Fu
/* Whole SCAN_CNTRL values: bits 4, 6, 7 and 9 with 16- or 32-channel scans. */
#define SCAN_CNTRL_16CH 0x2D2u
#define SCAN_CNTRL_32CH 0x2D3u

/* DIO */
TAVO_FIELD_DECLARE(DIO_LO, 0, 8);
TAVO_FIELD_DECLARE(DIO_HI, 8, 8);
TAVO_FLAG_DECLARE(DIO_LO_OUT, 18);
TAVO_FLAG_DECLARE(DIO_HI_OUT, 19);
#define DIO_BIT16 (1u << 16)
#define DIO_BIT17 (1u << 17)

/* AUTOCAL window indices: 0 input gain, 1 input offset, 2 + 2n output n gain,
 * 3 + 2n output n offset. */
#define AUTOCAL_ADC_GAIN 0u
#define AUTOCAL_ADC_OFFSET 1u
#define AUTOCAL_DAC_GAIN(n) (2u + 2u * (n))
#define AUTOCAL_DAC_OFFSET(n) (3u + 2u * (n))

/* 12-bit offset-binary codes */
#define TAVO_CODE_MIN 0x000u
#define TAVO_CODE_ZERO 0x800u
#define TAVO_CODE_MAX 0xFFFu

#endif

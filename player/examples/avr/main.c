/* A QSVF player for an 8-bit AVR board: the stream sits in program memory
   (stream.S puts the file in), the TAP pins are bits of one port, bit-banged
   by the clock callback, and the play's end code is left on three pins of
   another port.  With SPI_SHIFT defined the whole bytes of a scan go through
   the SPI, whose clock, data out and data in pins are TCK, TDI and TDO.
   See README.md for the pins and the build. */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/pgmspace.h>
#include <avr/sleep.h>

#include "qsvfplay.h"

/* The TAP pins, all on port B: TCK, TMS and TDI outputs, TDO an input;
   TCK, TDI and TDO are also the SPI's clock, data out and data in, and the
   SPI's select pin (PB2) is an output so that the SPI stays master. */
#define JTAG_PORT PORTB
#define JTAG_DDR DDRB
#define JTAG_IN PINB
#define TMS_BIT (1 << 0)
#define SELECT_BIT (1 << 2)
#define TDI_BIT (1 << 3)
#define TDO_BIT (1 << 4)
#define TCK_BIT (1 << 5)

/* The end code (1 played to QCOMPLETE, 2 a TDO comparison failed, 3 and up
   a stream the player refused) on PC0..PC2, for LEDs or a probe. */
#define RESULT_PORT PORTC
#define RESULT_DDR DDRC
#define RESULT_MASK 0x07

/* Bytes for what the player keeps and the vectors of one record; see
   "The buffer" in qsvfplay.h for what a stream needs. */
#ifndef BUFFER_SIZE
#define BUFFER_SIZE 1024
#endif

/* The stream, from stream.S. */
extern const uint8_t qsvf_stream[] PROGMEM;
extern const uint8_t qsvf_stream_end[] PROGMEM;

static const uint8_t *next_byte = qsvf_stream;

static size_t read_stream(void *ctx, uint8_t *to, size_t max) {
    size_t n = (size_t)(qsvf_stream_end - next_byte), i;
    (void)ctx;
    if (n > max) n = max;
    for (i = 0; i < n; ++i) to[i] = pgm_read_byte(next_byte + i);
    next_byte += n;
    return n;
}

/* One TCK: TMS and TDI set while TCK is low, TDO read, then the rising
   and the falling edge, each a write of the TCK bit to the input register,
   which turns the pin over.  TMS and TDI are 0 or 1. */
static int clock_pins(void *ctx, int tms, int tdi) {
    uint8_t out = JTAG_PORT & (uint8_t) ~(TMS_BIT | TDI_BIT), in;
    (void)ctx;
    if (tms & 1) out |= TMS_BIT;
    if (tdi & 1) out |= TDI_BIT;
    JTAG_PORT = out;
    in = JTAG_IN;
    JTAG_IN = TCK_BIT;
    JTAG_IN = TCK_BIT;
    return (in & TDO_BIT) != 0;
}

#ifdef SPI_SHIFT
/* 8 * bytes clocks with TMS low on the SPI: master, mode 0 (TDI set up
   before the rising edge of TCK, TDO sampled at it), least significant bit
   first as the player keeps its bits, TCK at half the CPU clock. */
static void shift_spi(void *ctx, const uint8_t *tdi, uint8_t *tdo, size_t bytes) {
    (void)ctx;
    JTAG_PORT &= (uint8_t)~TMS_BIT;
    SPSR = 1 << SPI2X;
    SPCR = (1 << SPE) | (1 << MSTR) | (1 << DORD);
    while (bytes--) {
        uint8_t in;
        SPDR = *tdi++;
        while (!(SPSR & (1 << SPIF))) {
        }
        in = SPDR;
        if (tdo) *tdo++ = in;
    }
    SPCR = 0;
}
static const qsvfplay_io pins = {read_stream, clock_pins, shift_spi, 0};
#else
static const qsvfplay_io pins = {read_stream, clock_pins, 0, 0};
#endif

int main(void) {
    static qsvfplay_state player;
    static uint8_t buffer[BUFFER_SIZE];
    int status;
    JTAG_DDR = TCK_BIT | TMS_BIT | TDI_BIT | SELECT_BIT;
    qsvfplay_init(&player, &pins, 0, buffer, sizeof buffer);
    status = qsvfplay_run(&player);
    RESULT_DDR |= RESULT_MASK;
    RESULT_PORT = (uint8_t)((RESULT_PORT & ~RESULT_MASK) | (status & RESULT_MASK));
    /* Done: the pins keep their levels while the processor sleeps. */
    cli();
    set_sleep_mode(SLEEP_MODE_PWR_DOWN);
    sleep_enable();
    sleep_cpu();
    for (;;) {
    }
}

/* The AVR player with a bulk shift callback that does nothing, for the
   benchmark of the bulk path in simavr (whose SPI takes a fixed time per
   byte, not the SPI's): the stream from program memory as in the AVR
   example (linked with its stream.S), every whole byte of a scan handed to
   the callback, the end code on PC0..PC2. */
#include <avr/interrupt.h>
#include <avr/io.h>
#include <avr/pgmspace.h>
#include <avr/sleep.h>

#include "qsvfplay.h"

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

static int clock_nothing(void *ctx, int tms, int tdi) {
    (void)ctx;
    GPIOR0 = (uint8_t)(2 * tms + tdi);
    return 0;
}

static void shift_nothing(void *ctx, const uint8_t *tdi, uint8_t *tdo, size_t bytes) {
    (void)ctx;
    (void)tdi;
    (void)tdo;
    (void)bytes;
}

static const qsvfplay_io pins = {read_stream, clock_nothing, shift_nothing, 0};

int main(void) {
    static qsvfplay_state player;
    static uint8_t buffer[1024];
    int status;
    qsvfplay_init(&player, &pins, 0, buffer, sizeof buffer);
    status = qsvfplay_run(&player);
    DDRC = 7;
    PORTC = (uint8_t)status;
    cli();
    sleep_enable();
    sleep_cpu();
    for (;;) {
    }
}

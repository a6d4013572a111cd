/* A QSVF player for a Cortex-M board: the stream sits in flash (stream.S
   puts the file in), the pins are the board's (board.h), and whole bytes
   of a scan go through the bulk shift callback unless PLAIN_CLOCK is
   defined.  See README.md for the pins and the build. */
#include "board.h"
#include "qsvfplay.h"

/* Bytes for what the player keeps and the vectors of one record; see
   "The buffer" in qsvfplay.h for what a stream needs. */
#ifndef BUFFER_SIZE
#define BUFFER_SIZE 4096
#endif

/* The stream, from stream.S. */
extern const uint8_t qsvf_stream[];
extern const uint8_t qsvf_stream_end[];

static const uint8_t *next_byte = qsvf_stream;

static size_t read_stream(void *ctx, uint8_t *to, size_t max) {
    size_t n = (size_t)(qsvf_stream_end - next_byte), i;
    (void)ctx;
    if (n > max) n = max;
    for (i = 0; i < n; ++i) to[i] = next_byte[i];
    next_byte += n;
    return n;
}

#ifdef PLAIN_CLOCK
static const qsvfplay_io pins = {read_stream, board_clock, 0, 0};
#else
static const qsvfplay_io pins = {read_stream, board_clock, board_shift, 0};
#endif

int main(void) {
    static qsvfplay_state player;
    static uint8_t buffer[BUFFER_SIZE];
    board_init();
    qsvfplay_init(&player, &pins, 0, buffer, sizeof buffer);
    board_done(qsvfplay_run(&player));
    return 0;
}

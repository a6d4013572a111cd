/* The player on a hosted target (a big-endian one under qemu-user in the
   targets suite): plays a stream file with TDO from a file of '0' and '1',
   one per clock (what the host player's simulated chain answered), logs
   every clock to a file, one character per clock ('0' + 2 TMS + TDI), and
   prints the end code.  With "bulk" the whole bytes of a scan go through
   the shift callback.  The buffer has the size of the embedded examples'.

     hosted_runner STREAM TDO-FILE PINS-FILE [bulk]                      */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qsvfplay.h"

struct run {
    FILE *stream, *tdo, *pins;
};

static size_t read_stream(void *ctx, uint8_t *to, size_t max) { return fread(to, 1, max, ((struct run *)ctx)->stream); }

static int clock_pins(void *ctx, int tms, int tdi) {
    struct run *run = ctx;
    fputc('0' + 2 * tms + tdi, run->pins);
    return fgetc(run->tdo) == '1';
}

static void shift_pins(void *ctx, const uint8_t *tdi, uint8_t *tdo, size_t bytes) {
    size_t i;
    int k;
    for (i = 0; i < bytes; ++i) {
        uint8_t in = 0;
        for (k = 0; k < 8; ++k) in |= (uint8_t)(clock_pins(ctx, 0, (tdi[i] >> k) & 1) << k);
        if (tdo) tdo[i] = in;
    }
}

int main(int argc, char **argv) {
    static uint8_t buffer[4096];
    static const qsvfplay_io plain = {read_stream, clock_pins, 0, 0}, bulk = {read_stream, clock_pins, shift_pins, 0};
    qsvfplay_state player;
    struct run run;
    int status;
    if (argc < 4) {
        fprintf(stderr, "usage: hosted_runner STREAM TDO-FILE PINS-FILE [bulk]\n");
        return 2;
    }
    run.stream = fopen(argv[1], "rb");
    run.tdo = fopen(argv[2], "rb");
    run.pins = fopen(argv[3], "wb");
    if (!run.stream || !run.tdo || !run.pins) {
        fprintf(stderr, "hosted_runner: cannot open the files\n");
        return 2;
    }
    qsvfplay_init(&player, argc > 4 && strcmp(argv[4], "bulk") == 0 ? &bulk : &plain, &run, buffer, sizeof buffer);
    status = qsvfplay_run(&player);
    printf("%d\n", status);
    return fclose(run.pins) == 0 ? 0 : 2;
}

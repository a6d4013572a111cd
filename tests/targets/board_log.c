/* The pins of the Cortex-M player (player/examples/cortex-m/board.h) for the
   tests under qemu-system-arm with semihosting: every clock is logged to
   pins.txt in QEMU's folder, one character per clock ('0' + 2 TMS + TDI),
   TDO is read from tdo.txt ('0' or '1' per clock: what the host player's
   simulated chain answered), and the end code goes to end.txt before QEMU
   is asked to exit.  A hard fault ends the play with the end code 255. */
#include "board.h"

enum { SYS_OPEN = 0x01, SYS_CLOSE = 0x02, SYS_WRITE = 0x05, SYS_READ = 0x06, SYS_EXIT = 0x18 };
enum { MODE_READ = 1, MODE_WRITE = 5 }; /* "rb", "wb" */
enum { BLOCK = 512 };

static int semihost(int operation, const void *argument) {
    register int r0 __asm__("r0") = operation;
    register const void *r1 __asm__("r1") = argument;
    __asm__ volatile("bkpt 0xab" : "+r"(r0) : "r"(r1) : "memory");
    return r0;
}

static int open_file(const char *name, int mode) {
    uint32_t length = 0;
    while (name[length]) ++length;
    {
        const uint32_t arguments[3] = {(uint32_t)name, (uint32_t)mode, length};
        return semihost(SYS_OPEN, arguments);
    }
}

static void write_file(int file, const void *bytes, uint32_t n) {
    const uint32_t arguments[3] = {(uint32_t)file, (uint32_t)bytes, n};
    semihost(SYS_WRITE, arguments);
}

static int tdo_file, pins_file;
static char tdo_block[BLOCK], pins_block[BLOCK];
static uint32_t tdo_next, tdo_count, pins_count;

static int next_tdo(void) {
    if (tdo_next == tdo_count) {
        const uint32_t arguments[3] = {(uint32_t)tdo_file, (uint32_t)tdo_block, BLOCK};
        tdo_count = BLOCK - (uint32_t)semihost(SYS_READ, arguments);
        tdo_next = 0;
        if (!tdo_count) return 0;
    }
    return tdo_block[tdo_next++] == '1';
}

static void log_clock(int tms, int tdi) {
    pins_block[pins_count++] = (char)('0' + 2 * tms + tdi);
    if (pins_count == BLOCK) {
        write_file(pins_file, pins_block, BLOCK);
        pins_count = 0;
    }
}

void board_init(void) {
    tdo_file = open_file("tdo.txt", MODE_READ);
    pins_file = open_file("pins.txt", MODE_WRITE);
}

int board_clock(void *ctx, int tms, int tdi) {
    (void)ctx;
    log_clock(tms, tdi);
    return next_tdo();
}

void board_shift(void *ctx, const uint8_t *tdi, uint8_t *tdo, size_t bytes) {
    size_t i;
    int k;
    (void)ctx;
    for (i = 0; i < bytes; ++i) {
        uint8_t in = 0;
        for (k = 0; k < 8; ++k) {
            log_clock(0, (tdi[i] >> k) & 1);
            in |= (uint8_t)(next_tdo() << k);
        }
        if (tdo) tdo[i] = in;
    }
}

void board_done(int status) {
    char text[4] = {(char)('0' + status / 100), (char)('0' + status / 10 % 10), (char)('0' + status % 10), '\n'};
    int end = open_file("end.txt", MODE_WRITE);
    write_file(pins_file, pins_block, pins_count);
    write_file(end, text, sizeof text);
    semihost(SYS_CLOSE, &pins_file);
    semihost(SYS_CLOSE, &end);
    semihost(SYS_EXIT, (const void *)0x20026); /* application exit */
    for (;;) {
    }
}

void HardFault_Handler(void) { board_done(255); }

/* The pins of the Cortex-M player example (player/examples/cortex-m/board.h)
   for the benchmark in qemu-system-arm (the board of bench/player.sh) with
   -icount shift=5: the
   callbacks move no pin (the clock callback stores TMS and TDI, TDO is 0;
   the shift callback does nothing), the board's first timer counts the
   virtual time (25 MHz; with -icount shift=5 an instruction takes 32 ns,
   so 4 ticks are 5 instructions), and the stack below the start-up frame
   is laid with a pattern to find how deep it went.  The end prints
   "end E ticks T stack S" through semihosting. */
#include "board.h"

#define REG(address) (*(volatile uint32_t *)(address))
#define TIMER_CONTROL REG(0x40000000u)
#define TIMER_VALUE REG(0x40000004u)
#define TIMER_RELOAD REG(0x40000008u)
enum { PATTERN = 0xA5A5A5A5u, PAINTED = 4096 };

extern uint32_t __bss_end[], __stack_top[];
static volatile uint8_t pins;

static int semihost(int operation, const void *argument) {
    register int r0 __asm__("r0") = operation;
    register const void *r1 __asm__("r1") = argument;
    __asm__ volatile("bkpt 0xab" : "+r"(r0) : "r"(r1) : "memory");
    return r0;
}

void board_init(void) {
    volatile uint32_t *word = __stack_top - PAINTED / 4;
    uint32_t sp;
    __asm__ volatile("mov %0, sp" : "=r"(sp));
    while ((uint32_t)word < sp - 64) *word++ = PATTERN;
    TIMER_RELOAD = 0xFFFFFFFFu;
    TIMER_VALUE = 0xFFFFFFFFu;
    TIMER_CONTROL = 1;
}

int board_clock(void *ctx, int tms, int tdi) {
    (void)ctx;
    pins = (uint8_t)(2 * tms + tdi);
    return 0;
}

void board_shift(void *ctx, const uint8_t *tdi, uint8_t *tdo, size_t bytes) {
    (void)ctx;
    (void)tdi;
    (void)tdo;
    (void)bytes;
}

static char *decimal(char *end, uint32_t value) {
    do *--end = (char)('0' + value % 10);
    while (value /= 10);
    return end;
}

void board_done(int status) {
    uint32_t ticks = 0xFFFFFFFFu - TIMER_VALUE, depth;
    const uint32_t *word = __stack_top - PAINTED / 4;
    static char text[64];
    char *at = text + sizeof text - 1;
    while (*word == PATTERN) ++word;
    depth = (uint32_t)((__stack_top - word) * 4);
    *--at = '\n';
    at = decimal(at, depth);
    at -= 7;
    for (int i = 0; i < 7; ++i) at[i] = " stack "[i];
    at = decimal(at, ticks);
    at -= 7;
    for (int i = 0; i < 7; ++i) at[i] = " ticks "[i];
    at = decimal(at, (uint32_t)status);
    at -= 4;
    for (int i = 0; i < 4; ++i) at[i] = "end "[i];
    semihost(0x04, at); /* write a string */
    semihost(0x18, (const void *)0x20026);
    for (;;) {
    }
}

/* What the Cortex-M player (main.c) asks of the board: the TAP pins as the
   player's clock and bulk shift callbacks, and what to do with the end
   code.  board_gpio.c drives them with GPIO and SPI registers. */
#ifndef QSVF_EXAMPLE_BOARD_H
#define QSVF_EXAMPLE_BOARD_H

#include <stddef.h>
#include <stdint.h>

/* Sets up the pins: TCK, TMS and TDI outputs (low), TDO an input. */
void board_init(void);
/* One TCK with TMS and TDI; returns TDO, read before the rising edge. */
int board_clock(void *ctx, int tms, int tdi);
/* 8 * bytes clocks with TMS low, TDI from `tdi` bit 0 of byte 0 first;
   TDO into `tdo` the same way unless it is null. */
void board_shift(void *ctx, const uint8_t *tdi, uint8_t *tdo, size_t bytes);
/* Shows the end code of the play (qsvfplay.h: QSVFPLAY_COMPLETE and the
   others); does not return. */
void board_done(int status);

#endif

/* The pins of board.h on a Cortex-M microcontroller's registers.  TCK, TMS,
   TDI and TDO are pins of one GPIO port that has separate set, clear and
   input registers; the clock callback bit-bangs them.  The bulk shift is
   the fast path: TCK, TDI and TDO are handed to an SPI peripheral (master,
   mode 0: data out changes after the falling edge and data in is sampled
   at the rising edge, as TDI and TDO are; 8-bit frames, least significant
   bit first, as the player keeps its bits) for the whole bytes of a scan,
   TMS held low.  The end code is left on three more pins of the port.

   The register addresses and bit numbers are a placeholder layout: put in
   those of your microcontroller from its reference manual (README.md). */
#include "board.h"

#define REG(address) (*(volatile uint32_t *)(address))

#define GPIO_BASE 0x40010000u
#define GPIO_IN REG(GPIO_BASE + 0x00)        /* pin levels */
#define GPIO_SET REG(GPIO_BASE + 0x04)       /* a 1 drives its pin high */
#define GPIO_CLEAR REG(GPIO_BASE + 0x08)     /* a 1 drives its pin low */
#define GPIO_OUTPUT REG(GPIO_BASE + 0x0C)    /* a 1 makes its pin an output */
#define GPIO_ALTERNATE REG(GPIO_BASE + 0x10) /* a 1 gives its pin to the SPI peripheral */
#define TCK_BIT (1u << 0)                    /* also the SPI clock */
#define TMS_BIT (1u << 1)
#define TDI_BIT (1u << 2) /* also the SPI data out */
#define TDO_BIT (1u << 3) /* also the SPI data in */
#define RESULT_SHIFT 4    /* the end code on pins 4 to 6 */

#define SPI_BASE 0x40020000u
#define SPI_CONTROL REG(SPI_BASE + 0x00)
#define SPI_STATUS REG(SPI_BASE + 0x04)
#define SPI_DATA REG(SPI_BASE + 0x08)
#define SPI_ENABLE (1u << 0)
#define SPI_MASTER (1u << 1)
#define SPI_LSB_FIRST (1u << 2)
#define SPI_CLOCK_DIVIDER(n) ((uint32_t)(n) << 8) /* TCK = bus clock / n */
#define SPI_RECEIVED (1u << 0)                    /* a received byte waits in SPI_DATA */
#define SPI_SEND_EMPTY (1u << 1)                  /* SPI_DATA takes the next byte */

void board_init(void) {
    GPIO_CLEAR = TCK_BIT | TMS_BIT | TDI_BIT;
    GPIO_OUTPUT = TCK_BIT | TMS_BIT | TDI_BIT;
    SPI_CONTROL = SPI_ENABLE | SPI_MASTER | SPI_LSB_FIRST | SPI_CLOCK_DIVIDER(4);
}

int board_clock(void *ctx, int tms, int tdi) {
    uint32_t high = (tms ? TMS_BIT : 0) | (tdi ? TDI_BIT : 0);
    int tdo;
    (void)ctx;
    GPIO_SET = high;
    GPIO_CLEAR = high ^ (TMS_BIT | TDI_BIT);
    tdo = (GPIO_IN & TDO_BIT) != 0;
    GPIO_SET = TCK_BIT;
    GPIO_CLEAR = TCK_BIT;
    return tdo;
}

void board_shift(void *ctx, const uint8_t *tdi, uint8_t *tdo, size_t bytes) {
    size_t i;
    (void)ctx;
    GPIO_CLEAR = TMS_BIT;
    GPIO_ALTERNATE = TCK_BIT | TDI_BIT | TDO_BIT;
    for (i = 0; i < bytes; ++i) {
        uint8_t in;
        while (!(SPI_STATUS & SPI_SEND_EMPTY)) {
        }
        SPI_DATA = tdi[i];
        while (!(SPI_STATUS & SPI_RECEIVED)) {
        }
        in = (uint8_t)SPI_DATA;
        if (tdo) tdo[i] = in;
    }
    GPIO_ALTERNATE = 0;
}

void board_done(int status) {
    GPIO_OUTPUT |= 7u << RESULT_SHIFT;
    GPIO_SET = ((uint32_t)status & 7u) << RESULT_SHIFT;
    for (;;) __asm__ volatile("wfi");
}

/* Start-up code of the Cortex-M player: the vector table, and the reset
   handler that copies .data from flash, clears .bss and calls main.  The
   symbols come from link.ld. */
#include <stdint.h>

extern uint32_t __data_load[], __data_start[], __data_end[], __bss_start[], __bss_end[], __stack_top[];
int main(void);

void Reset_Handler(void) {
    volatile uint32_t *to = __data_start;
    const uint32_t *from = __data_load;
    while (to < __data_end) *to++ = *from++;
    for (to = __bss_start; to < __bss_end;) *to++ = 0;
    main();
    for (;;) {
    }
}

static void Default_Handler(void) {
    for (;;) {
    }
}

/* A board may take over the fault handler (to show a crash on a pin). */
void HardFault_Handler(void) __attribute__((weak, alias("Default_Handler")));

/* Stack top, reset, NMI, hard fault, then the exceptions and interrupts
   this program does not use. */
__attribute__((section(".vectors"), used)) static void (*const vectors[16])(void) = {
    (void (*)(void))(uintptr_t)__stack_top, Reset_Handler, Default_Handler, HardFault_Handler,
    Default_Handler, Default_Handler, Default_Handler, 0, 0, 0, 0, Default_Handler, Default_Handler, 0,
    Default_Handler, Default_Handler};

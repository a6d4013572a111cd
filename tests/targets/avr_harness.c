/* Runs an AVR player firmware (player/examples/avr) in simavr: the port pins
   of the TAP and of the end code are written to a VCD file by simavr's own
   VCD module, and TDO is driven from a file of '0' and '1', one per clock,
   the next value put on the pin at each falling edge of TCK.  Prints the
   CPU cycles when the firmware went to sleep for good.

     avr_harness FIRMWARE.elf TDO-FILE VCD-FILE [CYCLE-LIMIT]

   Status 0 when the firmware ended, 1 when it crashed or ran past the
   limit, 2 on a usage or file error. */
#include <simavr/avr_ioport.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_elf.h>
#include <simavr/sim_vcd_file.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The processor when the firmware does not name it: the example's. */
#ifndef AVR_MCU
#error "AVR_MCU: the name of the processor for simavr"
#endif

/* The pins of the example: TMS on PB0, TDI on PB3, TDO on PB4, TCK on PB5,
   the end code on port C. */
enum { TMS_PIN = 0, TDI_PIN = 3, TDO_PIN = 4, TCK_PIN = 5 };
enum { STACK_PATTERN = 0xA5 };

struct tdo_feed {
    avr_irq_t *pin;
    const char *values;
    size_t count, next;
    uint32_t tck;
};

static void drive_tdo(struct tdo_feed *feed) {
    int value = feed->next < feed->count && feed->values[feed->next] == '1';
    avr_raise_irq(feed->pin, value);
}

static void on_tck(struct avr_irq_t *irq, uint32_t value, void *param) {
    struct tdo_feed *feed = param;
    (void)irq;
    /* a port write that leaves TCK low is no edge */
    if (feed->tck && !value) {
        ++feed->next;
        drive_tdo(feed);
    }
    feed->tck = value;
}

static char *read_text(const char *name, size_t *size) {
    FILE *file = fopen(name, "rb");
    char *text;
    long length;
    if (!file || fseek(file, 0, SEEK_END) != 0 || (length = ftell(file)) < 0) return 0;
    rewind(file);
    text = malloc((size_t)length + 1);
    if (!text || fread(text, 1, (size_t)length, file) != (size_t)length) return 0;
    fclose(file);
    *size = (size_t)length;
    return text;
}

int main(int argc, char **argv) {
    elf_firmware_t firmware;
    avr_t *avr;
    avr_vcd_t vcd;
    struct tdo_feed feed;
    avr_irq_t *port_b, *port_c;
    unsigned long long limit = argc > 4 ? strtoull(argv[4], 0, 10) : 2000000000ull;
    int state;
    unsigned address, run;

    if (argc < 4) {
        fprintf(stderr, "usage: avr_harness FIRMWARE.elf TDO-FILE VCD-FILE [CYCLE-LIMIT]\n");
        return 2;
    }
    memset(&firmware, 0, sizeof firmware);
    memset(&feed, 0, sizeof feed);
    if (elf_read_firmware(argv[1], &firmware) != 0 || !(feed.values = read_text(argv[2], &feed.count))) {
        fprintf(stderr, "avr_harness: cannot read %s or %s\n", argv[1], argv[2]);
        return 2;
    }
    avr = avr_make_mcu_by_name(firmware.mmcu[0] ? firmware.mmcu : AVR_MCU);
    if (!avr) return 2;
    avr_init(avr);
    avr->log = LOG_ERROR;
    avr_load_firmware(avr, &firmware);
    avr->frequency = 16000000;

    port_b = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('B'), 0);
    port_c = avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('C'), 0);
    if (avr_vcd_init(avr, argv[3], &vcd, 1000) != 0) return 2;
    avr_vcd_add_signal(&vcd, port_b + TCK_PIN, 1, "tck");
    avr_vcd_add_signal(&vcd, port_b + TMS_PIN, 1, "tms");
    avr_vcd_add_signal(&vcd, port_b + TDI_PIN, 1, "tdi");
    avr_vcd_add_signal(&vcd, port_b + TDO_PIN, 1, "tdo");
    avr_vcd_add_signal(&vcd, port_c + IOPORT_IRQ_PIN_ALL, 8, "result");
    avr_vcd_start(&vcd);

    for (address = avr->ioend + 1; address <= avr->ramend; ++address) avr->data[address] = STACK_PATTERN;
    feed.pin = port_b + TDO_PIN;
    drive_tdo(&feed);
    avr_irq_register_notify(port_b + TCK_PIN, on_tck, &feed);

    do state = avr_run(avr);
    while (state != cpu_Done && state != cpu_Crashed && avr->cycle < limit);
    avr_vcd_stop(&vcd);
    avr_vcd_close(&vcd);
    /* The stack ends above the highest run of 64 untouched pattern bytes (a
       frame may leave a few of its bytes unwritten). */
    for (address = avr->ramend, run = 0; address > avr->ioend && run < 64; --address)
        run = avr->data[address] == STACK_PATTERN ? run + 1 : 0;
    printf("cycles %llu\nstack %u\n", (unsigned long long)avr->cycle, (unsigned)(avr->ramend - address - run));
    return state == cpu_Done ? 0 : 1;
}

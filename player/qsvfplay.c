/* qsvfplay: the records of a QSVF stream played on the caller's pins (what
   each record does is written down in qsvfplay.h).  One record is read
   whole into the buffer, checked, then played; the TAP walks come from two
   tables, the one-step transitions and the fixed paths between the stable
   states and into the shift states.

   Written for 8-bit processors as much as for 32-bit ones: a value of the
   stream is held in a fixed-width type of its size, a place or a length in
   the buffer in size_t (the buffer is one object in memory, so they fit):
   a bit length is turned into bytes once, when its vectors are read, and
   what is kept carries its byte length beside its bit length, so that the
   scans, the comparisons and the places in the buffer work in bytes.  A
   count that stays below 256 is a uint8_t; the tables stay in program
   memory on the AVR; the loops that run once per clock move bits with
   8-bit masks and count in 16 bits. */
#include "qsvfplay.h"

#include "qsvf_format.h"

/* Tables in program memory on the AVR, whose const data is otherwise
   copied into RAM; read through ROM_BYTE. */
#ifdef __AVR__
#include <avr/pgmspace.h>
#define ROM PROGMEM
#define ROM_BYTE(entry) pgm_read_byte(&(entry))
#else
#define ROM
#define ROM_BYTE(entry) (entry)
#endif

/* Functions kept out of line although inlining them looks cheaper: the
   caller would keep more values at once than the registers hold (and
   shiftBits, inlined into a large function on the AVR, loses the registers
   its loop per bit needs).  Some only on 32-bit processors: on the AVR,
   whose calls cost more, inlined they are smaller. */
#ifdef __GNUC__
#define NOT_INLINED __attribute__((noinline))
#else
#define NOT_INLINED
#endif
#ifndef __AVR__
#define NOT_INLINED_32 NOT_INLINED
#else
#define NOT_INLINED_32
#endif

enum { STARTED = 1, DR_SET = 2, MASKS_SET = 4 };

/* A board whose streams hold no QSETSDRMASKS and no QSDRINC (svf2qsvf
   writes neither) may build the library with QSVFPLAY_NO_INCREMENTS: the
   two are then unknown opcodes, and their code is left out (on the AVR
   that is a seventh of the library). */
#ifdef QSVFPLAY_NO_INCREMENTS
#define INCREMENTS_PLAYED 0
#else
#define INCREMENTS_PLAYED 1
#endif

/* The next state of each state for TMS 0 (low nibble) and TMS 1 (high). */
static const uint8_t kNext[QSVF_STATE_COUNT] ROM = {0x01, 0x21, 0x93, 0x54, 0x54, 0x86, 0x76, 0x84,
                                                    0x21, 0x0A, 0xCB, 0xCB, 0xFD, 0xED, 0xFB, 0x21};

/* Each stable state's row in kWalks; NOT_STABLE for the others. */
enum { NOT_STABLE = 4 };
static const uint8_t kStable[QSVF_STATE_COUNT] ROM = {0, 1, 4, 4, 4, 4, 2, 4, 4, 4, 4, 4, 4, 3, 4, 4};

/* Walks from each stable state (Test-Logic-Reset, Run-Test/Idle, Pause-DR,
   Pause-IR) to each of them and to Shift-DR and Shift-IR: the TMS values,
   first clock in the low bit, with a 1 above the last.
   From the pause state of the register being scanned the walk goes through
   Exit2 straight back to Shift, as an SVF scan from that pause state does:
   no Update and no Capture, so a scan split over several commands that end
   in the pause state reaches the device as one. */
#define WALK(n, tms) ((uint8_t)((tms) | 1 << (n)))
static const uint8_t kWalks[4][6] ROM = {
    /* from Test-Logic-Reset */
    {WALK(1, 0x1), WALK(1, 0x0), WALK(5, 0x0A), WALK(6, 0x16), WALK(4, 0x02), WALK(5, 0x06)},
    /* from Run-Test/Idle */
    {WALK(3, 0x7), WALK(1, 0x0), WALK(4, 0x05), WALK(5, 0x0B), WALK(3, 0x01), WALK(4, 0x03)},
    /* from Pause-DR */
    {WALK(5, 0x1F), WALK(3, 0x3), WALK(1, 0x00), WALK(7, 0x2F), WALK(2, 0x01), WALK(6, 0x0F)},
    /* from Pause-IR */
    {WALK(5, 0x1F), WALK(3, 0x3), WALK(6, 0x17), WALK(1, 0x00), WALK(5, 0x07), WALK(2, 0x01)},
};
enum { TO_DRSHIFT = 4, TO_IRSHIFT = 5 };

/* How each state is reached: from the stable state in the low 2 bits (a
   kWalks row), then along the walk above them (held as in kWalks), the
   start of its walk into a pause state or a shift state; a stable state is
   reached from itself with no clock. */
#define VIA(from, n, tms) ((uint8_t)((from) | WALK(n, tms) << 2))
static const uint8_t kVia[QSVF_STATE_COUNT] ROM = {
    VIA(0, 0, 0x0), /* Test-Logic-Reset */
    VIA(1, 0, 0x0), /* Run-Test/Idle */
    VIA(1, 1, 0x1), /* Select-DR-Scan */
    VIA(1, 2, 0x1), /* Capture-DR */
    VIA(1, 3, 0x1), /* Shift-DR */
    VIA(1, 3, 0x5), /* Exit1-DR */
    VIA(2, 0, 0x0), /* Pause-DR */
    VIA(2, 1, 0x1), /* Exit2-DR */
    VIA(2, 2, 0x3), /* Update-DR */
    VIA(1, 2, 0x3), /* Select-IR-Scan */
    VIA(1, 3, 0x3), /* Capture-IR */
    VIA(1, 4, 0x3), /* Shift-IR */
    VIA(1, 4, 0xB), /* Exit1-IR */
    VIA(3, 0, 0x0), /* Pause-IR */
    VIA(3, 1, 0x1), /* Exit2-IR */
    VIA(3, 2, 0x3), /* Update-IR */
};

/* The kWalks row of a state code (below QSVF_STATE_COUNT), or NOT_STABLE. */
static uint8_t stableIndex(uint8_t state) { return ROM_BYTE(kStable[state]); }

/* Bytes of a vector of `bits` bits, without overflow at the top of the range. */
static uint32_t bytesOf(uint32_t bits) { return (bits >> 3) + ((bits & 7) != 0); }

/* The bits of the last byte of a vector that holds `tail` bits there
   (tail 0 to 7; 0: all 8), from a table: the AVR has no shift by a
   variable count. */
static const uint8_t kUsed[8] ROM = {0xFF, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F};
static uint8_t usedBits(uint8_t tail) { return ROM_BYTE(kUsed[tail]); }

/* ---- the buffer: increment masks, TDO mask, kept expected TDO, then the
   record.  Their byte lengths are kept beside the bit lengths, so that a
   place in the buffer is a sum of sizes. */

static size_t maskAt(const qsvfplay_state *p) { return INCREMENTS_PLAYED ? 2 * p->increment_bytes : 0; }
NOT_INLINED static size_t expectedAt(const qsvfplay_state *p) { return maskAt(p) + p->mask_bytes; }
NOT_INLINED_32 static size_t recordAt(const qsvfplay_state *p) { return expectedAt(p) + p->expected_bytes; }

static void reverse(uint8_t *at, size_t n) {
    uint8_t *end = at + n;
    while (at + 1 < end) {
        uint8_t t = *at;
        *at++ = *--end;
        *end = t;
    }
}

NOT_INLINED_32 static void rotateLeft(uint8_t *at, size_t n, size_t k) {
    reverse(at, k);
    reverse(at + k, n - k);
    reverse(at, n);
}

/* Puts the n bytes at `from` in place of the `len` bytes at `start`; what
   lies between them follows the new bytes. */
static void replace(uint8_t *buf, size_t start, size_t len, size_t from, size_t n) {
    size_t total = from + n - start;
    rotateLeft(buf + start, total, len);
    rotateLeft(buf + start, total - len, from - start - len);
}

/* ---- reading */

static int readBytes(qsvfplay_state *p, uint8_t *to, size_t n) {
    while (n) {
        size_t got = p->io->read(p->ctx, to, n);
        if (got == 0) return 0;
        if (got > n) got = n;
        to += got;
        n -= got;
        p->offset += (uint32_t)got;
    }
    return 1;
}

/* Reads an integer of n bytes (0 to 4), the highest byte first. */
NOT_INLINED static int readInteger(qsvfplay_state *p, uint8_t n, uint32_t *value) {
    uint8_t bytes[4], i;
    *value = 0;
    if (!readBytes(p, bytes, n)) return 0;
    for (i = 0; i < n; ++i) *value = *value << 8 | bytes[i];
    return 1;
}

/* Reads a vector of n bytes whose last holds `tail` bits (0: 8) and turns
   it into shift order, the bits above its length cleared. */
static int readVector(qsvfplay_state *p, uint8_t *at, size_t n, uint8_t tail) {
    if (!readBytes(p, at, n)) return 0;
    reverse(at, n);
    if (tail) at[n - 1] &= usedBits(tail);
    return 1;
}

/* ---- pins */

static void clock1(qsvfplay_state *p, int tms) {
    uint8_t next = ROM_BYTE(kNext[p->tap]);
    p->tap = (uint8_t)(tms ? next >> 4 : next & 15);
    p->io->clock(p->ctx, tms, 0);
}

/* The clocks of a walk as kWalks holds them. */
static void walk(qsvfplay_state *p, uint8_t steps) {
    for (; steps > 1; steps >>= 1) clock1(p, steps & 1);
}

/* Walks from the resting state to target (a kWalks column); 0 when the
   TAP does not rest in a stable state. */
static int walkTo(qsvfplay_state *p, uint8_t target) {
    uint8_t from = stableIndex(p->tap);
    if (from == NOT_STABLE) return 0;
    walk(p, ROM_BYTE(kWalks[from][target]));
    return 1;
}

/* `count` clocks with the same TMS and TDI low, counted in 16 bits. */
static void waitClocks(qsvfplay_state *p, uint32_t count, int tms) {
    int (*clock)(void *, int, int) = p->io->clock;
    void *ctx = p->ctx;
    /* the low 16 bits of the count first, then rounds of 65,536 clocks, in
       which low starts from 0; a count of whole rounds starts with one */
    uint16_t low = (uint16_t)count, high = (uint16_t)(count >> 16);
    if (!low) {
        if (!high) return;
        --high;
    }
    do
        do
            clock(ctx, tms, 0);
        while (--low);
    while (high--);
}

NOT_INLINED static void runTest(qsvfplay_state *p) {
    if (!p->run_test) return;
    if (p->tap != QSVF_STATE_IDLE) walkTo(p, 1);
    waitClocks(p, p->run_test, 0);
}

/* Clocks the low `n` bits of `in` (1 to 8), bit 0 first, with TMS low;
   returns their TDO, bit 0 first.  Out of line on 32-bit processors: on a
   Cortex-M, inlined into the byte loop of shiftBits, it costs a sixth more
   per bit. */
NOT_INLINED_32 static uint8_t shiftByte(int (*clock)(void *, int, int), void *ctx, uint8_t in, uint8_t n) {
    uint8_t out = 0, m = 1;
    do {
        if (clock(ctx, 0, in & 1)) out |= m;
        in >>= 1;
        m <<= 1;
    } while (--n);
    return out;
}

/* ---- scans */

/* What a scan does besides its bits: an unsplit scan does all of it, a
   piece of a split scan walks in when it is the first and leaves when it
   is the last. */
enum { WALK_IN = 1, LEAVE = 2, WAIT_AFTER = 4, IR_SCAN = 8, UNSPLIT = WALK_IN | LEAVE | WAIT_AFTER };

/* A scan being played: its vectors in the buffer, in bytes; the last byte
   of the scan holds `tail` bits (0: 8).  TDO is compared when `expected`
   is not null and a TDO mask stands; it is read into `read`. */
typedef struct Scan {
    const uint8_t *tdi, *expected;
    uint8_t *read;
    size_t bytes, expectedBytes;
    uint8_t tail, how;
} Scan;

/* Shifts the scan's bits from the shift state; when it leaves, TMS is
   high on the last bit.  TDO goes to `read` unless it is null, a byte at a
   time; the bits of a last partial byte above the scan are left as they
   were. */
NOT_INLINED static void shiftBits(qsvfplay_state *p, const Scan *s) {
    int (*clock)(void *, int, int) = p->io->clock;
    void *ctx = p->ctx;
    const uint8_t *tdi = s->tdi;
    uint8_t *tdo = s->read, last = (s->how & LEAVE) != 0, rest = 0, out, in, m;
    size_t whole = s->bytes; /* the whole bytes with TMS low, then the `rest` bits of the last byte */
    if (s->tail || last) {
        --whole;
        rest = s->tail ? s->tail : 8;
    }
    if (p->io->shift && whole) {
        p->io->shift(ctx, tdi, tdo, whole);
        tdi += whole;
        if (tdo) tdo += whole;
        whole = 0;
    }
    for (; whole; --whole) {
        out = shiftByte(clock, ctx, *tdi++, 8);
        if (tdo) *tdo++ = out;
    }
    /* the last byte, TMS high on its last bit when the scan leaves */
    if (!rest) return;
    for (in = *tdi, out = 0, m = 1; rest; --rest, in >>= 1, m <<= 1)
        if (clock(ctx, (rest == 1) & last, in & 1)) out = (uint8_t)(out | m);
    if (last) p->tap = ROM_BYTE(kNext[p->tap]) >> 4;
    if (tdo) *tdo = (uint8_t)((*tdo & (uint8_t)-m) | out);
}

NOT_INLINED_32 static uint8_t ones(uint8_t byte) {
    uint8_t n = 0;
    for (; byte; byte &= (uint8_t)(byte - 1)) ++n;
    return n;
}

/* Compares the TDO read with the expected bytes under the standing mask;
   1 when a compared bit differs.  The mask's and the expected value's bits
   beyond their lengths are 0; the bits read beyond the scan are not. */
static int differs(qsvfplay_state *p, const Scan *s) {
    const uint8_t *mask = p->buf + maskAt(p);
    size_t n = s->bytes, limit = n < p->mask_bytes ? n : p->mask_bytes, i;
    uint8_t diff = 0, m, top = usedBits(s->tail);
    for (i = 0; i < limit; ++i) {
        m = mask[i];
        if (i + 1 == n) m &= top;
        diff |= (uint8_t)(((i < s->expectedBytes ? s->expected[i] : 0) ^ s->read[i]) & m);
        p->compared += ones(m);
    }
    return diff != 0;
}

/* A scan: from the resting state into the shift state, the bits, out to
   the end state, the run-test wait.  An unsplit scan is repeated, with its
   wait, while its comparison fails and repeats are left. */
NOT_INLINED_32 static int playScan(qsvfplay_state *p, const Scan *s) {
    uint8_t tries = 0, how = s->how;
    if (!s->bytes && (how & WAIT_AFTER)) {
        runTest(p);
        return QSVFPLAY_MORE;
    }
    if (how & WALK_IN) {
        if (stableIndex(p->tap) == NOT_STABLE) return QSVFPLAY_BAD_OPERAND;
        ++p->scans;
    }
    for (;;) {
        if (how & WALK_IN) walkTo(p, how & IR_SCAN ? TO_IRSHIFT : TO_DRSHIFT);
        shiftBits(p, s);
        if (how & LEAVE) {
            /* from Exit1 to the end state of the register */
            if ((how & IR_SCAN ? p->end_ir : p->end_dr) == QSVF_STATE_IDLE) clock1(p, 1);
            clock1(p, 0);
        }
        if (how & WAIT_AFTER) runTest(p);
        if (!s->read || !differs(p, s)) return QSVFPLAY_MORE;
        if (!(how & WAIT_AFTER) || tries++ == p->repeat) return QSVFPLAY_TDO_FAILED;
        ++p->repeats;
    }
}

/* The scan after `tdi` in a QSDRINC run, byte by byte: the data-mask bits
   cleared, the address mask added (the carry from the byte before), then
   the field's bits put into the data-mask positions, its lowest bit (the
   low bit of its last byte) into the lowest position. */
static void nextIncrement(qsvfplay_state *p, uint8_t *tdi, const uint8_t *field) {
    size_t masks = p->increment_bytes, n = p->vector_bytes, j;
    const uint8_t *address = p->buf, *data = p->buf + masks;
    uint8_t top = usedBits(p->dr_bits & 7), fieldBit = 0, fieldByte = 0, d, a, m, v;
    uint16_t sum = 0;
    for (j = 0; j < n; ++j) {
        d = a = 0;
        if (j < masks) {
            d = data[j];
            a = address[j];
        }
        sum = (uint16_t)((uint8_t)(tdi[j] & ~d) + a + (sum >> 8));
        v = (uint8_t)sum;
        if (j + 1 == n) {
            v &= top;
            d &= top;
        }
        for (m = 1; d; m <<= 1) {
            if (!(d & m)) continue;
            d &= (uint8_t)~m;
            if (!fieldBit) {
                fieldByte = *--field;
                fieldBit = 1;
            }
            v = (uint8_t)(fieldByte & fieldBit ? v | m : v & ~m);
            fieldBit <<= 1;
        }
        tdi[j] = v;
    }
}

/* ---- records */

/* QSTATE, and QRESET and QIDLE, the moves to states 0 and 1 */
static int playMove(qsvfplay_state *p, uint8_t state) {
    uint8_t next = ROM_BYTE(kNext[p->tap]), via, from;
    if (state >= QSVF_STATE_COUNT) return QSVFPLAY_BAD_OPERAND;
    via = ROM_BYTE(kVia[state]);
    from = via & 3;
    if ((next & 15) == state) clock1(p, 0);
    else if ((next >> 4) == state) clock1(p, 1);
    else if (stableIndex(p->tap) == NOT_STABLE) return QSVFPLAY_BAD_OPERAND;
    else {
        /* to the stable state before it, then on along that walk */
        if (stableIndex(p->tap) != from) walkTo(p, from);
        walk(p, via >> 2);
    }
    return QSVFPLAY_MORE;
}

/* QWAIT: to the wait state, the clocks there, to the end state */
static int playWait(qsvfplay_state *p) {
    uint8_t states[2], wait, end;
    uint32_t count;
    if (!readBytes(p, states, 2) || !readInteger(p, 4, &count)) return QSVFPLAY_TRUNCATED;
    if (states[0] >= QSVF_STATE_COUNT || states[1] >= QSVF_STATE_COUNT) return QSVFPLAY_BAD_OPERAND;
    wait = stableIndex(states[0]);
    end = stableIndex(states[1]);
    if (wait == NOT_STABLE || end == NOT_STABLE || stableIndex(p->tap) == NOT_STABLE) return QSVFPLAY_BAD_OPERAND;
    if (p->tap != states[0]) walkTo(p, wait);
    waitClocks(p, count, states[0] == QSVF_STATE_RESET);
    if (p->tap != states[1]) walkTo(p, end);
    return QSVFPLAY_MORE;
}

/* What each record does (top 4 bits), and per opcode: the bytes of the
   integer that opens the record (0, 1, 2 or 4: size code 0 to 3 in the low
   2 bits) or, for the records of DR vectors, whether a second vector
   follows the first and whether the TDO read needs room; whether the
   record may stand between the pieces of a split scan; whether it is a
   piece that continues one. */
enum {
    COMPLETE, SET, MOVE, WAIT, COMMENT, INSTRUCTION, TDO_MASK, INCREMENT_MASKS, DATA, DATA_TDO, INCREMENTS,
    /* the pieces of a split scan; the action less MIDDLE is the scan's `how` */
    MIDDLE = 12, FIRST = MIDDLE + WALK_IN, LAST = MIDDLE + LEAVE
};
enum { BYTE = 1, WORD = 2, LONG = 3, SECOND = 1, READ_ROOM = 2, BETWEEN = 4, CONTINUES = 8 };
#define RECORD(action, flags) ((uint8_t)((action) << 4 | (flags)))
static const uint8_t kRecords[QSVF_OPCODE_COUNT] ROM = {
    RECORD(COMPLETE, 0),                                     /* QCOMPLETE */
    RECORD(TDO_MASK, BETWEEN),                               /* QTDOMASK */
    RECORD(INSTRUCTION, BYTE),                               /* QSIR */
    RECORD(DATA, READ_ROOM),                                 /* QSDR */
    RECORD(SET, LONG),                                       /* QRUNTEST */
    RECORD(MOVE, 0),                                         /* QRESET */
    RECORD(MOVE, 0),                                         /* QIDLE */
    RECORD(SET, BYTE),                                       /* QREPEAT */
    RECORD(SET, LONG | BETWEEN),                             /* QSDRSIZE */
    RECORD(DATA_TDO, SECOND | READ_ROOM),                    /* QSDRTDO */
    RECORD(INCREMENT_MASKS, SECOND),                         /* QSETSDRMASKS */
    RECORD(INCREMENTS, READ_ROOM),                           /* QSDRINC */
    RECORD(FIRST, 0),                                        /* QSDRB */
    RECORD(MIDDLE, BETWEEN | CONTINUES),                     /* QSDRC */
    RECORD(LAST, BETWEEN | CONTINUES),                       /* QSDRE */
    RECORD(FIRST, SECOND | READ_ROOM),                       /* QSDRTDOB */
    RECORD(MIDDLE, SECOND | READ_ROOM | BETWEEN | CONTINUES), /* QSDRTDOC */
    RECORD(LAST, SECOND | READ_ROOM | BETWEEN | CONTINUES),  /* QSDRTDOE */
    RECORD(MOVE, BYTE),                                      /* QSTATE */
    RECORD(SET, BYTE),                                       /* QENDIR */
    RECORD(SET, BYTE),                                       /* QENDDR */
    RECORD(INSTRUCTION, WORD),                               /* QSIR2 */
    RECORD(COMMENT, BETWEEN),                                /* QCOMMENT */
    RECORD(WAIT, 0),                                         /* QWAIT */
};

/* QRUNTEST, QREPEAT, QSDRSIZE, QENDIR, QENDDR */
static int setValue(qsvfplay_state *p, uint8_t opcode, uint32_t value) {
    if (opcode == QSVF_QRUNTEST) {
        p->run_test = value;
    } else if (opcode == QSVF_QREPEAT) {
        p->repeat = (uint8_t)value;
    } else if (opcode == QSVF_QSDRSIZE) {
        p->dr_bits = value;
        p->flags |= DR_SET;
    } else if (value > QSVF_END_PAUSE) {
        return QSVFPLAY_BAD_OPERAND;
    } else if (opcode == QSVF_QENDIR) {
        p->end_ir = value ? QSVF_STATE_IRPAUSE : QSVF_STATE_IDLE;
    } else {
        p->end_dr = value ? QSVF_STATE_DRPAUSE : QSVF_STATE_IDLE;
    }
    return QSVFPLAY_MORE;
}

/* Reads the next record and plays it.  The records of vectors (QSIR and
   QSIR2 of their own length, the others of the DR length) are read when
   they fit with room for the TDO read; then the masks or the expected
   value are kept, or the scan is played (every scan of a QSDRINC). */
static int playRecord(qsvfplay_state *p) {
    uint8_t opcode, kind, action, *fields, i, count = 0;
    uint32_t value = 0, bits, b32;
    size_t at = recordAt(p), room = (size_t)p->size - at, b, fieldBytes = 0, j;
    int status;
    Scan s;
    p->record = p->offset;
    if (!readBytes(p, &opcode, 1)) return QSVFPLAY_TRUNCATED;
    p->opcode = opcode;
    if (opcode >= QSVF_OPCODE_COUNT || (!INCREMENTS_PLAYED && (opcode == QSVF_QSETSDRMASKS || opcode == QSVF_QSDRINC)))
        return QSVFPLAY_BAD_OPCODE;
    kind = ROM_BYTE(kRecords[opcode]);
    action = kind >> 4;
    if (p->in_split ? !(kind & BETWEEN) : (kind & CONTINUES) != 0) return QSVFPLAY_BAD_SPLIT;
    if (action <= INSTRUCTION) {
        /* the integer operand that opens the record, read in one place */
        if (!readInteger(p, (kind & 3) == LONG ? 4 : kind & 3, &value)) return QSVFPLAY_TRUNCATED;
        kind &= (uint8_t)~3; /* an instruction scan: one vector, no TDO read */
    }
    if (action == SET) return setValue(p, opcode, value);
    if (action == MOVE) return playMove(p, (uint8_t)(opcode == QSVF_QSTATE ? value : (uint32_t)(opcode - QSVF_QRESET)));
    if (action == WAIT) return playWait(p);
    if (action == COMMENT) {
        do
            if (!readBytes(p, &opcode, 1)) return QSVFPLAY_TRUNCATED;
        while (opcode);
        return QSVFPLAY_MORE;
    }
    if (action == COMPLETE) return QSVFPLAY_COMPLETE;
    bits = value;
    s.how = UNSPLIT | IR_SCAN;
    if (action != INSTRUCTION) {
        if (INCREMENTS_PLAYED && action == INCREMENTS) {
            if (!(p->flags & MASKS_SET)) return QSVFPLAY_BAD_OPERAND;
            /* the 1 bits of the data mask, counted in 32 bits: there may be
               more than a 16-bit size_t holds */
            for (b32 = 0, j = 0; j < p->increment_bytes; ++j) b32 += ones(p->buf[p->increment_bytes + j]);
            fieldBytes = (size_t)bytesOf(b32);
        }
        if (!(p->flags & DR_SET)) return QSVFPLAY_BAD_OPERAND;
        bits = p->dr_bits;
        s.how = UNSPLIT;
    }
    b32 = bytesOf(bits);
    for (i = (uint8_t)(1 + (kind & SECOND) + ((kind & READ_ROOM) >> 1)); i; --i) {
        if (b32 > room) return QSVFPLAY_TOO_LONG;
        room -= (size_t)b32;
    }
    p->vector_bytes = b = (size_t)b32;
    s.tdi = p->buf + at;
    s.tail = bits & 7;
    for (i = 0, fields = p->buf + at; i <= (kind & SECOND); ++i, fields += b)
        if (!readVector(p, fields, b, s.tail)) return QSVFPLAY_TRUNCATED;
    if (action == TDO_MASK) {
        replace(p->buf, maskAt(p), p->mask_bytes, at, b);
        p->mask_bits = bits;
        p->mask_bytes = b;
        return QSVFPLAY_MORE;
    }
    if (INCREMENTS_PLAYED && action == INCREMENT_MASKS) {
        replace(p->buf, 0, 2 * p->increment_bytes, at, 2 * b);
        p->increment_bits = bits;
        p->increment_bytes = b;
        p->flags |= MASKS_SET;
        return QSVFPLAY_MORE;
    }
    if (action == DATA_TDO) {
        replace(p->buf, expectedAt(p), p->expected_bytes, at + b, b);
        p->expected_bits = bits;
        p->expected_bytes = b;
        s.tdi = p->buf + recordAt(p);
    }
    if (INCREMENTS_PLAYED && action == INCREMENTS) {
        if (!readBytes(p, &count, 1)) return QSVFPLAY_TRUNCATED;
        room = (size_t)p->size - at - 2 * b;
        for (i = count; i; --i) {
            if (fieldBytes > room) return QSVFPLAY_TOO_LONG;
            room -= fieldBytes;
        }
        if (!readBytes(p, fields, (size_t)count * fieldBytes)) return QSVFPLAY_TRUNCATED;
    }
    s.expected = action == INSTRUCTION ? 0 : p->buf + expectedAt(p);
    s.expectedBytes = p->expected_bytes;
    if (action >= MIDDLE) {
        if (action == LAST && !bits) return QSVFPLAY_BAD_SPLIT;
        s.how = (uint8_t)(action - MIDDLE);
        s.expected = kind & SECOND ? s.tdi + b : 0;
        s.expectedBytes = b;
    }
    s.bytes = b;
    s.read = s.expected && p->mask_bytes ? p->buf + ((size_t)p->size - b) : 0;
    for (j = 0;; ++j) {
        status = playScan(p, &s);
        if (!INCREMENTS_PLAYED || j == count || status != QSVFPLAY_MORE) break;
        nextIncrement(p, p->buf + at, fields + (j + 1) * fieldBytes);
    }
    if (action >= MIDDLE) p->in_split = action != LAST;
    return status;
}

/* ---- the interface */

void qsvfplay_init(qsvfplay_state *player, const qsvfplay_io *io, void *ctx, uint8_t *buffer, uint32_t size) {
    /* cleared byte by byte through a volatile pointer, so that no compiler
       turns the loop into a call of the C library's memset */
    volatile uint8_t *byte = (volatile uint8_t *)player;
    size_t i;
    for (i = 0; i < sizeof *player; ++i) byte[i] = 0;
    player->io = io;
    player->ctx = ctx;
    player->buf = buffer;
    player->size = size;
    player->end_ir = player->end_dr = QSVF_STATE_IDLE;
}

int qsvfplay_step(qsvfplay_state *player) {
    if (player->status != QSVFPLAY_MORE) return player->status;
    if (!(player->flags & STARTED)) {
        player->flags |= STARTED;
        if (player->io->trst) player->io->trst(player->ctx, 0);
        /* five clocks of TMS high: Test-Logic-Reset from any state */
        waitClocks(player, 5, 1);
    }
    player->status = (uint8_t)playRecord(player);
    return player->status;
}

int qsvfplay_run(qsvfplay_state *player) {
    int status;
    while ((status = qsvfplay_step(player)) == QSVFPLAY_MORE) {
    }
    return status;
}

int qsvfplay_scan_vectors(const qsvfplay_state *player, qsvfplay_vectors *vectors) {
    uint8_t opcode = player->opcode, *buf = player->buf, *at = buf + recordAt(player);
    const uint8_t *expected = buf + expectedAt(player);
    uint32_t expectedBits = player->expected_bits;
    if (opcode >= QSVF_QSDRB && opcode <= QSVF_QSDRTDOE) {
        /* a piece: its own expected value, if it has one, behind its TDI */
        expected = 0;
        expectedBits = 0;
        if (opcode >= QSVF_QSDRTDOB) {
            expected = at + player->vector_bytes;
            expectedBits = player->dr_bits;
        }
    } else if (opcode != QSVF_QSDR && opcode != QSVF_QSDRTDO && (!INCREMENTS_PLAYED || opcode != QSVF_QSDRINC)) {
        return 0;
    }
    vectors->tdi = at;
    vectors->expected = expected;
    vectors->expected_bits = expectedBits;
    vectors->bits = player->dr_bits;
    vectors->mask = buf + maskAt(player);
    vectors->mask_bits = player->mask_bits;
    vectors->read = buf + (size_t)player->size - player->vector_bytes;
    return 1;
}

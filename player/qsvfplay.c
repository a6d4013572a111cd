/* qsvfplay: the records of a QSVF stream played on the caller's pins (what
   each record does is written down in qsvfplay.h).  One record is read
   whole into the buffer, checked, then played; the TAP walks come from two
   tables, the one-step transitions and the fixed paths between the stable
   states and into the shift states.

   Written for 8-bit processors as much as for 32-bit ones: a value of the
   stream is held in a fixed-width type of its size, a place in the buffer
   in size_t (the buffer is one object in memory, so its places fit), a
   count that stays below 256 in uint8_t; the tables stay in program memory
   on the AVR, the table of the records among them, through which
   playRecord finds the function that plays each; the loops that run once
   per clock move bits with 8-bit masks and count in 16 bits. */
#include "qsvfplay.h"

#include "qsvf_format.h"

/* Tables in program memory on the AVR, whose const data is otherwise
   copied into RAM; read through ROM_BYTE and ROM_WORD. */
#ifdef __AVR__
#include <avr/pgmspace.h>
#define ROM PROGMEM
#define ROM_BYTE(entry) pgm_read_byte(&(entry))
#define ROM_WORD(entry) pgm_read_word(&(entry))
#define ROM_POINTER(entry) ((RecordPlayer)pgm_read_word(&(entry)))
#else
#define ROM
#define ROM_BYTE(entry) (entry)
#define ROM_WORD(entry) (entry)
#define ROM_POINTER(entry) (entry)
#endif

/* Small helpers called from many places stay functions: inlined, their
   32-bit arithmetic would be repeated at every call on an 8-bit processor. */
#if defined(__AVR__) && defined(__GNUC__)
#define NOT_INLINED __attribute__((noinline))
#else
#define NOT_INLINED
#endif

enum { STARTED = 1, DR_SET = 2, MASKS_SET = 4, IN_SPLIT = 8 };

/* The next state of each state for TMS 0 (low nibble) and TMS 1 (high). */
static const uint8_t kNext[QSVF_STATE_COUNT] ROM = {0x01, 0x21, 0x93, 0x54, 0x54, 0x86, 0x76, 0x84,
                                                    0x21, 0x0A, 0xCB, 0xCB, 0xFD, 0xED, 0xFB, 0x21};

/* Each stable state's row in kWalks; NOT_STABLE for the others. */
enum { NOT_STABLE = 4 };
static const uint8_t kStable[QSVF_STATE_COUNT] ROM = {0, 1, 4, 4, 4, 4, 2, 4, 4, 4, 4, 4, 4, 3, 4, 4};

/* Walks from each stable state (Test-Logic-Reset, Run-Test/Idle, Pause-DR,
   Pause-IR) to each of them and to Shift-DR and Shift-IR: the number of
   clocks in the low 3 bits, the TMS values above them, first clock first.
   From the pause state of the register being scanned the walk goes through
   Exit2 straight back to Shift, as an SVF scan from that pause state does:
   no Update and no Capture, so a scan split over several commands that end
   in the pause state reaches the device as one. */
#define WALK(n, tms) ((uint16_t)((n) | ((tms) << 3)))
static const uint16_t kWalks[4][6] ROM = {
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

/* How each state that is not stable is reached: from the stable state
   (low 2 bits, a kWalks row) along its walk to kWalks column (next 3 bits)
   for the number of clocks in the top 3 bits. */
#define VIA(from, to, clocks) ((uint8_t)((from) | (to) << 2 | (clocks) << 5))
static const uint8_t kVia[QSVF_STATE_COUNT] ROM = {
    0, 0, VIA(1, 2, 1), VIA(1, 2, 2), VIA(1, TO_DRSHIFT, 3), VIA(1, 2, 3), 0, VIA(2, 1, 1),
    VIA(2, 1, 2), VIA(1, 3, 2), VIA(1, 3, 3), VIA(1, TO_IRSHIFT, 4), VIA(1, 3, 4), 0, VIA(3, 1, 1), VIA(3, 1, 2)};

static uint8_t stableIndex(uint8_t state) {
    return state < QSVF_STATE_COUNT ? ROM_BYTE(kStable[state]) : (uint8_t)NOT_STABLE;
}

NOT_INLINED static uint32_t bytesOf(uint32_t bits) { return (bits >> 3) + ((bits & 7) != 0); }

/* The bits below bit `bits % 8` of a byte, all of them at a multiple of 8. */
static uint8_t lowBits(uint32_t bits) { return (uint8_t)((1u << (bits & 7)) - 1); }

/* ---- the buffer: increment masks, TDO mask, kept expected TDO, then the record */

NOT_INLINED static size_t drBytes(const qsvfplay_state *p) { return (size_t)bytesOf(p->dr_bits); }
NOT_INLINED static size_t incrementBytes(const qsvfplay_state *p) { return (size_t)bytesOf(p->increment_bits); }
NOT_INLINED static size_t maskAt(const qsvfplay_state *p) { return 2 * incrementBytes(p); }
NOT_INLINED static size_t expectedAt(const qsvfplay_state *p) { return maskAt(p) + (size_t)bytesOf(p->mask_bits); }
NOT_INLINED static size_t recordAt(const qsvfplay_state *p) {
    return expectedAt(p) + (size_t)bytesOf(p->expected_bits);
}

static void reverse(uint8_t *at, size_t n) {
    uint8_t *end = at + n;
    while (at + 1 < end) {
        uint8_t t = *at;
        *at++ = *--end;
        *end = t;
    }
}

static void rotateLeft(uint8_t *at, size_t n, size_t k) {
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

/* Takes n bytes of the room left; 0 when they do not fit. */
static int take(size_t *room, uint32_t n) {
    if (n > *room) return 0;
    *room -= (size_t)n;
    return 1;
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
static int readInteger(qsvfplay_state *p, uint8_t n, uint32_t *value) {
    uint8_t bytes[4], i;
    if (!readBytes(p, bytes, n)) return 0;
    *value = 0;
    for (i = 0; i < n; ++i) *value = *value << 8 | bytes[i];
    return 1;
}

/* Reads a vector of `bits` bits and turns it into shift order, the bits
   above its length cleared. */
static int readVector(qsvfplay_state *p, uint8_t *at, uint32_t bits) {
    size_t n = (size_t)bytesOf(bits);
    if (!readBytes(p, at, n)) return 0;
    reverse(at, n);
    if (bits & 7) at[n - 1] &= lowBits(bits);
    return 1;
}

/* Reads `count` vectors of the DR length at `at`, when they fit with
   `reserve` more of that length behind them. */
static int readDrVectors(qsvfplay_state *p, size_t at, uint8_t count, uint8_t reserve) {
    uint32_t b = bytesOf(p->dr_bits);
    size_t room = (size_t)p->size - at;
    uint8_t i;
    if (!(p->flags & DR_SET)) return QSVFPLAY_BAD_OPERAND;
    for (i = 0; i < count + reserve; ++i)
        if (!take(&room, b)) return QSVFPLAY_TOO_LONG;
    for (i = 0; i < count; ++i)
        if (!readVector(p, p->buf + at + i * (size_t)b, p->dr_bits)) return QSVFPLAY_TRUNCATED;
    return QSVFPLAY_MORE;
}

/* ---- pins */

static void clock1(qsvfplay_state *p, int tms) {
    uint8_t next = ROM_BYTE(kNext[p->tap]);
    p->tap = (uint8_t)(tms ? next >> 4 : next & 15);
    p->io->clock(p->ctx, tms, 0);
}

static void walk(qsvfplay_state *p, uint16_t steps) {
    uint8_t n = steps & 7;
    for (steps >>= 3; n; --n, steps >>= 1) clock1(p, steps & 1);
}

/* Walks from the resting state to target (a kWalks column); 0 when the
   TAP does not rest in a stable state. */
static int walkTo(qsvfplay_state *p, uint8_t target) {
    uint8_t from = stableIndex(p->tap);
    if (from == NOT_STABLE) return 0;
    walk(p, ROM_WORD(kWalks[from][target]));
    return 1;
}

/* `count` clocks with the same TMS and TDI low, counted in 16 bits. */
static void waitClocks(qsvfplay_state *p, uint32_t count, int tms) {
    int (*clock)(void *, int, int) = p->io->clock;
    void *ctx = p->ctx;
    uint16_t low = (uint16_t)count, high = (uint16_t)(count >> 16);
    if (low) do
            clock(ctx, tms, 0);
        while (--low);
    for (; high; --high) do
            clock(ctx, tms, 0);
        while (--low); /* 65,536 clocks: low starts from 0 */
}

/* Clocks the low `n` bits of `in` (1 to 8), bit 0 first, with TMS low;
   returns their TDO, bit 0 first. */
static uint8_t shiftByte(int (*clock)(void *, int, int), void *ctx, uint8_t in, uint8_t n) {
    uint8_t out = 0, m = 1;
    do {
        if (clock(ctx, 0, in & 1)) out |= m;
        in >>= 1;
        m <<= 1;
    } while (--n);
    return out;
}

/* Shifts `bits` bits from the shift state; with `last` TMS is high on the
   last one.  TDO goes to `tdo` unless it is null, a byte at a time; the
   bits of a last partial byte above the scan are left as they were. */
static void shiftBits(qsvfplay_state *p, const uint8_t *tdi, uint8_t *tdo, uint32_t bits, int last) {
    int (*clock)(void *, int, int) = p->io->clock;
    void *ctx = p->ctx;
    uint32_t low = last ? bits - 1 : bits; /* the bits with TMS low */
    size_t whole = (size_t)(low >> 3);
    uint8_t rest = low & 7, out;
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
    if (!rest && !last) return;
    out = rest ? shiftByte(clock, ctx, *tdi, rest) : 0;
    if (last) {
        if (clock(ctx, 1, (*tdi >> rest) & 1)) out |= (uint8_t)(1u << rest);
        ++rest;
        p->tap = ROM_BYTE(kNext[p->tap]) >> 4;
    }
    if (tdo) *tdo = (uint8_t)((*tdo & (uint8_t)(0xFFu << rest)) | out);
}

/* From Exit1 to the end state of the register. */
static void leaveShift(qsvfplay_state *p, int instruction) {
    if ((instruction ? p->end_ir : p->end_dr) == QSVF_STATE_IDLE) clock1(p, 1);
    clock1(p, 0);
}

static void runTest(qsvfplay_state *p) {
    if (!p->run_test) return;
    if (p->tap != QSVF_STATE_IDLE) walkTo(p, 1);
    waitClocks(p, p->run_test, 0);
}

/* ---- TDO */

static uint8_t ones(uint8_t byte) {
    uint8_t n = 0;
    for (; byte; byte &= (uint8_t)(byte - 1)) ++n;
    return n;
}

/* Compares what was read with the expected bits under the standing mask;
   1 when a compared bit differs. */
static int differs(qsvfplay_state *p, const uint8_t *expected, uint32_t expectedBits, const uint8_t *read,
                   uint32_t bits) {
    const uint8_t *mask = p->buf + maskAt(p);
    uint32_t limit = bits < p->mask_bits ? bits : p->mask_bits;
    size_t n = (size_t)bytesOf(limit), e = (size_t)bytesOf(expectedBits), i;
    uint8_t diff = 0, m;
    for (i = 0; i < n; ++i) {
        m = mask[i];
        if (i + 1 == n && (limit & 7)) m &= lowBits(limit);
        diff |= (uint8_t)(((i < e ? expected[i] : 0) ^ read[i]) & m);
        p->compared += ones(m);
    }
    return diff != 0;
}

/* ---- scans */

/* What a scan does besides its bits: an unsplit scan does all of it, a
   piece of a split scan walks in when it is the first and leaves when it
   is the last. */
enum { WALK_IN = 1, LEAVE = 2, WAIT_AFTER = 4, IR_SCAN = 8, UNSPLIT = WALK_IN | LEAVE | WAIT_AFTER };

/* A scan: from the resting state into the shift state, the bits, out to
   the end state, the run-test wait.  TDO is compared when `expected` is
   not null; an unsplit scan is repeated, with its wait, while its
   comparison fails and repeats are left. */
static int playScan(qsvfplay_state *p, uint8_t how, const uint8_t *tdi, uint32_t bits, const uint8_t *expected,
                    uint32_t expectedBits) {
    uint8_t *read = expected && p->mask_bits ? p->buf + (size_t)(p->size - bytesOf(bits)) : 0;
    uint8_t tries = 0;
    if (!bits && (how & WAIT_AFTER)) {
        runTest(p);
        return QSVFPLAY_MORE;
    }
    if (how & WALK_IN) {
        if (stableIndex(p->tap) == NOT_STABLE) return QSVFPLAY_BAD_OPERAND;
        ++p->scans;
    }
    for (;;) {
        if (how & WALK_IN) walkTo(p, how & IR_SCAN ? TO_IRSHIFT : TO_DRSHIFT);
        shiftBits(p, tdi, read, bits, how & LEAVE);
        if (how & LEAVE) leaveShift(p, how & IR_SCAN);
        if (how & WAIT_AFTER) runTest(p);
        if (!read || !differs(p, expected, expectedBits, read, bits)) return QSVFPLAY_MORE;
        if (!(how & WAIT_AFTER) || tries++ == p->repeat) return QSVFPLAY_TDO_FAILED;
        ++p->repeats;
    }
}

/* The scan after `tdi` in a QSDRINC run: the data-mask bits cleared, the
   address mask added, then the field's bits put into the data-mask
   positions, its lowest bit (the low bit of its last byte) into the lowest
   position. */
static void nextIncrement(qsvfplay_state *p, uint8_t *tdi, const uint8_t *field) {
    size_t masks = incrementBytes(p), n = drBytes(p), j;
    const uint8_t *address = p->buf, *data = p->buf + masks;
    uint32_t limit = p->dr_bits < p->increment_bits ? p->dr_bits : p->increment_bits, i;
    uint16_t sum = 0;
    uint8_t m = 1, fieldBit = 0, fieldByte = 0;
    for (j = 0; j < n; ++j) {
        uint8_t d = j < masks ? data[j] : 0;
        sum = (uint16_t)((uint8_t)(tdi[j] & ~d) + (j < masks ? address[j] : 0) + (sum >> 8));
        tdi[j] = (uint8_t)sum;
    }
    if (p->dr_bits & 7) tdi[n - 1] &= lowBits(p->dr_bits);
    for (i = 0; i < limit; ++i) {
        if (*data & m) {
            if (!fieldBit) {
                fieldByte = *--field;
                fieldBit = 1;
            }
            if (fieldByte & fieldBit) *tdi |= m;
            else *tdi &= (uint8_t)~m;
            fieldBit <<= 1;
        }
        m <<= 1;
        if (!m) {
            m = 1;
            ++data;
            ++tdi;
        }
    }
}

/* ---- records: each played by one function, which gets the opcode, the
   integer that opens the record (0 where it has none) and the place of the
   record's vectors in the buffer */

static int playComplete(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at) {
    (void)p;
    (void)opcode;
    (void)value;
    (void)at;
    return QSVFPLAY_COMPLETE;
}

/* QRUNTEST, QREPEAT, QSDRSIZE, QENDIR, QENDDR */
static int setValue(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at) {
    (void)at;
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

/* QTDOMASK and QSETSDRMASKS: the new TDO mask, or the two new increment
   masks, in place of the old ones */
static int setMasks(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at) {
    uint8_t increment = opcode == QSVF_QSETSDRMASKS;
    int status = readDrVectors(p, at, (uint8_t)(1 + increment), 0);
    (void)value;
    if (status) return status;
    if (increment) {
        replace(p->buf, 0, 2 * incrementBytes(p), at, 2 * drBytes(p));
        p->increment_bits = p->dr_bits;
        p->flags |= MASKS_SET;
    } else {
        replace(p->buf, maskAt(p), (size_t)bytesOf(p->mask_bits), at, drBytes(p));
        p->mask_bits = p->dr_bits;
    }
    return QSVFPLAY_MORE;
}

/* QSIR, QSIR2 */
static int playInstruction(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at) {
    (void)opcode;
    if (bytesOf(value) > p->size - at) return QSVFPLAY_TOO_LONG;
    if (!readVector(p, p->buf + at, value)) return QSVFPLAY_TRUNCATED;
    return playScan(p, UNSPLIT | IR_SCAN, p->buf + at, value, 0, 0);
}

/* QSDR, and QSDRTDO, whose expected value is kept in place of the old one */
static int playData(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at) {
    uint8_t withTdo = opcode == QSVF_QSDRTDO;
    int status = readDrVectors(p, at, (uint8_t)(1 + withTdo), 1);
    (void)value;
    if (status) return status;
    if (withTdo) {
        size_t b = drBytes(p);
        replace(p->buf, expectedAt(p), (size_t)bytesOf(p->expected_bits), at + b, b);
        p->expected_bits = p->dr_bits;
        at = recordAt(p);
    }
    return playScan(p, UNSPLIT, p->buf + at, p->dr_bits, p->buf + expectedAt(p), p->expected_bits);
}

/* QSDRINC: its first scan, then one per field */
static int playIncrements(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at) {
    size_t b, fieldBytes, room, j;
    const uint8_t *data = p->buf + incrementBytes(p);
    uint8_t *tdi = p->buf + at, *fields;
    uint32_t bits = 0, count;
    int status;
    (void)opcode;
    (void)value;
    if (!(p->flags & MASKS_SET)) return QSVFPLAY_BAD_OPERAND;
    for (j = 0; j < incrementBytes(p); ++j) bits += ones(data[j]);
    fieldBytes = (size_t)bytesOf(bits);
    status = readDrVectors(p, at, 1, 1);
    if (status) return status;
    if (!readInteger(p, 1, &count)) return QSVFPLAY_TRUNCATED;
    b = drBytes(p);
    room = (size_t)p->size - at - 2 * b;
    for (j = 0; j < count; ++j)
        if (!take(&room, fieldBytes)) return QSVFPLAY_TOO_LONG;
    fields = tdi + b;
    if (!readBytes(p, fields, count * fieldBytes)) return QSVFPLAY_TRUNCATED;
    for (j = 0;; ++j) {
        status = playScan(p, UNSPLIT, tdi, p->dr_bits, p->buf + expectedAt(p), p->expected_bits);
        if (j == count || status != QSVFPLAY_MORE) return status;
        nextIncrement(p, tdi, fields + (j + 1) * fieldBytes);
    }
}

/* One piece of a split scan: QSDRB .. QSDRTDOE */
static int playPiece(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at) {
    uint8_t withTdo = opcode >= QSVF_QSDRTDOB, first = opcode == QSVF_QSDRB || opcode == QSVF_QSDRTDOB;
    uint8_t last = opcode == QSVF_QSDRE || opcode == QSVF_QSDRTDOE;
    uint8_t *tdi = p->buf + at;
    int status = readDrVectors(p, at, (uint8_t)(1 + withTdo), withTdo);
    (void)value;
    if (status) return status;
    if (last && !p->dr_bits) return QSVFPLAY_BAD_SPLIT;
    status = playScan(p, (uint8_t)(first * WALK_IN | last * LEAVE), tdi, p->dr_bits,
                      withTdo ? tdi + drBytes(p) : 0, p->dr_bits);
    if (first) p->flags |= IN_SPLIT;
    if (last) p->flags &= (uint8_t)~IN_SPLIT;
    return status;
}

/* QSTATE, and QRESET and QIDLE, the moves to states 0 and 1 */
static int playMove(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at) {
    uint8_t state, next = ROM_BYTE(kNext[p->tap]), to, via;
    (void)at;
    if (opcode != QSVF_QSTATE) value = (uint32_t)(opcode - QSVF_QRESET);
    if (value >= QSVF_STATE_COUNT) return QSVFPLAY_BAD_OPERAND;
    state = (uint8_t)value;
    to = stableIndex(state);
    via = ROM_BYTE(kVia[state]);
    if ((next & 15) == state) clock1(p, 0);
    else if ((next >> 4) == state) clock1(p, 1);
    else if (stableIndex(p->tap) == NOT_STABLE || (to == NOT_STABLE && !via)) return QSVFPLAY_BAD_OPERAND;
    else if (to != NOT_STABLE) walkTo(p, to);
    else {
        /* to the stable state before it, then on along that walk */
        if (stableIndex(p->tap) != (via & 3)) walkTo(p, via & 3);
        walk(p, (uint16_t)((ROM_WORD(kWalks[via & 3][(via >> 2) & 7]) & ~7u) | via >> 5));
    }
    return QSVFPLAY_MORE;
}

/* QWAIT: to the wait state, the clocks there, to the end state */
static int playWait(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at) {
    uint8_t states[2], wait, end;
    uint32_t count;
    (void)opcode;
    (void)value;
    (void)at;
    if (!readBytes(p, states, 2) || !readInteger(p, 4, &count)) return QSVFPLAY_TRUNCATED;
    wait = stableIndex(states[0]);
    end = stableIndex(states[1]);
    if (wait == NOT_STABLE || end == NOT_STABLE || stableIndex(p->tap) == NOT_STABLE) return QSVFPLAY_BAD_OPERAND;
    if (p->tap != states[0]) walkTo(p, wait);
    waitClocks(p, count, states[0] == QSVF_STATE_RESET);
    if (p->tap != states[1]) walkTo(p, end);
    return QSVFPLAY_MORE;
}

/* QCOMMENT: its text up to the 0 byte */
static int skipComment(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at) {
    (void)value;
    (void)at;
    do
        if (!readBytes(p, &opcode, 1)) return QSVFPLAY_TRUNCATED;
    while (opcode);
    return QSVFPLAY_MORE;
}

/* The functions that play the records, and per opcode: the bytes of the
   integer that opens the record (0, 1, 2 or 4: size code 0 to 3 in the low
   2 bits), whether the record may stand between the pieces of a split scan,
   whether it is a piece that continues one, and its function (top 4 bits,
   an index into kPlayers). */
typedef int (*RecordPlayer)(qsvfplay_state *p, uint8_t opcode, uint32_t value, size_t at);
static const RecordPlayer kPlayers[] ROM = {playComplete, setValue, setMasks,       playInstruction, playData,
                                            playMove,     playWait, playIncrements, playPiece,       skipComment};
enum { COMPLETE, SET, MASKS, INSTRUCTION, DATA, MOVE, WAIT, INCREMENTS, PIECE, COMMENT };
enum { BYTE = 1, WORD = 2, LONG = 3, BETWEEN = 4, CONTINUES = 8 };
#define RECORD(player, flags) ((uint8_t)((player) << 4 | (flags)))
static const uint8_t kRecords[QSVF_OPCODE_COUNT] ROM = {
    RECORD(COMPLETE, 0),                  /* QCOMPLETE */
    RECORD(MASKS, BETWEEN),               /* QTDOMASK */
    RECORD(INSTRUCTION, BYTE),            /* QSIR */
    RECORD(DATA, 0),                      /* QSDR */
    RECORD(SET, LONG),                    /* QRUNTEST */
    RECORD(MOVE, 0),                      /* QRESET */
    RECORD(MOVE, 0),                      /* QIDLE */
    RECORD(SET, BYTE),                    /* QREPEAT */
    RECORD(SET, LONG | BETWEEN),          /* QSDRSIZE */
    RECORD(DATA, 0),                      /* QSDRTDO */
    RECORD(MASKS, 0),                     /* QSETSDRMASKS */
    RECORD(INCREMENTS, 0),                /* QSDRINC */
    RECORD(PIECE, 0),                     /* QSDRB */
    RECORD(PIECE, BETWEEN | CONTINUES),   /* QSDRC */
    RECORD(PIECE, BETWEEN | CONTINUES),   /* QSDRE */
    RECORD(PIECE, 0),                     /* QSDRTDOB */
    RECORD(PIECE, BETWEEN | CONTINUES),   /* QSDRTDOC */
    RECORD(PIECE, BETWEEN | CONTINUES),   /* QSDRTDOE */
    RECORD(MOVE, BYTE),                   /* QSTATE */
    RECORD(SET, BYTE),                    /* QENDIR */
    RECORD(SET, BYTE),                    /* QENDDR */
    RECORD(INSTRUCTION, WORD),            /* QSIR2 */
    RECORD(COMMENT, BETWEEN),             /* QCOMMENT */
    RECORD(WAIT, 0),                      /* QWAIT */
};

static int playRecord(qsvfplay_state *p) {
    uint8_t opcode, kind;
    uint32_t value;
    p->record = p->offset;
    if (!readBytes(p, &opcode, 1)) return QSVFPLAY_TRUNCATED;
    p->opcode = opcode;
    if (opcode >= QSVF_OPCODE_COUNT) return QSVFPLAY_BAD_OPCODE;
    kind = ROM_BYTE(kRecords[opcode]);
    if ((p->flags & IN_SPLIT) ? !(kind & BETWEEN) : (kind & CONTINUES) != 0) return QSVFPLAY_BAD_SPLIT;
    /* the integer operand that opens the record, read in one place */
    if (!readInteger(p, (kind & 3) == LONG ? 4 : kind & 3, &value)) return QSVFPLAY_TRUNCATED;
    return ROM_POINTER(kPlayers[kind >> 4])(p, opcode, value, recordAt(p));
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
    int i;
    if (player->status != QSVFPLAY_MORE) return player->status;
    if (!(player->flags & STARTED)) {
        player->flags |= STARTED;
        if (player->io->trst) player->io->trst(player->ctx, 0);
        for (i = 0; i < 5; ++i) clock1(player, 1);
        player->tap = QSVF_STATE_RESET;
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
    uint8_t opcode = player->opcode, *buf = player->buf;
    size_t b = drBytes(player), at = recordAt(player);
    if (opcode >= QSVF_QSDRB && opcode <= QSVF_QSDRTDOE) {
        /* a piece: its own expected value, if it has one, behind its TDI */
        int withTdo = opcode >= QSVF_QSDRTDOB;
        vectors->expected = withTdo ? buf + at + b : 0;
        vectors->expected_bits = withTdo ? player->dr_bits : 0;
    } else if (opcode == QSVF_QSDR || opcode == QSVF_QSDRTDO || opcode == QSVF_QSDRINC) {
        vectors->expected = buf + expectedAt(player);
        vectors->expected_bits = player->expected_bits;
    } else {
        return 0;
    }
    vectors->tdi = buf + at;
    vectors->bits = player->dr_bits;
    vectors->mask = buf + maskAt(player);
    vectors->mask_bits = player->mask_bits;
    vectors->read = buf + (size_t)player->size - b;
    return 1;
}

/* qsvfplay: the records of a QSVF stream played on the caller's pins (what
   each record does is written down in qsvfplay.h).  One record is read
   whole into the buffer, checked, then played; the TAP walks come from two
   tables, the one-step transitions and the fixed paths between the stable
   states and into the shift states. */
#include "qsvfplay.h"

#include "qsvf_format.h"

enum { STARTED = 1, DR_SET = 2, MASKS_SET = 4, IN_SPLIT = 8 };

/* The next state of each state for TMS 0 (low nibble) and TMS 1 (high). */
static const uint8_t kNext[QSVF_STATE_COUNT] = {0x01, 0x21, 0x93, 0x54, 0x54, 0x86, 0x76, 0x84,
                                                0x21, 0x0A, 0xCB, 0xCB, 0xFD, 0xED, 0xFB, 0x21};

/* Walks from each stable state (Test-Logic-Reset, Run-Test/Idle, Pause-DR,
   Pause-IR) to each of them and to Shift-DR and Shift-IR: the number of
   clocks in the low 3 bits, the TMS values above them, first clock first.
   From the pause state of the register being scanned the walk goes through
   Exit2 straight back to Shift, as an SVF scan from that pause state does:
   no Update and no Capture, so a scan split over several commands that end
   in the pause state reaches the device as one. */
#define WALK(n, tms) ((uint16_t)((n) | ((tms) << 3)))
static const uint16_t kWalks[4][6] = {
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
static const uint8_t kVia[QSVF_STATE_COUNT] = {
    0, 0, VIA(1, 2, 1), VIA(1, 2, 2), VIA(1, TO_DRSHIFT, 3), VIA(1, 2, 3), 0, VIA(2, 1, 1),
    VIA(2, 1, 2), VIA(1, 3, 2), VIA(1, 3, 3), VIA(1, TO_IRSHIFT, 4), VIA(1, 3, 4), 0, VIA(3, 1, 1), VIA(3, 1, 2)};

/* Index of a stable state in kWalks, or -1. */
static int stableIndex(unsigned state) {
    switch (state) {
    case QSVF_STATE_RESET: return 0;
    case QSVF_STATE_IDLE: return 1;
    case QSVF_STATE_DRPAUSE: return 2;
    case QSVF_STATE_IRPAUSE: return 3;
    default: return -1;
    }
}

static uint32_t bytesOf(uint32_t bits) { return bits / 8 + ((bits & 7) != 0); }

/* ---- the buffer: increment masks, TDO mask, kept expected TDO, then the record */

static uint32_t incrementBytes(const qsvfplay_state *p) { return bytesOf(p->increment_bits); }
static uint32_t maskAt(const qsvfplay_state *p) { return 2 * incrementBytes(p); }
static uint32_t expectedAt(const qsvfplay_state *p) { return maskAt(p) + bytesOf(p->mask_bits); }
static uint32_t recordAt(const qsvfplay_state *p) { return expectedAt(p) + bytesOf(p->expected_bits); }

static void reverse(uint8_t *at, uint32_t n) {
    uint8_t *end = at + n;
    while (at + 1 < end) {
        uint8_t t = *at;
        *at++ = *--end;
        *end = t;
    }
}

static void rotateLeft(uint8_t *at, uint32_t n, uint32_t k) {
    reverse(at, k);
    reverse(at + k, n - k);
    reverse(at, n);
}

/* Puts the n bytes at `from` in place of the `len` bytes at `start`; what
   lies between them follows the new bytes. */
static void replace(uint8_t *buf, uint32_t start, uint32_t len, uint32_t from, uint32_t n) {
    uint32_t total = from + n - start;
    rotateLeft(buf + start, total, len);
    rotateLeft(buf + start, total - len, from - start - len);
}

/* Takes n bytes of the room left; 0 when they do not fit. */
static int take(uint32_t *room, uint32_t n) {
    if (n > *room) return 0;
    *room -= n;
    return 1;
}

/* ---- reading */

static int readBytes(qsvfplay_state *p, uint8_t *to, uint32_t n) {
    while (n) {
        size_t got = p->io->read(p->ctx, to, n);
        if (got == 0) return 0;
        if (got > n) got = n;
        to += got;
        n -= (uint32_t)got;
        p->offset += (uint32_t)got;
    }
    return 1;
}

static int readInteger(qsvfplay_state *p, unsigned n, uint32_t *value) {
    uint8_t bytes[4];
    unsigned i;
    if (!readBytes(p, bytes, n)) return 0;
    *value = 0;
    for (i = 0; i < n; ++i) *value = *value << 8 | bytes[i];
    return 1;
}

/* Reads a vector of `bits` bits and turns it into shift order, the bits
   above its length cleared. */
static int readVector(qsvfplay_state *p, uint8_t *at, uint32_t bits) {
    uint32_t n = bytesOf(bits);
    if (!readBytes(p, at, n)) return 0;
    reverse(at, n);
    if (bits & 7) at[n - 1] &= (uint8_t)((1u << (bits & 7)) - 1);
    return 1;
}

/* Reads `count` vectors of the DR length at `at`, when they fit with
   `reserve` more of that length behind them. */
static int readDrVectors(qsvfplay_state *p, uint32_t at, unsigned count, unsigned reserve) {
    uint32_t b = bytesOf(p->dr_bits), room = p->size - at;
    unsigned i;
    if (!(p->flags & DR_SET)) return QSVFPLAY_BAD_OPERAND;
    for (i = 0; i < count + reserve; ++i)
        if (!take(&room, b)) return QSVFPLAY_TOO_LONG;
    for (i = 0; i < count; ++i)
        if (!readVector(p, p->buf + at + i * b, p->dr_bits)) return QSVFPLAY_TRUNCATED;
    return QSVFPLAY_MORE;
}

/* ---- pins */

static void clock1(qsvfplay_state *p, int tms) {
    uint8_t next = kNext[p->tap];
    p->tap = (uint8_t)(tms ? next >> 4 : next & 15);
    p->io->clock(p->ctx, tms, 0);
}

static void walk(qsvfplay_state *p, uint16_t steps) {
    unsigned n = steps & 7, i;
    for (i = 0; i < n; ++i) clock1(p, (steps >> (3 + i)) & 1);
}

/* Walks from the resting state to target (a kWalks column); 0 when the
   TAP does not rest in a stable state. */
static int walkTo(qsvfplay_state *p, int target) {
    int from = stableIndex(p->tap);
    if (from < 0) return 0;
    walk(p, kWalks[from][target]);
    return 1;
}

static void waitClocks(qsvfplay_state *p, uint32_t count, int tms) {
    while (count--) p->io->clock(p->ctx, tms, 0);
}

/* Shifts `bits` bits from the shift state; with `last` TMS is high on the
   last one.  TDO goes to `tdo` unless it is null. */
static void shiftBits(qsvfplay_state *p, const uint8_t *tdi, uint8_t *tdo, uint32_t bits, int last) {
    const qsvfplay_io *io = p->io;
    uint32_t whole = (last ? bits - 1 : bits) / 8, i = 0;
    if (io->shift && whole) {
        io->shift(p->ctx, tdi, tdo, whole);
        i = whole * 8;
    }
    for (; i < bits; ++i) {
        unsigned m = 1u << (i & 7);
        int out = io->clock(p->ctx, last && i + 1 == bits, (tdi[i >> 3] & m) != 0);
        if (tdo) tdo[i >> 3] = (uint8_t)(out & 1 ? tdo[i >> 3] | m : tdo[i >> 3] & ~m);
    }
    if (last) p->tap = kNext[p->tap] >> 4;
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

/* Compares what was read with the expected bits under the standing mask;
   1 when a compared bit differs. */
static int differs(qsvfplay_state *p, const uint8_t *expected, uint32_t expectedBits, const uint8_t *read,
                   uint32_t bits) {
    const uint8_t *mask = p->buf + maskAt(p);
    uint32_t limit = bits < p->mask_bits ? bits : p->mask_bits, e = bytesOf(expectedBits), i;
    int diff = 0;
    for (i = 0; i < limit; ++i) {
        unsigned m = 1u << (i & 7);
        if (mask[i >> 3] & m) {
            ++p->compared;
            diff |= (((i >> 3) < e ? expected[i >> 3] : 0u) ^ read[i >> 3]) & m;
        }
    }
    return diff != 0;
}

/* ---- scans */

/* One unsplit scan with its wait, repeated while its comparison fails and
   repeats are left.  `expected` is null for a scan that compares nothing. */
static int playScan(qsvfplay_state *p, int instruction, const uint8_t *tdi, uint32_t bits, const uint8_t *expected,
                    uint32_t expectedBits) {
    uint8_t *read = expected && p->mask_bits ? p->buf + p->size - bytesOf(bits) : 0;
    unsigned tries = 0;
    if (!bits) {
        runTest(p);
        return QSVFPLAY_MORE;
    }
    if (stableIndex(p->tap) < 0) return QSVFPLAY_BAD_OPERAND;
    ++p->scans;
    for (;;) {
        walkTo(p, instruction ? TO_IRSHIFT : TO_DRSHIFT);
        shiftBits(p, tdi, read, bits, 1);
        leaveShift(p, instruction);
        runTest(p);
        if (!read || !differs(p, expected, expectedBits, read, bits)) return QSVFPLAY_MORE;
        if (tries++ == p->repeat) return QSVFPLAY_TDO_FAILED;
        ++p->repeats;
    }
}

/* The scan after `tdi` in a QSDRINC run; the field is as in the stream,
   `fieldBytes` bytes, its bit 0 the low bit of the last byte. */
static void nextIncrement(qsvfplay_state *p, uint8_t *tdi, const uint8_t *field, uint32_t fieldBytes) {
    const uint8_t *address = p->buf, *data = p->buf + incrementBytes(p);
    uint32_t n = bytesOf(p->dr_bits), masks = incrementBytes(p), j, i, used = 0;
    uint32_t limit = p->dr_bits < p->increment_bits ? p->dr_bits : p->increment_bits;
    unsigned carry = 0;
    for (j = 0; j < n; ++j) {
        unsigned sum = (unsigned)(tdi[j] & ~(j < masks ? data[j] : 0u)) + (j < masks ? address[j] : 0u) + carry;
        tdi[j] = (uint8_t)sum;
        carry = sum >> 8;
    }
    if (p->dr_bits & 7) tdi[n - 1] &= (uint8_t)((1u << (p->dr_bits & 7)) - 1);
    for (i = 0; i < limit; ++i) {
        if ((data[i >> 3] >> (i & 7)) & 1) {
            unsigned bit = (field[fieldBytes - 1 - (used >> 3)] >> (used & 7)) & 1;
            tdi[i >> 3] = (uint8_t)((tdi[i >> 3] & ~(1u << (i & 7))) | bit << (i & 7));
            ++used;
        }
    }
}

static int playIncrements(qsvfplay_state *p) {
    uint32_t b = bytesOf(p->dr_bits), at = recordAt(p), bits = 0, fieldBytes, j, count, room;
    const uint8_t *data = p->buf + incrementBytes(p);
    uint8_t *tdi = p->buf + at, *fields;
    int status;
    if (!(p->flags & MASKS_SET)) return QSVFPLAY_BAD_OPERAND;
    for (j = 0; j < incrementBytes(p); ++j)
        for (count = data[j]; count; count &= count - 1) ++bits;
    fieldBytes = bytesOf(bits);
    status = readDrVectors(p, at, 1, 1);
    if (status) return status;
    if (!readInteger(p, 1, &count)) return QSVFPLAY_TRUNCATED;
    room = p->size - at - 2 * b;
    for (j = 0; j < count; ++j)
        if (!take(&room, fieldBytes)) return QSVFPLAY_TOO_LONG;
    fields = tdi + b;
    if (!readBytes(p, fields, count * fieldBytes)) return QSVFPLAY_TRUNCATED;
    status = playScan(p, 0, tdi, p->dr_bits, p->buf + expectedAt(p), p->expected_bits);
    for (j = 0; j < count && status == QSVFPLAY_MORE; ++j) {
        nextIncrement(p, tdi, fields + j * fieldBytes, fieldBytes);
        status = playScan(p, 0, tdi, p->dr_bits, p->buf + expectedAt(p), p->expected_bits);
    }
    return status;
}

/* One piece of a split scan. */
static int playPiece(qsvfplay_state *p, unsigned opcode) {
    int withTdo = opcode >= QSVF_QSDRTDOB, first = opcode == QSVF_QSDRB || opcode == QSVF_QSDRTDOB;
    int last = opcode == QSVF_QSDRE || opcode == QSVF_QSDRTDOE;
    uint32_t b = bytesOf(p->dr_bits), at = recordAt(p);
    uint8_t *tdi = p->buf + at, *read = withTdo && p->mask_bits ? p->buf + p->size - b : 0;
    int status = readDrVectors(p, at, 1 + withTdo, withTdo);
    if (status) return status;
    if (last && !p->dr_bits) return QSVFPLAY_BAD_SPLIT;
    if (first) {
        if (!walkTo(p, TO_DRSHIFT)) return QSVFPLAY_BAD_OPERAND;
        ++p->scans;
        p->flags |= IN_SPLIT;
    }
    shiftBits(p, tdi, read, p->dr_bits, last);
    if (last) {
        leaveShift(p, 0);
        p->flags &= ~IN_SPLIT;
    }
    return read && differs(p, tdi + b, p->dr_bits, read, p->dr_bits) ? QSVFPLAY_TDO_FAILED : QSVFPLAY_MORE;
}

/* ---- moves */

static int moveTo(qsvfplay_state *p, unsigned state) {
    uint8_t next = kNext[p->tap];
    int to = stableIndex(state);
    if ((next & 15) == state) clock1(p, 0);
    else if ((next >> 4) == state) clock1(p, 1);
    else if (stableIndex(p->tap) < 0 || (to < 0 && !kVia[state])) return QSVFPLAY_BAD_OPERAND;
    else if (to >= 0) walkTo(p, to);
    else {
        /* to the stable state before it, then on along that walk */
        if (stableIndex(p->tap) != (kVia[state] & 3)) walkTo(p, kVia[state] & 3);
        walk(p, (uint16_t)((kWalks[kVia[state] & 3][(kVia[state] >> 2) & 7] & ~7u) | kVia[state] >> 5));
    }
    return QSVFPLAY_MORE;
}

static int playWait(qsvfplay_state *p) {
    uint8_t states[2];
    uint32_t count;
    int wait, end;
    if (!readBytes(p, states, 2) || !readInteger(p, 4, &count)) return QSVFPLAY_TRUNCATED;
    wait = stableIndex(states[0]);
    end = stableIndex(states[1]);
    if (wait < 0 || end < 0 || stableIndex(p->tap) < 0) return QSVFPLAY_BAD_OPERAND;
    if (p->tap != states[0]) walkTo(p, wait);
    waitClocks(p, count, states[0] == QSVF_STATE_RESET);
    if (p->tap != states[1]) walkTo(p, end);
    return QSVFPLAY_MORE;
}

/* ---- records */

static int betweenPieces(unsigned opcode) {
    return opcode == QSVF_QSDRC || opcode == QSVF_QSDRE || opcode == QSVF_QSDRTDOC || opcode == QSVF_QSDRTDOE ||
           opcode == QSVF_QSDRSIZE || opcode == QSVF_QTDOMASK || opcode == QSVF_QCOMMENT;
}

static int playRecord(qsvfplay_state *p) {
    uint8_t opcode;
    uint32_t value, b = bytesOf(p->dr_bits), at = recordAt(p);
    int status;
    p->record = p->offset;
    if (!readBytes(p, &opcode, 1)) return QSVFPLAY_TRUNCATED;
    p->opcode = opcode;
    if (opcode >= QSVF_OPCODE_COUNT) return QSVFPLAY_BAD_OPCODE;
    if ((p->flags & IN_SPLIT) ? !betweenPieces(opcode)
                              : (opcode >= QSVF_QSDRC && opcode <= QSVF_QSDRTDOE && opcode != QSVF_QSDRTDOB))
        return QSVFPLAY_BAD_SPLIT;
    /* the integer operand that opens the record, read in one place */
    value = 0;
    if (((1ul << QSVF_QSIR | 1ul << QSVF_QREPEAT | 1ul << QSVF_QSTATE | 1ul << QSVF_QENDIR | 1ul << QSVF_QENDDR) >>
             opcode & 1 && !readInteger(p, 1, &value)) ||
        (opcode == QSVF_QSIR2 && !readInteger(p, 2, &value)) ||
        ((1ul << QSVF_QRUNTEST | 1ul << QSVF_QSDRSIZE) >> opcode & 1 && !readInteger(p, 4, &value)))
        return QSVFPLAY_TRUNCATED;
    switch (opcode) {
    case QSVF_QCOMPLETE: return QSVFPLAY_COMPLETE;
    case QSVF_QTDOMASK:
        if ((status = readDrVectors(p, at, 1, 0)) != QSVFPLAY_MORE) return status;
        replace(p->buf, maskAt(p), bytesOf(p->mask_bits), at, b);
        p->mask_bits = p->dr_bits;
        return QSVFPLAY_MORE;
    case QSVF_QSIR:
    case QSVF_QSIR2:
        if (bytesOf(value) > p->size - at) return QSVFPLAY_TOO_LONG;
        if (!readVector(p, p->buf + at, value)) return QSVFPLAY_TRUNCATED;
        return playScan(p, 1, p->buf + at, value, 0, 0);
    case QSVF_QSDR:
        if ((status = readDrVectors(p, at, 1, 1)) != QSVFPLAY_MORE) return status;
        return playScan(p, 0, p->buf + at, p->dr_bits, p->buf + expectedAt(p), p->expected_bits);
    case QSVF_QSDRTDO:
        if ((status = readDrVectors(p, at, 2, 1)) != QSVFPLAY_MORE) return status;
        replace(p->buf, expectedAt(p), bytesOf(p->expected_bits), at + b, b);
        p->expected_bits = p->dr_bits;
        at = recordAt(p);
        return playScan(p, 0, p->buf + at, p->dr_bits, p->buf + expectedAt(p), p->expected_bits);
    case QSVF_QRUNTEST: p->run_test = value; return QSVFPLAY_MORE;
    case QSVF_QRESET:
    case QSVF_QIDLE: return moveTo(p, opcode == QSVF_QRESET ? QSVF_STATE_RESET : QSVF_STATE_IDLE);
    case QSVF_QREPEAT:
        p->repeat = (uint8_t)value;
        return QSVFPLAY_MORE;
    case QSVF_QSDRSIZE:
        p->dr_bits = value;
        p->flags |= DR_SET;
        return QSVFPLAY_MORE;
    case QSVF_QSETSDRMASKS:
        if ((status = readDrVectors(p, at, 2, 0)) != QSVFPLAY_MORE) return status;
        replace(p->buf, 0, 2 * incrementBytes(p), at, 2 * b);
        p->increment_bits = p->dr_bits;
        p->flags |= MASKS_SET;
        return QSVFPLAY_MORE;
    case QSVF_QSDRINC: return playIncrements(p);
    case QSVF_QSTATE:
        return value < QSVF_STATE_COUNT ? moveTo(p, value) : QSVFPLAY_BAD_OPERAND;
    case QSVF_QENDIR:
    case QSVF_QENDDR:
        if (value > QSVF_END_PAUSE) return QSVFPLAY_BAD_OPERAND;
        if (opcode == QSVF_QENDIR) p->end_ir = value ? QSVF_STATE_IRPAUSE : QSVF_STATE_IDLE;
        else p->end_dr = value ? QSVF_STATE_DRPAUSE : QSVF_STATE_IDLE;
        return QSVFPLAY_MORE;
    case QSVF_QCOMMENT:
        do
            if (!readBytes(p, &opcode, 1)) return QSVFPLAY_TRUNCATED;
        while (opcode);
        return QSVFPLAY_MORE;
    case QSVF_QWAIT: return playWait(p);
    default: return playPiece(p, opcode); /* QSDRB .. QSDRTDOE */
    }
}

/* ---- the interface */

void qsvfplay_init(qsvfplay_state *player, const qsvfplay_io *io, void *ctx, uint8_t *buffer, uint32_t size) {
    uint8_t *byte = (uint8_t *)player;
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
    uint32_t opcode = player->opcode, b = bytesOf(player->dr_bits), at = recordAt(player);
    int piece = opcode >= QSVF_QSDRB && opcode <= QSVF_QSDRTDOE;
    uint8_t *buf = player->buf;
    if (!piece && opcode != QSVF_QSDR && opcode != QSVF_QSDRTDO && opcode != QSVF_QSDRINC) return 0;
    vectors->tdi = buf + at;
    vectors->bits = player->dr_bits;
    vectors->mask = buf + maskAt(player);
    vectors->mask_bits = player->mask_bits;
    vectors->read = buf + player->size - b;
    vectors->expected = piece ? (opcode >= QSVF_QSDRTDOB ? buf + at + b : 0) : buf + expectedAt(player);
    vectors->expected_bits = piece ? (opcode >= QSVF_QSDRTDOB ? player->dr_bits : 0) : player->expected_bits;
    return 1;
}

/* One version of the player library, compiled into this file with its
   interface renamed by SAME(name), playing a SamePlay and logging every
   event; player_same.sh builds it once per version. */
#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

#define qsvfplay_init SAME(init)
#define qsvfplay_step SAME(step)
#define qsvfplay_run SAME(run)
#define qsvfplay_scan_vectors SAME(scan_vectors)
#include "qsvfplay.c"
#include "player_same.h"

typedef struct {
    const SamePlay *c;
    size_t next;
    uint32_t lfsr;
    long clocks;
    SameLog *log;
    qsvfplay_state *p;
    jmp_buf stop;
} Context;

enum { READ = 1, CLOCK, SHIFT, TRST, VECTORS, CUT, STEP };
#define EVENT(kind) ((uint64_t)(kind) << 60)

static void put(SameLog *l, uint64_t v) {
    if (l->n < SAME_LOG_MAX) l->e[l->n] = v;
    l->n++;
}

static uint64_t hash(const uint8_t *b, size_t n) {
    uint64_t h = 1469598103934665603ull;
    size_t i;
    for (i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    return h ^ n;
}

static size_t bytesOfBits(uint32_t bits) { return bits / 8 + (bits % 8 != 0); }

/* The bytes of a vector, when they lie in the buffer (7 otherwise). */
static uint64_t vectorHash(const Context *x, const uint8_t *at, uint32_t bits) {
    const uint8_t *buf = x->p->buf;
    if (!at || at < buf || (size_t)(at - buf) + bytesOfBits(bits) > x->c->bufferSize) return 7;
    return hash(at, bytesOfBits(bits));
}

static void logVectors(Context *x, int withRead) {
    qsvfplay_vectors v;
    const uint8_t *buf = x->p->buf;
    int r;
    memset(&v, 0, sizeof v);
    r = SAME(scan_vectors)(x->p, &v);
    put(x->log, EVENT(VECTORS) | (uint64_t)r);
    if (!r) return;
    put(x->log, (uint64_t)v.bits << 32 | v.mask_bits);
    put(x->log, (uint64_t)v.expected_bits | (uint64_t)(v.expected != 0) << 40);
    put(x->log, (uint64_t)(v.tdi - buf) << 40 ^ (uint64_t)(v.mask - buf) << 20 ^ (uint64_t)(v.read - buf) ^
                    (v.expected ? (uint64_t)(v.expected - buf) << 50 : 0));
    put(x->log, vectorHash(x, v.tdi, v.bits) ^ vectorHash(x, v.mask, v.mask_bits) * 3 ^
                    (v.expected ? vectorHash(x, v.expected, v.expected_bits) * 5 : 0));
    if (withRead) put(x->log, vectorHash(x, v.read, v.bits));
}

static size_t readStream(void *ctx, uint8_t *to, size_t max) {
    Context *x = (Context *)ctx;
    size_t n = max < x->c->chunk ? max : x->c->chunk;
    if (n > x->c->size - x->next) n = x->c->size - x->next;
    memcpy(to, x->c->data + x->next, n);
    x->next += n;
    put(x->log, EVENT(READ) | (uint64_t)max << 16 | n);
    return n;
}

static int tdoBit(Context *x) {
    x->lfsr = (x->lfsr >> 1) ^ (-(x->lfsr & 1u) & 0xB4BCD35Cu);
    return x->c->tdoMode == 2 ? (int)(x->lfsr & 1) : x->c->tdoMode;
}

static int clockPins(void *ctx, int tms, int tdi) {
    Context *x = (Context *)ctx;
    put(x->log, EVENT(CLOCK) | (uint64_t)x->p->tap << 16 | (uint64_t)tms << 8 | (uint64_t)tdi);
    if (x->c->vectorsEveryClock) logVectors(x, 0);
    if (++x->clocks > x->c->maxClocks) longjmp(x->stop, 1);
    return tdoBit(x);
}

static void shiftBytes(void *ctx, const uint8_t *tdi, uint8_t *tdo, size_t bytes) {
    Context *x = (Context *)ctx;
    size_t j;
    int k;
    put(x->log, EVENT(SHIFT) | (uint64_t)bytes << 1 | (tdo != 0));
    put(x->log, hash(tdi, bytes));
    for (j = 0; j < bytes; ++j) {
        uint8_t out = 0;
        for (k = 0; k < 8; ++k) out = (uint8_t)(out | tdoBit(x) << k);
        if (tdo) tdo[j] = out;
    }
    x->clocks += 8 * (long)bytes;
    if (x->clocks > x->c->maxClocks) longjmp(x->stop, 1);
}

static void trstPin(void *ctx, int asserted) { put(((Context *)ctx)->log, EVENT(TRST) | (uint64_t)asserted); }

void SAME(play)(const SamePlay *c, SameLog *log) {
    uint8_t *buf = (uint8_t *)malloc(c->bufferSize ? c->bufferSize : 1);
    qsvfplay_io io = {readStream, clockPins, c->bulk ? shiftBytes : 0, c->trst ? trstPin : 0};
    qsvfplay_state p;
    Context x;
    int s;
    memset(&x, 0, sizeof x);
    x.c = c;
    x.lfsr = c->seed | 1;
    x.log = log;
    x.p = &p;
    memset(buf, 0xA5, c->bufferSize);
    log->n = 0;
    SAME(init)(&p, &io, &x, buf, c->bufferSize);
    if (setjmp(x.stop)) {
        put(log, EVENT(CUT));
        free(buf);
        return;
    }
    do {
        s = SAME(step)(&p);
        put(log, EVENT(STEP) | (uint64_t)s << 32 | p.record);
        put(log, (uint64_t)p.offset << 32 | p.scans);
        put(log, (uint64_t)p.compared << 32 | p.repeats);
        put(log, (uint64_t)p.dr_bits << 32 | p.run_test);
        put(log, (uint64_t)p.mask_bits << 32 | p.expected_bits);
        put(log, (uint64_t)p.increment_bits << 32 | (uint64_t)p.repeat << 24 | (uint64_t)p.end_ir << 16 |
                     (uint64_t)p.end_dr << 8 | p.tap);
        put(log, (uint64_t)p.opcode << 8 | p.status);
        if (s == QSVFPLAY_MORE || s == QSVFPLAY_TDO_FAILED) logVectors(&x, s == QSVFPLAY_TDO_FAILED);
    } while (s == QSVFPLAY_MORE);
    put(log, (uint64_t)SAME(step)(&p));
    free(buf);
}

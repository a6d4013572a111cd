/* Plays generated streams through two versions of the player library and
   reports every play in which they differ: a pin, a read, a bulk shift, a
   field of the player after a step, a scan vector, or the end.  The
   streams are mostly well formed (records of every opcode, split scans
   with records between the pieces, QSDRINC after its masks, short and long
   waits) with some unknown opcodes, out-of-range operands, flipped bits
   and streams cut short; each is played with its own buffer size, read
   chunk, TDO, with or without the bulk shift and TRST callbacks.
     player_same [plays] [seed]      (built and run by player_same.sh) */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "player_same.h"
#include "qsvf_format.h"
#include "qsvfplay.h"

void reference_play(const SamePlay *c, SameLog *log);
void candidate_play(const SamePlay *c, SameLog *log);

static uint64_t state;
static uint32_t rnd(void) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return (uint32_t)(state >> 11);
}
static uint32_t below(uint32_t n) { return n ? rnd() % n : 0; }
static uint32_t pick(const uint32_t *from, uint32_t n) { return from[below(n)]; }
static const uint32_t kStable[] = {0, 1, 6, 13};

/* The stream being written, and what the generator keeps of it. */
static uint8_t out[1 << 16];
static size_t n;
static uint32_t dr, dataOnes;
static int masksSet;

static void put(uint32_t v) {
    if (n < sizeof out) out[n++] = (uint8_t)v;
}
static void putInteger(uint32_t v, int bytes) {
    while (bytes--) put(v >> (8 * bytes));
}
/* A vector of `bits` bits with random unused high bits; returns the number
   of 1 bits within its length. */
static uint32_t putVector(uint32_t bits) {
    uint32_t bytes = bits / 8 + (bits % 8 != 0), ones = 0, i;
    for (i = 0; i < bytes && n < sizeof out; ++i) {
        uint8_t v = below(4) ? (uint8_t)rnd() : below(2) ? 0xFF : 0, used = v;
        put(v);
        if (i == 0 && bits % 8) used &= (uint8_t)((1u << (bits % 8)) - 1);
        for (; used; used &= (uint8_t)(used - 1)) ++ones;
    }
    return ones;
}
static uint32_t length(void) {
    switch (below(10)) {
    case 0: return below(3);
    case 1: return 8 * (1 + below(6));
    case 2: return 8 * (1 + below(6)) + 1;
    case 3: return below(400);
    default: return below(70);
    }
}
static void putSize(uint32_t bits) {
    put(QSVF_QSDRSIZE);
    putInteger(bits, 4);
    dr = bits;
}
static void putMasks(void) {
    put(QSVF_QSETSDRMASKS);
    putVector(dr);
    dataOnes = putVector(dr);
    masksSet = 1;
}

static void putSplitScan(void) {
    int tdo = below(2), pieces = (int)below(4), i, last;
    if (below(3) == 0) putSize(length());
    put(tdo ? QSVF_QSDRTDOB : QSVF_QSDRB);
    putVector(dr);
    if (tdo) putVector(dr);
    for (i = 0; i <= pieces; ++i) {
        if (below(3) == 0) {
            switch (below(4)) {
            case 0: putSize(length()); break;
            case 1: put(QSVF_QTDOMASK); putVector(dr); break;
            case 2: put(QSVF_QCOMMENT); put('x'); put(0); break;
            default: if (below(4) == 0) put(below(QSVF_OPCODE_COUNT)); /* a record that may not stand here */
            }
        }
        last = i == pieces;
        if (below(12) == 0) tdo = !tdo;
        put(tdo ? (last ? QSVF_QSDRTDOE : QSVF_QSDRTDOC) : (last ? QSVF_QSDRE : QSVF_QSDRC));
        putVector(dr);
        if (tdo) putVector(dr);
    }
}

static void putRecord(void) {
    static const uint32_t kCommon[] = {QSVF_QSDR,     QSVF_QSDRTDO, QSVF_QSDR,   QSVF_QSDRTDO, QSVF_QSDRSIZE,
                                       QSVF_QTDOMASK, QSVF_QSIR,    QSVF_QRUNTEST, QSVF_QREPEAT, QSVF_QSDRB,
                                       QSVF_QSTATE,   QSVF_QSETSDRMASKS, QSVF_QSDRINC, QSVF_QWAIT};
    uint32_t op = below(40), count, fieldBytes, i, bits;
    if (op >= 24 && op < 38) op = kCommon[op - 24];
    if (op == 38) {
        if (below(4) == 0) put(below(256)); /* mostly an unknown opcode */
        return;
    }
    if (op == 39) op = QSVF_QSDRB;
    switch (op) {
    case QSVF_QCOMPLETE: if (below(3) == 0) put(op); return;
    case QSVF_QTDOMASK: put(op); putVector(dr); return;
    case QSVF_QSIR: bits = below(5) ? below(40) : below(256); put(op); put(bits); putVector(bits); return;
    case QSVF_QSIR2:
        bits = below(3) ? length() : below(3) ? 300 + below(700) : below(65536);
        put(op); putInteger(bits, 2); putVector(bits);
        return;
    case QSVF_QSDR: case QSVF_QSDRTDO: put(op); putVector(dr); if (op == QSVF_QSDRTDO) putVector(dr); return;
    case QSVF_QRUNTEST:
        put(op);
        putInteger(below(8) ? below(40) : below(4) ? 65535 + below(5000) : rnd(), 4);
        return;
    case QSVF_QRESET: case QSVF_QIDLE: put(op); return;
    case QSVF_QREPEAT: put(op); put(below(4) ? below(4) : below(256)); return;
    case QSVF_QSDRSIZE: putSize(below(60) ? length() : rnd()); return;
    case QSVF_QSETSDRMASKS: putMasks(); return;
    case QSVF_QSDRINC:
        if (!masksSet && below(8)) putMasks();
        count = below(5);
        fieldBytes = below(10) ? dataOnes / 8 + (dataOnes % 8 != 0) : below(4);
        put(op); putVector(dr); put(count);
        for (i = 0; i < count * fieldBytes && n < sizeof out; ++i) put(rnd());
        return;
    case QSVF_QSDRB: putSplitScan(); return;
    case QSVF_QSDRC: case QSVF_QSDRE: case QSVF_QSDRTDOB: case QSVF_QSDRTDOC: case QSVF_QSDRTDOE:
        if (below(4)) return; /* a piece out of its place */
        put(op); putVector(dr); if (op >= QSVF_QSDRTDOB) putVector(dr);
        return;
    case QSVF_QSTATE:
        put(op); put(below(4) ? pick(kStable, 4) : below(20) ? below(16) : below(256));
        if (below(2)) { put(op); put(pick(kStable, 4)); }
        return;
    case QSVF_QENDIR: case QSVF_QENDDR: put(op); put(below(20) ? below(2) : below(256)); return;
    case QSVF_QCOMMENT: put(op); for (i = below(5); i; --i) put(1 + below(255)); put(0); return;
    case QSVF_QWAIT:
        put(op);
        put(below(8) ? pick(kStable, 4) : below(256));
        put(below(8) ? pick(kStable, 4) : below(256));
        putInteger(below(8) ? below(30) : below(2) ? 70000 + below(10) : rnd(), 4);
        return;
    }
}

static SameLog reference, candidate;

int main(int argc, char **argv) {
    long plays = argc > 1 ? atol(argv[1]) : 100000, k, differ = 0, ends[QSVFPLAY_TOO_LONG + 2] = {0};
    uint64_t seed = argc > 2 ? strtoull(argv[2], 0, 10) : 1;
    int i, records;
    for (k = 0; k < plays; ++k) {
        SamePlay c;
        state = seed * 0x9E3779B97F4A7C15ull + (uint64_t)k * 2654435761ull + 1;
        n = 0;
        dr = below(2) ? 0 : length();
        dataOnes = 0;
        masksSet = 0;
        if (below(8)) putSize(length());
        for (records = 1 + (int)below(30), i = 0; i < records; ++i) putRecord();
        if (below(8)) put(QSVF_QCOMPLETE);
        if (below(6) == 0 && n) n = below((uint32_t)n + 1);
        if (below(30) == 0 && n) out[below((uint32_t)n)] ^= (uint8_t)(1u << below(8));
        c.data = out;
        c.size = n;
        c.chunk = below(3) ? 1 + below(16) : 100000;
        c.bufferSize = below(4) == 0 ? 1 + below(64) : below(3) ? 64 + below(300) : 4096 + below(60000);
        c.seed = rnd();
        c.bulk = below(3) == 0;
        c.trst = below(2);
        c.tdoMode = (int)below(3);
        c.vectorsEveryClock = below(4) == 0;
        c.maxClocks = below(10) ? 20000 : 200000;
        reference_play(&c, &reference);
        candidate_play(&c, &candidate);
        /* the end of the play: the status of its last step, or a cut-off play */
        for (i = (int)(reference.n < SAME_LOG_MAX ? reference.n : SAME_LOG_MAX); i--;) {
            uint64_t e = reference.e[i];
            if (e >> 60 == 6) { ends[QSVFPLAY_TOO_LONG + 1]++; break; }
            if (e >> 60 == 7 && (e >> 32 & 0xFFFFFFF) <= QSVFPLAY_TOO_LONG && (e >> 32 & 7) != QSVFPLAY_MORE) {
                ends[e >> 32 & 7]++;
                break;
            }
        }
        if (reference.n != candidate.n ||
            memcmp(reference.e, candidate.e,
                   sizeof reference.e[0] * (reference.n < SAME_LOG_MAX ? reference.n : SAME_LOG_MAX))) {
            size_t at = 0, both = reference.n < candidate.n ? reference.n : candidate.n;
            FILE *f;
            char name[64];
            if (both > SAME_LOG_MAX) both = SAME_LOG_MAX;
            while (at < both && reference.e[at] == candidate.e[at]) ++at;
            if (++differ > 5) continue;
            snprintf(name, sizeof name, "differs-%ld.qsvf", k);
            fprintf(stderr, "play %ld (%s, buffer %u, chunk %zu, bulk %d): event %zu of %zu/%zu: %016llx, now %016llx\n",
                    k, name, c.bufferSize, c.chunk, c.bulk, at, reference.n, candidate.n,
                    at < reference.n ? (unsigned long long)reference.e[at] : 0ull,
                    at < candidate.n ? (unsigned long long)candidate.e[at] : 0ull);
            if ((f = fopen(name, "wb"))) {
                fwrite(out, 1, n, f);
                fclose(f);
            }
        }
    }
    printf("%ld plays, %ld differ; ends (complete, TDO failed, truncated, bad opcode, bad operand, bad split, "
           "too long, cut off):",
           plays, differ);
    for (i = 1; i < QSVFPLAY_TOO_LONG + 2; ++i) printf(" %ld", ends[i]);
    printf("\n");
    return differ != 0;
}

/* Shared by player_same.c and player_same_play.c: one generated play (the
   stream and how it is played) and the log of what a player did in it. */
#ifndef PLAYER_SAME_H
#define PLAYER_SAME_H

#include <stddef.h>
#include <stdint.h>

typedef struct {
    const uint8_t *data;
    size_t size, chunk;    /* the stream, given to read in chunks of at most `chunk` */
    uint32_t bufferSize;   /* the player's buffer, allocated to the byte */
    uint32_t seed;         /* TDO: 0, 1 or an LFSR from this seed (tdoMode 0, 1, 2) */
    int bulk, trst, tdoMode, vectorsEveryClock;
    long maxClocks;        /* the play is cut off after these */
} SamePlay;

/* Every event, as one 64-bit entry: each read, clock, bulk shift and TRST
   with its arguments, the player's fields after every step and the scan
   vectors (their places in the buffer and a hash of their bytes) after
   every step and, when asked, at every clock. */
#define SAME_LOG_MAX 400000
typedef struct {
    size_t n;
    uint64_t e[SAME_LOG_MAX];
} SameLog;

#endif

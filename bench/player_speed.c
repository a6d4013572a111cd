/* Host speed of the player library: plays a QSVF stream held in memory into
   a pin callback that only counts the clocks, several rounds, and prints the
   best round as clocks and bits shifted per second.

     player_speed STREAM [ROUNDS]                                        */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "qsvfplay.h"

struct input {
    const uint8_t *data;
    size_t size, next;
    unsigned long long clocks;
};

static size_t readMemory(void *context, uint8_t *to, size_t max) {
    struct input *in = context;
    size_t n = max < in->size - in->next ? max : in->size - in->next, i;
    for (i = 0; i < n; ++i) to[i] = in->data[in->next + i];
    in->next += n;
    return n;
}

static int nothing(void *context, int tms, int tdi) {
    (void)tms;
    (void)tdi;
    ++((struct input *)context)->clocks;
    return 0;
}

int main(int argc, char **argv) {
    static const qsvfplay_io io = {readMemory, nothing, 0, 0};
    FILE *file;
    uint8_t *data, *buffer;
    size_t size;
    int rounds = argc > 2 ? atoi(argv[2]) : 3, round, status = 0;
    double best = 1e30;
    struct input in = {0, 0, 0, 0};
    if (argc < 2 || !(file = fopen(argv[1], "rb"))) {
        fprintf(stderr, "usage: player_speed STREAM [ROUNDS]\n");
        return 2;
    }
    fseek(file, 0, SEEK_END);
    size = (size_t)ftell(file);
    rewind(file);
    data = malloc(size);
    buffer = malloc(65536);
    if (!data || !buffer || fread(data, 1, size, file) != size) return 2;
    fclose(file);
    for (round = 0; round < rounds; ++round) {
        qsvfplay_state player;
        struct timespec start, end;
        double seconds;
        in.data = data;
        in.size = size;
        in.next = 0;
        in.clocks = 0;
        qsvfplay_init(&player, &io, &in, buffer, 65536);
        clock_gettime(CLOCK_MONOTONIC, &start);
        status = qsvfplay_run(&player);
        clock_gettime(CLOCK_MONOTONIC, &end);
        seconds = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
        if (seconds < best) best = seconds;
    }
    printf("status %d, %llu clocks, best of %d rounds %.3f s: %.0f Mclocks/s\n", status, in.clocks, rounds, best,
           (double)in.clocks / best / 1e6);
    return status == QSVFPLAY_COMPLETE ? 0 : 1;
}

// libFuzzer entry for the player library.  The first input byte sets the
// buffer size (1 to 256 bytes, in steps of 4 less one), the second the
// chunk size of the stream reads and whether the bulk shift callback is
// given; the rest is the stream, played with TDO taken from an LFSR.  The
// library is compiled into this file as C++ (it compiles as both), so that
// a play that would clock for too long can be ended by an exception.
// Checked on every input: the play ends with a final status, and a play
// that stops on a bad or cut-off record moved no pin for that record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "qsvfplay.c"

namespace {

struct TooLong {};

struct Input {
    const uint8_t *data;
    size_t size, next, chunk;
    uint64_t clocks;
    uint32_t lfsr;
};

size_t readInput(void *context, uint8_t *to, size_t max) {
    Input &in = *static_cast<Input *>(context);
    size_t n = max < in.chunk ? max : in.chunk;
    if (n > in.size - in.next) n = in.size - in.next;
    for (size_t i = 0; i < n; ++i) to[i] = in.data[in.next + i];
    in.next += n;
    return n;
}

int clockInput(void *context, int tms, int tdi) {
    Input &in = *static_cast<Input *>(context);
    if ((tms | tdi) & ~1) std::abort();
    if (++in.clocks > (1u << 16)) throw TooLong();
    in.lfsr = (in.lfsr >> 1) ^ (-(in.lfsr & 1u) & 0xB4BCD35Cu);
    return static_cast<int>(in.lfsr & 1);
}

void shiftInput(void *context, const uint8_t *, uint8_t *tdo, size_t bytes) {
    for (size_t j = 0; j < bytes; ++j) {
        uint8_t out = 0;
        for (int k = 0; k < 8; ++k) out = static_cast<uint8_t>(out | clockInput(context, 0, 0) << k);
        if (tdo) tdo[j] = out;
    }
}

const qsvfplay_io kIo = {readInput, clockInput, nullptr, nullptr};
const qsvfplay_io kBulkIo = {readInput, clockInput, shiftInput, nullptr};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    std::vector<uint8_t> buffer(4u * data[0] % 256 + 1);
    Input in{data + 2, size - 2, 0, static_cast<size_t>(data[1] & 15) + 1, 0, 1};
    qsvfplay_state player;
    qsvfplay_init(&player, data[1] & 16 ? &kBulkIo : &kIo, &in, buffer.data(), static_cast<uint32_t>(buffer.size()));
    try {
        int status;
        uint64_t before;
        do before = in.clocks;
        while ((status = qsvfplay_step(&player)) == QSVFPLAY_MORE);
        if (status < QSVFPLAY_COMPLETE || status > QSVFPLAY_TOO_LONG || player.offset > in.size) std::abort();
        const uint64_t startClocks = player.record == 0 ? 5 : 0;
        if (status != QSVFPLAY_COMPLETE && status != QSVFPLAY_TDO_FAILED && in.clocks - before != startClocks)
            std::abort();
        if (qsvfplay_step(&player) != status) std::abort();
    } catch (const TooLong &) {
    }
    return 0;
}

// Shared frame of the two reference loops of the svf2qsvf benchmark: read a
// file in 1 MiB blocks, hand each block to the packing loop, and report the
// digit count (and, with --check, a hash of the packed bytes, so that the two
// loops can be seen to agree).  The packed bytes hold the hexadecimal digits
// of the file in text order, two to a byte, first digit in the high nibble.
#ifndef BENCH_HEXPACK_COMMON_H
#define BENCH_HEXPACK_COMMON_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/stat.h>

namespace hexpack {

constexpr size_t kBlock = size_t{1} << 20;

// State carried from one block to the next: the packed bytes so far and a
// digit still waiting for its partner.
struct Packed {
    std::vector<uint8_t> bytes;
    size_t count = 0;        // bytes written
    int pending = -1;        // high nibble waiting, or -1
    uint64_t digits = 0;
};

// Runs packBlock(data, length, packed) over the file named by argv[1].
template <typename PackBlock>
int runMain(int argc, char **argv, PackBlock packBlock) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--check") != 0)) {
        std::fprintf(stderr, "usage: %s FILE [--check]\n", argv[0]);
        return 2;
    }
    std::FILE *file = std::fopen(argv[1], "rb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    struct stat info {};
    size_t size = fstat(fileno(file), &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
    Packed packed;
    packed.bytes.resize(size / 2 + 64);
    std::vector<uint8_t> block(kBlock + 64);
    for (;;) {
        size_t got = std::fread(block.data(), 1, kBlock, file);
        if (got == 0) break;
        if (packed.count + got / 2 + 64 > packed.bytes.size()) packed.bytes.resize(packed.count + got / 2 + 64);
        packBlock(block.data(), got, packed);
    }
    std::fclose(file);
    std::printf("%llu digits", static_cast<unsigned long long>(packed.digits));
    if (argc == 3) {
        uint64_t hash = 1469598103934665603ull;  // FNV-1a
        for (size_t i = 0; i < packed.count; ++i) hash = (hash ^ packed.bytes[i]) * 1099511628211ull;
        std::printf(" hash %016llx", static_cast<unsigned long long>(hash));
    }
    std::printf("\n");
    return 0;
}

}  // namespace hexpack

#endif  // BENCH_HEXPACK_COMMON_H

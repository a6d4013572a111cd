// Reference loop of the svf2qsvf benchmark: packs every hexadecimal digit of
// a file into nibbles one byte at a time, with one table lookup per byte.
// svf2qsvf's time on a file is reported as a ratio to this loop's.
#include <array>

#include "hexpack_common.h"

namespace {

constexpr std::array<uint8_t, 256> makeDigitTable() {
    std::array<uint8_t, 256> table{};
    for (auto &entry : table) entry = 0xFF;
    for (int c = '0'; c <= '9'; ++c) table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'A' + 10);
    return table;
}
constexpr std::array<uint8_t, 256> kDigit = makeDigitTable();

void packBlock(const uint8_t *data, size_t length, hexpack::Packed &packed) {
    uint8_t *out = packed.bytes.data() + packed.count;
    int pending = packed.pending;
    uint64_t digits = 0;
    for (size_t i = 0; i < length; ++i) {
        uint8_t value = kDigit[data[i]];
        if (value > 15) continue;
        ++digits;
        if (pending < 0) {
            pending = value << 4;
        } else {
            *out++ = static_cast<uint8_t>(pending | value);
            pending = -1;
        }
    }
    packed.count = static_cast<size_t>(out - packed.bytes.data());
    packed.pending = pending;
    packed.digits += digits;
}

}  // namespace

int main(int argc, char **argv) { return hexpack::runMain(argc, argv, packBlock); }

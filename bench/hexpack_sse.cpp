// Reference loop of the svf2qsvf benchmark: packs every hexadecimal digit of
// a file into nibbles 16 bytes at a time with SSSE3/SSE4.1 instructions
// (built with -mssse3 -msse4.1; it needs a processor that has them).  Each
// 16-byte block is classified and converted to digit values in registers,
// the digits are compacted with a byte shuffle per 8-byte half (a table of
// 256 shuffles), and the compacted digits are paired into bytes 16 at a time
// with a multiply-add.  svf2qsvf's time on a file is reported as a ratio to
// this loop's.
#include <array>

#include <smmintrin.h>
#include <tmmintrin.h>

#include "hexpack_common.h"

namespace {

// For each 8-bit digit mask: the shuffle that gathers the marked bytes to
// the front, and how many there are.
struct CompactTable {
    alignas(16) uint8_t shuffle[256][8];
    uint8_t count[256];
};
constexpr CompactTable makeCompactTable() {
    CompactTable table{};
    for (int mask = 0; mask < 256; ++mask) {
        int n = 0;
        for (int bit = 0; bit < 8; ++bit)
            if (mask & (1 << bit)) table.shuffle[mask][n++] = static_cast<uint8_t>(bit);
        for (int rest = n; rest < 8; ++rest) table.shuffle[mask][rest] = 0x80;
        table.count[mask] = static_cast<uint8_t>(n);
    }
    return table;
}
constexpr CompactTable kCompact = makeCompactTable();

// Digit values of one block and the mask of the bytes that are digits.
inline __m128i digitValues(__m128i text, unsigned &mask) {
    const __m128i decimal = _mm_sub_epi8(text, _mm_set1_epi8('0'));
    const __m128i isDecimal = _mm_cmpeq_epi8(_mm_min_epu8(decimal, _mm_set1_epi8(9)), decimal);
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(text, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
    mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(isDecimal, isLetter)));
    return _mm_blendv_epi8(_mm_add_epi8(letter, _mm_set1_epi8(10)), decimal, isDecimal);
}

void packBlock(const uint8_t *data, size_t length, hexpack::Packed &packed) {
    // Digits of the block, one per byte, behind the digit carried over.
    static std::array<uint8_t, hexpack::kBlock + 64> staged;
    size_t n = 0;
    if (packed.pending >= 0) staged[n++] = static_cast<uint8_t>(packed.pending >> 4);
    size_t i = 0;
    for (; i + 16 <= length; i += 16) {
        unsigned mask;
        __m128i values = digitValues(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i)), mask);
        if (mask == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(&staged[n]), values);
            n += 16;
            continue;
        }
        unsigned low = mask & 0xFF, high = mask >> 8;
        __m128i lowDigits = _mm_shuffle_epi8(values, _mm_loadl_epi64(reinterpret_cast<const __m128i *>(kCompact.shuffle[low])));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(&staged[n]), lowDigits);
        n += kCompact.count[low];
        __m128i highDigits = _mm_shuffle_epi8(_mm_srli_si128(values, 8),
                                              _mm_loadl_epi64(reinterpret_cast<const __m128i *>(kCompact.shuffle[high])));
        _mm_storel_epi64(reinterpret_cast<__m128i *>(&staged[n]), highDigits);
        n += kCompact.count[high];
    }
    for (; i < length; ++i) {
        uint8_t c = data[i] | 0x20;
        if (data[i] >= '0' && data[i] <= '9')
            staged[n++] = static_cast<uint8_t>(data[i] - '0');
        else if (c >= 'a' && c <= 'f')
            staged[n++] = static_cast<uint8_t>(c - 'a' + 10);
    }
    packed.digits += n - (packed.pending >= 0 ? 1 : 0);
    // Pairs of digits to bytes, 16 digits at a time.
    uint8_t *out = packed.bytes.data() + packed.count;
    const __m128i weights = _mm_set1_epi16(0x0110);  // first digit * 16 + second digit
    size_t d = 0;
    for (; d + 16 <= n; d += 16) {
        __m128i pairs = _mm_maddubs_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(&staged[d])), weights);
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(pairs, pairs));
        out += 8;
    }
    for (; d + 2 <= n; d += 2) *out++ = static_cast<uint8_t>(staged[d] << 4 | staged[d + 1]);
    packed.pending = d < n ? staged[d] << 4 : -1;
    packed.count = static_cast<size_t>(out - packed.bytes.data());
}

}  // namespace

int main(int argc, char **argv) { return hexpack::runMain(argc, argv, packBlock); }

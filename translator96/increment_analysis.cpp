// Compression analysis of svf2qsvf96 (see increment_analysis.h).  All bit
// texts are right-aligned: padding puts bits in front (at the top), so bit b
// of one text lines up with bit b of another.

#include "increment_analysis.h"

#include <algorithm>
#include <bit>

#include "record_writer.h"

namespace svf96 {

namespace {

size_t wordsFor(size_t bits) { return (bits + 63) / 64; }

// Clears the bits at or above length in the top word.
void trimTop(BitText &t) {
    t.words.resize(wordsFor(t.length));
    if (t.length % 64 != 0) t.words.back() &= (uint64_t(1) << (t.length % 64)) - 1;
}

}  // namespace

void HexToBits(std::string_view hex, BitText &out) {
    out.words.assign(wordsFor(4 * hex.size()), 0);
    size_t bit = 0;
    const unsigned char *begin = reinterpret_cast<const unsigned char *>(hex.data());
    for (const unsigned char *p = begin + hex.size(); p != begin;) {
        const int value = kHexDigitValue[*--p];
        if (value < 0) continue;
        out.words[bit / 64] |= uint64_t(value) << (bit % 64);
        bit += 4;
    }
    out.length = bit;
    out.words.resize(wordsFor(bit));
}

BitText HexToBits(std::string_view hex) {
    BitText out;
    HexToBits(hex, out);
    return out;
}

std::string BitsToHex(const BitText &bits) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const size_t digits = (bits.length + 3) / 4;
    std::string hex(digits, '0');
    for (size_t i = 0; i < digits; ++i) {
        const size_t b = 4 * (digits - 1 - i);
        hex[i] = kDigits[(bits.words[b / 64] >> (b % 64)) & 0xF];
    }
    return hex;
}

void PadToSameLength(BitText &a, BitText &b) {
    const size_t length = std::max(a.length, b.length);
    a.length = b.length = length;
    a.words.resize(wordsFor(length), 0);
    b.words.resize(wordsFor(length), 0);
}

void ClearMaskedBits(const BitText &x, const BitText &m, BitText &out) {
    const size_t length = std::max(x.length, m.length);
    const size_t count = wordsFor(length);
    out.words.resize(count);
    for (size_t w = 0; w < count; ++w) {
        const uint64_t xw = w < x.words.size() ? x.words[w] : 0;
        const uint64_t mw = w < m.words.size() ? m.words[w] : 0;
        out.words[w] = xw & ~mw;
    }
    out.length = length;
}

BitText ClearMaskedBits(const BitText &x, const BitText &m) {
    BitText out;
    ClearMaskedBits(x, m, out);
    return out;
}

std::string ExtractMaskedBits(std::string_view hexValue, std::string_view hexMask) {
    BitText value = HexToBits(hexValue);
    BitText mask = HexToBits(hexMask);
    PadToSameLength(value, mask);
    std::vector<bool> collected;  // most significant first
    for (size_t w = mask.words.size(); w-- > 0;) {
        uint64_t bits = mask.words[w];
        while (bits) {
            const int top = 63 - std::countl_zero(bits);
            collected.push_back((value.words[w] >> top) & 1U);
            bits &= ~(uint64_t(1) << top);
        }
    }
    BitText field;
    field.length = collected.size();
    field.words.assign(wordsFor(field.length), 0);
    for (size_t i = 0; i < collected.size(); ++i)
        if (collected[i]) {
            const size_t b = collected.size() - 1 - i;
            field.words[b / 64] |= uint64_t(1) << (b % 64);
        }
    return BitsToHex(field);
}

BitText AddAtBit(const BitText &x, size_t k) {
    BitText sum = x;
    if (sum.length <= k) {
        sum.length = k + 1;
        sum.words.resize(wordsFor(sum.length), 0);
    }
    size_t w = (sum.length - 1 - k) / 64;
    uint64_t add = uint64_t(1) << ((sum.length - 1 - k) % 64);
    for (; w < sum.words.size() && add; ++w) {
        const uint64_t before = sum.words[w];
        sum.words[w] = before + add;
        add = sum.words[w] < before ? 1 : 0;
    }
    trimTop(sum);
    return sum;
}

bool FindSingleIncrement(const BitText &x, const BitText &y, BitText &mask) {
    if (x.length != y.length) return false;
    mask.length = x.length;
    mask.words.assign(x.words.size(), 0);
    // y - x modulo 2^length must be 0 or a single power of two.
    const size_t count = x.words.size();
    uint64_t borrow = 0;
    size_t setWord = count;
    for (size_t w = 0; w < count; ++w) {
        const uint64_t a = y.words[w], b = x.words[w];
        uint64_t diff = a - b - borrow;
        borrow = (a < b || (a == b && borrow)) ? 1 : 0;
        if (w + 1 == count && x.length % 64 != 0) diff &= (uint64_t(1) << (x.length % 64)) - 1;
        if (diff == 0) continue;
        if (setWord != count || (diff & (diff - 1)) != 0) return false;
        setWord = w;
        mask.words[w] = diff;
    }
    return true;
}

BitText DataMaskOf(const BitText &scan, long scanLengthBits) {
    BitText mask;
    mask.length = scan.length;
    mask.words.assign(scan.words.size(), 0);
    // Lowest b with bit b = 0 and bit b + 1 = 1.
    const size_t count = scan.words.size();
    for (size_t w = 0; w < count; ++w) {
        const uint64_t above = (scan.words[w] >> 1) | (w + 1 < count ? scan.words[w + 1] << 63 : 0);
        const uint64_t pairs = above & ~scan.words[w];
        if (!pairs) continue;
        const size_t b = 64 * w + static_cast<size_t>(std::countr_zero(pairs));
        // A field that reaches past the top of the scan is cut there.
        const size_t limit = std::min(scan.length, static_cast<size_t>(std::max(scanLengthBits, 0L)));
        for (size_t d = b + 2; d < b + 10 && d < limit; ++d) mask.words[d / 64] |= uint64_t(1) << (d % 64);
        break;
    }
    return mask;
}

IncrementRun FindIncrementRun(const std::vector<std::string> &tdi, size_t start, long scanLengthBits) {
    IncrementRun run;
    if (start + 2 > tdi.size()) return run;
    BitText cur = HexToBits(tdi[start]);
    BitText next = HexToBits(tdi[start + 1]);
    const BitText data = DataMaskOf(cur, scanLengthBits);
    BitText x, y, address, step;
    ClearMaskedBits(cur, data, x);
    ClearMaskedBits(next, data, y);
    if (!FindSingleIncrement(x, y, address)) return run;
    size_t length = 2;
    for (size_t j = start + 2; j < tdi.size() && length < kMaxRunSearch; ++j) {
        std::swap(x, y);
        HexToBits(tdi[j], next);
        ClearMaskedBits(next, data, y);
        if (!FindSingleIncrement(x, y, step) || !(step == address)) break;
        ++length;
    }
    run.found = true;
    run.addressMask = BitsToHex(address);
    run.dataMask = BitsToHex(data);
    run.length = length;
    return run;
}

}  // namespace svf96

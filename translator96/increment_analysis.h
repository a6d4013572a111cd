// Compression analysis of svf2qsvf96: finds runs of data scans in which
// each scan differs from the one before only by one added power of two (the
// address) apart from an eight-bit data field.  Scan values are looked at as
// bit texts: the bits of the hex text, four to a digit, position 0 the most
// significant.  A BitText holds one packed, bit 0 being the last bit of the
// text (the first bit shifted), so that every step is linear in the scan
// length and works a machine word at a time.
#ifndef SVF2QSVF96_INCREMENT_ANALYSIS_H
#define SVF2QSVF96_INCREMENT_ANALYSIS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace svf96 {

struct BitText {
    size_t length = 0;            // number of bits of the text
    std::vector<uint64_t> words;  // bit b in words[b / 64]; bits at or above length are 0

    bool bit(size_t b) const { return b < length && ((words[b / 64] >> (b % 64)) & 1U); }
    friend bool operator==(const BitText &a, const BitText &b) {
        return a.length == b.length && a.words == b.words;
    }
};

// Four bits for each hex digit of either case; other characters add nothing.
BitText HexToBits(std::string_view hex);
void HexToBits(std::string_view hex, BitText &out);
// Lower-case hex text, "0" bits put in front up to whole digits; empty for
// an empty bit text.
std::string BitsToHex(const BitText &bits);
// Puts "0" bits in front of the shorter text.
void PadToSameLength(BitText &a, BitText &b);
// x with every bit cleared where m has a 1, both first padded to one length.
BitText ClearMaskedBits(const BitText &x, const BitText &m);
void ClearMaskedBits(const BitText &x, const BitText &m, BitText &out);
// The bits of the value under the mask, most significant first, as hex.
std::string ExtractMaskedBits(std::string_view hexValue, std::string_view hexMask);
// Adds one at text position k (0 = most significant), the text first padded
// to more than k bits; a carry out of the top is lost.
BitText AddAtBit(const BitText &x, size_t k);
// Whether y is x plus one at a single position (or equal to x): on success
// mask holds that single bit (all zero for equal texts).  Texts of
// different lengths never match.
bool FindSingleIncrement(const BitText &x, const BitText &y, BitText &mask);
// The data field of a scan: the eight bits just above the lowest 1 that is
// directly followed by a 0, cut to the scan; all zero without such a pair.
BitText DataMaskOf(const BitText &scan, long scanLengthBits);

struct IncrementRun {
    bool found = false;
    std::string addressMask;  // hex
    std::string dataMask;     // hex
    size_t length = 0;        // scans in the run, the first included
};

// The longest search covers this many scans.
inline constexpr size_t kMaxRunSearch = 300;

// The run starting at scan `start` of the list, if one does.
IncrementRun FindIncrementRun(const std::vector<std::string> &tdi, size_t start, long scanLengthBits);

}  // namespace svf96

#endif  // SVF2QSVF96_INCREMENT_ANALYSIS_H

// Compression analysis of svf2qsvf96.  The word-wise, linear analysis must
// give exactly what the plain text algorithm gives: a reference written
// here on bit texts of "0" and "1" characters, trying every bit position
// with a full addition, is compared with it on many generated groups.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "increment_analysis.h"

namespace svf96 {
namespace {

// ---- reference: the text algorithm, one character per bit ----

std::string refHexToBits(const std::string &hex) {
    std::string bits;
    for (char c : hex) {
        const char lower = (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
        int v = -1;
        if (lower >= '0' && lower <= '9') v = lower - '0';
        if (lower >= 'a' && lower <= 'f') v = lower - 'a' + 10;
        if (v < 0) continue;
        for (int b = 3; b >= 0; --b) bits += ((v >> b) & 1) ? '1' : '0';
    }
    return bits;
}

std::string refBitsToHex(std::string bits) {
    if (bits.empty()) return "";
    while (bits.size() % 4) bits = "0" + bits;
    std::string hex;
    for (size_t i = 0; i < bits.size(); i += 4) {
        int v = 0;
        for (int k = 0; k < 4; ++k) v = v * 2 + (bits[i + k] - '0');
        hex += "0123456789abcdef"[v];
    }
    return hex;
}

void refPad(std::string &a, std::string &b) {
    while (a.size() < b.size()) a = "0" + a;
    while (b.size() < a.size()) b = "0" + b;
}

std::string refClear(std::string x, std::string m) {
    refPad(x, m);
    for (size_t i = 0; i < x.size(); ++i)
        if (m[i] == '1') x[i] = '0';
    return x;
}

std::string refAddAtBit(std::string x, size_t k) {
    while (x.size() <= k) x = "0" + x;
    for (size_t p = k + 1; p-- > 0;) {
        if (x[p] == '0') {
            x[p] = '1';
            break;
        }
        x[p] = '0';
    }
    return x;
}

bool refFindSingleIncrement(const std::string &x, const std::string &y, std::string &mask) {
    const std::string zero(x.size(), '0');
    mask = zero;
    if (x == y) return true;
    for (size_t k = 0; k < x.size(); ++k)
        if (refAddAtBit(x, k) == y) {
            mask = refAddAtBit(zero, k);
            return true;
        }
    return false;
}

std::string refExtract(const std::string &hexValue, const std::string &hexMask) {
    std::string v = refHexToBits(hexValue), m = refHexToBits(hexMask);
    refPad(v, m);
    std::string out;
    for (size_t i = 0; i < v.size(); ++i)
        if (m[i] == '1') out += v[i];
    return refBitsToHex(out);
}

// The data mask, with a field reaching past the top of the scan cut there.
std::string refDataMask(const std::string &cur, long scanLength) {
    std::string d;
    for (size_t k = 0; k + 1 < cur.size(); ++k) {
        const size_t p = cur.size() - k - 2;
        if (cur[p] == '1' && cur[p + 1] == '0') {
            d = "1111111100" + d;
            break;
        }
        d = "0" + d;
    }
    while (d.size() < cur.size()) d = "0" + d;
    if (d.size() > cur.size()) d.erase(0, d.size() - cur.size());
    for (size_t p = 0; p < d.size(); ++p)
        if (static_cast<long>(d.size() - p) > scanLength) d[p] = '0';  // position above the scan
    return d;
}

IncrementRun refFindIncrementRun(const std::vector<std::string> &tdi, size_t s, long scanLength) {
    IncrementRun run;
    if (s + 2 > tdi.size()) return run;
    std::string cur = refHexToBits(tdi[s]), next = refHexToBits(tdi[s + 1]);
    const std::string d = refDataMask(cur, scanLength);
    cur = refClear(cur, d);
    next = refClear(next, d);
    std::string a, a2;
    if (!refFindSingleIncrement(cur, next, a)) return run;
    size_t length = 2;
    for (size_t j = s + 2; j < tdi.size() && length < 300; ++j) {
        cur = next;
        next = refClear(refHexToBits(tdi[j]), d);
        if (!refFindSingleIncrement(cur, next, a2) || a2 != a) break;
        ++length;
    }
    run.found = true;
    run.addressMask = refBitsToHex(a);
    run.dataMask = refBitsToHex(d);
    run.length = length;
    return run;
}

// ---- generated groups ----

std::string hexOf(const std::vector<int> &bits) {  // bits[0] least significant
    std::string text;
    for (size_t d = (bits.size() + 3) / 4; d-- > 0;) {
        int v = 0;
        for (int b = 3; b >= 0; --b) {
            const size_t i = 4 * d + static_cast<size_t>(b);
            v = v * 2 + (i < bits.size() ? bits[i] : 0);
        }
        text += "0123456789abcdef"[v];
    }
    return text;
}

// Adds 2^position to a bit vector, modulo its length.
void addPowerOfTwo(std::vector<int> &bits, size_t position) {
    for (size_t i = position; i < bits.size(); ++i) {
        bits[i] ^= 1;
        if (bits[i]) break;
    }
}

std::vector<std::string> generateGroup(std::mt19937 &random, long &length) {
    length = std::uniform_int_distribution<long>(2, 200)(random);
    std::vector<int> bits(static_cast<size_t>(length));
    const int kind = std::uniform_int_distribution<int>(0, 4)(random);
    for (auto &b : bits) b = static_cast<int>(random() % (kind == 4 ? 8 : 2) == 0);
    const size_t count = std::uniform_int_distribution<size_t>(1, 40)(random);
    const size_t step = std::uniform_int_distribution<size_t>(0, static_cast<size_t>(length) - 1)(random);
    std::vector<std::string> group;
    for (size_t n = 0; n < count; ++n) {
        std::string text = hexOf(bits);
        if (random() % 7 == 0)  // short text: leading zero digits left out
            while (text.size() > 1 && text[0] == '0') text.erase(0, 1);
        if (random() % 5 == 0)
            for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        group.push_back(text);
        switch (kind) {
        case 0:  // one step, data bits changing
        case 4:
            addPowerOfTwo(bits, step);
            for (int k = 0; k < 3; ++k) bits[random() % bits.size()] ^= static_cast<int>(random() % 4 == 0);
            break;
        case 1:  // one step, nothing else changes
            addPowerOfTwo(bits, step);
            break;
        case 2:  // identical scans, now and then a change
            if (random() % 6 == 0) bits[random() % bits.size()] ^= 1;
            break;
        default:  // noise
            for (auto &b : bits) b = static_cast<int>(random() % 2);
            break;
        }
    }
    return group;
}

TEST(IncrementAnalysis, MatchesTheTextAlgorithmOnGeneratedGroups) {
    std::mt19937 random(20261208);
    size_t runs = 0, longRuns = 0;
    for (int g = 0; g < 1500; ++g) {
        long length = 0;
        const std::vector<std::string> group = generateGroup(random, length);
        for (size_t s = 0; s < group.size(); ++s) {
            const IncrementRun want = refFindIncrementRun(group, s, length);
            const IncrementRun got = FindIncrementRun(group, s, length);
            ASSERT_EQ(got.found, want.found) << "group " << g << " start " << s;
            if (!want.found) continue;
            ++runs;
            if (want.length > 3) ++longRuns;
            ASSERT_EQ(got.addressMask, want.addressMask) << "group " << g << " start " << s;
            ASSERT_EQ(got.dataMask, want.dataMask) << "group " << g << " start " << s;
            ASSERT_EQ(got.length, want.length) << "group " << g << " start " << s;
            for (size_t k = s; k < s + want.length; ++k)
                ASSERT_EQ(ExtractMaskedBits(group[k], got.dataMask), refExtract(group[k], want.dataMask));
        }
    }
    // The generator must reach the interesting cases, not only failures.
    EXPECT_GT(runs, 2000u);
    EXPECT_GT(longRuns, 500u);
}

TEST(IncrementAnalysis, SingleIncrementMatchesEveryPositionTried) {
    std::mt19937 random(7);
    for (int t = 0; t < 3000; ++t) {
        const size_t length = std::uniform_int_distribution<size_t>(1, 150)(random);
        std::string x(length, '0');
        for (char &c : x) c = random() % 2 ? '1' : '0';
        std::string y;
        switch (t % 4) {
        case 0: y = refAddAtBit(x, random() % length); break;
        case 1: y = x; break;
        case 2: y = refAddAtBit(refAddAtBit(x, random() % length), random() % length); break;
        default:
            y = x;
            y[random() % length] ^= 1;
            break;
        }
        std::string wantMask;
        const bool want = refFindSingleIncrement(x, y, wantMask);
        BitText mask;
        const bool got = FindSingleIncrement(HexToBits(refBitsToHex(x)), HexToBits(refBitsToHex(y)), mask);
        // Texts whose length is not a multiple of four are compared after
        // padding both to whole digits, which does not change the answer.
        std::string px = x, py = y;
        while (px.size() % 4) px = "0" + px, py = "0" + py;
        std::string padMask;
        ASSERT_EQ(got, refFindSingleIncrement(px, py, padMask)) << x << " " << y;
        if (length % 4 == 0) {
            ASSERT_EQ(got, want);
            if (got) {
                ASSERT_EQ(BitsToHex(mask), refBitsToHex(wantMask));
            }
        }
    }
}

TEST(BitTexts, ConversionsFoldCaseAndPadToWholeDigits) {
    EXPECT_EQ(HexToBits("1A5"), HexToBits("1a5"));
    EXPECT_EQ(HexToBits("1a5").length, 12u);
    EXPECT_EQ(HexToBits("1-a").length, 8u);  // other characters add nothing
    EXPECT_EQ(BitsToHex(HexToBits("0F0a")), "0f0a");
    EXPECT_EQ(BitsToHex(BitText{}), "");
    BitText six;
    six.length = 6;
    six.words = {0x2d};  // 101101
    EXPECT_EQ(BitsToHex(six), "2d");
    BitText a = HexToBits("f"), b = HexToBits("abcd");
    PadToSameLength(a, b);
    EXPECT_EQ(BitsToHex(a), "000f");
    EXPECT_EQ(ExtractMaskedBits("23c8", "0ff0"), "3c");
    EXPECT_EQ(ExtractMaskedBits("3ff8", "0ff0"), "ff");
    EXPECT_EQ(ExtractMaskedBits("a4", "81"), "2");   // bits 7 and 0: 1 and 0
    EXPECT_EQ(ExtractMaskedBits("ff", "00"), "");
    EXPECT_EQ(BitsToHex(ClearMaskedBits(HexToBits("1a58"), HexToBits("ff0"))), "1008");
}

TEST(BitTexts, AddAtBitCarriesAndLosesTheTopCarry) {
    EXPECT_EQ(BitsToHex(AddAtBit(HexToBits("0fff"), 15)), "1000");
    EXPECT_EQ(BitsToHex(AddAtBit(HexToBits("ffff"), 15)), "0000");  // carry out of position 0 is lost
    EXPECT_EQ(BitsToHex(AddAtBit(HexToBits("1008"), 3)), "2008");
    EXPECT_EQ(AddAtBit(HexToBits("f"), 5).length, 6u);  // padded to more than k bits
    EXPECT_EQ(BitsToHex(AddAtBit(HexToBits("f"), 5)), "10");
    // A carry that crosses a machine word.
    EXPECT_EQ(BitsToHex(AddAtBit(HexToBits("0ffffffffffffffff"), 67)), "10000000000000000");
}

TEST(BitTexts, DataMaskIsTheByteAboveTheLowestOneZeroPair) {
    EXPECT_EQ(BitsToHex(DataMaskOf(HexToBits("1a58"), 16)), "0ff0");
    EXPECT_EQ(BitsToHex(DataMaskOf(HexToBits("0000"), 16)), "0000");  // no pair
    EXPECT_EQ(BitsToHex(DataMaskOf(HexToBits("ffff"), 16)), "0000");
    EXPECT_EQ(BitsToHex(DataMaskOf(HexToBits("0002"), 16)), "03fc");
    // The pair near the top: the field is cut at the top of the scan.
    EXPECT_EQ(BitsToHex(DataMaskOf(HexToBits("4000"), 16)), "8000");
    EXPECT_EQ(BitsToHex(DataMaskOf(HexToBits("0400"), 16)), "f800");
    // A 14-bit scan in four digits: the two top bits are not part of it.
    EXPECT_EQ(BitsToHex(DataMaskOf(HexToBits("0400"), 14)), "3800");
    // A pair across a machine word boundary: bit 64 set, bit 63 clear.
    EXPECT_EQ(BitsToHex(DataMaskOf(HexToBits("10000000000000000"), 68)), "e0000000000000000");
}

TEST(IncrementAnalysis, WorkedExampleRun) {
    const std::vector<std::string> tdi = {"0000", "1a58", "23c8", "3ff8"};
    const IncrementRun run = FindIncrementRun(tdi, 1, 16);
    ASSERT_TRUE(run.found);
    EXPECT_EQ(run.addressMask, "1000");
    EXPECT_EQ(run.dataMask, "0ff0");
    EXPECT_EQ(run.length, 3u);
    EXPECT_FALSE(FindIncrementRun(tdi, 0, 16).found);  // 0000 is not one step below 1a58
    EXPECT_FALSE(FindIncrementRun(tdi, 3, 16).found);  // the last scan starts no run
}

TEST(IncrementAnalysis, IdenticalScansRunWithAZeroAddressMask) {
    // a5a5: the lowest 1 followed by a 0 is bit 2 (bit 1 clear): data bits 3..10.
    const std::vector<std::string> tdi = {"a5a5", "a5a5", "a1a5", "a5a4"};
    const IncrementRun run = FindIncrementRun(tdi, 0, 16);
    ASSERT_TRUE(run.found);
    EXPECT_EQ(run.addressMask, "0000");
    EXPECT_EQ(run.dataMask, "07f8");
    EXPECT_EQ(run.length, 3u);  // a1a5 differs inside the field only; a5a4 in bit 0
}

}  // namespace
}  // namespace svf96

// FPGA splitting of svf2qsvf96, checked by reading the records back and
// putting the pieces together again: one first piece, middle pieces and one
// last piece, lengths adding up to the scan, every bit of the TDI value in
// its place, and the expected TDO values with the checked pieces, each
// under a standing mask of its own length that is its part of the MASK.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "scan_emit.h"
#include "session.h"

namespace svf96 {
namespace {

struct Piece {
    char kind;     // 'B', 'C' or 'E'
    bool checked;  // a QSDRTDO* piece
    long bits;
    std::vector<int> tdi, tdo;  // bit 0 first
    std::vector<int> mask;      // the standing mask, for checked pieces
};

// Bits of a vector of n bits in ceil(n/8) big-endian bytes; unused high
// bits of the first byte must be 0.
std::vector<int> readVector(const std::vector<uint8_t> &bytes, size_t &at, long n) {
    const size_t count = static_cast<size_t>((n + 7) / 8);
    EXPECT_LE(at + count, bytes.size());
    std::vector<int> bits(static_cast<size_t>(n));
    for (long b = 0; b < n; ++b) {
        const uint8_t byte = bytes[at + count - 1 - static_cast<size_t>(b / 8)];
        bits[static_cast<size_t>(b)] = (byte >> (b % 8)) & 1;
    }
    if (n % 8 != 0 && count > 0) {
        EXPECT_EQ(bytes[at] >> (n % 8), 0) << "unused high bits set";
    }
    at += count;
    return bits;
}

std::vector<Piece> readPieces(const std::vector<uint8_t> &bytes, long drLength) {
    std::vector<Piece> pieces;
    std::vector<int> mask;
    size_t at = 0;
    while (at < bytes.size()) {
        const uint8_t op = bytes[at++];
        if (op == qsvf::QSDRSIZE) {
            drLength = (long(bytes[at]) << 24) | (long(bytes[at + 1]) << 16) | (long(bytes[at + 2]) << 8) | bytes[at + 3];
            at += 4;
            continue;
        }
        if (op == qsvf::QTDOMASK) {
            mask = readVector(bytes, at, drLength);
            continue;
        }
        Piece piece{};
        switch (op) {
        case qsvf::QSDRB: piece = {'B', false, drLength, {}, {}, {}}; break;
        case qsvf::QSDRC: piece = {'C', false, drLength, {}, {}, {}}; break;
        case qsvf::QSDRE: piece = {'E', false, drLength, {}, {}, {}}; break;
        case qsvf::QSDRTDOB: piece = {'B', true, drLength, {}, {}, {}}; break;
        case qsvf::QSDRTDOC: piece = {'C', true, drLength, {}, {}, {}}; break;
        case qsvf::QSDRTDOE: piece = {'E', true, drLength, {}, {}, {}}; break;
        default: ADD_FAILURE() << "unexpected opcode " << int(op); return pieces;
        }
        piece.tdi = readVector(bytes, at, drLength);
        if (piece.checked) {
            piece.tdo = readVector(bytes, at, drLength);
            piece.mask = mask;
        }
        pieces.push_back(piece);
    }
    return pieces;
}

std::vector<int> bitsOfHex(const std::string &hex, long n) {
    std::vector<int> bits(static_cast<size_t>(n));
    for (long b = 0; b < n; ++b) {
        const size_t digit = hex.size() - 1 - static_cast<size_t>(b / 4);
        if (static_cast<size_t>(b / 4) >= hex.size()) continue;
        const int v = HexDigitValue(hex[digit]);
        bits[static_cast<size_t>(b)] = (v >> (b % 4)) & 1;
    }
    return bits;
}

std::string randomHex(std::mt19937 &random, long bits) {
    const long digits = (bits + 3) / 4;
    std::string hex;
    for (long d = 0; d < digits; ++d) hex += "0123456789abcdef"[random() % 16];
    if (bits % 4) hex[0] = "0123456789abcdef"[HexDigitValue(hex[0]) & ((1 << (bits % 4)) - 1)];
    return hex;
}

// Masks of many shapes: digits from..to (inclusive, digit 0 first) not zero.
std::string maskWithRun(long bits, long from, long to) {
    const long digits = (bits + 3) / 4;
    std::string mask(static_cast<size_t>(digits), '0');
    for (long d = std::max(0L, from); d <= to && d < digits; ++d) mask[static_cast<size_t>(d)] = 'f';
    if (bits % 4 && from <= 0 && to >= 0) mask[0] = "0137"[bits % 4];
    return mask;
}

void checkSplit(long length, int recordLength, const std::string &tdi, const std::string &tdo,
                const std::string &mask) {
    SCOPED_TRACE("length " + std::to_string(length) + " record " + std::to_string(recordLength) + " mask " + mask);
    Options options;
    options.fpgaMode = true;
    options.recordLength = recordLength;
    Session session(options, nullptr, nullptr, "memory");
    session.stream.lastScanSize = length;  // as the translation loop leaves it
    SplitFpgaScan(session, tdi, tdo, length, mask);
    const std::vector<Piece> pieces = readPieces(session.writer.bytes(), recordLength);
    ASSERT_GE(pieces.size(), 2u);
    EXPECT_EQ(pieces.front().kind, 'B');
    EXPECT_EQ(pieces.back().kind, 'E');
    for (size_t k = 1; k + 1 < pieces.size(); ++k) EXPECT_EQ(pieces[k].kind, 'C') << "piece " << k;

    const std::vector<int> wantTdi = bitsOfHex(tdi, length), wantTdo = bitsOfHex(tdo, length),
                           wantMask = bitsOfHex(mask, length);
    std::vector<int> joined;
    for (const Piece &piece : pieces) {
        EXPECT_LE(piece.bits, recordLength);
        EXPECT_GT(piece.bits, 0);
        if (piece.checked) {
            ASSERT_EQ(piece.mask.size(), piece.tdi.size()) << "mask of another length";
        }
        for (size_t b = 0; b < piece.tdi.size(); ++b) {
            const size_t position = joined.size();
            if (piece.checked && position < wantTdo.size()) {
                EXPECT_EQ(piece.tdo[b], wantTdo[position]) << position;
                EXPECT_EQ(piece.mask[b], wantMask[position]) << position;
            }
            // Every bit the MASK compares is in a checked piece.
            if (!piece.checked && position < wantMask.size()) {
                EXPECT_EQ(wantMask[position], 0) << position;
            }
            joined.push_back(piece.tdi[b]);
        }
    }
    EXPECT_EQ(static_cast<long>(joined.size()), length);
    EXPECT_EQ(joined, wantTdi);
}

TEST(FpgaSplit, PiecesAddUpToTheScanForManyShapes) {
    std::mt19937 random(512);
    const long lengths[] = {129, 130, 131, 132, 136, 255, 256, 257, 260, 300, 384, 511, 512, 513, 1000, 1027, 2053};
    const int recordLengths[] = {128, 136, 256, 1024};
    for (long length : lengths)
        for (int recordLength : recordLengths) {
            if (length <= recordLength) continue;
            const long digits = (length + 3) / 4, perPiece = recordLength / 4;
            const std::vector<std::pair<long, long>> runs = {
                {-1, -1},                              // all zero
                {0, 0},                                // digit 0 only
                {digits - 2, digits - 1},              // last two digits
                {digits / 3, digits / 2},              // a middle run
                {0, digits - 1},                       // all digits
                {0, 2},                                // from digit 0, odd count
                {1, digits - 1},                       // all but digit 0
                {perPiece + 1, digits - 1},            // leading stage of whole pieces
                {perPiece, digits - 1},
                {2 * perPiece + 1, digits - perPiece - 1},
            };
            for (const auto &[from, to] : runs) {
                const std::string tdi = randomHex(random, length), tdo = randomHex(random, length);
                checkSplit(length, recordLength, tdi, tdo, maskWithRun(length, from, to));
            }
            // Random masks: zero digits between the others, and a mask of
            // its own in every piece.
            checkSplit(length, recordLength, randomHex(random, length), randomHex(random, length),
                       randomHex(random, length));
        }
}

TEST(FpgaSplit, ShortTextsAndWholeByteZeroFillsLineUp) {
    // A value written with fewer digits, and the zero fill of whole bytes
    // that stands in for a missing TDO or MASK (one digit longer than the
    // scan needs for 500 bits).
    checkSplit(500, 128, "1234abcd", std::string(126, '0'), std::string(126, '0'));
    checkSplit(500, 128, "f" + std::string(124, '7'), "5", "0f");
}

TEST(FpgaSplit, WorkedExampleRecordKindsAndSizes) {
    Options options;
    options.fpgaMode = true;
    Session session(options, nullptr, nullptr, "memory");
    session.stream.lastScanSize = 512;
    const std::string tdi = std::string(126, '1') + "a5";
    const std::string mask = std::string(126, '0') + "ff";
    SplitFpgaScan(session, tdi, std::string(126, '0') + "5a", 512, mask);
    const std::vector<uint8_t> &bytes = session.writer.bytes();
    // QSDRSIZE 8, QTDOMASK ff, QSDRTDOB a5 5a, QSDRSIZE 128, three QSDRC,
    // QSDRSIZE 120, QSDRE.
    std::vector<uint8_t> want = {0x08, 0, 0, 0, 8, 0x01, 0xff, 0x0f, 0xa5, 0x5a, 0x08, 0, 0, 0, 0x80};
    for (int k = 0; k < 3; ++k) {
        want.push_back(0x0d);
        want.insert(want.end(), 16, 0x11);
    }
    want.insert(want.end(), {0x08, 0, 0, 0, 0x78, 0x0e});
    want.insert(want.end(), 15, 0x11);
    EXPECT_EQ(bytes, want);
    EXPECT_EQ(session.stream.lastScanSize, 120);
}

}  // namespace
}  // namespace svf96

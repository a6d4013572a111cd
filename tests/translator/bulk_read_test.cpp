// The bulk paths of the reader and the record writer against simple models:
// scan values of every length and shape (digits of both cases split by
// blanks, tabs and line ends, missing and excess leading digits) read as the
// digits they hold; tokens and values that straddle an input window read as
// anywhere else; vectors written from plain fields, from pieces of them and
// from header/data/trailer combinations hold the bits of the value.
#include <random>

#include "combine.h"
#include "qsvf_writer.h"
#include "translator_fixture.h"

using namespace svf;

namespace {

int digitValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

// Bits lo .. lo+63 of the value whose hexadecimal digits (most significant
// first) are given, cut to `bits` bits: the least significant digits count.
uint64_t modelBits(const std::string &digits, int64_t bits, int64_t lo) {
    uint64_t word = 0;
    for (int64_t b = std::min<int64_t>(lo + 63, bits - 1); b >= lo; --b) {
        int64_t d = b / 4;
        int nibble = d < static_cast<int64_t>(digits.size()) ? digitValue(digits[digits.size() - 1 - d]) : 0;
        word = (word << 1) | ((nibble >> (b % 4)) & 1);
    }
    return word;
}

}  // namespace

class BulkReadTest : public TranslatorTest {};

TEST_F(BulkReadTest, ValuesOfEveryShapeReadAsTheirDigits) {
    std::mt19937 random(13);
    std::vector<int64_t> lengths;
    for (int64_t bits = 1; bits <= 300; ++bits) lengths.push_back(bits);
    for (int64_t bits : {1021, 4096, 65537, 400003}) lengths.push_back(bits);
    const char *separators[] = {" ", "\t", "\n", "\r\n", "  \n\t"};
    for (int64_t bits : lengths) {
        SCOPED_TRACE(bits);
        const int64_t count = (bits + 3) / 4;
        // Usually every digit; sometimes fewer, or more with zeros in front
        // (no warning).  The top digit stays within the length.
        int64_t given = count;
        int shape = static_cast<int>(random() % 8);
        if (shape == 0) given = 1 + static_cast<int64_t>(random() % count);
        std::string digits;
        if (shape == 1) digits.assign(1 + random() % 40, '0');
        for (int64_t d = 0; d < given; ++d) {
            unsigned top = (d == 0 && given == count && bits % 4) ? (1u << (bits % 4)) : 16;
            unsigned v = random() % top;
            digits += (v > 9 && random() % 2 ? "0123456789ABCDEF" : "0123456789abcdef")[v];
        }
        // The text: runs of digits of random lengths between separators.
        std::string text = "(";
        int lines = 1;
        for (size_t at = 0; at < digits.size();) {
            size_t run = 1 + random() % (random() % 4 ? 200 : 20);
            text += digits.substr(at, run);
            at += run;
            if (at < digits.size() && random() % 3 == 0) {
                std::string separator = separators[random() % 5];
                lines += static_cast<int>(std::count(separator.begin(), separator.end(), '\n'));
                text += separator;
            }
        }
        text += ") ;";
        FileChannel &in = input(text);
        std::shared_ptr<CTapField> field;
        std::string printed = captureStdout([&] { field = readSvfHexData(bits, in); });
        EXPECT_EQ(printed, "");
        for (int64_t lo = 0; lo < bits + 64; lo += 64)
            ASSERT_EQ(field->getBits(lo, 64), modelBits(digits, bits, lo)) << "bits from " << lo;
        EXPECT_EQ(in.lLineNum, lines);
        lex(in, 0);
        EXPECT_STREQ(in.sToken, ";");
        delete pFC_Input;
        pFC_Input = nullptr;
    }
}

TEST_F(BulkReadTest, TokensAndValuesAcrossAWindowBoundaryReadAsAnywhere) {
    const std::string command = "Sdr 64 TDI (0123456789\nABCDEF) ;";
    const auto window = static_cast<size_t>(FileChannel::kInputWindow);
    for (size_t shift = 1; shift <= command.size(); ++shift) {
        SCOPED_TRACE(shift);
        // The window ends `shift` characters before the end of the command.
        FileChannel &in = input(std::string(window + shift - command.size() - 1, ' ') + "\n" + command);
        lex(in, 0);
        EXPECT_STREQ(in.sToken, "sdr");
        EXPECT_STREQ(in.sLastToken, "Sdr");
        EXPECT_EQ(lGetLong(kPositiveOnly, in), 64);
        lex(in, 0);
        EXPECT_STREQ(in.sToken, "tdi");
        auto field = readSvfHexData(64, in);
        EXPECT_EQ(field->getBits(0, 64), 0x0123456789ABCDEFu);
        lex(in, 0);
        EXPECT_STREQ(in.sToken, ";");
        EXPECT_EQ(in.lLineNum, 3);
        lex(in, 0);
        EXPECT_TRUE(in.atEof());
        delete pFC_Input;
        pFC_Input = nullptr;
    }
}

TEST_F(BulkReadTest, VectorsHoldTheBitsOfTheirValue) {
    std::mt19937 random(7);
    auto randomDigits = [&](int64_t bits) {
        std::string digits;
        for (int64_t d = 0; d < (bits + 3) / 4; ++d) digits += "0123456789abcdef"[random() % 16];
        if (bits % 4) digits[0] = "0123456789abcdef"[random() % (1u << (bits % 4))];
        return digits;
    };
    auto field = [](int64_t bits, const std::string &digits) {
        auto made = std::make_shared<CTapField>(bits);
        std::vector<uint8_t> values;
        for (char c : digits) values.push_back(static_cast<uint8_t>(digitValue(c)));
        made->setDigits(values.data(), static_cast<int64_t>(values.size()));
        return made;
    };
    for (int round = 0; round < 300; ++round) {
        // A plain data field, or one between a header and a trailer.
        int64_t data = 1 + static_cast<int64_t>(random() % 300);
        int64_t header = round % 2 ? 0 : static_cast<int64_t>(random() % 20);
        int64_t trailer = round % 2 ? 0 : static_cast<int64_t>(random() % 20);
        std::string dataDigits = randomDigits(data), headerDigits = randomDigits(header),
                    trailerDigits = randomDigits(trailer);
        int64_t total = header + data + trailer, ignored = 0;
        CCombinedValue value = consolidateData(trailer ? field(trailer, trailerDigits) : nullptr,
                                               field(data, dataDigits), header ? field(header, headerDigits) : nullptr,
                                               trailer, data, header, 0, ignored);
        // A piece of it, as the split scans write them.
        int64_t lo = round % 3 ? 0 : 8 * static_cast<int64_t>(random() % ((total + 7) / 8));
        int64_t bits = 1 + static_cast<int64_t>(random() % (total - lo));
        uint64_t start = outputBytes().size();
        bytePrint(&value, lo, bits);
        std::vector<uint8_t> written = outputBytes();
        ASSERT_EQ(written.size() - start, static_cast<size_t>((bits + 7) / 8));
        for (int64_t byte = 0; byte < (bits + 7) / 8; ++byte) {
            // Byte `byte` from the least significant, written last first.
            uint64_t expected = 0;
            for (int bit = 7; bit >= 0; --bit) {
                int64_t b = lo + 8 * byte + bit, v = 0;
                if (8 * byte + bit < bits) {
                    if (b < header)
                        v = static_cast<int64_t>(modelBits(headerDigits, header, b) & 1);
                    else if (b < header + data)
                        v = static_cast<int64_t>(modelBits(dataDigits, data, b - header) & 1);
                    else
                        v = static_cast<int64_t>(modelBits(trailerDigits, trailer, b - header - data) & 1);
                }
                expected = (expected << 1) | static_cast<uint64_t>(v);
            }
            ASSERT_EQ(written[start + static_cast<size_t>((bits + 7) / 8 - 1 - byte)], expected)
                << "round " << round << " byte " << byte;
        }
    }
}

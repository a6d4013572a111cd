// Scan fields and patterns: the circular digit storage with its warnings,
// physical and logical digit positions, the reuse rules of setPattern, the
// operand reader, and the header/data/trailer combination with SMASK.
#include "combine.h"
#include "translator_fixture.h"

using namespace svf;

class ScanTest : public TranslatorTest {
protected:
    std::shared_ptr<CTapField> hex(int64_t bits, const std::string &text, std::string *printed = nullptr) {
        FileChannel &in = input(text);
        std::shared_ptr<CTapField> field;
        std::string out = captureStdout([&] { field = readSvfHexData(bits, in); });
        if (printed) *printed = out;
        delete pFC_Input;
        pFC_Input = nullptr;
        return field;
    }
    static FieldPtr value(int64_t bits, uint64_t v) {
        auto field = std::make_shared<CTapField>(bits);
        std::vector<uint8_t> digits;
        for (int64_t d = field->lDigitCount - 1; d >= 0; --d) digits.push_back((v >> (4 * d)) & 0xF);
        field->setDigits(digits.data(), static_cast<int64_t>(digits.size()));
        return field;
    }
};

TEST_F(ScanTest, ExcessDigitsKeepTheLeastSignificantAndWarnForEachLostNonZero) {
    std::string out;
    auto field = hex(8, "(1234)", &out);
    EXPECT_EQ(field->getBits(0, 8), 0x34u);
    EXPECT_EQ(out,
              "\nWarning: Ignoring excess MSB chars in field\n[in.svf: line 1]:[(]"
              "\nWarning: Ignoring excess MSB chars in field\n[in.svf: line 1]:[(]");
    field = hex(8, "(00012)", &out);
    EXPECT_EQ(field->getBits(0, 8), 0x12u);
    EXPECT_EQ(out, "");
}

TEST_F(ScanTest, MissingLeadingDigitsAreZero) {
    auto field = hex(8, "(5)");
    EXPECT_EQ(field->getBits(0, 8), 0x05u);
    EXPECT_EQ(field->getTapDataChar(0, 1), 5);
    EXPECT_EQ(field->getTapDataChar(1, 1), 0);
    // Physically the one digit read sits at the top position.
    EXPECT_EQ(field->lRotOffset, 1);
    EXPECT_EQ(field->getTapDataChar(1, 0), 5);
    EXPECT_EQ(field->getTapDataChar(0, 0), 0);
}

TEST_F(ScanTest, OnesAboveTheLengthInTheLeadingDigitWarnAndAreDropped) {
    std::string out;
    auto field = hex(6, "(FF)", &out);
    EXPECT_EQ(out, "\nWarning: 1's in 2 MSB bits of leading hex char (F) will be ignored\n[in.svf: line 1]:[(]");
    EXPECT_EQ(field->getBits(0, 8), 0x3Fu);
    EXPECT_EQ(field->getTapBit(5), 1);
}

TEST_F(ScanTest, DigitsMaySpanLinesAndBlanks) {
    FileChannel &in = input("(A B\r\n C\n) ;");
    auto field = readSvfHexData(12, in);
    EXPECT_EQ(field->getBits(0, 12), 0xABCu);
    EXPECT_EQ(in.lLineNum, 3);
    lex(in, 0);
    EXPECT_STREQ(in.sToken, ";");
}

TEST_F(ScanTest, LongValuesReadBitForBit) {
    // 200 bits: digit i (from the least significant) is i mod 16.
    std::string digits;
    for (int d = 49; d >= 0; --d) digits += "0123456789abcdef"[d % 16];
    auto field = hex(200, "(" + digits + ")");
    EXPECT_EQ(field->getBits(0, 64), 0xfedcba9876543210u);
    EXPECT_EQ(field->getBits(4, 8), 0x21u);
    EXPECT_EQ(field->getBits(192, 8), 0x10u);  // digits 49 and 48: 1 and 0
    EXPECT_EQ(field->getBits(196, 8), 0x1u);   // nothing above bit 199
}

TEST_F(ScanTest, BadCharacterAndMissingParenthesisAreFatal) {
    FileChannel &in = input("(0G)");
    EXPECT_NE(expectFatal([&] { readSvfHexData(8, in); }).find("Error  : Invalid SVF data [G]"), std::string::npos);
}

TEST_F(ScanTest, EndOfInputInsideAValueIsTokenNotFound) {
    FileChannel &in = input("(12");
    EXPECT_NE(expectFatal([&] { readSvfHexData(8, in); }).find("Error  : Token [)] not found"), std::string::npos);
}

TEST_F(ScanTest, ReadTapDataDropsTdoWhenTheMaskIsAllZero) {
    FileChannel &in = input("8 TDI(01) TDO(FF) MASK(00);");
    FieldPtr tdi, tdo, mask, smask;
    EXPECT_EQ(readTapData(in, 1, tdi, tdo, mask, smask), 8);
    EXPECT_NE(tdi, nullptr);
    EXPECT_EQ(tdo, nullptr);
    EXPECT_NE(mask, nullptr);
    EXPECT_EQ(smask, nullptr);
}

TEST_F(ScanTest, ReadTapDataRefusesARepeatedKeyword) {
    FileChannel &in = input("8 TDI(00) TDI(01);");
    FieldPtr tdi, tdo, mask, smask;
    std::string out = expectFatal([&] { readTapData(in, 1, tdi, tdo, mask, smask); });
    EXPECT_NE(out.find("Error  : Unknown token or tdi already specified"), std::string::npos) << out;
}

TEST_F(ScanTest, ZeroLengthIsFatalForScansAndClearsHeaders) {
    FileChannel &in = input("0 TDI(0); 0;");
    FieldPtr tdi, tdo, mask, smask;
    EXPECT_EQ(readTapData(in, 0, tdi, tdo, mask, smask), 0);
    std::string out = expectFatal([&] { readTapData(in, 1, tdi, tdo, mask, smask); });
    EXPECT_NE(out.find("Error  : Data length must be > 0"), std::string::npos);
}

TEST_F(ScanTest, PatternReuseRules) {
    CTapPattern p;
    FieldPtr tdi = value(8, 0x11), tdo = value(8, 0x22), mask = value(8, 0x33), smask = value(8, 0x44);
    EXPECT_EQ(p.setPattern(8, tdi, tdo, mask, smask), 0);
    // Same length, nothing given: TDI, MASK and SMASK kept, TDO never reused.
    EXPECT_EQ(p.setPattern(8, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(p.pTdi, tdi);
    EXPECT_EQ(p.pMask, mask);
    EXPECT_EQ(p.pSmask, smask);
    EXPECT_EQ(p.pTdo, nullptr);
    // New length: what is not given becomes none.
    FieldPtr tdi16 = value(16, 0x1234);
    EXPECT_EQ(p.setPattern(16, tdi16, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(p.pTdi, tdi16);
    EXPECT_EQ(p.pMask, nullptr);
    EXPECT_EQ(p.pSmask, nullptr);
    // New length without TDI breaks the rule and changes nothing.
    std::string out = captureStdout([&] { EXPECT_EQ(p.setPattern(12, nullptr, nullptr, nullptr, nullptr), 1); });
    EXPECT_EQ(out, "\nWarning: TDI data required");
    EXPECT_EQ(p.lLength, 16);
    EXPECT_EQ(p.setPattern(0, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(p.lLength, 0);
    EXPECT_EQ(p.pTdi, nullptr);
}

TEST_F(ScanTest, HeaderBitsAreLeastSignificantAndTrailerMost) {
    int64_t digits = 0;
    // 2-bit header 1, 4-bit data A: data in bits 5..2, header in 1..0.
    CCombinedValue v = consolidateData(nullptr, value(4, 0xA), value(2, 0x1), 0, 4, 2, 1, digits);
    EXPECT_EQ(digits, 2);
    EXPECT_EQ(v.hexDigits(), "29");
    // An absent 3-bit trailer TDI is all ones: 111 1010 01.
    v = consolidateData(nullptr, value(4, 0xA), value(2, 0x1), 3, 4, 2, 1, digits);
    EXPECT_EQ(v.hexDigits(), "1e9");
}

TEST_F(ScanTest, AbsentMasksReadAsTheTableSays) {
    int64_t digits = 0;
    // MASK: absent header bits 0 (not compared), absent data bits 1.
    CCombinedValue mask = consolidateData(nullptr, nullptr, nullptr, 0, 4, 2, 0, digits);
    EXPECT_EQ(mask.hexDigits(), "3c");
    CCombinedValue tdo = consolidateData(value(2, 0), value(4, 0x5), nullptr, 2, 4, 2, 0, digits);
    EXPECT_EQ(tdo.hexDigits(), "14");
}

TEST_F(ScanTest, SmaskClearsTdiBitsAndOnlyTheDataSmaskCounts) {
    CTapObj &tap = *pGlobTapData;
    tap.sdr.setPattern(8, value(8, 0xFF), nullptr, nullptr, value(8, 0x0F));
    tap.hdr.setPattern(4, value(4, 0xF), nullptr, nullptr, value(4, 0x0));
    CCombinedValue tdi = combinedTdi(sdrPatterns(), "pCL");
    EXPECT_EQ(tdi.hexDigits(), "0f0");  // header SMASK 0 clears the header bits too
    tap.sdr.setPattern(8, value(8, 0xFF), nullptr, nullptr, nullptr);
    tap.sdr.pSmask.reset();
    tdi = combinedTdi(sdrPatterns(), "pCL");
    EXPECT_EQ(tdi.hexDigits(), "fff");  // without a data SMASK the header SMASK has no effect
}

TEST_F(ScanTest, MaskComparisonNeedsEqualDigitCountsAndDigits) {
    int64_t digits = 0;
    CCombinedValue a = consolidateData(nullptr, value(8, 0xF0), nullptr, 0, 8, 0, 0, digits);
    CCombinedValue b = consolidateData(nullptr, value(8, 0xF0), nullptr, 0, 8, 0, 0, digits);
    CCombinedValue c = consolidateData(nullptr, value(12, 0x0F0), nullptr, 0, 12, 0, 0, digits);
    EXPECT_EQ(compareHexData(a, &b, a.digitCount()), 1);
    EXPECT_EQ(compareHexData(c, &a, c.digitCount()), 0);
    EXPECT_EQ(compareHexData(a, nullptr, a.digitCount()), 0);
}

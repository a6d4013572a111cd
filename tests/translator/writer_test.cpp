// The record primitives binWrite and bytePrint (bytes and listing text) and
// the pending-scan writers: QTDOMASK suppression, -s, -useqsdr, QSIR2 and
// the FPGA split of a long scan.
#include "combine.h"
#include "qsvf_writer.h"
#include "translator_fixture.h"

using namespace svf;
using Bytes = std::vector<uint8_t>;

class WriterTest : public TranslatorTest {
protected:
    static FieldPtr value(int64_t bits, const std::string &hexDigits) {
        auto field = std::make_shared<CTapField>(bits);
        std::vector<uint8_t> digits;
        for (char c : hexDigits) digits.push_back(static_cast<uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10));
        field->setDigits(digits.data(), static_cast<int64_t>(digits.size()));
        return field;
    }
    void pendSdr(int64_t bits, FieldPtr tdi, FieldPtr tdo, FieldPtr mask) {
        ASSERT_EQ(pGlobTapData->sdr.setPattern(bits, std::move(tdi), std::move(tdo), std::move(mask), nullptr), 0);
        iSdrFlag = 1;
    }
};

TEST_F(WriterTest, BinWriteIsBigEndianOfTheGivenWidth) {
    binWrite(0x64, 8);
    binWrite(0x20, 2);
    binWrite(0x0100, 4);
    EXPECT_EQ(outputBytes(), (Bytes{0, 0, 0, 0x64, 0x20, 0x01, 0x00}));
}

TEST_F(WriterTest, BytePrintWritesCeilBitsOver8BytesAndTwoDigitsPerByte) {
    openListing();
    int64_t digits = 0;
    CCombinedValue nine = consolidateData(nullptr, value(9, "1FF"), nullptr, 0, 9, 0, 0, digits);
    bytePrint(&nine, 0, 9);
    CCombinedValue twelve = consolidateData(nullptr, value(12, "F0F"), nullptr, 0, 12, 0, 0, digits);
    bytePrint(&twelve, 0, 12);
    bytePrint(nullptr, 0, 9);
    EXPECT_EQ(outputBytes(), (Bytes{0x01, 0xFF, 0x0F, 0x0F, 0x00, 0x00}));
    EXPECT_EQ(listing(), "0x01ff0x0f0f0x0000");
}

TEST_F(WriterTest, BytePrintOfAPieceTakesItsOwnBits) {
    int64_t digits = 0;
    // 80 bits: 0x1234 above 0x0123456789abcdef; bits 64..79 are 1234.
    CCombinedValue v = consolidateData(nullptr, value(80, "12340123456789abcdef"), nullptr, 0, 80, 0, 0, digits);
    bytePrint(&v, 64, 16);
    bytePrint(&v, 4, 12);
    EXPECT_EQ(outputBytes(), (Bytes{0x12, 0x34, 0x0c, 0xde}));
}

TEST_F(WriterTest, SameLengthAndMaskWriteTheMaskOnce) {
    openListing();
    lTckRunCount = 0;
    pendSdr(8, value(8, "01"), value(8, "00"), value(8, "FF"));
    writeSdr(1);
    pendSdr(8, value(8, "02"), value(8, "00"), nullptr);  // MASK reused at the same length
    writeSdr(1);
    EXPECT_EQ(listing(),
              "QSDRSIZE 0x00000008\nQTDOMASK 0xff\nQSDRTDO 0x01 0x00\n"
              "QSDRTDO 0x02 0x00\n");
    EXPECT_EQ(outputBytes(), (Bytes{8, 0, 0, 0, 8, 1, 0xFF, 9, 1, 0, 9, 2, 0}));
}

TEST_F(WriterTest, FirstScanWithoutRunTestGetsTheResetRightBeforeIt) {
    openListing();
    pendSdr(4, value(4, "5"), nullptr, nullptr);
    writeSdr(1);
    EXPECT_EQ(listing(), "QSDRSIZE 0x00000004\nQTDOMASK 0x00\nQRUNTEST 0x00000000\nQSDRTDO 0x05 0x00\n");
}

TEST_F(WriterTest, SkipTdoWritesAZeroMaskOnlyWhenTheLengthChanges) {
    openListing();
    iSkipTdoTest = 1;
    lTckRunCount = 0;
    pendSdr(8, value(8, "01"), value(8, "FF"), value(8, "FF"));
    writeSdr(1);
    pendSdr(8, value(8, "02"), value(8, "FF"), nullptr);
    writeSdr(1);
    EXPECT_EQ(listing(), "QSDRSIZE 0x00000008\nQTDOMASK 0x00\nQSDRTDO 0x01 0x00\nQSDRTDO 0x02 0x00\n");
}

TEST_F(WriterTest, UseQsdrWritesTdiOnlyForScansWithoutTdo) {
    openListing();
    iOptUseQSDR = 1;
    lTckRunCount = 0;
    pendSdr(8, value(8, "A5"), nullptr, nullptr);
    writeSdr(1);
    EXPECT_EQ(listing(), "QSDRSIZE 0x00000008\nQTDOMASK 0x00\nQSDR 0xa5\n");
    EXPECT_EQ(outputBytes(), (Bytes{8, 0, 0, 0, 8, 1, 0, 3, 0xA5}));
}

TEST_F(WriterTest, InstructionScanAbove255BitsIsQsir2) {
    lTckRunCount = 0;
    ASSERT_EQ(pGlobTapData->sir.setPattern(256, value(256, "1"), nullptr, nullptr, nullptr), 0);
    iSirFlag = 1;
    writeSir(1);
    Bytes bytes = outputBytes();
    ASSERT_EQ(bytes.size(), 3u + 32u);
    EXPECT_EQ(bytes[0], 21);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[34], 0x01);
}

TEST_F(WriterTest, FpgaSplitOf129BitsEndsWithA1BitPiece) {
    openListing();
    iFpgaFormat = 1;
    lFpgaRecSize = 128;
    // 129 bits: bit 128 set, bits 127..0 are 0x0f repeated.
    pendSdr(129, value(129, "1" + std::string(16, '0') + std::string(16, 'f')), nullptr, nullptr);
    writeSdr(1);
    EXPECT_EQ(listing(),
              "QSDRSIZE 0x00000080\nQRUNTEST 0x00000000\nQSDRB 0x0000000000000000ffffffffffffffff\n"
              "QSDRSIZE 0x00000001\nQSDRE 0x01\n");
    Bytes expected{8, 0, 0, 0, 0x80, 4, 0, 0, 0, 0, 12};
    for (int i = 0; i < 8; ++i) expected.push_back(0);
    for (int i = 0; i < 8; ++i) expected.push_back(0xFF);
    for (uint8_t b : {8, 0, 0, 0, 1, 14, 1}) expected.push_back(b);
    EXPECT_EQ(outputBytes(), expected);
    EXPECT_EQ(lSdrSize, 1);
}

TEST_F(WriterTest, FpgaSplitOf300BitsWithTdo) {
    openListing();
    iFpgaFormat = 1;
    lFpgaRecSize = 128;
    lTckRunCount = 0;
    // Digit d (from the least significant) of TDI is d mod 16; TDO is all 0.
    std::string digits;
    for (int d = 74; d >= 0; --d) digits += "0123456789abcdef"[d % 16];
    pendSdr(300, value(300, digits), value(300, "0"), value(300, "1"));
    writeSdr(1);
    // MASK 1: each piece under its own part, bit 0 only in the first.
    std::string z32(32, '0');
    EXPECT_EQ(listing(),
              "QSDRSIZE 0x00000080\n"
              "QTDOMASK 0x" + std::string(31, '0') + "1\n"
              "QSDRTDOB 0xfedcba9876543210fedcba9876543210 0x" + z32 + "\n"
              "QTDOMASK 0x" + z32 + "\n"
              "QSDRTDOC 0xfedcba9876543210fedcba9876543210 0x" + z32 + "\n"
              "QSDRSIZE 0x0000002C\n"
              "QTDOMASK 0x000000000000\n"
              "QSDRTDOE 0x0a9876543210 0x000000000000\n");
    EXPECT_EQ(lSdrMaskSize, 44);
}

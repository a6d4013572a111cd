// Whole runs of svf2qsvf96 in-process: the run of 300 increments, fresh
// state at every run, and the real SVF files, which must never crash the
// program (an error message with status 1 is fine where their dialect is
// not the one this tool reads).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "svf_corpus.h"
#include "test_support.h"

namespace fs = std::filesystem;
using svf96test::bytesOf;
using svf96test::translateFile;
using svf96test::translateText;

namespace {

// Scan k of the run: address k at bit 12, data field (bits 4..11) 7k+3,
// bit 3 set and bits 0..2 clear, so the lowest 1 followed by a 0 is bit 3.
uint32_t runScan(uint32_t k) { return (k << 12) | (((7 * k + 3) & 0xFF) << 4) | 0x8; }

std::string hex32(uint32_t v) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", v);
    return text;
}

void appendBigEndian(std::vector<uint8_t> &out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

TEST(Program, RunOfThreeHundredScans) {
    // One scan of the same length first, so that the expected value is known
    // and the run can start at the first scan of the second group.
    std::string svf = "SDR 32 TDI (ffffffff) SMASK (ffffffff) ;\nSTATE IDLE ;\n";
    for (uint32_t k = 0; k < 300; ++k) svf += "SDR 32 TDI (" + hex32(runScan(k)) + ") SMASK (ffffffff) ;\n";
    const auto result = translateText(svf);
    ASSERT_EQ(result.status, 0);

    std::vector<uint8_t> want = bytesOf("07 20  08 00 00 00 20  01 00 00 00 00  04 00 00 00 00");
    want.insert(want.end(), {0x09, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0});    // QSDRTDO ffffffff
    want.insert(want.end(), {0x0a, 0, 0, 0x10, 0, 0, 0, 0x0f, 0xf0});       // QSETSDRMASKS 1000, 0ff0
    // QSDRINC from scan 0 with 255 increments (scans 1..255) ...
    want.push_back(0x0b);
    appendBigEndian(want, runScan(0));
    want.push_back(255);
    for (uint32_t k = 1; k <= 255; ++k) want.push_back(static_cast<uint8_t>((7 * k + 3) & 0xFF));
    // ... then a new search from scan 256 finds the last 44 scans.
    want.push_back(0x0b);
    appendBigEndian(want, runScan(256));
    want.push_back(43);
    for (uint32_t k = 257; k < 300; ++k) want.push_back(static_cast<uint8_t>((7 * k + 3) & 0xFF));
    want.push_back(0x00);
    EXPECT_EQ(result.output, want);
}

TEST(Program, EveryRunStartsFromFreshState) {
    const std::string svf = "SDR 16 TDI (0000) SMASK (ffff) ;\nSDR 16 TDI (1a58) SMASK (ffff) ;\n"
                            "SDR 16 TDI (23c8) SMASK (ffff) ;\nSDR 16 TDI (3ff8) SMASK (ffff) ;\n";
    const auto want = bytesOf("07 20 08 00 00 00 10 01 00 00 04 00 00 00 00 09 00 00 00 00"
                              " 0a 10 00 0f f0 0b 1a 58 02 3c ff 00");
    EXPECT_EQ(translateText(svf).output, want);
    // Options and remembered masks of one run do not reach the next.
    EXPECT_EQ(translateText(svf, {"-nc", "-fpga", "-r", "3"}).status, 0);
    EXPECT_EQ(translateText("SDR 16 TDI (0000) SMASK (ffff);\n").status, 1);
    EXPECT_EQ(translateText(svf).output, want);
}

TEST(Program, ErrorLeavesNoStream) {
    // The records before the error are never renamed into place.
    const auto result = translateText("SIR 8 TDI (a5) SMASK (ff) ;\nSIR 4 TDI (3) SMASK (f) ;\nPIO (HL) ;\n");
    EXPECT_EQ(result.status, 1);
    EXPECT_FALSE(result.outputExists);
}

TEST(Program, LargeFpgaScanSplitsWithoutLosingBits) {
    // A scan of 10,001 bits: 2,501 digits, the top one holding one bit.
    std::string tdi = "1";
    for (int k = 0; k < 2500; ++k) tdi += "0123456789abcdef"[k % 16];
    const auto result = translateText("SDR 10001 TDI (" + tdi + ") SMASK (0) ;\n", {"-fpga", "-rlen", "1024"});
    ASSERT_EQ(result.status, 0);
    // QREPEAT 0, QSDRSIZE 1024, QTDOMASK of 128 zero bytes, QRUNTEST 0, then
    // 9 pieces of 1024 bits and one of 785 bits (the top digit and 196 more).
    size_t at = 2 + 5 + 129 + 5;
    ASSERT_GT(result.output.size(), at);
    EXPECT_EQ(result.output[at], 0x08);  // QSDRSIZE 1024 again before the first piece
    at += 5;
    for (int piece = 0; piece < 9; ++piece) {
        ASSERT_LT(at, result.output.size());
        EXPECT_EQ(result.output[at], piece == 0 ? 0x0c : 0x0d) << "piece " << piece;
        at += 1 + 128;
    }
    EXPECT_EQ(std::vector<uint8_t>(result.output.begin() + static_cast<long>(at),
                                   result.output.begin() + static_cast<long>(at) + 6),
              bytesOf("08 00 00 03 11 0e"));  // QSDRSIZE 785, QSDRE
    at += 6;
    EXPECT_EQ(result.output[at], 0x01);  // digit 0 in the first byte of the last piece
    EXPECT_EQ(result.output.size(), at + 99 + 1);
    EXPECT_EQ(result.output.back(), 0x00);
}

TEST(Program, RealSvfFilesNeverCrash) {
    QSVF_SKIP_WITHOUT_CORPUS();
    const std::vector<fs::path> files = qsvftest::corpusFiles();
    for (const fs::path &svf : files) {
        for (const auto &options : {std::vector<std::string>{}, std::vector<std::string>{"-fpga"}}) {
            const auto result = translateFile(svf, options);
            EXPECT_TRUE(result.status == 0 || result.status == 1) << svf << " status " << result.status;
            // Only a translation that succeeds leaves a stream.
            ASSERT_EQ(result.outputExists, result.status == 0) << svf;
            if (result.status == 0) {
                ASSERT_GE(result.output.size(), 2u);
                EXPECT_EQ(result.output[0], 0x07);  // every output starts with its QREPEAT
                EXPECT_EQ(result.output.back(), 0x00);
            }
        }
    }
    EXPECT_FALSE(files.empty()) << "no .svf file in " << qsvftest::corpusFolder();
}

}  // namespace

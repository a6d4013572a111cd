// qsvfcheck by hand: traces of streams written byte by byte from the format,
// the one-line reports of a check, invalid input and the command line.
// Every expected line is written from the format's definition.
#include <gtest/gtest.h>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// The example of a small translation: SIR 8 TDI (FE); SDR 8 TDI (01) TDO (00)
// MASK (FF); RUNTEST 100 TCK;
const char kExampleSvf[] = "SIR 8 TDI (FE);\nSDR 8 TDI (01) TDO (00) MASK (FF);\nRUNTEST 100 TCK;\n";
const char kExampleStream[] = "07 20  04 00 00 00 00  02 08 FE  04 00 00 00 64  08 00 00 00 08  01 FF  09 01 00  00";

struct TraceCase {
    const char *name;
    const char *stream;    // hexadecimal bytes
    const char *expected;  // the trace
};

const TraceCase kTraceCases[] = {
    {"example", kExampleStream,
     "       0  QREPEAT 0x20\n"
     "       2  QRUNTEST 0x00000000\n"
     "       7  QSIR 0x08 0xfe\n"
     "      10  QRUNTEST 0x00000064\n"
     "      15  QSDRSIZE 0x00000008\n"
     "      20  QTDOMASK 0xff\n"
     "      22  QSDRTDO 0x01 0x00\n"
     "      25  QCOMPLETE\n"},
    {"every_other_opcode",
     "07 00  12 01  13 01  14 00\n"
     "15 01 00  00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f\n"
     "16 68 69 0A 00  17 0D 01 00 00 00 0A  05  06\n"
     "08 00 00 00 0C  0C 0A BC  0D 0D EF  0E 01 23  0F 04 56 07 89  10 0A AA 0B BB  11 0C CC 0D DD\n"
     "08 00 00 00 10  0A 10 00 0F F0  0B 1A 58 02 3C FF  00",
     "       0  QREPEAT 0x00\n"
     "       2  QSTATE 0x01 (idle)\n"
     "       4  QENDIR 0x01 (pause)\n"
     "       6  QENDDR 0x00 (idle)\n"
     "       8  QSIR2 0x0100 0x000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f\n"
     "      43  QCOMMENT \"hi\\n\"\n"
     "      48  QWAIT 0x0D 0x01 0x0000000A (irpause) (idle)\n"
     "      55  QRESET\n"
     "      56  QIDLE\n"
     "      57  QSDRSIZE 0x0000000C\n"
     "      62  QSDRB 0x0abc\n"
     "      65  QSDRC 0x0def\n"
     "      68  QSDRE 0x0123\n"
     "      71  QSDRTDOB 0x0456 0x0789\n"
     "      76  QSDRTDOC 0x0aaa 0x0bbb\n"
     "      81  QSDRTDOE 0x0ccc 0x0ddd\n"
     "      86  QSDRSIZE 0x00000010\n"
     "      91  QSETSDRMASKS 0x1000 0x0ff0\n"
     "      96  QSDRINC 0x1a58 0x02 0x3c 0xff\n"
     "          scan 1 of 3: 0x1a58\n"
     "          scan 2 of 3: 0x23c8\n"
     "          scan 3 of 3: 0x3ff8\n"
     "     102  QCOMPLETE\n"},
    {"empty_scan_and_9_bit_vector", "07 20  08 00 00 00 00  03  08 00 00 00 09  01 01 FF  09 01 00 00 01  00",
     "       0  QREPEAT 0x20\n"
     "       2  QSDRSIZE 0x00000000\n"
     "       7  QSDR 0x\n"
     "       8  QSDRSIZE 0x00000009\n"
     "      13  QTDOMASK 0x01ff\n"
     "      16  QSDRTDO 0x0100 0x0001\n"
     "      21  QCOMPLETE\n"},
};

class Trace : public ::testing::TestWithParam<TraceCase> {};

TEST_P(Trace, ListsEveryRecord) {
    WorkFolder work(std::string("trace_") + GetParam().name);
    writeFile(work / "in.qsvf", bytesFromHex(GetParam().stream));
    const CheckRun run = runCheck({"-t", (work / "in.qsvf").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, GetParam().expected);
    EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, Trace, ::testing::ValuesIn(kTraceCases),
                         [](const ::testing::TestParamInfo<TraceCase> &info) { return info.param.name; });

// A check of hand-written SVF against hand-written bytes.
struct CheckCase {
    const char *name;
    const char *svf;
    const char *stream;
    int status;
    const char *expected;  // the report, {SVF} standing for the SVF file's path
};

const CheckCase kCheckCases[] = {
    {"equivalent", kExampleSvf, kExampleStream, 0,
     "equivalent: 2 scans checked, 8 TDO bits compared, 1 wait checked, needs a player buffer of 4 bytes"},
    {"tdi_bit", kExampleSvf, "07 20  04 00 00 00 00  02 08 FF  04 00 00 00 64  08 00 00 00 08  01 FF  09 01 00  00", 1,
     "{SVF}:1: scan 1 (SIR, 8 bits): TDI bit 0 is 0 in the SVF, 1 in the stream (QSIR at stream byte 7)"},
    {"wait_shorter", kExampleSvf,
     "07 20  04 00 00 00 00  02 08 FE  04 00 00 00 63  08 00 00 00 08  01 FF  09 01 00  00", 1,
     "{SVF}:2: scan 2 (SDR, 8 bits): waits 99 clocks after the scan, the SVF asks at least 100 (RUNTEST at line 3; "
     "QSDRTDO at stream byte 22)"},
    {"wait_by_qwait_after_the_scan", kExampleSvf,
     "07 20  04 00 00 00 00  02 08 FE  08 00 00 00 08  01 FF  09 01 00  12 01  17 01 01 00 00 00 64  00", 0,
     "equivalent: 2 scans checked, 8 TDO bits compared, 1 wait checked, needs a player buffer of 4 bytes"},
    {"expected_tdo_bit", kExampleSvf,
     "07 20  04 00 00 00 00  02 08 FE  04 00 00 00 64  08 00 00 00 08  01 FF  09 01 04  00", 1,
     "{SVF}:2: scan 2 (SDR, 8 bits): expected TDO bit 2 is 0 in the SVF, 1 in the stream (QSDRTDO at stream byte 22)"},
    {"mask_bit", kExampleSvf, "07 20  04 00 00 00 00  02 08 FE  04 00 00 00 64  08 00 00 00 08  01 7F  09 01 00  00", 1,
     "{SVF}:2: scan 2 (SDR, 8 bits): the SVF compares TDO bit 7 (expected 0), the stream does not (QSDRTDO at stream "
     "byte 22)"},
    {"scan_missing", kExampleSvf, "07 20  04 00 00 00 00  02 08 FE  00", 1,
     "{SVF}:2: scan 2 (SDR, 8 bits): the stream has no such scan (it ends with QCOMPLETE at byte 10)"},
    {"scan_extra", "SIR 8 TDI (FE);\n", kExampleStream, 1,
     "{SVF}:1: the SVF ends after scan 1, the stream has a scan 2: an SDR of 8 bits (QSDRTDO at stream byte 22)"},
    {"scan_kind", "SDR 8 TDI (FE);\n", "07 20  04 00 00 00 00  02 08 FE  00", 1,
     "{SVF}:1: scan 1 (SDR, 8 bits): the stream has an SIR of 8 bits there (QSIR at stream byte 7)"},
    // SDR 12 bits split into 8 + 4 bits, each TDO piece under a mask of its
    // own length: FF, then 0F after the QSDRSIZE 4.
    {"split_scan", "SDR 12 TDI (ABC) TDO (123);\n",
     "07 00  08 00 00 00 08  01 FF  04 00 00 00 00  0F BC 23  08 00 00 00 04  01 0F  11 0A 01  00", 0,
     "equivalent: 1 scan checked, 12 TDO bits compared, 0 waits checked, needs a player buffer of 4 bytes"},
    {"split_scan_tdi_bit", "SDR 12 TDI (ABC) TDO (123);\n",
     "07 00  08 00 00 00 08  01 FF  04 00 00 00 00  0F BC 23  08 00 00 00 04  01 0F  11 08 01  00", 1,
     "{SVF}:1: scan 1 (SDR, 12 bits): TDI bit 9 is 1 in the SVF, 0 in the stream (split scan piece at stream byte 24)"},
    {"split_scan_without_mask", "SDR 12 TDI (ABC) TDO (123);\n",
     "07 00  08 00 00 00 08  04 00 00 00 00  0F BC 23  08 00 00 00 04  11 0A 01  00", 1,
     "{SVF}:1: scan 1 (SDR, 12 bits): TDO bits 0 to 7 are compared with no QTDOMASK set (split scan piece at stream "
     "byte 12)"},
    {"split_scan_mask_of_another_length", "SDR 12 TDI (ABC) TDO (123);\n",
     "07 00  08 00 00 00 08  01 FF  04 00 00 00 00  0F BC 23  08 00 00 00 04  11 0A 01  00", 1,
     "{SVF}:1: scan 1 (SDR, 12 bits): TDO bits 8 to 11 are compared under a QTDOMASK of 8 bits (split scan piece at "
     "stream byte 22)"},
    {"split_scan_mask_bit", "SDR 12 TDI (ABC) TDO (123);\n",
     "07 00  08 00 00 00 08  01 FF  04 00 00 00 00  0F BC 23  08 00 00 00 04  01 07  11 0A 01  00", 1,
     "{SVF}:1: scan 1 (SDR, 12 bits): the SVF compares TDO bit 11 (expected 0), the stream does not (split scan piece "
     "at stream byte 24)"},
    {"split_scan_expected_bit", "SDR 12 TDI (ABC) TDO (123) MASK (3FF);\n",
     "07 00  08 00 00 00 08  01 FF  04 00 00 00 00  0F BC 23  08 00 00 00 04  01 03  11 0A 03  00", 1,
     "{SVF}:1: scan 1 (SDR, 12 bits): expected TDO bit 9 is 0 in the SVF, 1 in the stream (split scan piece at stream "
     "byte 24)"},
    // SMASK 0F: the top four TDI bits do not count.
    {"smask_keeps_low_bits", "SIR 8 TDI (FF) SMASK (0F);\n", "07 20  04 00 00 00 00  02 08 0F  00", 0,
     "equivalent: 1 scan checked, 0 TDO bits compared, 0 waits checked, needs a player buffer of 1 byte"},
    // Header 2 bits TDI 1, data 4 bits TDI A: 6 bits 101001.
    {"header_joined", "HDR 2 TDI (1);\nSDR 4 TDI (A);\n", "07 20  08 00 00 00 06  01 00  04 00 00 00 00  09 29 00  00",
     0, "equivalent: 1 scan checked, 0 TDO bits compared, 0 waits checked, needs a player buffer of 4 bytes"},
    // A value keeps its last 16 digits, however they are spread; one with
    // fewer digits has leading zeros.
    {"hex_digits_kept",
     "SDR 64 TDI (FFFFFFFFFFFFFFFFFFFFFFFF0123456789ABCDEF);\nSDR 64 TDI (F F\nFFFFFFFF FEDCBA9876543210);\n"
     "SDR 64 TDI (5);\n",
     "07 20  08 00 00 00 40  01 00 00 00 00 00 00 00 00  04 00 00 00 00  09 01 23 45 67 89 AB CD EF  00 00 00 00 00 00 "
     "00 00"
     "  09 FE DC BA 98 76 54 32 10  00 00 00 00 00 00 00 00  09 00 00 00 00 00 00 00 05  00 00 00 00 00 00 00 00  00",
     0, "equivalent: 3 scans checked, 0 TDO bits compared, 0 waits checked, needs a player buffer of 40 bytes"},
    // The TAP state.  ENDDR DRPAUSE in a stream without QENDDR: the scan ends
    // in Run-Test/Idle, which the summary names; with QENDDR 0 the stream
    // says Run-Test/Idle where the SVF asks Pause-DR.
    {"end_state_not_carried", "ENDDR DRPAUSE;\nSDR 8 TDI (01);\n",
     "07 20  08 00 00 00 08  01 00  04 00 00 00 00  09 01 00  00", 0,
     "equivalent: 1 scan checked, 0 TDO bits compared, 0 waits checked, needs a player buffer of 4 bytes; "
     "not carried: the SVF ends DR scans in Pause-DR, the stream in Run-Test/Idle"},
    {"end_state_differs", "ENDDR DRPAUSE;\nSDR 8 TDI (01);\n",
     "07 20  14 00  08 00 00 00 08  01 00  04 00 00 00 00  09 01 00  00", 1,
     "{SVF}: after the last scan the SVF rests in Pause-DR (line 2), the stream in Run-Test/Idle"},
    // A reset wait before the first scan: as a QRUNTEST it is clocked after
    // the SIR, so before the SIR the TAP waits nothing.
    {"wait_before_first_scan_lost", "STATE RESET;\nSTATE IDLE;\nRUNTEST 10000 TCK;\nSIR 8 TDI (01);\n",
     "07 20  12 00  12 01  04 00 00 27 10  04 00 00 00 00  02 08 01  00", 1,
     "{SVF}:4: scan 1 (SIR, 8 bits): before the scan the stream waits 0 clocks in Run-Test/Idle, the SVF asks at "
     "least 10000 (line 2) (QSIR at stream byte 16)"},
    {"wait_before_first_scan", "STATE RESET;\nSTATE IDLE;\nRUNTEST 10000 TCK;\nSIR 8 TDI (01);\n",
     "07 20  12 00  12 01  17 01 01 00 00 27 10  04 00 00 00 00  02 08 01  00", 0,
     "equivalent: 1 scan checked, 0 TDO bits compared, 0 waits checked, needs a player buffer of 1 byte"},
    {"reset_left_out", "STATE RESET;\nSTATE IDLE;\nSIR 8 TDI (01);\n", "07 20  12 01  04 00 00 00 00  02 08 01  00", 1,
     "{SVF}:3: scan 1 (SIR, 8 bits): before the scan the SVF rests in Test-Logic-Reset (line 1), the stream in "
     "Run-Test/Idle (QSIR at stream byte 9)"},
    // MAXIMUM 2E-5 SEC at 1 MHz allows 20 clocks.
    {"wait_above_maximum", "SIR 8 TDI (01);\nRUNTEST 10 TCK 1E-5 SEC MAXIMUM 2E-5 SEC;\n",
     "07 20  04 00 00 00 1E  02 08 01  00", 1,
     "{SVF}: after the last scan the stream waits 30 clocks in Run-Test/Idle, the SVF allows at most 20 (line 1)"},
    {"not_carried_by_the_format", "TRST OFF;\nSIR 8 TDI (01) TDO (01);\nPIOMAP (OUT A);\nPIO (H);\n",
     "07 20  04 00 00 00 00  02 08 01  00", 0,
     "equivalent: 1 scan checked, 0 TDO bits compared, 0 waits checked, needs a player buffer of 1 byte; "
     "not carried: the SVF compares SIR TDO, the format cannot; the SVF sets TRST, the format cannot; the SVF drives "
     "PIO, the format cannot"},
    // 10 ms at 1 kHz are 10 clocks, more than the 3 TCK.
    {"time_at_frequency", "FREQUENCY 1E3 HZ;\nSIR 8 TDI (01);\nRUNTEST 3 TCK 1.00E-02 SEC;\n",
     "07 20  04 00 00 00 09  02 08 01  00", 1,
     "{SVF}:2: scan 1 (SIR, 8 bits): waits 9 clocks after the scan, the SVF asks at least 10 (RUNTEST at line 3; QSIR "
     "at stream byte 7)"},
};

class Check : public ::testing::TestWithParam<CheckCase> {};

TEST_P(Check, ReportsInOneLine) {
    const CheckCase &test = GetParam();
    WorkFolder work(std::string("check_") + test.name);
    const fs::path svf = work / "in.svf", stream = work / "in.qsvf";
    writeFile(svf, test.svf);
    writeFile(stream, bytesFromHex(test.stream));
    const CheckRun run = runCheck({svf.string(), stream.string()});
    std::string expected = test.expected;
    if (const size_t at = expected.find("{SVF}"); at != std::string::npos) expected.replace(at, 5, svf.string());
    EXPECT_EQ(run.status, test.status) << run.err;
    EXPECT_EQ(run.out, expected + "\n");
    EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, Check, ::testing::ValuesIn(kCheckCases),
                         [](const ::testing::TestParamInfo<CheckCase> &info) { return info.param.name; });

// --at: the record at a stream offset and the SVF command it comes from.
// Two files merged: a.svf's SIR and SDR, the merge's return to
// Test-Logic-Reset and its separator, b.svf's STATE and its SDR written over
// two lines.
TEST(At, NamesTheRecordAndItsSvfCommand) {
    WorkFolder work("at");
    const fs::path a = work / "a.svf", b = work / "b.svf", stream = work / "m.qsvf";
    writeFile(a, "SIR 8 TDI (A5);\nSDR 16 TDI (1234) TDO (00FF) MASK (0F0F);\n");
    writeFile(b, "STATE RESET;\nSDR 16 TDI (ABCD)\n   SMASK (FFFF);\n");
    writeFile(stream, bytesFromHex("07 20  04 00 00 00 00  02 08 A5  08 00 00 00 10  01 0F 0F  09 12 34 00 FF"
                                   "  13 00  14 00  12 00  12 01  04 00 00 00 00"  // bytes 23..35
                                   "  07 20  12 00  08 00 00 00 10  01 00 00  04 00 00 00 00  09 AB CD 00 00  00"));
    const std::string sirA = a.string() + ":1: SIR 8 TDI (A5);\n  file 1 of the 2 merged\n  TDI  (A5)\n"
                                          "  TDO  not compared\n";
    const std::string sdrA = a.string() + ":2: SDR 16 TDI (1234) TDO (00FF) MASK (0F0F);\n  file 1 of the 2 merged\n"
                                          "  TDI  (1234)\n  TDO  (00FF)\n  MASK (0F0F)\n";
    const std::string sdrB = b.string() + ":2: SDR 16 TDI (ABCD) ...\n  file 2 of the 2 merged\n  TDI  (ABCD)\n"
                                          "  TDO  not compared\n";
    const struct {
        const char *at;
        std::string expected;
    } cases[] = {
        {"1", "stream byte 1: QREPEAT at byte 0, the stream's head: failed comparisons are repeated up to 32 times\n"},
        {"3", "stream byte 3: QRUNTEST at byte 2, set up for scan 1 (SIR, 8 bits)\n" + sirA},
        {"9", "stream byte 9: QSIR at byte 7, scan 1 (SIR, 8 bits)\n" + sirA},
        {"0x10", "stream byte 16: QTDOMASK at byte 15, set up for scan 2 (SDR, 16 bits)\n" + sdrA},
        {"22", "stream byte 22: QSDRTDO at byte 18, scan 2 (SDR, 16 bits)\n" + sdrA},
        {"26", "stream byte 26: QENDDR at byte 25, the merge's return to Test-Logic-Reset between two files; the "
               "next file's first scan is scan 3 (SDR, 16 bits)\n" + sdrB},
        {"36", "stream byte 36: QREPEAT at byte 36, the separator of a merge: the next file begins; its first scan "
               "is scan 3 (SDR, 16 bits)\n" + sdrB},
        {"38", "stream byte 38: QSTATE at byte 38, a move or wait before scan 3 (SDR, 16 bits), asked at " +
                   b.string() + " line 1\n" + sdrB},
        {"55", "stream byte 55: QSDRTDO at byte 53, scan 3 (SDR, 16 bits)\n" + sdrB},
        {"58", "stream byte 58: QCOMPLETE at byte 58, the stream's end (scan 3 (SDR, 16 bits))\n" + sdrB},
    };
    for (const auto &c : cases) {
        const CheckRun run = runCheck({"--at", c.at, a.string(), b.string(), stream.string()});
        EXPECT_EQ(run.status, 0) << c.at << run.err;
        EXPECT_EQ(run.out, c.expected) << c.at;
    }
    CheckRun run = runCheck({"--at", "59", a.string(), b.string(), stream.string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "stream byte 59 is outside the stream (59 bytes)\n");
    run = runCheck({"--at", "5x", a.string(), stream.string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("qsvfcheck: --at 5x is not a byte offset\n", 0), 0u) << run.err;
}

// Files that cannot be read or are not valid: status 2 and the reason with
// the file and its line or byte offset, on the error stream.
struct InvalidCase {
    const char *name;
    const char *svf;
    const char *stream;
    const char *message;  // after "qsvfcheck: "; {SVF} and {QSVF} stand for the paths
};

const InvalidCase kInvalidCases[] = {
    {"hex_character", "SIR 8 TDI (FE);\nSDR 8 TDI (0G);\n", kExampleStream,
     "{SVF}:2: invalid character 'G' in hexadecimal data"},
    {"unknown_command", "SIR 8 TDI (FE);\n\nFOO 1;\n", kExampleStream, "{SVF}:3: unknown SVF command \"foo\""},
    {"tdi_required", "SDR 8 TDI (01);\nSDR 9 TDO (00);\n", kExampleStream,
     "{SVF}:2: SDR: TDI required (the length changes from 8 to 9)"},
    {"end_inside_value", "SDR 8 TDI (01", kExampleStream, "{SVF}:1: the file ends inside a hexadecimal value"},
    {"length_field_above_file", kExampleSvf, "08 FF FF FF FF  03 00 00 00 00",
     "{QSVF}: byte 5: vector of 4294967295 bits needs 536870912 bytes, the file has 4 left"},
    {"unknown_opcode", kExampleSvf, "07 20  18  00", "{QSVF}: byte 2: unknown opcode 0x18"},
    {"no_qcomplete", kExampleSvf, "07 20  04 00 00 00 00  02 08 FE",
     "{QSVF}: byte 10: the stream ends without QCOMPLETE"},
    {"after_qcomplete", kExampleSvf, "07 20  00 00", "{QSVF}: byte 3: data after the QCOMPLETE at byte 2"},
    {"cut_off", kExampleSvf, "07 20  04 00 00", "{QSVF}: byte 2: record cut off by the end of the file"},
    {"piece_alone", kExampleSvf, "07 20  08 00 00 00 08  0D FF  00",
     "{QSVF}: byte 7: QSDRC without a QSDRB or QSDRTDOB before it"},
    {"split_not_ended", kExampleSvf, "07 20  08 00 00 00 08  0C FF  02 08 FE  00",
     "{QSVF}: byte 9: QSIR inside the split scan that begins at byte 7"},
    {"vector_before_size", kExampleSvf, "07 20  03 00", "{QSVF}: byte 2: QSDR before any QSDRSIZE"},
    {"state_code", kExampleSvf, "07 20  12 10  00", "{QSVF}: byte 2: QSTATE 16 is no TAP state"},
    {"state_not_reachable", kExampleSvf, "07 20  12 04  00",
     "{QSVF}: byte 2: QSTATE Shift-DR is neither one step from Test-Logic-Reset nor a stable state"},
    {"end_state_operand", kExampleSvf, "07 20  14 02  00", "{QSVF}: byte 2: QENDDR end state 2 is neither 0 nor 1"},
    {"wait_state", kExampleSvf, "07 20  17 01 04 00 00 00 01  00",
     "{QSVF}: byte 2: QWAIT end state 4 is no stable TAP state"},
};

class Invalid : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(Invalid, IsStatus2WithThePlace) {
    const InvalidCase &test = GetParam();
    WorkFolder work(std::string("invalid_") + test.name);
    const fs::path svf = work / "in.svf", stream = work / "in.qsvf";
    writeFile(svf, test.svf);
    writeFile(stream, bytesFromHex(test.stream));
    const CheckRun run = runCheck({svf.string(), stream.string()});
    std::string expected = std::string("qsvfcheck: ") + test.message + "\n";
    if (const size_t at = expected.find("{SVF}"); at != std::string::npos) expected.replace(at, 5, svf.string());
    if (const size_t at = expected.find("{QSVF}"); at != std::string::npos) expected.replace(at, 6, stream.string());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, expected);
    EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, Invalid, ::testing::ValuesIn(kInvalidCases),
                         [](const ::testing::TestParamInfo<InvalidCase> &info) { return info.param.name; });

TEST(CommandLine, VersionHelpAndMistakes) {
    CheckRun run = runCheck({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "qsvfcheck (QSVF tools) " QSVF_TOOLS_VERSION "\n");

    run = runCheck({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(
        run.out.rfind("Usage: qsvfcheck [-s] [-v2] [-tck <hz>] [--at <byte>] [-chain <lengths> [-target <n>] <input.svf>...]...\n"
                      "                 <stream.qsvf>\n"
                      "       qsvfcheck -t <stream.qsvf>\n",
                      0),
        0u);

    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{},
                                               {"only.svf"},
                                               {"-x", "a.svf", "b.qsvf"},
                                               {"-t"},
                                               {"-t", "a.qsvf", "b.qsvf"},
                                               {"-t", "-s", "a.qsvf"},
                                               {"--version", "a.svf", "b.qsvf"}}) {
        run = runCheck(args);
        EXPECT_EQ(run.status, 2) << args.size();
        EXPECT_EQ(run.err.rfind("qsvfcheck: ", 0), 0u);
        EXPECT_NE(run.err.find("Usage: qsvfcheck"), std::string::npos);
    }

    WorkFolder work("command_line");
    writeFile(work / "in.qsvf", bytesFromHex(kExampleStream));
    run = runCheck({(work / "missing.svf").string(), (work / "in.qsvf").string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("qsvfcheck: " + (work / "missing.svf").string() + ": cannot open", 0), 0u) << run.err;
    run = runCheck({"-t", work.path().string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "qsvfcheck: " + work.path().string() + ": cannot read: not a regular file\n");
}

}  // namespace

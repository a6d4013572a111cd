// Whole translations in-process through runSvf2qsvf: repeated runs in one
// process, the wait written for RUNTEST with a minimum time, CR LF input,
// and values that do not fit their record fields.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "svf2qsvf.h"

namespace {

namespace fs = std::filesystem;

class RunTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) / ("t1_run_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string &name) const { return (dir / name).string(); }
    void write(const std::string &name, const std::string &text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string read(const std::string &name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Translates `svf` with the extra switches; the listing is kept in
    // `listingText`, standard output in `console`.
    int translate(const std::string &svf, std::vector<std::string> extra = {}) {
        write("in.svf", svf);
        std::vector<std::string> args = {"svf2qsvf", "-w"};
        args.insert(args.end(), extra.begin(), extra.end());
        for (const char *a : {"-i", "in.svf", "-o", "out.qsvf", "-a", "out.lst"})
            args.push_back(a[0] == '-' ? a : path(a));
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        ::testing::internal::CaptureStdout();
        int status = runSvf2qsvf(static_cast<int>(argv.size()), argv.data());
        console = ::testing::internal::GetCapturedStdout();
        listingText = read("out.lst");
        return status;
    }
    fs::path dir;
    std::string console, listingText;
};

const char *kExample = "SIR 8 TDI (FE);\nSDR 8 TDI (01) TDO (00) MASK (FF);\nRUNTEST 100 TCK;\n";
const char *kExampleListing =
    "QREPEAT 0x20\nQRUNTEST 0x00000000\nQSIR 0x08 0xfe\nQRUNTEST 0x00000064\nQSDRSIZE 0x00000008\n"
    "QTDOMASK 0xff\nQSDRTDO 0x01 0x00\nQCOMPLETE\n";

TEST_F(RunTest, RepeatedRunsInOneProcessGiveTheSameBytes) {
    const std::string expected("\x07\x20\x04\x00\x00\x00\x00\x02\x08\xFE\x04\x00\x00\x00\x64\x08\x00\x00\x00\x08\x01"
                               "\xFF\x09\x01\x00\x00",
                               26);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(translate(kExample), 0);
        EXPECT_EQ(read("out.qsvf"), expected);
        EXPECT_EQ(listingText, kExampleListing);
        EXPECT_EQ(console, "");
    }
}

TEST_F(RunTest, CrLfInputTranslatesLikeLfInput) {
    std::string crlf;
    for (const char *p = kExample; *p; ++p) crlf += *p == '\n' ? std::string("\r\n") : std::string(1, *p);
    EXPECT_EQ(translate(crlf), 0);
    EXPECT_EQ(listingText, kExampleListing);
    EXPECT_EQ(translate("SIR 8 TDI (FE);\r\nSDR 8 TDI (0G);\r\n"), 1);
    EXPECT_EQ(console, "\nError  : Invalid SVF data [G]\n[" + path("in.svf") + ": line 2]:[(]");
}

TEST_F(RunTest, RunTestWithCountAndTimeWaitsTheLonger) {
    // 1.00E-02 s at the default 1 MHz is 10000 clocks, more than 3 (the
    // RUNTEST follows no scan: its count on an empty scan where it stands).
    EXPECT_EQ(translate("RUNTEST IDLE 3 TCK 1.00E-02 SEC;\n"), 0);
    EXPECT_EQ(listingText, "QREPEAT 0x20\nQRUNTEST 0x00002710\nQSDRSIZE 00000000\nQSDR\nQCOMPLETE\n");
    EXPECT_NE(console.find("Note   : Frequency not specified, using default TCK = 1 MHz"), std::string::npos);
    // The count is larger than the time asks: the count stays.
    EXPECT_EQ(translate("FREQUENCY 1E6 HZ;\nRUNTEST 20000 TCK 1.00E-02 SEC;\n", {"-qwait"}), 0);
    EXPECT_EQ(listingText, "QREPEAT 0x20\nQWAIT 0x01 0x01 0x00004E20\nQCOMPLETE\n");
    EXPECT_EQ(console, "");
}

TEST_F(RunTest, RunTestWithTimeOnlyBecomesClocksAtTheFrequency) {
    EXPECT_EQ(translate("FREQUENCY 2.5E+06 HZ;\nRUNTEST 1E-3 SEC;\n"), 0);
    EXPECT_EQ(listingText, "QREPEAT 0x20\nQRUNTEST 0x000009C4\nQSDRSIZE 00000000\nQSDR\nQCOMPLETE\n");  // 2500
    EXPECT_NE(console.find("Warning: Delay must be in terms of TCK count"), std::string::npos);
}

TEST_F(RunTest, MergedRunTestsAddTheirCounts) {
    EXPECT_EQ(translate("SDR 8 TDI (00);\nRUNTEST IDLE 100 TCK;\n! between\nRUNTEST 50 TCK;\n"), 0);
    EXPECT_EQ(listingText,
              "QREPEAT 0x20\nQRUNTEST 0x00000096\nQSDRSIZE 0x00000008\nQTDOMASK 0x00\nQSDRTDO 0x00 0x00\nQCOMPLETE\n");
    // Waits that follow no scan, too, without -qwait: one count clocked in
    // Run-Test/Idle by an empty scan; with -qwait each keeps its own states.
    EXPECT_EQ(translate("RUNTEST DRPAUSE 100 TCK;\nRUNTEST 50 TCK;\n"), 0);
    EXPECT_EQ(listingText, "QREPEAT 0x20\nQRUNTEST 0x00000096\nQSDRSIZE 00000000\nQSDR\nQCOMPLETE\n");
    EXPECT_NE(console.find("Warning: RUNTEST state other than IDLE needs -qwait"), std::string::npos);
    EXPECT_EQ(translate("RUNTEST DRPAUSE 100 TCK;\nRUNTEST 50 TCK;\n", {"-qwait"}), 0);
    EXPECT_EQ(listingText, "QREPEAT 0x20\nQWAIT 0x06 0x06 0x00000064\nQWAIT 0x06 0x06 0x00000032\nQCOMPLETE\n");
}

TEST_F(RunTest, RepeatCountAbove255IsRefused) {
    EXPECT_EQ(translate("", {"-r", "256"}), 1);
    EXPECT_EQ(console, "\nError  : Retry count [256] outside range [0..255]");
    EXPECT_EQ(translate("", {"-r", "255"}), 0);
    EXPECT_EQ(listingText, "QREPEAT 0xFF\nQCOMPLETE\n");
}

TEST_F(RunTest, InstructionScanAbove65535BitsIsRefused) {
    EXPECT_EQ(translate("SIR 65536 TDI (0);\n"), 1);
    EXPECT_NE(console.find("Error  : SIR length [65536] exceeds limit [65535]"), std::string::npos) << console;
}

TEST_F(RunTest, HugeDeclaredScanWithShortTextNeedsNoHugeMemory) {
    // 2^31 - 1 bits fit the 32-bit length; the SIR of that size is refused
    // by its record field before anything is written for it.
    EXPECT_EQ(translate("SIR 2147483647 TDI (0);\n"), 1);
    EXPECT_NE(console.find("exceeds limit [65535]"), std::string::npos);
    EXPECT_EQ(translate("SDR 4294967296 TDI (0);\n"), 1);
    EXPECT_NE(console.find("Error  : Number [4294967296] exceeds limit [2147483647]"), std::string::npos);
}
}  // namespace

namespace {
TEST_F(RunTest, EndOfInputInsideACommandNamesATokenStillNeeded) {
    // Each input ends inside its command, once right after the last token
    // and once after a line end; the token named is one the command still
    // needs there, never one that is already given.
    const struct {
        const char *svf, *missing;
    } cases[] = {
        {"FREQUENCY 5", "hz"},
        {"RUNTEST", ";"},
        {"RUNTEST 5", "tck"},
        {"RUNTEST 5 TCK", ";"},
        {"RUNTEST IDLE 5 SCK", ";"},
        {"RUNTEST 5 TCK 1", "sec"},
        {"RUNTEST 5 TCK 1E-3 SEC", ";"},
        {"RUNTEST 5 TCK 1E-3 SEC MAXIMUM 1 SEC", ";"},
        {"RUNTEST 1E-3 SEC", ";"},
        {"RUNTEST 5 TCK ENDSTATE", ";"},
        {"RUNTEST 5 TCK ENDSTATE IDLE", ";"},
        {"RUNTEST 5 TCK;\nRUNTEST", ";"},
        {"SIR 8 TDI (FE);\nSDR", ";"},
    };
    for (const auto &c : cases) {
        for (const char *end : {"", "\n"}) {
            const std::string svf = std::string(c.svf) + end;
            EXPECT_EQ(translate(svf), 1) << svf;
            const std::string expected = std::string("Error  : Token [") + c.missing + "] not found";
            EXPECT_NE(console.find(expected), std::string::npos) << svf << " gave:\n" << console;
        }
    }
}
}  // namespace

namespace {
// A write file that is an input file, or another write file, is refused
// before anything is created, in either order and whatever the spelling.
class FileRoleTest : public RunTest {
protected:
    int run(std::vector<std::string> args) {
        args.insert(args.begin(), {"svf2qsvf", "-w"});
        std::vector<char *> argv;
        for (std::string &a : args) argv.push_back(a.data());
        ::testing::internal::CaptureStdout();
        int status = runSvf2qsvf(static_cast<int>(argv.size()), argv.data());
        console = ::testing::internal::GetCapturedStdout();
        return status;
    }
    void SetUp() override {
        RunTest::SetUp();
        write("d.svf", kExample);
    }
    void expectInputIntact() { EXPECT_EQ(read("d.svf"), kExample); }
};

TEST_F(FileRoleTest, OutputNamedBeforeTheSameInputIsNotTruncated) {
    EXPECT_EQ(run({"-o", path("d.svf"), "-i", path("d.svf")}), 1);
    EXPECT_EQ(console, "\nError  : (svf2qsvf) Input filename same as output");
    expectInputIntact();
    EXPECT_EQ(run({"-i", path("d.svf"), "-o", (dir / "." / "d.svf").string()}), 1);
    EXPECT_EQ(console, "\nError  : (svf2qsvf) Output filename same as input");
    expectInputIntact();
}

TEST_F(FileRoleTest, ListingOrLogOnTheInputThroughLinksIsRefused) {
    fs::create_symlink(path("d.svf"), path("sym.svf"));
    fs::create_hard_link(path("d.svf"), path("hard.svf"));
    EXPECT_EQ(run({"-a", path("sym.svf"), "-i", path("d.svf"), "-o", path("o.qsvf")}), 1);
    EXPECT_EQ(console, "\nError  : (svf2qsvf) Listing filename same as input");
    EXPECT_EQ(run({"-i", path("d.svf"), "-o", path("o.qsvf"), "-l", path("hard.svf")}), 1);
    EXPECT_EQ(console, "\nError  : (svf2qsvf) Log filename same as input");
    expectInputIntact();
    EXPECT_FALSE(fs::exists(path("o.qsvf")));
}

TEST_F(FileRoleTest, TwoWriteRolesOnOneFileAreRefusedBeforeEitherIsTouched) {
    write("x.out", "keep");
    EXPECT_EQ(run({"-i", path("d.svf"), "-o", path("x.out"), "-a", path("x.out")}), 1);
    EXPECT_EQ(console, "\nError  : (svf2qsvf) Listing filename same as output");
    EXPECT_EQ(run({"-i", path("d.svf"), "-l", path("x.out"), "-o", path("x.out")}), 1);
    EXPECT_EQ(console, "\nError  : (svf2qsvf) Log filename same as output");
    EXPECT_EQ(run({"-i", path("d.svf"), "-o", path("o.qsvf"), "-l", path("x.out"), "-a", path("x.out")}), 1);
    EXPECT_EQ(console, "\nError  : (svf2qsvf) Log filename same as listing");
    EXPECT_EQ(read("x.out"), "keep");
}

TEST_F(FileRoleTest, DifferentFilesKeepTheOldOrderOfChecks) {
    // The output is opened while the command line is read, before the
    // missing input is found; a run that ends there does not create it.
    EXPECT_EQ(run({"-o", path("o.qsvf"), "-i", path("missing.svf")}), 1);
    EXPECT_EQ(console, "\nError  : (svf2qsvf) cannot open [" + path("missing.svf") + "]");
    EXPECT_FALSE(fs::exists(path("o.qsvf")));
    EXPECT_EQ(run({"-i", path("d.svf"), "-o", path("o.qsvf"), "-a", path("o.lst")}), 0);
    expectInputIntact();
}
}  // namespace

namespace {
TEST_F(RunTest, LargeCountsAreWrittenToTheClock) {
    // Whole counts above 2^24 do not fit a float; the wait written must still
    // be the count asked for, alone, merged, or beside a short time.
    for (uint64_t count : {16777217ull, 16777219ull, 33554433ull, 123456789ull, 2147483647ull}) {
        char expected[40];
        std::snprintf(expected, sizeof expected, "QRUNTEST 0x%08llX\n", static_cast<unsigned long long>(count));
        const std::string n = std::to_string(count);
        EXPECT_EQ(translate("SDR 8 TDI (01);\nRUNTEST " + n + " TCK;\n"), 0) << console;
        EXPECT_NE(listingText.find(expected), std::string::npos) << n << ":\n" << listingText;
        EXPECT_EQ(translate("SDR 8 TDI (01);\nRUNTEST " + n + " TCK 1E-9 SEC;\n"), 0) << console;
        EXPECT_NE(listingText.find(expected), std::string::npos) << n << " with a time:\n" << listingText;
    }
    EXPECT_EQ(translate("SDR 8 TDI (01);\nRUNTEST 16777216 TCK;\nRUNTEST 3 TCK;\n"), 0) << console;
    EXPECT_NE(listingText.find("QRUNTEST 0x01000003\n"), std::string::npos) << listingText;
}
}  // namespace

namespace {
size_t occurrences(const std::string &text, const std::string &part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}
}  // namespace

TEST_F(RunTest, WhatNoRecordCarriesIsWarnedOncePerRunInEveryMode) {
    // An SIR that compares TDO (twice; a zero MASK compares nothing) and TRST
    // ON (twice; OFF, Z and ABSENT say nothing): one warning each, with its
    // line, and the stream the same as without them.
    const std::string svf = "TRST OFF;\nSIR 8 TDI (01) TDO (01) MASK (00);\nSIR 8 TDI (02) TDO (01);\nTRST Z;\n"
                            "TRST ON;\nSIR 8 TDI (03) TDO (00);\nTRST ON;\nSDR 8 TDI (01);\n";
    const std::string plain = "TRST OFF;\nSIR 8 TDI (01);\nSIR 8 TDI (02);\nTRST Z;\nTRST OFF;\nSIR 8 TDI (03);\n"
                              "TRST OFF;\nSDR 8 TDI (01);\n";
    const std::vector<std::vector<std::string>> modes = {
        {}, {"-extensions"}, {"-qwait"}, {"-extensions", "-qwait"}, {"-v2"}, {"-fpga"}, {"-inorder"}, {"-s"}};
    for (const auto &mode : modes) {
        ASSERT_EQ(translate(plain, mode), 0);
        const std::string plainListing = listingText;
        ASSERT_EQ(translate(svf, mode), 0);
        const std::string where = mode.empty() ? "no option" : mode[0];
        EXPECT_EQ(listingText, plainListing) << where;
        EXPECT_EQ(occurrences(console, "\nWarning: TDO of instruction scans is not compared; the stream has no "
                                       "record for it\n[" + path("in.svf") + ": line 3]:"),
                  1u)
            << where << console;
        EXPECT_EQ(occurrences(console, "\nWarning: TRST ON is not written; the stream has no record for it\n[" +
                                           path("in.svf") + ": line 5]:[ON]"),
                  1u)
            << where << console;
        EXPECT_EQ(occurrences(console, "TRST ON"), 1u) << where << console;
        EXPECT_EQ(occurrences(console, "instruction scans"), 1u) << where << console;
    }
}

TEST_F(RunTest, PauseEndWithARunTestCountIsWarnedUnderExtensionsWithoutQwait) {
    const std::string warning = "Warning: Scan ending in a pause state runs a run-test count";
    struct Case {
        const char *svf;
        std::vector<std::string> options;
        bool warned;
    };
    const Case cases[] = {
        // The scan's own RUNTEST waits in Run-Test/Idle: the SVF goes there too.
        {"ENDDR DRPAUSE;\nSDR 8 TDI (01);\nRUNTEST 100 TCK;\n", {"-extensions"}, false},
        // A scan right after a RUNTEST keeps its count; the SVF stays in Pause-DR.
        {"ENDDR DRPAUSE;\nSDR 8 TDI (01);\nRUNTEST 100 TCK;\nSDR 8 TDI (02);\n", {"-extensions"}, true},
        {"ENDIR IRPAUSE;\nSIR 8 TDI (01);\nRUNTEST IRPAUSE 100 TCK;\n", {"-extensions"}, true},
        {"ENDDR DRPAUSE;\nSDR 8 TDI (01);\nRUNTEST 100 TCK;\nSDR 8 TDI (02);\n", {"-extensions", "-qwait"}, false},
        {"ENDDR DRPAUSE;\nSDR 8 TDI (01);\nRUNTEST 100 TCK;\nSDR 8 TDI (02);\n", {}, false},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(translate(c.svf, c.options), 0) << c.svf;
        EXPECT_EQ(occurrences(console, warning), c.warned ? 1u : 0u) << c.svf << console;
    }
}

TEST_F(RunTest, PlayersTckTurnsTimesIntoClocksWithOneNote) {
    // 1 ms and 2.5 us at 10 MHz: 10000 and 25 clocks (100 TCK is more);
    // 1000 clocks at 10 MHz take exactly the MAXIMUM of 0.1 ms.
    const std::string svf = "FREQUENCY 1E6 HZ;\nSIR 8 TDI (01);\nRUNTEST 1E-3 SEC;\nSIR 8 TDI (02);\n"
                            "RUNTEST 100 TCK 2.5E-6 SEC;\nSIR 8 TDI (03);\nRUNTEST 1000 TCK 0 SEC MAXIMUM 1E-4 SEC;\n"
                            "FREQUENCY 2E6 HZ;\n";
    ASSERT_EQ(translate(svf, {"-tck", "10MHz"}), 0) << console;
    EXPECT_EQ(listingText, "QREPEAT 0x20\nQRUNTEST 0x00002710\nQSIR 0x08 0x01\nQRUNTEST 0x00000064\nQSIR 0x08 0x02\n"
                           "QRUNTEST 0x000003E8\nQSIR 0x08 0x03\nQCOMPLETE\n");
    EXPECT_EQ(console, "\nWarning: FREQUENCY is below the TCK of -tck: the player clocks faster than the file allows\n[" +
                           path("in.svf") + ": line 1]:[1E6]\nNote   : Waits given in seconds are clocked at the "
                           "player's TCK of 10000000 Hz (-tck)\n[" +
                           path("in.svf") + ": line 3]:[SEC]");
    // Without -tck: at the file's 1 MHz, a warning for the time given
    // without a count, and the MAXIMUM is passed.
    EXPECT_EQ(translate(svf), 1);
    EXPECT_EQ(occurrences(console, "Warning: Delay must be in terms of TCK count"), 1u) << console;
    EXPECT_NE(console.find("Error  : 1.00e-03 (Run count 1.00e+03/1.00e+06 Hz) > max (1.00e-04) sec"),
              std::string::npos)
        << console;
    for (const char *bad : {"0", "fast", "10G", "-5"}) {
        EXPECT_EQ(translate(svf, {"-tck", bad}), 1) << bad;
        EXPECT_EQ(console, std::string("\nError  : Invalid -tck frequency [") + bad +
                               "] (Hz, such as 10000000, 10e6 or 10MHz)");
    }
}

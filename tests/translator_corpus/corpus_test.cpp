// Real SVF files through svf2qsvf, in-process.  Every .svf file of the corpus
// folder is translated with the default options and with -fpga; each run must
// end with status 0 and leave a stream that walks cleanly record by record,
// whose scan counts and shifted bits match a census of the SVF text taken
// without the translator.  The walker and the census are checked first on
// small hand-made inputs, so that a fault in them cannot hide a fault of the
// translator.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "qsvf_walk.h"
#include "svf_corpus.h"
#include "svf2qsvf.h"
#include "svf_census.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> readBytes(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readText(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int translate(std::vector<std::string> args) {
    args.insert(args.begin(), "svf2qsvf");
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return runSvf2qsvf(static_cast<int>(args.size()), argv.data());
}

fs::path workFolder() {
    fs::path dir = fs::temp_directory_path() / ("svf2qsvf_corpus_" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir;
}

// --- the walker and the census on hand-made inputs

TEST(QsvfWalker, AcceptsTheSmallExampleStream) {
    // SIR FE, SDR 01 with TDO 00 and MASK FF, RUNTEST 100.
    const std::vector<uint8_t> stream = {0x07, 0x20, 0x04, 0, 0, 0, 0, 0x02, 0x08, 0xFE, 0x04, 0, 0, 0, 0x64,
                                         0x08, 0, 0, 0, 0x08, 0x01, 0xFF, 0x09, 0x01, 0x00, 0x00};
    QsvfWalk walk = walkQsvf(stream);
    ASSERT_TRUE(walk.ok) << walk.error;
    EXPECT_EQ(walk.repeatCount, 32u);
    EXPECT_EQ(walk.irScans, 1u);
    EXPECT_EQ(walk.irBits, 8u);
    EXPECT_EQ(walk.drScans, 1u);
    EXPECT_EQ(walk.drBits, 8u);
    EXPECT_EQ(walk.records, 8u);
    EXPECT_EQ(walk.scanWaits, (std::vector<uint64_t>{0, 100}));
}

TEST(QsvfWalker, CountsSplitPiecesAsOneScan) {
    // 129 bits at record length 128: QSDRSIZE 128, QSDRB, QSDRSIZE 1, QSDRE.
    std::vector<uint8_t> stream = {0x07, 0x00, 0x08, 0, 0, 0, 0x80, 0x0C};
    stream.insert(stream.end(), 16, 0xAA);
    // Then QWAIT 5 and, as older players get it, QRUNTEST 7 with a 0-bit
    // scan: both are the split scan's wait.
    const std::vector<uint8_t> tail = {0x08, 0, 0, 0, 0x01, 0x0E, 0x01, 0x17, 0x01, 0x01, 0, 0, 0, 0x05,
                                       0x04, 0,    0, 0, 0x07, 0x08, 0,    0,    0,    0,    0x03, 0x00};
    stream.insert(stream.end(), tail.begin(), tail.end());
    QsvfWalk walk = walkQsvf(stream);
    ASSERT_TRUE(walk.ok) << walk.error;
    EXPECT_EQ(walk.splitScans, 1u);
    EXPECT_EQ(walk.drBits, 129u);
    EXPECT_EQ(walk.scanWaits, (std::vector<uint64_t>{12}));
}

TEST(QsvfWalker, TakesMasksBetweenTdoPieces) {
    // 28 bits at record length 8: QSDRSIZE 8, QTDOMASK, QSDRTDOB, QSDRTDOC,
    // QTDOMASK, QSDRTDOC, QSDRSIZE 4, QTDOMASK, QSDRTDOE.
    const std::vector<uint8_t> stream = {0x07, 0x00, 0x08, 0,    0,    0,    8,    0x01, 0xFF, 0x0F, 0x01,
                                         0x02, 0x10, 0x03, 0x04, 0x01, 0x0F, 0x10, 0x05, 0x06, 0x08, 0,
                                         0,    0,    4,    0x01, 0x01, 0x11, 0x07, 0x05, 0x00};
    QsvfWalk walk = walkQsvf(stream);
    ASSERT_TRUE(walk.ok) << walk.error;
    EXPECT_EQ(walk.splitScans, 1u);
    EXPECT_EQ(walk.splitTdoPieces, 4u);
    EXPECT_EQ(walk.drBits, 28u);
}

TEST(QsvfWalker, RejectsBrokenStreams) {
    const std::vector<std::vector<uint8_t>> broken = {
        {},                                            // nothing at all
        {0x07, 0x20},                                  // no QCOMPLETE
        {0x07, 0x20, 0x00, 0x00},                      // two QCOMPLETEs
        {0x04, 0, 0, 0, 0, 0x00},                      // QREPEAT missing
        {0x07, 0x20, 0x09, 0x01, 0x00, 0x00},          // QSDRTDO before QSDRSIZE
        {0x07, 0x20, 0x02, 0x10, 0xFF, 0x00},          // 16-bit QSIR with one data byte
        {0x07, 0x20, 0x02, 0x00, 0x00},                // QSIR of 0 bits
        {0x07, 0x20, 0x15, 0x00, 0x08, 0xFF, 0x00},    // QSIR2 of 8 bits
        {0x07, 0x20, 0x0A, 0x00},                      // opcode the translator never writes
        {0x07, 0x20, 0x30, 0x00},                      // unused opcode
        {0x07, 0x20, 0x12, 0x10, 0x00},                // QSTATE with code 16
        {0x07, 0x20, 0x08, 0, 0, 0, 8, 0x0E, 0x01, 0x00},                // QSDRE without QSDRB
        {0x07, 0x20, 0x08, 0, 0, 0, 8, 0x0C, 0x01, 0x03, 0x01, 0x00},    // QSDR inside a split scan
        {0x07, 0x20, 0x08, 0, 0, 0, 8, 0x0C, 0x01, 0x11, 0x01, 0x01, 0x00},  // pieces of both kinds
        {0x07, 0x20, 0x08, 0, 0, 0, 8, 0x0F, 0x01, 0x01, 0x08, 0, 0, 0, 1, 0x11, 0x01, 0x01, 0x00},  // no mask
        {0x07, 0x20, 0x08, 0, 0, 0, 8, 0x01, 0xFF, 0x0F, 0x01, 0x01, 0x08, 0, 0, 0, 1, 0x11, 0x01, 0x01,
         0x00},  // the last piece of 1 bit under the mask of 8 bits
        {0x07, 0x20, 0x08, 0, 0, 0, 8, 0x0C, 0x01, 0x01, 0xFF, 0x0E, 0x01, 0x00},  // mask between plain pieces
        {0x07, 0x20, 0x16, 'a', 'b'},                  // QCOMMENT without its 0 byte
        {0x07, 0x20, 0x07, 0x20, 0x00},                // a second QREPEAT
    };
    for (size_t i = 0; i < broken.size(); ++i) {
        QsvfWalk walk = walkQsvf(broken[i]);
        EXPECT_FALSE(walk.ok) << "stream " << i << " was accepted";
        EXPECT_FALSE(walk.error.empty()) << "stream " << i;
    }
}

TEST(SvfCensus, CountsScansWithHeaderAndTrailer) {
    const std::string svf =
        "! SIR 99 TDI (00); in a comment\n"
        "HIR 3 TDI(7);\nTIR 2 TDI (3);\nSIR 4 TDI (5);\n"
        "HDR\t2 TDI (1); TDR 3 TDI (0);\n"
        "SDR 4 TDI (A) // SDR 7;\n TDO (C);\n"
        "sdr 200 TDI (0\n1);\n"
        "HDR 0; TDR 0 ;\nSDR 129 TDI (0);\nRUNTEST 10 TCK;\n";
    SvfCensus census = takeSvfCensus(svf);
    EXPECT_EQ(census.sirCommands, 1u);
    EXPECT_EQ(census.irBits, 9u);
    EXPECT_EQ(census.sdrCommands, 3u);
    EXPECT_EQ(census.drBits, 9u + 205u + 129u);
    EXPECT_EQ(census.drLongerThan128, 2u);
    EXPECT_EQ(census.commands, 11u);
    EXPECT_EQ(census.runTestAfterScan, (std::vector<bool>{false, false, false, true}));
}

// --- the corpus

struct CorpusRun {
    fs::path file;
    bool fpga;
};

void PrintTo(const CorpusRun &run, std::ostream *out) {
    *out << (run.file.empty() ? "no corpus" : run.file.filename().string()) << (run.fpga ? " with -fpga" : "");
}

// Each file with and without -fpga; the placeholder once.
std::vector<CorpusRun> corpusRuns() {
    std::vector<CorpusRun> runs;
    for (const fs::path &file : qsvftest::corpusFilesOrPlaceholder()) {
        runs.push_back({file, false});
        if (!file.empty()) runs.push_back({file, true});
    }
    return runs;
}

std::string runName(const ::testing::TestParamInfo<CorpusRun> &info) {
    if (info.param.file.empty()) return "corpus_absent";
    std::string name = info.param.file.stem().string() + (info.param.fpga ? "_fpga" : "_default");
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

TEST(Corpus, FolderPresent) {
    QSVF_SKIP_WITHOUT_CORPUS();
    EXPECT_FALSE(qsvftest::corpusFiles().empty()) << "the corpus folder holds no .svf file";
}

class CorpusFile : public ::testing::TestWithParam<CorpusRun> {};

TEST_P(CorpusFile, TranslatesAndWalksCleanly) {
    const CorpusRun &run = GetParam();
    QSVF_SKIP_PLACEHOLDER(run.file);
    const fs::path out = workFolder() / (run.file.stem().string() + (run.fpga ? ".fpga.qsvf" : ".qsvf"));
    std::vector<std::string> args = {"-w", "-i", run.file.string(), "-o", out.string()};
    if (run.fpga) args.insert(args.begin(), "-fpga");
    ASSERT_EQ(translate(args), 0) << run.file;

    const QsvfWalk walk = walkQsvf(readBytes(out));
    ASSERT_TRUE(walk.ok) << walk.error;
    const SvfCensus census = takeSvfCensus(readText(run.file));
    ASSERT_GT(census.sdrCommands + census.sirCommands, 0u) << "census found no scan";

    EXPECT_EQ(walk.repeatCount, run.fpga ? 0u : 32u);
    EXPECT_EQ(walk.irScans, census.sirCommands);
    EXPECT_EQ(walk.irBits, census.irBits);
    EXPECT_EQ(walk.drScans + walk.splitScans, census.sdrCommands);
    EXPECT_EQ(walk.drBits, census.drBits);
    // Every RUNTEST that directly follows a scan makes the player wait after
    // that scan, split or not.
    ASSERT_EQ(walk.scanWaits.size(), census.runTestAfterScan.size());
    size_t asked = 0, waited = 0;
    for (size_t i = 0; i < walk.scanWaits.size(); ++i) {
        if (!census.runTestAfterScan[i]) continue;
        asked++;
        if (walk.scanWaits[i] > 0) waited++;
        else ADD_FAILURE() << "scan " << i << " asks for a wait and gets none";
        if (waited + 5 < asked) break;  // enough said
    }
    std::cout << run.file.filename().string() << (run.fpga ? " -fpga" : "") << ": " << waited << " of " << asked
              << " RUNTESTs after a scan reach the stream, " << walk.splitTdoPieces
              << " TDO pieces of split scans under masks of their length\n";
    if (run.fpga) {
        EXPECT_EQ(walk.splitScans, census.drLongerThan128);
        EXPECT_LE(walk.longestUnsplitDr, 128u);
    } else {
        EXPECT_EQ(walk.splitScans, 0u);
    }
    fs::remove(out);
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusFile, ::testing::ValuesIn(corpusRuns()), runName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CorpusFile);

// One process, several translations: each run starts from the defaults, so
// translating a file again after another file (and after an -fpga run) gives
// the same bytes as the first time.
TEST(Corpus, RepeatedRunsInOneProcessGiveTheSameBytes) {
    QSVF_SKIP_WITHOUT_CORPUS();
    const std::vector<fs::path> files = qsvftest::corpusFiles();
    ASSERT_FALSE(files.empty());
    const fs::path dir = workFolder();
    const std::string first = files.front().string(), last = files.back().string();
    ASSERT_EQ(translate({"-w", "-i", first, "-o", (dir / "a1.qsvf").string()}), 0);
    ASSERT_EQ(translate({"-w", "-fpga", "-rlen", "64", "-i", last, "-o", (dir / "b.qsvf").string()}), 0);
    ASSERT_EQ(translate({"-w", "-i", first, "-o", (dir / "a2.qsvf").string()}), 0);
    const std::vector<uint8_t> a1 = readBytes(dir / "a1.qsvf"), a2 = readBytes(dir / "a2.qsvf");
    EXPECT_FALSE(a1.empty());
    EXPECT_TRUE(a1 == a2) << "second translation differs: " << a1.size() << " vs " << a2.size() << " bytes";
    fs::remove_all(dir);
}

}  // namespace

// The player against qsvfcheck's model: every stream is played by the
// library into the simulated chain, and the scans seen at the pins (kind,
// length, TDI, and for unsplit DR scans the TDO bits compared with their
// expected values) and the waits between them (clocks that stay in a
// stable state, other than those of QSTATE records) must be the scans and
// waits the model hands out for the same stream.
#include <gtest/gtest.h>


#include "player.h"
#include "qsvf_format.h"
#include "qsvfplay.h"
#include "simulated_chain.h"
#include "stream_reader.h"
#include "svf_corpus.h"
#include "svf_generator.h"
#include "tap_tracker.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct PlayedScan {
    bool instruction = false, split = false;
    std::vector<bool> tdi;
    std::vector<int8_t> expected;  // per bit: -1 not compared, else the expected value
    uint64_t waitBefore = 0;
};

struct Recorder {
    std::string bytes;
    size_t next = 0;
    qsvfplay_state player{};
    qsvfplay::TapTracker tap;
    qsvfplay::SimulatedChain chain{{}, 0, &player};
    std::vector<PlayedScan> scans;
    uint64_t wait = 0;
    bool inScan = false;
};

size_t readAll(void *context, uint8_t *to, size_t max) {
    Recorder &r = *static_cast<Recorder *>(context);
    const size_t n = std::min(max, r.bytes.size() - r.next);
    std::copy_n(r.bytes.data() + r.next, n, to);
    r.next += n;
    return n;
}

int recordClock(void *context, int tms, int tdi) {
    Recorder &r = *static_cast<Recorder *>(context);
    const uint8_t before = r.tap.state();
    const bool tdo = r.chain.clock(tms, tdi, before);
    r.tap.clock(tms);
    const uint8_t op = r.player.opcode;
    if (qsvfplay::TapTracker::isShift(before)) {
        if (!r.inScan) {
            PlayedScan scan;
            scan.instruction = before == qsvf::STATE_IRSHIFT;
            scan.split = op >= qsvf::QSDRB && op <= qsvf::QSDRTDOE;
            scan.waitBefore = r.wait;
            r.wait = 0;
            qsvfplay_vectors v{};
            if (!scan.instruction && !scan.split && qsvfplay_scan_vectors(&r.player, &v)) {
                for (uint32_t i = 0; i < v.bits; ++i) {
                    const bool compared = i < v.mask_bits && ((v.mask[i / 8] >> (i % 8)) & 1);
                    const bool value = i < v.expected_bits && ((v.expected[i / 8] >> (i % 8)) & 1);
                    scan.expected.push_back(compared ? value : -1);
                }
            }
            r.scans.push_back(std::move(scan));
            r.inScan = true;
        }
        r.scans.back().tdi.push_back(tdi);
        r.inScan = qsvfplay::TapTracker::isShift(r.tap.state());
    } else if (before == r.tap.state() && qsvfplay::TapTracker::isStable(before) && r.player.offset > 0 &&
               op != qsvf::QSTATE && op != qsvf::QRESET && op != qsvf::QIDLE) {
        ++r.wait;
    }
    return tdo;
}

const qsvfplay_io kRecorderIo = {readAll, recordClock, nullptr, nullptr};

// Plays the stream through both and reports the first difference.
void expectSameAsModel(const fs::path &stream, const std::string &what) {
    Recorder r;
    r.bytes = readFile(stream);
    std::vector<uint8_t> buffer(3 * r.bytes.size() + 64);
    qsvfplay_init(&r.player, &kRecorderIo, &r, buffer.data(), static_cast<uint32_t>(buffer.size()));
    int status;
    do r.chain.startRecord();
    while ((status = qsvfplay_step(&r.player)) == QSVFPLAY_MORE);
    ASSERT_EQ(status, QSVFPLAY_COMPLETE) << what << ": stopped at byte " << r.player.record;

    qsvfcheck::StreamReader reader(stream.string());
    qsvfcheck::Player model(reader);
    qsvfcheck::StreamScan s;
    size_t n = 0;
    for (; model.next(s); ++n) {
        const std::string where = what + ", scan " + std::to_string(n + 1) + " (" + std::string(s.mnemonic) +
                                  " at byte " + std::to_string(s.offset) + ")";
        ASSERT_LT(n, r.scans.size()) << where << ": the player ends before it";
        const PlayedScan &p = r.scans[n];
        ASSERT_EQ(p.instruction, s.instruction) << where;
        ASSERT_EQ(p.split, s.split) << where;
        ASSERT_EQ(p.tdi.size(), s.length) << where;
        for (uint64_t i = 0; i < s.length; ++i) ASSERT_EQ(p.tdi[i], s.tdi.bit(i)) << where << ", TDI bit " << i;
        ASSERT_EQ(p.waitBefore, s.waitBefore) << where << ": wait before it";
        if (s.instruction || s.split) continue;
        for (uint64_t i = 0; i < s.length; ++i) {
            const bool compared = s.compares && s.mask && s.mask->bit(i);
            const int expected = compared ? (s.expected && s.expected->bit(i)) : -1;
            ASSERT_EQ(p.expected[i], expected) << where << ", TDO bit " << i << " (-1: not compared)";
        }
    }
    EXPECT_EQ(r.scans.size(), n) << what << ": scans after the model's last";
    EXPECT_EQ(r.wait, model.finalWait()) << what << ": wait after the last scan";
}

struct OptionSet {
    const char *name;
    const char *options;
};

// svf2qsvf's option sets that change the stream.
const OptionSet kTranslatorOptions[] = {
    {"default", ""},        {"fpga", "-fpga"},
    {"fpga_rlen64", "-fpga -rlen 64"}, {"fpga_v2", "-fpga -v2"},
    {"fpga_inorder", "-fpga -inorder"}, {"qwait", "-qwait"},
    {"inorder", "-inorder"}, {"s", "-s"},
    {"useqsdr", "-useqsdr"}, {"v2", "-v2"},
    {"multiple_runtest", "-multiple_runtest"}, {"extensions", "-extensions"},
    {"minqstate", "-minqstate"}, {"runmin50", "-runmin 50"},
};

void PrintTo(const OptionSet &set, std::ostream *out) { *out << '"' << set.options << '"'; }

int translate(const std::string &options, const fs::path &svf, const fs::path &qsvf) {
    std::vector<std::string> args = {CHECKER_SVF2QSVF, "-w"};
    for (const std::string &option : words(options)) args.push_back(option);
    args.insert(args.end(), {"-i", svf.string(), "-o", qsvf.string()});
    return runProgram(args);
}

class Translations : public ::testing::TestWithParam<OptionSet> {};

void expectTranslationsPlayAsTheModelSays(const OptionSet &set, const std::vector<fs::path> &files,
                                          const WorkFolder &work) {
    for (const fs::path &svf : files) {
        const fs::path qsvf = work / (svf.stem().string() + ".qsvf");
        ASSERT_EQ(translate(set.options, svf, qsvf), 0) << "svf2qsvf " << set.options << " on " << svf;
        expectSameAsModel(qsvf, svf.filename().string() + ", svf2qsvf " + set.options);
    }
}

TEST_P(Translations, GeneratedStreamsPlayAsTheModelSays) {
    const OptionSet &set = GetParam();
    WorkFolder work(std::string("player_") + set.name);
    std::vector<fs::path> files;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        files.push_back(work / ("seed" + std::to_string(seed) + ".svf"));
        writeFile(files.back(), generateSvf(seed, SvfDialect::Full));
    }
    expectTranslationsPlayAsTheModelSays(set, files, work);
}

TEST_P(Translations, CorpusStreamsPlayAsTheModelSays) {
    QSVF_SKIP_WITHOUT_CORPUS();
    const OptionSet &set = GetParam();
    WorkFolder work(std::string("player_corpus_") + set.name);
    const std::vector<fs::path> corpus = qsvftest::corpusFiles();
    ASSERT_FALSE(corpus.empty()) << "no .svf file in " << qsvftest::corpusFolder();
    expectTranslationsPlayAsTheModelSays(set, corpus, work);
}

INSTANTIATE_TEST_SUITE_P(Options, Translations, ::testing::ValuesIn(kTranslatorOptions),
                         [](const ::testing::TestParamInfo<OptionSet> &info) { return info.param.name; });

TEST(Merges, PlayAsTheModelSays) {
    WorkFolder work("player_merges");
    for (uint32_t merge = 0; merge < 12; ++merge) {
        const bool v2 = merge % 2 == 1;
        std::vector<std::string> args = {CHECKER_MERGEQSVF, "-d", "-o", (work / "merged.qsvf").string()};
        if (v2) args.push_back("-v2");
        for (uint32_t i = 0; i < 2 + merge % 3 % 2; ++i) {
            const uint32_t seed = 7000 + 3 * merge + i;
            const fs::path svf = work / ("merge" + std::to_string(seed) + ".svf");
            const fs::path qsvf = work / ("merge" + std::to_string(seed) + ".qsvf");
            writeFile(svf, generateSvf(seed, SvfDialect::Full));
            ASSERT_EQ(translate(v2 ? "-v2" : "", svf, qsvf), 0) << svf;
            args.insert(args.end(), {"-i", qsvf.string()});
        }
        ASSERT_EQ(runProgram(args), 0);
        expectSameAsModel(work / "merged.qsvf", "merge " + std::to_string(merge));
    }
}

TEST(EarlierTranslations, PlayAsTheModelSays) {
    WorkFolder work("player_earlier");
    for (const char *options : {"", "-nc", "-fpga", "-fpga -nc"}) {
        for (uint32_t seed = 1; seed <= 25; ++seed) {
            const fs::path svf = work / ("earlier" + std::to_string(seed) + ".svf");
            const fs::path qsvf = work / ("earlier" + std::to_string(seed) + ".qsvf");
            writeFile(svf, generateSvf(seed, SvfDialect::Earlier));
            std::vector<std::string> args = {CHECKER_SVF2QSVF96};
            for (const std::string &option : words(options)) args.push_back(option);
            args.insert(args.end(), {svf.string(), qsvf.string()});
            ASSERT_EQ(runProgram(args), 0) << "svf2qsvf96 " << options << " on " << svf;
            expectSameAsModel(qsvf, "seed " + std::to_string(seed) + ", svf2qsvf96 " + options);
        }
    }
}

}  // namespace

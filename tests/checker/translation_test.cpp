// qsvfcheck against the real translators: generated and real SVF files are
// translated by the built svf2qsvf under every option set that changes the
// stream, merged by MergeQSVF, or translated by svf2qsvf96 in its dialect,
// and every stream must check as equivalent.  Then the checker must fail:
// single changes to correct streams are never reported as equivalent.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "qsvf_format.h"
#include "stream_reader.h"
#include "svf_corpus.h"
#include "svf_generator.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

struct OptionSet {
    const char *name;
    const char *options;
};

// svf2qsvf's option sets that change the stream.
const OptionSet kTranslatorOptions[] = {
    {"default", ""},
    {"fpga", "-fpga"},
    {"fpga_rlen64", "-fpga -rlen 64"},
    {"fpga_rlen256", "-fpga -rlen 256"},
    {"fpga_v2", "-fpga -v2"},
    {"fpga_inorder", "-fpga -inorder"},
    {"qwait", "-qwait"},
    {"inorder", "-inorder"},
    {"s", "-s"},
    {"useqsdr", "-useqsdr"},
    {"v2", "-v2"},
    {"multiple_runtest", "-multiple_runtest"},
    {"extensions", "-extensions"},
    {"minqstate", "-minqstate"},
    {"runmin50", "-runmin 50"},
    // Placed in a chain; the checker is told the same placement.
    {"chain_middle", "-chain 5,8,10 -target 2"},
    {"chain_first_fpga", "-fpga -rlen 64 -chain 5,8,300 -target 1"},
    {"chain_last_qwait", "-extensions -qwait -chain 5,8,10 -target 3"},
};

void PrintTo(const OptionSet &set, std::ostream *out) { *out << '"' << set.options << '"'; }

constexpr uint32_t kGeneratedFiles = 200;

bool writtenForV2(const OptionSet &set) { return std::string(set.options).find("-v2") != std::string::npos; }

// The -chain and -target of an option set, for the checker.
std::vector<std::string> chainArgs(const OptionSet &set) {
    const std::vector<std::string> all = words(set.options);
    std::vector<std::string> chain;
    for (size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i] == "-chain" || all[i] == "-target") chain.insert(chain.end(), {all[i], all[i + 1]});
    return chain;
}

int translate(const std::string &options, const fs::path &svf, const fs::path &qsvf) {
    std::vector<std::string> args = {CHECKER_SVF2QSVF, "-w"};
    for (const std::string &option : words(options)) args.push_back(option);
    args.insert(args.end(), {"-i", svf.string(), "-o", qsvf.string()});
    return runProgram(args);
}

// Checks the stream against the SVF files; a failure names the inputs.
void expectEquivalent(const std::vector<fs::path> &svfFiles, const fs::path &stream, bool skipTdo,
                      const std::string &what, bool v2 = false, const std::vector<std::string> &chain = {}) {
    std::vector<std::string> args;
    if (skipTdo) args.push_back("-s");
    if (v2) args.push_back("-v2");
    args.insert(args.end(), chain.begin(), chain.end());
    for (const fs::path &svf : svfFiles) args.push_back(svf.string());
    args.push_back(stream.string());
    const CheckRun run = runCheck(args);
    EXPECT_EQ(run.status, 0) << what << "\n" << run.out << run.err;
    EXPECT_EQ(run.out.rfind("equivalent: ", 0), 0u) << what << "\n" << run.out;
}

// The TDO pieces of the split scans of a stream, and the QTDOMASK records
// among the pieces (not before the first one).
struct SplitTdo {
    uint64_t pieces = 0, masksBetweenPieces = 0;
};

void countSplitTdo(const fs::path &stream, SplitTdo &count) {
    qsvfcheck::StreamReader reader(stream.string());
    bool inSplit = false;
    for (qsvfcheck::Record record; reader.read(record);) {
        const uint8_t op = record.opcode;
        if (op >= qsvf::QSDRTDOB && op <= qsvf::QSDRTDOE) ++count.pieces;
        if (op == qsvf::QTDOMASK && inSplit) ++count.masksBetweenPieces;
        if (op == qsvf::QSDRB || op == qsvf::QSDRTDOB) inSplit = true;
        if (op == qsvf::QSDRE || op == qsvf::QSDRTDOE) inSplit = false;
    }
}

// The generated masks change from piece to piece in enough split scans.
void expectSplitTdoCovered(const std::string &options, const SplitTdo &count) {
    if (options.find("-fpga") == std::string::npos) return;
    EXPECT_GE(count.pieces, 150u) << "TDO pieces of split scans";
    EXPECT_GE(count.masksBetweenPieces, 50u) << "masks between TDO pieces";
}

class Translations : public ::testing::TestWithParam<OptionSet> {};

TEST_P(Translations, GeneratedFilesAreEquivalent) {
    const OptionSet &set = GetParam();
    WorkFolder work(std::string("generated_") + set.name);
    const bool skipTdo = std::string(set.options) == "-s";
    SplitTdo splitTdo;
    for (uint32_t seed = 1; seed <= kGeneratedFiles; ++seed) {
        const fs::path svf = work / ("seed" + std::to_string(seed) + ".svf");
        const fs::path qsvf = work / ("seed" + std::to_string(seed) + ".qsvf");
        writeFile(svf, generateSvf(seed, SvfDialect::Full));
        ASSERT_EQ(translate(set.options, svf, qsvf), 0) << "svf2qsvf " << set.options << " on " << svf;
        expectEquivalent({svf}, qsvf, skipTdo, "seed " + std::to_string(seed) + ", svf2qsvf " + set.options,
                         writtenForV2(set), chainArgs(set));
        countSplitTdo(qsvf, splitTdo);
    }
    expectSplitTdoCovered(set.options, splitTdo);
}

TEST_P(Translations, CorpusFilesAreEquivalent) {
    QSVF_SKIP_WITHOUT_CORPUS();
    const OptionSet &set = GetParam();
    WorkFolder work(std::string("corpus_") + set.name);
    const std::vector<fs::path> files = qsvftest::corpusFiles();
    ASSERT_FALSE(files.empty()) << "no .svf file in " << qsvftest::corpusFolder();
    for (const fs::path &svf : files) {
        const fs::path qsvf = work / (svf.stem().string() + ".qsvf");
        ASSERT_EQ(translate(set.options, svf, qsvf), 0) << "svf2qsvf " << set.options << " on " << svf;
        expectEquivalent({svf}, qsvf, std::string(set.options) == "-s",
                         svf.filename().string() + ", svf2qsvf " + set.options, writtenForV2(set), chainArgs(set));
    }
}

INSTANTIATE_TEST_SUITE_P(Options, Translations, ::testing::ValuesIn(kTranslatorOptions),
                         [](const ::testing::TestParamInfo<OptionSet> &info) { return info.param.name; });

// MergeQSVF joins two or three translations; the stream is checked against
// their SVF files in order.  Translations for players of format 2 are
// merged with -v2.
TEST(Merges, TwoAndThreeTranslationsAreEquivalent) {
    WorkFolder work("merges");
    for (uint32_t merge = 0; merge < 24; ++merge) {
        const bool v2 = merge % 2 == 1;
        const size_t count = 2 + merge % 3 % 2;
        std::vector<std::string> args = {CHECKER_MERGEQSVF, "-d", "-o", (work / "merged.qsvf").string()};
        if (v2) args.push_back("-v2");
        std::vector<fs::path> svfFiles;
        for (size_t i = 0; i < count; ++i) {
            const uint32_t seed = 5000 + 3 * merge + static_cast<uint32_t>(i);
            const fs::path svf = work / ("merge" + std::to_string(seed) + ".svf");
            const fs::path qsvf = work / ("merge" + std::to_string(seed) + ".qsvf");
            writeFile(svf, generateSvf(seed, SvfDialect::Full));
            ASSERT_EQ(translate(v2 ? "-v2" : "", svf, qsvf), 0) << svf;
            svfFiles.push_back(svf);
            args.insert(args.end(), {"-i", qsvf.string()});
        }
        ASSERT_EQ(runProgram(args), 0);
        expectEquivalent(svfFiles, work / "merged.qsvf", false,
                         "merge " + std::to_string(merge) + " of " + std::to_string(count) + (v2 ? " with -v2" : ""), v2);
    }
}

// Streams for two devices of one chain, merged, check in one call with each
// file's own -target; another placement, or none, differs.
TEST(Merges, StreamsForDevicesOfOneChain) {
    WorkFolder work("chain_merge");
    const fs::path examples = CHECKER_EXAMPLES_DIR;
    const fs::path blink = examples / "blink.svf", fpga = examples / "fpga_load.svf";
    ASSERT_EQ(translate("-chain 5,8,10 -target 2", blink, work / "blink.qsvf"), 0);
    ASSERT_EQ(translate("-fpga -chain 5,8,10 -target 3", fpga, work / "fpga.qsvf"), 0);
    const fs::path merged = work / "merged.qsvf";
    ASSERT_EQ(runProgram({CHECKER_MERGEQSVF, "-d", "-o", merged.string(), "-i", (work / "blink.qsvf").string(), "-i",
                          (work / "fpga.qsvf").string()}),
              0);
    const std::string b = blink.string(), f = fpga.string(), m = merged.string();
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{"-chain", "5,8,10", "-target", "2", b, "-target", "3", f, m}, 0, "equivalent: "},
        {{"-chain", "5,8,10", "-target", "3", b, "-target", "3", f, m}, 1, b + ":17: scan 1 (SIR, 21 bits)"},
        {{"-chain", "5,8,10", "-target", "2", b, f, m}, 1, f + ":"},
        {{b, f, m}, 1, b + ":17: scan 1 (SIR, 8 bits): the stream has an SIR of 23 bits"},
        {{"-chain", "5,8,10", b, f, m}, 2, "-chain of 3 devices needs -target before " + b},
        {{"-target", "1", "-chain", "5", b, m}, 2, "-target needs -chain before it"},
        {{"-chain", "5,8,10", "-target", "4", b, m}, 2, "-target 4 is outside the chain's devices 1 to 3"},
        {{"-chain", "5,,10", "-target", "1", b, m}, 2, "-chain needs IR lengths of 1 or more"},
        {{"-chain", "5,8", "-chain", "5,8", b, m}, 2, "-chain given twice"},
    };
    for (const auto &c : cases) {
        const CheckRun run = runCheck(c.args);
        EXPECT_EQ(run.status, c.status) << c.says << "\n" << run.out << run.err;
        EXPECT_NE((run.out + run.err).find(c.says), std::string::npos) << run.out << run.err;
    }
}

// svf2qsvf96 in its own dialect, with and without compression; its QSDRINC
// runs are played scan by scan.
class EarlierTranslations : public ::testing::TestWithParam<OptionSet> {};

TEST_P(EarlierTranslations, GeneratedFilesAreEquivalent) {
    const OptionSet &set = GetParam();
    WorkFolder work(std::string("earlier_") + set.name);
    uint64_t incrementScans = 0;
    SplitTdo splitTdo;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        const fs::path svf = work / ("seed" + std::to_string(seed) + ".svf");
        const fs::path qsvf = work / ("seed" + std::to_string(seed) + ".qsvf");
        writeFile(svf, generateSvf(seed, SvfDialect::Earlier));
        std::vector<std::string> args = {CHECKER_SVF2QSVF96};
        for (const std::string &option : words(set.options)) args.push_back(option);
        args.insert(args.end(), {svf.string(), qsvf.string()});
        ASSERT_EQ(runProgram(args), 0) << "svf2qsvf96 " << set.options << " on " << svf;
        // Its streams carry no STATE move, as those written with -v2.
        expectEquivalent({svf}, qsvf, false, "seed " + std::to_string(seed) + ", svf2qsvf96 " + set.options, true);
        qsvfcheck::StreamReader reader(qsvf.string());
        for (qsvfcheck::Record record; reader.read(record);)
            if (record.opcode == qsvf::QSDRINC) incrementScans += record.fields.size();
        countSplitTdo(qsvf, splitTdo);
    }
    expectSplitTdoCovered(set.options, splitTdo);
    // The compressed streams hold QSDRINC runs, long ones among them.
    if (std::string(set.options).find("-nc") == std::string::npos)
        EXPECT_GE(incrementScans, 500u) << "QSDRINC scans played";
    else
        EXPECT_EQ(incrementScans, 0u);
}

const OptionSet kEarlierOptions[] = {
    {"compressed", ""},
    {"nc", "-nc"},
    {"fpga", "-fpga"},
    {"fpga_nc", "-fpga -nc"},
    {"fpga_rlen256", "-fpga -rlen 256"},
};

INSTANTIATE_TEST_SUITE_P(Options, EarlierTranslations, ::testing::ValuesIn(kEarlierOptions),
                         [](const ::testing::TestParamInfo<OptionSet> &info) { return info.param.name; });

// ---------------------------------------------------------------- mutations

enum class Change {
    TdiBit,
    ExpectedTdoBit,
    MaskBit,
    DropRunTest,
    LowerRunTest,
    DropWait,
    DropScan,
    StateCode,
    EndState,
    WaitState,
    DropState,
};

const std::map<Change, const char *> kChangeNames = {
    {Change::TdiBit, "flipped TDI bit"},        {Change::ExpectedTdoBit, "flipped expected TDO bit"},
    {Change::MaskBit, "flipped mask bit"},      {Change::DropRunTest, "dropped QRUNTEST"},
    {Change::LowerRunTest, "lowered QRUNTEST"}, {Change::DropWait, "dropped QWAIT"},
    {Change::DropScan, "missing scan"},           {Change::StateCode, "changed QSTATE state"},
    {Change::EndState, "changed QENDIR/QENDDR state"}, {Change::WaitState, "changed QWAIT state"},
    {Change::DropState, "dropped QSTATE"},
};

// One change to a stream: bytes [first, first + erase) removed, or the bits
// `flip` of byte `first` inverted.
struct Mutation {
    Change change;
    uint64_t first = 0, erase = 0;
    uint8_t flip = 0;
    // A lowered QRUNTEST: the new 4-byte count at `first`.
    bool lower = false;
    uint32_t count = 0;
    // A changed state operand: the new byte at `first`.
    std::optional<uint8_t> value = std::nullopt;
};

Mutation setByte(Change change, uint64_t at, uint8_t value) {
    Mutation mutation{change, at};
    mutation.value = value;
    return mutation;
}

// The stable states by code, and the next one of them after a code.
constexpr uint8_t kStable[] = {qsvf::STATE_RESET, qsvf::STATE_IDLE, qsvf::STATE_DRPAUSE, qsvf::STATE_IRPAUSE};
uint8_t nextStable(uint8_t code, uint8_t avoid) {
    for (size_t i = 0;; ++i) {
        const uint8_t next = kStable[(i + code) % 4];
        if (next != code && next != avoid) return next;
    }
}

// Every change of a state record that changes where the TAP rests: each
// QSTATE moved elsewhere (or to no state at all), each QENDIR/QENDDR that
// ends a following scan flipped (or out of range), each QWAIT state moved
// to another stable state (or one that is not stable), and each QSTATE that
// moves the TAP left out.
void stateChanges(const std::vector<qsvfcheck::Record> &records, std::vector<Mutation> &changes,
                  const std::vector<uint64_t> &ends) {
    const auto isScan = [](uint8_t op) {
        return op == qsvf::QSIR || op == qsvf::QSIR2 || op == qsvf::QSDR || op == qsvf::QSDRTDO ||
               op == qsvf::QSDRE || op == qsvf::QSDRTDOE;
    };
    // The next record that moves or scans, from index i on.
    const auto nextMove = [&](size_t i) -> const qsvfcheck::Record * {
        for (; i < records.size(); ++i) {
            const uint8_t op = records[i].opcode;
            if (op == qsvf::QSTATE || op == qsvf::QWAIT || op == qsvf::QCOMPLETE || isScan(op)) return &records[i];
        }
        return nullptr;
    };
    for (size_t i = 0; i < records.size(); ++i) {
        const qsvfcheck::Record &record = records[i];
        const uint64_t at = record.offset + 1;
        if (record.opcode == qsvf::QSTATE) {
            const auto code = static_cast<uint8_t>(record.integers[0]);
            // Where the TAP is before, when the record before says it.
            const qsvfcheck::Record *before = i > 0 ? &records[i - 1] : nullptr;
            std::optional<uint64_t> from;
            if (before && before->opcode == qsvf::QSTATE) from = before->integers[0];
            if (before && before->opcode == qsvf::QWAIT) from = before->integers[1];
            if (!before) from = qsvf::STATE_RESET;
            // A move to where the TAP is (STATE IDLE in Run-Test/Idle) moves
            // nothing: leaving it out, or moving on early to where the next
            // move goes, changes nothing.
            const bool redundant = from == code;
            const qsvfcheck::Record *after = nextMove(i + 1);
            // The state the next move goes to; 256 (no state) when none follows.
            // An empty data scan is a wait's count clocked in Run-Test/Idle.
            const bool emptyScan = after && after->opcode == qsvf::QSDR && after->vectors[0].size() == 0;
            const uint64_t next = after && (after->opcode == qsvf::QSTATE || after->opcode == qsvf::QWAIT)
                                      ? after->integers[0]
                                  : emptyScan ? qsvf::STATE_IDLE
                                              : 256;
            for (const uint8_t other : {static_cast<uint8_t>((code + 1) % 16), static_cast<uint8_t>((code + 6) % 16),
                                        static_cast<uint8_t>(16 + code)})
                if (!(redundant && next == other)) changes.push_back(setByte(Change::StateCode, at, other));
            const bool moves = code == qsvf::STATE_RESET ? !redundant : from && !redundant;
            if (moves && next != code) changes.push_back({Change::DropState, record.offset, ends[i] - record.offset});
        } else if (record.opcode == qsvf::QENDIR || record.opcode == qsvf::QENDDR) {
            changes.push_back(setByte(Change::EndState, at, 2));
            const bool ir = record.opcode == qsvf::QENDIR;
            for (size_t j = i + 1; j < records.size(); ++j) {
                const uint8_t op = records[j].opcode;
                if (op == record.opcode || op == qsvf::QREPEAT) break;
                if (isScan(op) && (op == qsvf::QSIR || op == qsvf::QSIR2) == ir) {
                    changes.push_back(setByte(Change::EndState, at, static_cast<uint8_t>(record.integers[0] ^ 1)));
                    break;
                }
            }
        } else if (record.opcode == qsvf::QWAIT) {
            const auto waitState = static_cast<uint8_t>(record.integers[0]);
            const auto endState = static_cast<uint8_t>(record.integers[1]);
            if (record.integers[2] > 0) changes.push_back(setByte(Change::WaitState, at, nextStable(waitState, 0xFF)));
            // The end state moved elsewhere than where the next move goes.
            const qsvfcheck::Record *after = nextMove(i + 1);
            const uint8_t avoid = after && (after->opcode == qsvf::QSTATE || after->opcode == qsvf::QWAIT)
                                      ? static_cast<uint8_t>(after->integers[0])
                                      : 0xFF;
            // Every walk out of Test-Logic-Reset passes Run-Test/Idle: a wait
            // that ends there instead changes nothing when a walk follows.
            uint8_t moved = nextStable(endState, avoid);
            if (moved == qsvf::STATE_IDLE && endState == qsvf::STATE_RESET && after && after->opcode != qsvf::QCOMPLETE)
                moved = nextStable(moved, avoid);
            changes.push_back(setByte(Change::WaitState, at + 1, moved));
            changes.push_back(setByte(Change::WaitState, at + 1, qsvf::STATE_DRSHIFT));
        }
    }
}

// Byte and bit of vector bit `index` in a vector of `bits` bits at `start`.
Mutation flipBit(Change change, uint64_t start, uint64_t bits, uint64_t index) {
    return {change, start + qsvf::vectorBytes(bits) - 1 - index / 8, 0, static_cast<uint8_t>(1u << (index % 8))};
}

bool isUnsplitScan(uint8_t op) {
    return op == qsvf::QSIR || op == qsvf::QSIR2 || op == qsvf::QSDR || op == qsvf::QSDRTDO;
}

bool isTdoPiece(uint8_t op) { return op >= qsvf::QSDRTDOB && op <= qsvf::QSDRTDOE; }

// Every change of every kind that alters what the stream does, for streams
// of files in which every TDI bit counts and every RUNTEST follows a scan.
std::vector<Mutation> candidateChanges(const fs::path &stream) {
    qsvfcheck::StreamReader reader(stream.string());
    std::vector<qsvfcheck::Record> records;
    std::vector<uint64_t> ends;
    for (qsvfcheck::Record record; reader.read(record);) {
        records.push_back(record);
        ends.push_back(reader.offset());
    }
    std::vector<Mutation> changes;
    std::optional<size_t> mask;  // the last QTDOMASK
    uint64_t runTest = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const qsvfcheck::Record &record = records[i];
        const uint8_t op = record.opcode;
        const uint64_t size = ends[i] - record.offset;
        // The first unsplit scan (or DR scan) after this record, if no record
        // of the same kind comes first.
        const auto nextScan = [&](uint8_t stopAt, bool dataOnly) -> const qsvfcheck::Record * {
            for (size_t j = i + 1; j < records.size() && records[j].opcode != stopAt; ++j) {
                const uint8_t next = records[j].opcode;
                if (isUnsplitScan(next) && records[j].vectors[0].size() > 0 &&
                    (!dataOnly || next == qsvf::QSDR || next == qsvf::QSDRTDO))
                    return &records[j];
            }
            return nullptr;
        };
        if (op == qsvf::QSIR || op == qsvf::QSIR2 || op == qsvf::QSDR || op == qsvf::QSDRTDO ||
            (op >= qsvf::QSDRB && op <= qsvf::QSDRTDOE)) {
            const uint64_t bits = record.vectors[0].size();
            const uint64_t start = record.offset + 1 + (op == qsvf::QSIR ? 1 : op == qsvf::QSIR2 ? 2 : 0);
            for (uint64_t bit = 0; bit < bits; bit += 1 + bits / 3)
                changes.push_back(flipBit(Change::TdiBit, start, bits, bit));
            if (isUnsplitScan(op) && bits > 0) changes.push_back({Change::DropScan, record.offset, size});
            if ((op == qsvf::QSDRTDO || isTdoPiece(op)) && mask) {
                const qsvfcheck::BitVector &compared = records[*mask].vectors[0];
                for (uint64_t bit = 0; bit < bits && bit < compared.size(); ++bit)
                    if (compared.bit(bit)) {
                        changes.push_back(flipBit(Change::ExpectedTdoBit, start + qsvf::vectorBytes(bits), bits, bit));
                        break;
                    }
            }
        } else if (op == qsvf::QTDOMASK) {
            mask = i;
            // The first unsplit DR scan or TDO piece compared under the mask.
            const qsvfcheck::Record *scan = nextScan(qsvf::QTDOMASK, true);
            for (size_t j = i + 1; j < records.size() && &records[j] != scan && records[j].opcode != op; ++j)
                if (isTdoPiece(records[j].opcode)) {
                    scan = &records[j];
                    break;
                }
            if (scan) {
                const uint64_t bits = std::min(record.vectors[0].size(), scan->vectors[0].size());
                changes.push_back(
                    flipBit(Change::MaskBit, record.offset + 1, record.vectors[0].size(), bits - 1 - bits / 2));
            }
        } else if (op == qsvf::QRUNTEST) {
            const uint64_t count = record.integers[0];
            if (count > 0 && nextScan(qsvf::QRUNTEST, false)) {
                Mutation lower{Change::LowerRunTest, record.offset + 1};
                lower.lower = true;
                lower.count = static_cast<uint32_t>(count - 1);
                changes.push_back(lower);
                if (count > runTest) changes.push_back({Change::DropRunTest, record.offset, size});
            }
            runTest = count;
        } else if (op == qsvf::QWAIT && record.integers[2] > 0) {
            changes.push_back({Change::DropWait, record.offset, size});
        }
    }
    stateChanges(records, changes, ends);
    return changes;
}

std::string applyChange(std::string bytes, const Mutation &change) {
    if (change.value) {
        bytes[change.first] = static_cast<char>(*change.value);
    } else if (change.lower) {
        for (int i = 0; i < 4; ++i) bytes[change.first + i] = static_cast<char>(change.count >> (24 - 8 * i));
    } else if (change.erase > 0) {
        bytes.erase(change.first, change.erase);
    } else {
        bytes[change.first] = static_cast<char>(bytes[change.first] ^ change.flip);
    }
    return bytes;
}

TEST(Mutations, EverySingleChangeIsReported) {
    WorkFolder work("mutations");
    std::map<Change, unsigned> tried;
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        const fs::path svf = work / ("seed" + std::to_string(seed) + ".svf");
        writeFile(svf, generateSvf(seed, SvfDialect::EveryBitCounts));
        for (const char *options : {"", "-qwait", "-extensions", "-extensions -qwait", "-fpga -rlen 64"}) {
            const fs::path qsvf = work / "translated.qsvf";
            ASSERT_EQ(translate(options, svf, qsvf), 0) << svf;
            const std::string what = "seed " + std::to_string(seed) + ", svf2qsvf " + options;
            expectEquivalent({svf}, qsvf, false, what);
            const std::string original = readFile(qsvf);
            std::vector<Mutation> changes = candidateChanges(qsvf);
            // A few changes of each kind per stream keep the run short.
            std::map<Change, unsigned> perStream;
            for (size_t i = 0; i < changes.size(); ++i) {
                const Mutation &change = changes[(i * 7919 + seed) % changes.size()];
                if (++perStream[change.change] > 3) continue;
                ++tried[change.change];
                const fs::path mutated = work / "mutated.qsvf";
                writeFile(mutated, applyChange(original, change));
                const CheckRun run = runCheck({svf.string(), mutated.string()});
                EXPECT_NE(run.status, 0) << what << ": " << kChangeNames.at(change.change) << " at byte "
                                         << change.first << " reported as equivalent";
            }
        }
    }
    for (const auto &[change, name] : kChangeNames) EXPECT_GE(tried[change], 20u) << "too few tries of " << name;
}

// The state records of real files: a few changes of each kind in each
// corpus stream, under the options that write every kind of them.
TEST(Mutations, StateChangesInCorpusStreamsAreReported) {
    QSVF_SKIP_WITHOUT_CORPUS();
    WorkFolder work("corpus_mutations");
    std::map<Change, unsigned> tried;
    for (const fs::path &svf : qsvftest::corpusFiles()) {
        for (const char *options : {"", "-extensions -qwait"}) {
            const fs::path qsvf = work / "translated.qsvf";
            ASSERT_EQ(translate(options, svf, qsvf), 0) << svf;
            const std::string original = readFile(qsvf);
            qsvfcheck::StreamReader reader(qsvf.string());
            std::vector<qsvfcheck::Record> records;
            std::vector<uint64_t> ends;
            for (qsvfcheck::Record record; reader.read(record);) {
                // Only the state records and their neighbours matter here.
                for (auto &vector : record.vectors) vector = qsvfcheck::BitVector();
                records.push_back(std::move(record));
                ends.push_back(reader.offset());
            }
            std::vector<Mutation> changes;
            stateChanges(records, changes, ends);
            std::map<Change, unsigned> perStream;
            for (const Mutation &change : changes) {
                if (++perStream[change.change] > 4) continue;
                ++tried[change.change];
                writeFile(work / "mutated.qsvf", applyChange(original, change));
                const CheckRun run = runCheck({svf.string(), (work / "mutated.qsvf").string()});
                EXPECT_NE(run.status, 0) << svf.filename() << ", svf2qsvf " << options << ": "
                                         << kChangeNames.at(change.change) << " at byte " << change.first
                                         << " reported as equivalent";
            }
        }
    }
    for (const Change change : {Change::StateCode, Change::EndState, Change::WaitState, Change::DropState})
        EXPECT_GE(tried[change], 4u) << "too few tries of " << kChangeNames.at(change);
}

}  // namespace

// svf2qsvf -tck and qsvfcheck -tck: the waits given in seconds are counted
// at the board player's clock.  Streams written for a clock check at that
// clock; a stream written for the file's FREQUENCY is too short for a faster
// board; a time-determined wait one clock short is found.
TEST(Clock, WaitsAtThePlayersTck) {
    WorkFolder work("tck");
    const fs::path small = work / "small.svf";
    writeFile(small, "FREQUENCY 1E6 HZ;\nSIR 8 TDI (01);\nRUNTEST 1E-3 SEC;\nSIR 8 TDI (02);\n");
    const fs::path stream = work / "small.qsvf";
    for (const char *hz : {"1e6", "10e6", "30MHz"}) {
        ASSERT_EQ(translate(std::string("-tck ") + hz, small, stream), 0);
        expectEquivalent({small}, stream, false, std::string("-tck ") + hz, false, {"-tck", hz});
    }
    // 1 ms at 30 MHz is 30000 clocks: QRUNTEST 30000 is the record after QREPEAT.
    std::string bytes = readFile(stream);
    ASSERT_EQ(bytes.substr(2, 5), std::string("\x04\x00\x00\x75\x30", 5));
    bytes[6] = 0x2F;  // 29999
    writeFile(work / "short.qsvf", bytes);
    CheckRun run = runCheck({"-tck", "30e6", small.string(), (work / "short.qsvf").string()});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("waits 29999 clocks after the scan, the SVF asks at least 30000"), std::string::npos)
        << run.out;
    // Written for the file's 1 MHz, played at 30 MHz: too short.
    ASSERT_EQ(translate("", small, stream), 0);
    run = runCheck({"-tck", "30e6", small.string(), stream.string()});
    EXPECT_EQ(run.status, 1) << run.out;

    // svf2qsvf96 the same way, in its dialect; without -tck it takes the
    // number of a time as clocks.
    const fs::path earlier = work / "earlier.svf";
    writeFile(earlier, "SIR 8 TDI (01) SMASK (FF);\nRUNTEST 1E-3 SEC;\nSDR 8 TDI (02) SMASK (FF) TDO (00) MASK (00);\n"
                       "RUNTEST 2.5E-6 SEC;\n");
    for (const char *hz : {"1e6", "10e6", "30MHz"}) {
        ASSERT_EQ(runProgram({CHECKER_SVF2QSVF96, "-tck", hz, earlier.string(), stream.string()}), 0);
        expectEquivalent({earlier}, stream, false, std::string("svf2qsvf96 -tck ") + hz, true, {"-tck", hz});
    }
    ASSERT_EQ(runProgram({CHECKER_SVF2QSVF96, earlier.string(), stream.string()}), 0);
    EXPECT_EQ(runCheck({"-v2", "-tck", "1e6", earlier.string(), stream.string()}).status, 1);
}

// The corpus files at three player clocks; a file with waits in seconds is
// too short at 30 MHz when translated for its own FREQUENCY.
TEST(Clock, CorpusFilesAtThePlayersTck) {
    QSVF_SKIP_WITHOUT_CORPUS();
    WorkFolder work("tck_corpus");
    const std::vector<fs::path> files = qsvftest::corpusFiles();
    ASSERT_FALSE(files.empty()) << "no .svf file in " << qsvftest::corpusFolder();
    for (const fs::path &svf : files) {
        const fs::path qsvf = work / (svf.stem().string() + ".qsvf");
        const bool timed = readFile(svf).find(" SEC") != std::string::npos;
        for (const char *hz : {"1e6", "10e6", "30e6"}) {
            ASSERT_EQ(translate(std::string("-tck ") + hz, svf, qsvf), 0) << svf;
            expectEquivalent({svf}, qsvf, false, svf.filename().string() + " -tck " + hz, false, {"-tck", hz});
        }
        ASSERT_EQ(translate("", svf, qsvf), 0) << svf;
        EXPECT_EQ(runCheck({"-tck", "30e6", svf.string(), qsvf.string()}).status, timed ? 1 : 0) << svf;
    }
}

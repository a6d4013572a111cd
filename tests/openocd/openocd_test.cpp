// The OpenOCD suite: every SVF file (the corpus, the examples and generated
// files that use each stable state, STATE with and without paths, TRST in
// every mode, RUNTEST with run and end states, counts and times with
// FREQUENCY, and seeded files in the dialect of svf2qsvf96) is played by
// OpenOCD's `svf` onto tap_server, which answers the TDO the file expects,
// so a good file must pass.  Two OpenOCD runs must
// agree, and single changes to a recording (one TDI bit, one clock, another
// rest state) must be found, so that the comparison itself is tried.  When
// the build has qsvfplay, each file is translated under every option set,
// played by `qsvfplay --remote-bitbang` onto the same TAP and compared with
// OpenOCD's recording.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "input_error.h"
#include "openocd_exceptions.h"
#include "recording.h"
#include "svf_generator.h"
#include "svf_corpus.h"
#include "svf_reader.h"
#include "tap_model.h"
#include "../support/work_folder.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

// The work folder: generated files, recordings and the programs' output.
qsvftest::WorkFolder gWork("openocd");
fs::path workPath() { return gWork.path(); }
fs::path workFolder() { return gWork.made(); }
using qsvftest::readText;

// Starts a program with its output in `log`.
pid_t start(const std::vector<std::string> &args, const fs::path &log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char *> argv;
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status, or -1 when it had to be stopped after `seconds`.
int finish(pid_t pid, int seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0) return -1;
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int runProgram(const std::vector<std::string> &args, const fs::path &log) {
    const pid_t pid = start(args, log);
    return pid < 0 ? -1 : finish(pid, 300);
}

// What the file asks of the TAP, read by the project's SVF reader: the TDO
// each scan must see (the compared bits as expected, 0 elsewhere) and the
// wait after it (the clocks of its RUNTESTs in RESET are read from the rests
// before the next scan).  OpenOCD checks the same TDO against its own
// reading of the file, so an answer that is wrong fails the OpenOCD run.
struct FileDemands {
    std::vector<tapsim::Wait> waits;
    fs::path answers;
    std::set<uint64_t> irLengths;  // of its instruction scans
};

FileDemands readDemands(const fs::path &svf, const std::string &name) {
    FileDemands demands;
    demands.answers = workFolder() / (name + ".answers");
    std::ofstream out(demands.answers);
    qsvfcheck::SvfReader reader(svf.string(), qsvfcheck::SvfOptions{});
    auto waitedInReset = [&](const std::vector<qsvfcheck::Rest> &rests) {
        for (const qsvfcheck::Rest &rest : rests)
            if (!demands.waits.empty() && rest.kind == qsvfcheck::RestKind::Wait && rest.state == qsvf::STATE_RESET)
                demands.waits.back().inReset += rest.clocks;
    };
    for (qsvfcheck::SvfScan scan; reader.next(scan);) {
        waitedInReset(scan.restsBefore);
        std::vector<bool> bits(scan.length, false);
        if (scan.compare && scan.expected)
            for (uint64_t i = 0; i < scan.length; ++i) bits[i] = scan.compare->bit(i) && scan.expected->bit(i);
        out << (scan.instruction ? "IR " : "DR ") << scan.length << ' ' << tapsim::bitsToHex(bits) << '\n';
        demands.waits.push_back({scan.wait, 0});
        if (scan.instruction) demands.irLengths.insert(scan.length);
    }
    waitedInReset(reader.tail());
    return demands;
}

// IR lengths as a command line writes them: 5,8,10.
std::string lengthList(const std::vector<unsigned> &lengths) {
    std::string text;
    for (unsigned length : lengths) text += (text.empty() ? "" : ",") + std::to_string(length);
    return text;
}

// The TAP (or the chain of TAPs of these IR lengths, from TDO), serving one
// client.
class TapServer {
public:
    TapServer(const fs::path &record, const fs::path &answers, bool setUpFirst, const std::vector<unsigned> &chain = {})
        : m_log(record.string() + ".server") {
        std::vector<std::string> args = {TAP_SERVER, "--port", "0", "--record", record.string(), "--timeout", "60"};
        if (!answers.empty()) args.insert(args.end(), {"--answers", answers.string()});
        if (setUpFirst) args.push_back("--setup-until-srst");
        if (!chain.empty()) args.insert(args.end(), {"--chain", lengthList(chain)});
        m_pid = start(args, m_log);
        for (int i = 0; i < 400 && m_pid > 0 && m_port.empty(); ++i) {
            std::istringstream words(readText(m_log));
            std::string word;
            if (words >> word >> m_port && word != "port") m_port.clear();
            if (m_port.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    const std::string &port() const { return m_port; }
    // The status once the client is done; a server still waiting for a
    // client that never came is stopped after `seconds`.
    int wait(int seconds) { return m_pid < 0 ? -1 : finish(m_pid, seconds); }
    std::string log() const { return readText(m_log); }

private:
    fs::path m_log;
    pid_t m_pid = -1;
    std::string m_port;
};

// A chain of TAPs for OpenOCD: the IR lengths from TDO, declared as t1.tap,
// t2.tap ... with `jtag newtap` in that order, and for each file played the
// TAP it is for (`svf FILE -tap tN.tap`).
struct OpenOcdChain {
    std::vector<unsigned> lengths;
    std::vector<unsigned> targets;
};

// OpenOCD plays the files one after the other (more than one: the parts of a
// merge) in one session; the recording is left in `record`.  Without a
// chain the files are played on one TAP, without -tap.  False, with
// failures, when OpenOCD did not play every file through.
bool playWithOpenOcd(const std::vector<fs::path> &svfs, const fs::path &answers, const fs::path &record,
                     const OpenOcdChain &chain = {}) {
    const fs::path config = workFolder() / (chain.lengths.empty() ? std::string("remote_bitbang.cfg")
                                                                  : "chain_" + lengthList(chain.lengths) + ".cfg");
    if (!fs::exists(config)) {
        // Without a chain, scans of svf are plain scans of the whole chain,
        // so one TAP of any instruction length serves every file;
        // tap_server's chain has 8.
        std::ofstream out(config);
        out << "adapter driver remote_bitbang\nremote_bitbang host 127.0.0.1\n"
               "transport select jtag\nreset_config trst_and_srst separate\n";
        if (chain.lengths.empty()) out << "jtag newtap sim tap -irlen 8\n";
        for (size_t i = 0; i < chain.lengths.size(); ++i)
            out << "jtag newtap t" << i + 1 << " tap -irlen " << chain.lengths[i] << '\n';
    }
    // Exception InitProbe: SRST marks the end of init.
    std::string commands = "init; adapter assert srst; adapter deassert srst";
    for (size_t i = 0; i < svfs.size(); ++i)
        commands += "; svf -quiet " + svfs[i].string() +
                    (i < chain.targets.size() ? " -tap t" + std::to_string(chain.targets[i]) + ".tap" : "");
    commands += "; shutdown";
    const fs::path log = record.string() + ".openocd";
    // OpenOCD 0.12's remote_bitbang client gives up on a socket write that
    // would block ("errno==11" on remote_bitbang_putc), which a busy machine
    // causes however fast tap_server reads: such a run is made again.
    int status = -1, served = -1;
    std::string output, serverLog;
    for (int run = 0; run < 3; ++run) {
        TapServer server(record, answers, true, chain.lengths);
        if (server.port().empty()) {
            ADD_FAILURE() << server.log();
            return false;
        }
        status = runProgram(
            {OPENOCD, "-f", config.string(), "-c", "remote_bitbang port " + server.port(), "-c", commands}, log);
        served = server.wait(10);
        output = readText(log);
        serverLog = server.log();
        if (output.find("errno==11") == std::string::npos) break;
        std::cout << "[ again  ] OpenOCD's client gave up on a full socket: " << record.filename() << '\n';
    }
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(served, 0) << serverLog;
    // Quiet, a run reports only its failures.
    size_t played = 0;
    for (size_t at = output.find("svf processing file"); at != std::string::npos;
         at = output.find("svf processing file", at + 1))
        ++played;
    EXPECT_EQ(played, svfs.size()) << output;
    EXPECT_EQ(output.find("svf file programmed failed"), std::string::npos) << output;
    EXPECT_EQ(output.find("tdo check error"), std::string::npos) << output;
    return status == 0 && served == 0 && played == svfs.size() &&
           output.find("svf file programmed failed") == std::string::npos &&
           output.find("tdo check error") == std::string::npos;
}

tapsim::Recording read(const fs::path &file, bool fromOpenOcd, unsigned device = 0) {
    tapsim::Recording recording;
    std::string error;
    EXPECT_TRUE(tapsim::readRecording(file.string(), fromOpenOcd, recording, error, device)) << error;
    return recording;
}

std::string joined(const std::vector<std::string> &lines) {
    std::string text;
    for (const std::string &line : lines) text += line + "\n";
    return text;
}

// ---------------------------------------------------------------- files

struct SvfFile {
    std::string name;
    fs::path path;
    std::string text;  // of a generated file, written on first use
};

void PrintTo(const SvfFile &file, std::ostream *out) { *out << file.path; }

// Generated files: each stable state as ENDIR and ENDDR end state, STATE
// between every pair of stable states without a path and with full paths,
// TRST in every mode, RUNTEST with run states, end states, counts, times and
// FREQUENCY, one command a line.  ENDIR/ENDDR RESET, RUNTEST in SCK and
// STATE paths that end in RESET are left out: OpenOCD cannot play them
// (exceptions EndInReset, SckClocks and PathToReset).
// A value of `bits` bits in SVF hex digits.
std::string hexValue(uint64_t value, unsigned bits) {
    std::vector<bool> data(bits);
    for (unsigned i = 0; i < bits; ++i) data[i] = (value >> i) & 1;
    return tapsim::bitsToHex(data);
}

std::vector<std::pair<std::string, std::string>> generatedFiles() {
    static const char *const stable[] = {"IDLE", "DRPAUSE", "IRPAUSE", "RESET"};
    std::vector<std::pair<std::string, std::string>> files;
    // Every pair of ENDIR and ENDDR states, each with two SIR and SDR in a
    // row (a scan that starts in the end state of the one before), the SDR
    // with a TDO check.
    std::string ends = "TRST OFF;\nSTATE RESET;\nSIR 6 TDI (15);\n";
    uint64_t value = 1;
    for (const char *ir : {"IDLE", "DRPAUSE", "IRPAUSE"})
        for (const char *dr : {"IDLE", "DRPAUSE", "IRPAUSE"}) {
            ends += std::string("ENDIR ") + ir + ";\nENDDR " + dr + ";\n";
            for (int i = 0; i < 2; ++i, value = value * 5 + 3) {
                ends += "SIR 6 TDI (" + hexValue(value, 6) + ");\n";
                ends += "SDR 12 TDI (" + hexValue(value * 3, 12) + ") TDO (" + hexValue(value, 12) + ") MASK (" +
                        hexValue(value >> 2, 12) + ");\n";
            }
        }
    ends += "ENDIR IDLE;\nENDDR IDLE;\nSIR 6 TDI (2A);\n";
    files.emplace_back("gen_end_states", ends);

    // STATE between every pair of stable states without a path, then paths
    // through every kind of state (none ends in RESET: exception PathToReset).
    std::string moves = "STATE RESET;\n";
    unsigned scan = 0;
    for (const char *from : stable)
        for (const char *to : stable)
            moves += std::string("STATE ") + from + ";\nSTATE " + to + ";\nSDR 4 TDI (" + hexValue(++scan, 4) + ");\n";
    moves += "STATE IDLE;\nSTATE DRSELECT DRCAPTURE DREXIT1 DRPAUSE;\nSTATE DREXIT2 DRUPDATE IDLE;\n"
             "STATE DRSELECT IRSELECT IRCAPTURE IREXIT1 IRPAUSE;\nSTATE IREXIT2 IRUPDATE DRSELECT DRCAPTURE DREXIT1 "
             "DRPAUSE;\nSDR 4 TDI (9);\nSTATE RESET;\nSTATE IDLE DRSELECT DRCAPTURE DREXIT1 DRUPDATE IDLE;\n"
             "STATE DRSELECT DRCAPTURE DREXIT1 DRPAUSE;\nSTATE DREXIT2 DRUPDATE DRSELECT IRSELECT IRCAPTURE IREXIT1 "
             "IRUPDATE IDLE;\nSDR 4 TDI (6);\n";
    files.emplace_back("gen_state_moves", moves);

    // TRST in each mode; ABSENT, which forbids any later TRST, in a file of
    // its own.
    files.emplace_back("gen_trst", "TRST OFF;\nSIR 4 TDI (3);\nTRST ON;\nTRST OFF;\nSDR 8 TDI (5A);\n"
                                   "TRST Z;\nSIR 4 TDI (C);\nTRST ON;\nTRST Z;\nTRST OFF;\nSDR 8 TDI (A5);\n");
    files.emplace_back("gen_trst_absent", "TRST ABSENT;\nSIR 4 TDI (3);\nSDR 8 TDI (5A);\n");

    files.emplace_back(
        "gen_runtest",
        "STATE IDLE;\nSIR 5 TDI (11);\nRUNTEST 100 TCK;\nSDR 9 TDI (1FF);\nRUNTEST IDLE 20 TCK ENDSTATE DRPAUSE;\n"
        "SDR 9 TDI (0AA);\nRUNTEST DRPAUSE 30 TCK;\nRUNTEST 5 TCK;\nSIR 5 TDI (07);\nRUNTEST IRPAUSE 12 TCK "
        "ENDSTATE IDLE;\nSDR 9 TDI (155);\nRUNTEST IDLE 3 TCK ENDSTATE RESET;\nSIR 5 TDI (1E);\n"
        "RUNTEST RESET 4 TCK ENDSTATE IDLE;\nSDR 9 TDI (100);\nSIR 5 TDI (01);\n"
        "RUNTEST IDLE 1E2 TCK;\nSDR 9 TDI (003);\n");

    // Seeded files in the narrow dialect that svf2qsvf96 reads too.
    for (uint32_t seed : {3u, 8u, 21u})
        files.emplace_back("gen_earlier_" + std::to_string(seed), generateSvf(seed, SvfDialect::Earlier));

    files.emplace_back("gen_times",
                       "FREQUENCY 1E6 HZ;\nSTATE IDLE;\nSIR 5 TDI (11);\nRUNTEST 2 TCK 1.0E-3 SEC;\nSDR 9 TDI (1FF);\n"
                       "RUNTEST 2E-3 SEC;\nSIR 5 TDI (04);\nFREQUENCY 2E5 HZ;\nRUNTEST IDLE 10 TCK 1E-3 SEC MAXIMUM 1 "
                       "SEC;\nSDR 9 TDI (0F0);\nFREQUENCY;\nRUNTEST 5E-4 SEC ENDSTATE IDLE;\nSIR 5 TDI (1B);\n"
                       "FREQUENCY 5E5 HZ;\nRUNTEST DRPAUSE 3 TCK 2E-4 SEC ENDSTATE IDLE;\nSDR 9 TDI (00F);\n");
    return files;
}

std::vector<SvfFile> allFiles() {
    std::vector<SvfFile> files;
    // The corpus files, or the placeholder that skips for them.
    for (const fs::path &path : qsvftest::corpusFilesOrPlaceholder())
        files.push_back({path.empty() ? "corpus_absent" : path.stem().string(), path, {}});
    std::vector<fs::path> examples;
    for (const auto &entry : fs::directory_iterator(QSVF_EXAMPLES_DIR))
        if (entry.path().extension() == ".svf") examples.push_back(entry.path());
    std::sort(examples.begin(), examples.end());
    for (const fs::path &path : examples) files.push_back({path.stem().string(), path, {}});
    for (const auto &[name, text] : generatedFiles()) files.push_back({name, workPath() / (name + ".svf"), text});
    for (SvfFile &file : files)
        for (char &ch : file.name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return files;
}

const std::vector<SvfFile> &files() {
    static const std::vector<SvfFile> list = allFiles();
    return list;
}

// OpenOCD's recording of each file, made once.
struct Reference {
    FileDemands demands;
    fs::path record;
};

// What the file asks, read once (a generated file is written first).
const FileDemands &demands(const SvfFile &file) {
    static std::map<std::string, FileDemands> read;
    auto found = read.find(file.name);
    if (found != read.end()) return found->second;
    if (!file.text.empty()) std::ofstream(workFolder() / file.path.filename()) << file.text;
    return read.emplace(file.name, readDemands(file.path, file.name)).first->second;
}

const Reference &reference(const SvfFile &file) {
    static std::map<std::string, Reference> made;
    auto found = made.find(file.name);
    if (found != made.end()) return found->second;
    Reference ref{demands(file), workFolder() / (file.name + ".openocd.rec")};
    playWithOpenOcd({file.path}, ref.demands.answers, ref.record);
    return made.emplace(file.name, ref).first->second;
}

std::string testName(const ::testing::TestParamInfo<SvfFile> &info) { return info.param.name; }

// ---------------------------------------------------------------- OpenOCD

class OpenOcd : public ::testing::TestWithParam<SvfFile> {};

// OpenOCD plays the file to its end with every TDO check passed, twice
// alike; and the comparison finds one changed TDI bit, one clock too few in
// a wait and another rest state in the second recording.
TEST_P(OpenOcd, PlaysTheFileAndTheComparisonFindsChanges) {
    const SvfFile &file = GetParam();
    QSVF_SKIP_PLACEHOLDER(file.path);
    const Reference &ref = reference(file);
    if (HasFailure()) return;
    const fs::path again = workFolder() / (file.name + ".openocd2.rec");
    playWithOpenOcd({file.path}, ref.demands.answers, again);
    const tapsim::Recording first = read(ref.record, true), second = read(again, true);
    ASSERT_GT(first.steps.size(), 0u);
    EXPECT_EQ(joined(tapsim::compareRecordings(first, second)), "");

    // The changes, one at a time, each in a copy of the second recording.
    struct Change {
        const char *what;
        bool (*apply)(tapsim::Step &step);
    };
    static const Change changes[] = {
        {"one TDI bit",
         [](tapsim::Step &step) {
             if (step.kind != tapsim::Step::Kind::Scan) return false;
             step.tdi.back() = !step.tdi.back();
             return true;
         }},
        {"one clock too few",
         [](tapsim::Step &step) {
             if (step.kind != tapsim::Step::Kind::Rest || step.state == "RESET" || step.clocks == 0) return false;
             --step.clocks;
             return true;
         }},
        {"another rest state",
         [](tapsim::Step &step) {
             if (step.kind != tapsim::Step::Kind::Rest) return false;
             step.state = step.state == "IDLE" ? "DRPAUSE" : "IDLE";
             return true;
         }},
    };
    for (const Change &change : changes) {
        // The last step the change applies to (the first is often the same
        // in every file).
        tapsim::Step step;
        size_t at = second.steps.size();
        while (at-- > 0 && !change.apply(step = second.steps[at])) {
        }
        if (at >= second.steps.size()) continue;
        tapsim::Recording changed = second;
        changed.steps[at] = step;
        EXPECT_NE(joined(tapsim::compareRecordings(first, changed)), "")
            << change.what << " at line " << step.line << " not found";
    }
    // OpenOCD played every scan of the file (scans shifted on from a pause
    // count one each).
    EXPECT_EQ(first.segments, ref.demands.waits.size());
}

// OpenOCD sleeps for a minimum time instead of clocking (exception
// HostSleep), so its own recording of the example falls short of the clocks
// the file asks: RUNTEST IDLE 3 TCK 1.00E-02 SEC at FREQUENCY 1.00E+06 HZ is
// 10000 clocks after the SIR E8, the third scan.
TEST(OpenOcdWaits, AWaitWithoutItsTimeIsFound) {
    const SvfFile *blink = nullptr;
    for (const SvfFile &file : files())
        if (file.name == "blink") blink = &file;
    ASSERT_NE(blink, nullptr);
    const Reference &ref = reference(*blink);
    if (HasFailure()) return;
    const std::string found =
        joined(tapsim::compareRecordings(read(ref.record, true), read(ref.record, true), ref.demands.waits));
    EXPECT_NE(found.find("after scan 3: 3 clocks, the file asks 10000"), std::string::npos) << found;
}

INSTANTIATE_TEST_SUITE_P(Files, OpenOcd, ::testing::ValuesIn(files()), testName);

// ---------------------------------------------------------------- qsvfplay

#ifdef QSVFPLAY
struct Translation {
    const char *name;
    bool earlier;  // svf2qsvf96, which reads only its own narrow dialect
    std::vector<std::string> options;
};

const Translation kTranslations[] = {
    {"plain", false, {}},
    {"fpga", false, {"-fpga"}},
    {"fpga_rlen64", false, {"-fpga", "-rlen", "64"}},
    {"v2", false, {"-v2"}},
    {"inorder", false, {"-inorder"}},
    {"qwait", false, {"-qwait"}},
    {"extensions", false, {"-extensions"}},
    {"extensions_qwait", false, {"-extensions", "-qwait"}},
    {"earlier", true, {}},
    {"earlier_fpga", true, {"-fpga"}},
};

// Translations that are known to rest or wait elsewhere than the SVF asks,
// because their options leave out what the SVF needs (the translator warns
// about each): not OpenOCD's departures, but the limits of the older
// players' modes.  Each pair must still differ, so that the table cannot go
// stale; every pair not listed must agree.
struct ModeLimit {
    const char *file, *translation, *why;
};
const ModeLimit kModeLimits[] = {
    {"gen_trst", "plain", "the format has no TRST record"},
    {"gen_trst", "fpga", "the format has no TRST record"},
    {"gen_trst", "fpga_rlen64", "the format has no TRST record"},
    {"gen_trst", "v2", "the format has no TRST record"},
    {"gen_trst", "inorder", "the format has no TRST record"},
    {"gen_trst", "qwait", "the format has no TRST record"},
    {"gen_trst", "extensions", "the format has no TRST record"},
    {"gen_trst", "extensions_qwait", "the format has no TRST record"},
    {"gen_end_states", "plain", "end states other than IDLE are dropped without -extensions"},
    {"gen_end_states", "fpga", "end states other than IDLE are dropped without -extensions"},
    {"gen_end_states", "fpga_rlen64", "end states other than IDLE are dropped without -extensions"},
    {"gen_end_states", "v2", "end states other than IDLE are dropped without -extensions"},
    {"gen_end_states", "inorder", "end states other than IDLE are dropped without -extensions"},
    {"gen_end_states", "qwait", "end states other than IDLE are dropped without -extensions"},
    {"gen_end_states", "extensions", "QENDIR and QENDDR carry only their own register's pause state: ENDIR DRPAUSE and ENDDR IRPAUSE are lost"},
    {"gen_end_states", "extensions_qwait", "QENDIR and QENDDR carry only their own register's pause state: ENDIR DRPAUSE and ENDDR IRPAUSE are lost"},
    {"gen_state_moves", "plain", "without -extensions only the steps into RESET and IDLE of a STATE are written"},
    {"gen_state_moves", "fpga", "without -extensions only the steps into RESET and IDLE of a STATE are written"},
    {"gen_state_moves", "fpga_rlen64", "without -extensions only the steps into RESET and IDLE of a STATE are written"},
    {"gen_state_moves", "inorder", "without -extensions only the steps into RESET and IDLE of a STATE are written"},
    {"gen_state_moves", "qwait", "without -extensions only the steps into RESET and IDLE of a STATE are written"},
    {"gen_state_moves", "v2", "-v2 writes no STATE"},
    {"gen_runtest", "plain", "QRUNTEST carries no run state: without -qwait a wait is clocked in IDLE"},
    {"gen_runtest", "fpga", "QRUNTEST carries no run state: without -qwait a wait is clocked in IDLE"},
    {"gen_runtest", "fpga_rlen64", "QRUNTEST carries no run state: without -qwait a wait is clocked in IDLE"},
    {"gen_runtest", "v2", "QRUNTEST carries no run state: without -qwait a wait is clocked in IDLE"},
    {"gen_runtest", "inorder", "QRUNTEST carries no run state: without -qwait a wait is clocked in IDLE"},
    {"gen_runtest", "extensions", "QRUNTEST carries no run state: without -qwait a wait is clocked in IDLE"},
    {"gen_times", "v2", "-v2 writes no STATE (the DRPAUSE wait of a RUNTEST is clocked in IDLE)"},
    {"gen_times", "plain", "QRUNTEST carries no run state: without -qwait the DRPAUSE wait of the RUNTEST after FREQUENCY is clocked in IDLE"},
    {"gen_times", "fpga", "QRUNTEST carries no run state: without -qwait the DRPAUSE wait of the RUNTEST after FREQUENCY is clocked in IDLE"},
    {"gen_times", "fpga_rlen64", "QRUNTEST carries no run state: without -qwait the DRPAUSE wait of the RUNTEST after FREQUENCY is clocked in IDLE"},
    {"gen_times", "inorder", "QRUNTEST carries no run state: without -qwait the DRPAUSE wait of the RUNTEST after FREQUENCY is clocked in IDLE"},
    {"gen_times", "extensions", "QRUNTEST carries no run state: without -qwait the DRPAUSE wait of the RUNTEST after FREQUENCY is clocked in IDLE"},
    {"fpga_load", "v2", "-v2 writes no STATE (the closing STATE RESET is dropped)"},
    {"gen_earlier_21", "v2", "-v2 writes no STATE"},
    {"gen_earlier_21", "earlier", "svf2qsvf96 ignores STATE: the STATE IDLE in IDLE of line 9, one TMS-low clock for OpenOCD and svf2qsvf, gives none"},
    {"gen_earlier_21", "earlier_fpga", "svf2qsvf96 ignores STATE: the STATE IDLE in IDLE of line 9, one TMS-low clock for OpenOCD and svf2qsvf, gives none"},
    {"fpga_b_spi_flash_program", "plain", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_spi_flash_program", "fpga", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_spi_flash_program", "fpga_rlen64", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_spi_flash_program", "v2", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_spi_flash_program", "inorder", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_large", "plain", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_large", "fpga", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_large", "fpga_rlen64", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_large", "v2", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_large", "inorder", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_large", "qwait", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_large", "extensions", "an SDR directly after a RUNTEST keeps the RUNTEST's QRUNTEST count: after the first piece of the long SDR the player clocks it in IDLE and starts a new scan where the SVF shifts on from DRPAUSE"},
    {"fpga_b_sram_load_split_hex", "plain", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_split_hex", "fpga", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_split_hex", "fpga_rlen64", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_split_hex", "v2", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_split_hex", "inorder", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_split_hex", "qwait", "end states other than IDLE are dropped without -extensions"},
    {"fpga_b_sram_load_split_hex", "extensions", "an SDR directly after a RUNTEST keeps the RUNTEST's QRUNTEST count: after the first piece of the long SDR the player clocks it in IDLE and starts a new scan where the SVF shifts on from DRPAUSE"},
    {"fpga_b_spi_flash_program", "extensions", "QRUNTEST carries no run state: without -qwait a wait is clocked in IDLE"},
};

const ModeLimit *modeLimit(const std::string &file, const std::string &translation) {
    for (const ModeLimit &limit : kModeLimits)
        if (file == limit.file && translation == limit.translation) return &limit;
    return nullptr;
}

// Plays a stream with qsvfplay onto a TAP or a chain; the recording's file.
fs::path playWithQsvfplay(const fs::path &stream, const fs::path &answers, const std::vector<unsigned> &chain = {}) {
    const fs::path record = stream.string() + ".rec";
    TapServer server(record, answers, false, chain);
    EXPECT_FALSE(server.port().empty()) << server.log();
    if (server.port().empty()) return record;
    const fs::path log = stream.string() + ".play";
    const int status =
        runProgram({QSVFPLAY, "--remote-bitbang", "127.0.0.1:" + server.port(), stream.string()}, log);
    EXPECT_EQ(status, 0) << readText(log);
    EXPECT_EQ(server.wait(10), 0) << server.log();
    return record;
}

// Plays a stream with qsvfplay; the differences of the TAP's recording from
// OpenOCD's, empty when they agree.
std::string playAndCompare(const fs::path &stream, const fs::path &answers, const tapsim::Recording &want,
                           const std::vector<tapsim::Wait> &waits) {
    return joined(tapsim::compareRecordings(want, read(playWithQsvfplay(stream, answers), false), waits));
}

// Translates the file (with the options of the translation and `more`);
// false, with a failure, when the translator fails.
bool translate(const SvfFile &file, const Translation &translation, const std::vector<std::string> &more,
               const fs::path &stream) {
    std::vector<std::string> args = {translation.earlier ? SVF2QSVF96 : SVF2QSVF};
    if (!translation.earlier) args.push_back("-w");
    args.insert(args.end(), translation.options.begin(), translation.options.end());
    args.insert(args.end(), more.begin(), more.end());
    if (translation.earlier)
        args.insert(args.end(), {file.path.string(), stream.string()});
    else
        args.insert(args.end(), {"-i", file.path.string(), "-o", stream.string()});
    const fs::path log = stream.string() + ".log";
    if (runProgram(args, log) == 0 && readText(log).find("ERROR") == std::string::npos) return true;
    ADD_FAILURE() << "translation failed:\n" << readText(log);
    return false;
}

class Qsvfplay : public ::testing::TestWithParam<SvfFile> {};

TEST_P(Qsvfplay, EveryTranslationDoesWhatOpenOcdDoes) {
    const SvfFile &file = GetParam();
    QSVF_SKIP_PLACEHOLDER(file.path);
    const Reference &ref = reference(file);
    if (HasFailure()) return;
    const tapsim::Recording want = read(ref.record, true);
    const bool earlierDialect = file.name.rfind("gen_earlier_", 0) == 0;
    for (const Translation &translation : kTranslations) {
        if (translation.earlier && !earlierDialect) continue;
        SCOPED_TRACE(translation.name);
        const fs::path stream = workFolder() / (file.name + "." + translation.name + ".qsvf");
        if (!translate(file, translation, {}, stream)) continue;
        const std::string differences = playAndCompare(stream, ref.demands.answers, want, ref.demands.waits);
        std::cout << "[ result ] " << file.name << " " << translation.name << ": "
                  << (differences.empty() ? "agrees" : "differs") << '\n';
        if (const ModeLimit *limit = modeLimit(file.name, translation.name))
            EXPECT_NE(differences, "") << "agrees now, although listed as a mode limit (" << limit->why
                                       << "): take it out of the table";
        else
            EXPECT_EQ(differences, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Qsvfplay, ::testing::ValuesIn(files()), testName);

// ---------------------------------------------------------------- chains
//
// A file for one device placed in a chain: OpenOCD declares the chain with
// `jtag newtap` and plays `svf FILE -tap` for the file's device, which pads
// every scan for the other devices; qsvfplay plays svf2qsvf's `-chain
// -target` translation of the file onto the same chain.  The two recordings
// must agree at the pins and as each device saw them, and OpenOCD's must show
// the placement: the file's device sees what it sees alone on the chain, and
// every other device is in BYPASS at each data scan.

// The IR lengths of the other devices, from TDO, and the place of the file's
// own device among them; its IR length is that of the file's instruction
// scans (the shortest when they differ, 8 for a file without any).
struct Placement {
    const char *name;
    std::vector<unsigned> others;
    unsigned target;
};
const Placement kPlacements[] = {
    {"alone", {}, 1},    {"first_of_3", {8, 10}, 1}, {"second_of_3", {5, 10}, 2},
    {"third_of_3", {5, 8}, 3}, {"behind_300", {300}, 2},
};

// The translations each placement is played in.
const char *const kChainTranslations[] = {"plain", "fpga_rlen64", "v2", "qwait", "extensions_qwait"};

// Files that no device of one IR length takes as they are: OpenOCD's play
// of each placement on more than one device must show it (so that the table
// cannot go stale); every other file's placements must fit.
struct ChainMisfit {
    const char *file, *why;
};
const ChainMisfit kChainMisfits[] = {
    {"gen_state_moves", "moves from IRPAUSE pass Update-IR without a shift after Capture-IR: every device takes "
                        "the instruction it captured (0...01), out of BYPASS, before the data scans that follow"},
    {"gen_runtest", "RUNTEST IRPAUSE ... ENDSTATE IDLE passes Capture-IR and Update-IR: every device takes the "
                    "instruction it captured (0...01), out of BYPASS"},
    {"gen_earlier_21", "instruction scans of 10 and 32 bits"},
    {"fpga_b_sram_load_large", "one data scan written as SDRs that shift on from DRPAUSE: each SDR is padded, so "
                               "the other devices' bits land between its pieces in the device's register"},
    {"fpga_b_sram_load_split_hex", "one data scan written as SDRs that shift on from DRPAUSE: each SDR is padded, "
                                   "so the other devices' bits land between its pieces in the device's register"},
};

const ChainMisfit *chainMisfit(const std::string &file) {
    for (const ChainMisfit &misfit : kChainMisfits)
        if (file == misfit.file) return &misfit;
    return nullptr;
}

std::vector<unsigned> chainOf(const Placement &placement, unsigned fileIrLength) {
    std::vector<unsigned> lengths = placement.others;
    lengths.insert(lengths.begin() + placement.target - 1, fileIrLength);
    return lengths;
}

// The file's TDO answers placed on the chain: the other devices' bits (0,
// not compared by either player) around the file's.
fs::path placedAnswers(const fs::path &answers, const std::vector<unsigned> &chain, unsigned target,
                       const fs::path &placed) {
    std::ifstream in(answers);
    std::ofstream out(placed);
    size_t headerIr = 0, trailerIr = 0;
    for (size_t i = 0; i < chain.size(); ++i)
        (i + 1 < target ? headerIr : trailerIr) += i + 1 == target ? 0 : chain[i];
    const size_t headerDr = target - 1, trailerDr = chain.size() - target;
    std::string kind, hex;
    for (uint64_t length; in >> kind >> length >> hex;) {
        std::vector<bool> bits;
        EXPECT_TRUE(tapsim::hexToBits(hex, length, bits)) << answers;
        const bool ir = kind == "IR";
        bits.insert(bits.begin(), ir ? headerIr : headerDr, false);
        bits.insert(bits.end(), ir ? trailerIr : trailerDr, false);
        out << kind << ' ' << bits.size() << ' ' << tapsim::bitsToHex(bits) << '\n';
    }
    return placed;
}

// Each device's view of a chain recording, the device at TDO first.
std::vector<tapsim::Recording> deviceViews(const fs::path &record, bool fromOpenOcd, size_t devices) {
    std::vector<tapsim::Recording> views;
    for (unsigned d = 1; d <= devices; ++d) views.push_back(read(record, fromOpenOcd, d));
    return views;
}

// How a chain recording (each device's view) falls short of the file placed
// on its target: the target must see what the file's device alone on the
// chain sees, and every other device only all-ones instructions (BYPASS) and
// one-bit data scans.
std::string placementFaults(const std::vector<tapsim::Recording> &views, unsigned target,
                            const tapsim::Recording &alone) {
    std::string faults = joined(tapsim::compareRecordings(alone, views[target - 1]));
    for (unsigned d = 1; d <= views.size(); ++d) {
        if (d == target) continue;
        for (const tapsim::Step &step : views[d - 1].steps) {
            if (step.kind != tapsim::Step::Kind::Scan ||
                (step.instruction ? std::find(step.tdi.begin(), step.tdi.end(), false) == step.tdi.end()
                                  : step.length == 1))
                continue;
            faults += "device " + std::to_string(d) + " line " + std::to_string(step.line) + ": " +
                      (step.instruction ? "instruction " + tapsim::bitsToHex(step.tdi) + ", not BYPASS"
                                        : "a data scan of " + std::to_string(step.length) + " bits") +
                      "\n";
            break;
        }
    }
    return faults;
}

class ChainedQsvfplay : public ::testing::TestWithParam<SvfFile> {};

TEST_P(ChainedQsvfplay, EveryPlacementDoesWhatOpenOcdSvfTapDoes) {
    const SvfFile &file = GetParam();
    QSVF_SKIP_PLACEHOLDER(file.path);
    const FileDemands &asked = demands(file);
    const unsigned irLength = asked.irLengths.empty() ? 8 : static_cast<unsigned>(*asked.irLengths.begin());
    const ChainMisfit *misfit = chainMisfit(file.name);
    tapsim::Recording alone;
    std::string misfitShown;
    for (const Placement &placement : kPlacements) {
        SCOPED_TRACE(placement.name);
        const std::vector<unsigned> chain = chainOf(placement, irLength);
        const std::string place = file.name + "." + placement.name;
        const fs::path answers =
            placedAnswers(asked.answers, chain, placement.target, workFolder() / (place + ".answers"));
        const fs::path openOcdRecord = workFolder() / (place + ".openocd.rec");
        if (!playWithOpenOcd({file.path}, answers, openOcdRecord, {chain, {placement.target}})) return;
        const std::vector<tapsim::Recording> views = deviceViews(openOcdRecord, true, chain.size());
        if (chain.size() == 1) {
            alone = views[0];
        } else {
            const std::string faults = placementFaults(views, placement.target, alone);
            if (misfit)
                misfitShown += faults;
            else
                EXPECT_EQ(faults, "") << "OpenOCD's svf -tap did not place the file on device " << placement.target;
        }
        const tapsim::Recording want = read(openOcdRecord, true);
        for (const Translation &translation : kTranslations) {
            if (std::find_if(std::begin(kChainTranslations), std::end(kChainTranslations), [&](const char *name) {
                    return std::string(name) == translation.name;
                }) == std::end(kChainTranslations))
                continue;
            SCOPED_TRACE(translation.name);
            const fs::path stream = workFolder() / (place + "." + translation.name + ".qsvf");
            if (!translate(file, translation,
                           {"-chain", lengthList(chain), "-target", std::to_string(placement.target)}, stream))
                continue;
            const fs::path record = playWithQsvfplay(stream, answers, chain);
            std::string differences = joined(tapsim::compareRecordings(want, read(record, false), asked.waits));
            for (unsigned d = 1; d <= chain.size() && differences.empty(); ++d)
                differences = joined(tapsim::compareRecordings(views[d - 1], read(record, false, d)));
            std::cout << "[ result ] chain " << file.name << " " << placement.name << " " << translation.name << ": "
                      << (differences.empty() ? "agrees" : "differs") << '\n';
            if (const ModeLimit *limit = modeLimit(file.name, translation.name))
                EXPECT_NE(differences, "") << "agrees now, although listed as a mode limit (" << limit->why
                                           << "): take it out of the table";
            else
                EXPECT_EQ(differences, "");
        }
    }
    if (misfit) {
        EXPECT_NE(misfitShown, "") << "every placement fits, although listed as a misfit (" << misfit->why
                                   << "): take it out of the table";
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ChainedQsvfplay, ::testing::ValuesIn(files()), testName);

// A stream for another place on the chain, or for no chain, is found: at the
// pins and by the placement check, which take qsvfplay's recording of it for
// OpenOCD's.  The streams compare no TDO (-s), so that they play to the end.
TEST(ChainedQsvfplayFaults, AStreamForAnotherPlaceDiffers) {
    const SvfFile *blink = nullptr;
    for (const SvfFile &file : files())
        if (file.name == "blink") blink = &file;
    ASSERT_NE(blink, nullptr);
    const std::vector<unsigned> chain = {5, 8, 10};
    const fs::path answers = placedAnswers(demands(*blink).answers, chain, 2, workFolder() / "misplaced.answers");
    const fs::path openOcdRecord = workFolder() / "misplaced.openocd.rec";
    playWithOpenOcd({blink->path}, answers, openOcdRecord, {chain, {2}});
    if (HasFailure()) return;
    const tapsim::Recording want = read(openOcdRecord, true), targetView = read(openOcdRecord, true, 2);
    EXPECT_EQ(placementFaults(deviceViews(openOcdRecord, true, chain.size()), 2, targetView), "");
    const Translation &plain = kTranslations[0];
    for (const std::vector<std::string> &place :
         {std::vector<std::string>{"-s", "-chain", "5,8,10", "-target", "3"}, std::vector<std::string>{"-s"}}) {
        const fs::path stream = workFolder() / ("misplaced" + std::to_string(place.size()) + ".qsvf");
        if (!translate(*blink, plain, place, stream)) continue;
        const fs::path record = playWithQsvfplay(stream, answers, chain);
        EXPECT_NE(joined(tapsim::compareRecordings(want, read(record, false))), "") << stream;
        EXPECT_NE(placementFaults(deviceViews(record, false, chain.size()), 2, targetView), "") << stream;
    }
}

// A merge of the two examples against OpenOCD playing both in one session:
// on one TAP, and on a chain of IR lengths 5, 8 and 10 with blink (8-bit
// instructions) for the second device and fpga_load (10-bit) for the third,
// each file with its own -tap.  The merged chain stream also plays through
// qsvfplay's simulated chain, where it addresses one device at a time.
TEST(QsvfplayMerge, TheMergedExamplesDoWhatOpenOcdDoes) {
    const fs::path a = fs::path(QSVF_EXAMPLES_DIR) / "blink.svf", b = fs::path(QSVF_EXAMPLES_DIR) / "fpga_load.svf";
    const fs::path work = workFolder();
    for (const OpenOcdChain &chain : {OpenOcdChain{}, OpenOcdChain{{5, 8, 10}, {2, 3}}}) {
        const std::string name = chain.lengths.empty() ? "merge" : "merge_chain";
        SCOPED_TRACE(name);
        FileDemands first = readDemands(a, name + "_a"), second = readDemands(b, name + "_b");
        if (!chain.lengths.empty()) {
            first.answers = placedAnswers(first.answers, chain.lengths, 2, work / (name + "_a.placed"));
            second.answers = placedAnswers(second.answers, chain.lengths, 3, work / (name + "_b.placed"));
        }
        const fs::path answers = work / (name + ".answers");
        std::ofstream(answers) << readText(first.answers) << readText(second.answers);
        const fs::path record = work / (name + ".openocd.rec");
        playWithOpenOcd({a, b}, answers, record, chain);
        if (HasFailure()) return;
        std::vector<std::string> args = {MERGEQSVF, "-d", "-o", (work / (name + ".qsvf")).string()};
        for (size_t i = 0; i < 2; ++i) {
            const fs::path svf = i == 0 ? a : b, stream = work / (name + "_" + svf.stem().string() + ".qsvf");
            std::vector<std::string> translate = {SVF2QSVF, "-w", "-i", svf.string(), "-o", stream.string()};
            if (!chain.lengths.empty())
                translate.insert(translate.end(),
                                 {"-chain", lengthList(chain.lengths), "-target", std::to_string(chain.targets[i])});
            ASSERT_EQ(runProgram(translate, work / "merge.log"), 0) << readText(work / "merge.log");
            args.insert(args.end(), {"-i", stream.string()});
        }
        const fs::path merged = work / (name + ".qsvf");
        ASSERT_EQ(runProgram(args, work / "merge.log"), 0);
        first.waits.insert(first.waits.end(), second.waits.begin(), second.waits.end());
        // The merged stream resets the TAP between the files (QSTATE
        // Test-Logic-Reset, QSTATE Run-Test/Idle) before the second file's own
        // STATE RESET: one Test-Logic-Reset and Run-Test/Idle more than OpenOCD
        // plays, and no other difference, at the pins and for each device.
        const fs::path played = playWithQsvfplay(merged, answers, chain.lengths);
        for (unsigned device = 0; device <= chain.lengths.size(); ++device) {
            const std::string differences = joined(tapsim::compareRecordings(
                read(record, true, device), read(played, false, device), device == 0 ? first.waits : std::vector<tapsim::Wait>{}));
            EXPECT_NE(differences.find("rest in RESET (0 clocks), rest in IDLE (0 clocks), rest in RESET (0 clocks), "
                                       "rest in IDLE (0 clocks), OpenOCD: rest in IDLE (5001 clocks), rest in RESET "
                                       "(11 clocks), rest in IDLE (0 clocks)"),
                      std::string::npos)
                << "device " << device << ":\n" << differences;
            EXPECT_EQ(std::count(differences.begin(), differences.end(), '\n'), 1) << differences;
        }
        if (chain.lengths.empty()) continue;
        EXPECT_EQ(runProgram({QSVFPLAY, "--chain", "5,8,10", merged.string()}, work / "merge.log"), 0)
            << readText(work / "merge.log");
        EXPECT_EQ(runProgram({QSVFPLAY, "--chain", "5,8,10", "--target", "2", merged.string()}, work / "merge.log"), 1)
            << readText(work / "merge.log");
    }
}
#endif

}  // namespace

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
    }
    waitedInReset(reader.tail());
    return demands;
}

// The TAP, serving one client.
class TapServer {
public:
    TapServer(const fs::path &record, const fs::path &answers, bool setUpFirst) : m_log(record.string() + ".server") {
        std::vector<std::string> args = {TAP_SERVER, "--port", "0", "--record", record.string(), "--timeout", "60"};
        if (!answers.empty()) args.insert(args.end(), {"--answers", answers.string()});
        if (setUpFirst) args.push_back("--setup-until-srst");
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

// OpenOCD plays the files one after the other (more than one: the parts of a
// merge) in one session; the recording is left in `record`.
void playWithOpenOcd(const std::vector<fs::path> &svfs, const fs::path &answers, const fs::path &record) {
    TapServer server(record, answers, true);
    ASSERT_FALSE(server.port().empty()) << server.log();
    const fs::path config = workFolder() / "remote_bitbang.cfg";
    if (!fs::exists(config)) {
        // Scans of svf are plain scans of the whole chain, so one TAP of any
        // instruction length serves every file; tap_server's chain has 8.
        std::ofstream(config) << "adapter driver remote_bitbang\nremote_bitbang host 127.0.0.1\n"
                                 "transport select jtag\nreset_config trst_and_srst separate\n"
                                 "jtag newtap sim tap -irlen 8\n";
    }
    // Exception InitProbe: SRST marks the end of init.
    std::string commands = "init; adapter assert srst; adapter deassert srst";
    for (const fs::path &svf : svfs) commands += "; svf -quiet " + svf.string();
    commands += "; shutdown";
    const fs::path log = record.string() + ".openocd";
    const int status =
        runProgram({OPENOCD, "-f", config.string(), "-c", "remote_bitbang port " + server.port(), "-c", commands}, log);
    const int served = server.wait(10);
    const std::string output = readText(log);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(served, 0) << server.log();
    // Quiet, a run reports only its failures.
    size_t played = 0;
    for (size_t at = output.find("svf processing file"); at != std::string::npos;
         at = output.find("svf processing file", at + 1))
        ++played;
    EXPECT_EQ(played, svfs.size()) << output;
    EXPECT_EQ(output.find("svf file programmed failed"), std::string::npos) << output;
    EXPECT_EQ(output.find("tdo check error"), std::string::npos) << output;
}

tapsim::Recording read(const fs::path &file, bool fromOpenOcd) {
    tapsim::Recording recording;
    std::string error;
    EXPECT_TRUE(tapsim::readRecording(file.string(), fromOpenOcd, recording, error)) << error;
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

const Reference &reference(const SvfFile &file) {
    static std::map<std::string, Reference> made;
    auto found = made.find(file.name);
    if (found != made.end()) return found->second;
    if (!file.text.empty()) std::ofstream(workFolder() / file.path.filename()) << file.text;
    Reference ref{readDemands(file.path, file.name), workFolder() / (file.name + ".openocd.rec")};
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

// Plays a stream with qsvfplay; the differences of the TAP's recording from
// OpenOCD's, empty when they agree.
std::string playAndCompare(const fs::path &stream, const fs::path &answers, const tapsim::Recording &want,
                           const std::vector<tapsim::Wait> &waits) {
    const fs::path record = stream.string() + ".rec";
    TapServer server(record, answers, false);
    EXPECT_FALSE(server.port().empty()) << server.log();
    if (server.port().empty()) return "no server";
    const fs::path log = stream.string() + ".play";
    const int status =
        runProgram({QSVFPLAY, "--remote-bitbang", "127.0.0.1:" + server.port(), stream.string()}, log);
    EXPECT_EQ(status, 0) << readText(log);
    EXPECT_EQ(server.wait(10), 0) << server.log();
    return joined(tapsim::compareRecordings(want, read(record, false), waits));
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
        std::vector<std::string> args = {translation.earlier ? SVF2QSVF96 : SVF2QSVF};
        if (!translation.earlier) args.push_back("-w");
        args.insert(args.end(), translation.options.begin(), translation.options.end());
        if (translation.earlier)
            args.insert(args.end(), {file.path.string(), stream.string()});
        else
            args.insert(args.end(), {"-i", file.path.string(), "-o", stream.string()});
        const fs::path log = stream.string() + ".log";
        if (runProgram(args, log) != 0 || readText(log).find("ERROR") != std::string::npos) {
            ADD_FAILURE() << "translation failed:\n" << readText(log);
            continue;
        }
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

// A merge of the two examples against OpenOCD playing both in one session.
TEST(QsvfplayMerge, TheMergedExamplesDoWhatOpenOcdDoes) {
    const fs::path a = fs::path(QSVF_EXAMPLES_DIR) / "blink.svf", b = fs::path(QSVF_EXAMPLES_DIR) / "fpga_load.svf";
    const fs::path work = workFolder();
    FileDemands first = readDemands(a, "merge_a"), second = readDemands(b, "merge_b");
    const fs::path answers = work / "merge.answers";
    std::ofstream(answers) << readText(first.answers) << readText(second.answers);
    const fs::path record = work / "merge.openocd.rec";
    playWithOpenOcd({a, b}, answers, record);
    if (HasFailure()) return;
    for (const fs::path &svf : {a, b})
        ASSERT_EQ(runProgram({SVF2QSVF, "-w", "-i", svf.string(), "-o", (work / svf.filename()).string() + ".qsvf"},
                             work / "merge.log"),
                  0);
    const fs::path merged = work / "merged.qsvf";
    ASSERT_EQ(runProgram({MERGEQSVF, "-d", "-o", merged.string(), "-i", (work / "blink.svf.qsvf").string(), "-i",
                          (work / "fpga_load.svf.qsvf").string()},
                         work / "merge.log"),
              0);
    first.waits.insert(first.waits.end(), second.waits.begin(), second.waits.end());
    // The merged stream resets the TAP between the files (QSTATE
    // Test-Logic-Reset, QSTATE Run-Test/Idle) before the second file's own
    // STATE RESET: one Test-Logic-Reset and Run-Test/Idle more than OpenOCD
    // plays, and no other difference.
    const std::string differences = playAndCompare(merged, answers, read(record, true), first.waits);
    EXPECT_NE(differences.find("rest in IDLE (5001 clocks), rest in RESET (0 clocks), rest in IDLE (0 clocks), rest in "
                               "RESET (0 clocks), rest in IDLE (0 clocks), OpenOCD: rest in IDLE (5001 clocks), rest "
                               "in RESET (11 clocks), rest in IDLE (0 clocks)"),
              std::string::npos)
        << differences;
    EXPECT_EQ(std::count(differences.begin(), differences.end(), '\n'), 1) << differences;
}
#endif

}  // namespace

// The player library on the processors it is written for, in simulation:
// the AVR example firmware (player/examples/avr) in simavr, whose VCD of the
// port pins is the record; the Cortex-M example (player/examples/cortex-m)
// for the M0 and the M3 in qemu-system-arm with a pin layer that logs every
// clock through semihosting; and a big-endian s390x program under
// qemu-user.  Every stream is first played by the host qsvfplay into its
// simulated chain with a VCD: the TDO of each clock in it is played back
// to the target, and the target's TMS and TDI, clock by clock, and its end
// code must be the host's.  Planted faults show that each comparison sees
// a difference, among them two that only a target can show: a wait count
// held in 16 bits and an integer read through the bytes of a uint32_t.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "svf_generator.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

// What one play did: one character per clock ('0' + 2 TMS + TDI), the TDO
// of each clock where the host gave it, and the end: the host's exit
// status, or a target's end code (qsvfplay.h), -1 when there is none.
struct Play {
    std::string pins, tdo;
    int end = -1;
};

// Runs a program in `folder` with its output in folder/output.txt; returns
// its exit status, -1 when it did not exit normally.  The environment is
// the test's but for make's own variables.
int runIn(const fs::path &folder, const std::vector<std::string> &args) {
    const std::string output = (folder / "output.txt").string();
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0 || chdir(folder.c_str()) != 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        // A firmware build is a make of its own, not a job of a make that
        // runs the tests (as a Debian build does), whose job server is not
        // handed down.
        unsetenv("MAKEFLAGS");
        unsetenv("MFLAGS");
        unsetenv("MAKELEVEL");
        std::vector<char *> argv;
        for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Samples a VCD at each rising edge of `tck`: TMS and TDI (and TDO) as they
// stood before the time of the edge.  The last value of `result` (a vector
// signal) is the end code, when there is one.
Play readVcd(const fs::path &file) {
    std::ifstream in(file);
    std::map<std::string, std::string> names;  // identifier -> signal name
    std::map<std::string, int> now, settled;
    Play play;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("$var", 0) == 0) {
            std::istringstream words(line);
            std::string var, type, width, id, name;
            words >> var >> type >> width >> id >> name;
            names[id] = name;
        } else if (!line.empty() && line[0] == '#') {
            settled = now;
        } else if (!line.empty() && line[0] == 'b') {
            const size_t blank = line.find(' ');
            const std::string bits = line.substr(1, blank - 1);
            if (names[line.substr(blank + 1)] == "result" && bits.find_first_not_of("01") == std::string::npos)
                play.end = std::stoi(bits, nullptr, 2);
        } else if (line.size() > 1 && (line[0] == '0' || line[0] == '1') && names.count(line.substr(1))) {
            const std::string &name = names[line.substr(1)];
            const int value = line[0] - '0';
            if (name == "tck" && value && !now["tck"]) {
                play.pins += static_cast<char>('0' + 2 * settled["tms"] + settled["tdi"]);
                play.tdo += static_cast<char>('0' + settled["tdo"]);
            }
            now[name] = value;
        }
    }
    return play;
}

// A stream and how the host plays it.
struct Stream {
    std::string name;
    fs::path file;
    uint64_t failAt = 0;  // qsvfplay --fail-at
};

const fs::path &work() {
    static const WorkFolder folder("targets");
    return folder.path();
}

fs::path writeSvf(const std::string &name, const std::string &text) {
    const fs::path path = work() / (name + ".svf");
    writeFile(path, text);
    return path;
}

fs::path translate(const std::string &name, const fs::path &svf, const std::string &options) {
    const fs::path qsvf = work() / (name + ".qsvf");
    std::vector<std::string> args = {TARGETS_SVF2QSVF, "-w"};
    for (const std::string &option : words(options)) args.push_back(option);
    args.insert(args.end(), {"-i", svf.string(), "-o", qsvf.string()});
    EXPECT_EQ(runProgram(args), 0) << "svf2qsvf " << options << " " << svf;
    return qsvf;
}

// The whole statements of a corpus file up to about `bytes` characters,
// comment lines left out.
std::string corpusPrefix(const fs::path &file, size_t bytes) {
    std::istringstream in(readFile(file));
    std::string line, text, statement;
    while (std::getline(in, line) && text.size() < bytes) {
        const size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line.compare(start, 2, "//") == 0 || line[start] == '!') continue;
        for (char c : line) {
            statement += c;
            if (c == ';') {
                if (text.size() + statement.size() > bytes) return text;
                text += statement + "\n";
                statement.clear();
            }
        }
        statement += '\n';
    }
    return text;
}

// Scans that svf2qsvf96 writes as one QSETSDRMASKS and one QSDRINC: each
// adds one at bit 12 (the address) to the scan before, its 8-bit data field
// (bits 4 to 11, above the lowest 1 followed by a 0) new.
std::string incrementingScans() {
    std::string text = "SIR 8 TDI (0a) SMASK (ff) ;\n";
    char line[96];
    for (unsigned address = 0; address < 12; ++address) {
        std::snprintf(line, sizeof line, "SDR 40 TDI (305c%03x%02x8) SMASK (ffffffffff) ;\n", address,
                      address * 37 % 256);
        text += line;
    }
    return text + "RUNTEST 20 TCK;\n";
}

const std::vector<Stream> &streams() {
    static const std::vector<Stream> list = [] {
        std::vector<Stream> s;
        const fs::path examples = TARGETS_SOURCE_DIR "/examples";
        s.push_back({"blink", translate("blink", examples / "blink.svf", "")});
        s.push_back({"fpga_split", translate("fpga_split", examples / "fpga_load.svf", "-fpga -rlen 64")});
        // Pause end states, a 300-bit instruction (QSIR2), a wait of 70,000
        // clocks, and a compared scan that is the last thing played.
        const fs::path pauses = writeSvf("pauses", "ENDIR IRPAUSE;\nENDDR DRPAUSE;\nSIR 300 TDI (" +
                                                       std::string(74, '5') + "a3);\nSDR 20 TDI (0f0f0) TDO (00ff0) "
                                                       "MASK (0ffff);\nRUNTEST IDLE 70000 TCK ENDSTATE DRPAUSE;\n"
                                                       "SIR 8 TDI (41);\nSDR 12 TDI (abc) TDO (5a6) MASK (fff);\n");
        s.push_back({"pauses_extensions", translate("pauses_x", pauses, "-extensions -qwait -r 0")});
        s.push_back({"pauses_default", translate("pauses_d", pauses, "-r 0")});
        const fs::path increments = writeSvf("increments", incrementingScans());
        const fs::path earlier = work() / "increments.qsvf";
        EXPECT_EQ(runProgram({TARGETS_SVF2QSVF96, increments.string(), earlier.string()}), 0);
        s.push_back({"svf2qsvf96_increments", earlier});
        for (uint32_t seed : {3u, 11u}) {
            const std::string name = "generated" + std::to_string(seed);
            s.push_back({name, translate(name, writeSvf(name, generateSvf(seed, SvfDialect::Full)),
                                         "-extensions -qwait -fpga -rlen 96")});
        }
        const fs::path merged = work() / "merged.qsvf";
        EXPECT_EQ(runProgram({TARGETS_MERGEQSVF, "-d", "-o", merged.string(), "-i", s[0].file.string(), "-i",
                              s[1].file.string()}),
                  0);
        s.push_back({"merged", merged});
        // A comparison that fails on every try: 3 repeats, then the end.
        s.push_back({"repeats_fail", translate("repeats", examples / "blink.svf", "-r 3"), 2});
        std::string cut = readFile(s[0].file);
        writeFile(work() / "cut.qsvf", cut.substr(0, cut.size() * 3 / 5));
        s.push_back({"cut_short", work() / "cut.qsvf"});
        const fs::path corpus = TARGETS_CORPUS_DIR;
        if (fs::is_directory(corpus)) {
            // The starts of three real files: two waits of 200,000 clocks; a
            // bitstream split into pieces with pause end states; long scans
            // with few compared bits.
            const struct {
                const char *name, *file;
                size_t bytes;
                const char *options;
            } kCorpus[] = {{"corpus_waits", "fpga-a_spi-flash-program.svf", 500, ""},
                           {"corpus_bitstream", "fpga-b_sram-load_split-hex.svf", 20000, "-fpga -extensions -qwait"},
                           {"corpus_flash", "fpga-b_spi-flash-program.svf", 700, "-fpga -extensions -qwait"}};
            for (const auto &c : kCorpus)
                s.push_back({c.name, translate(c.name, writeSvf(c.name, corpusPrefix(corpus / c.file, c.bytes)),
                                               c.options)});
        }
        return s;
    }();
    return list;
}

// The host qsvfplay on a stream: its pins and TDO from its VCD, its exit status.
const Play &hostPlay(const Stream &stream) {
    static std::map<std::string, Play> plays;
    auto found = plays.find(stream.name);
    if (found != plays.end()) return found->second;
    const fs::path vcd = work() / (stream.name + ".host.vcd");
    std::vector<std::string> args = {TARGETS_QSVFPLAY, "--vcd", vcd.string()};
    if (stream.failAt) args.insert(args.end(), {"--fail-at", std::to_string(stream.failAt)});
    args.push_back(stream.file.string());
    const int status = runProgram(args);
    Play play = readVcd(vcd);
    play.end = status;
    return plays[stream.name] = play;
}

// The host's exit status for a target's end code.
int hostStatusOf(int end) {
    if (end == 1) return 0;  // QSVFPLAY_COMPLETE
    if (end == 2) return 1;  // QSVFPLAY_TDO_FAILED
    return end >= 3 && end <= 7 ? 2 : -1;
}

// The first difference of a target's play from the host's: in the pins,
// then in the end; empty when they agree.
struct Verdict {
    std::string pins, end;
};

Verdict compare(const Play &host, const Play &target) {
    Verdict verdict;
    const size_t n = std::min(host.pins.size(), target.pins.size());
    const size_t first = std::mismatch(host.pins.begin(), host.pins.begin() + n, target.pins.begin()).first -
                         host.pins.begin();
    if (first < n)
        verdict.pins = "clock " + std::to_string(first) + ": TMS/TDI " + host.pins[first] + " on the host, " +
                       target.pins[first] + " on the target (0: both low, 1: TDI, 2: TMS, 3: both)";
    else if (host.pins.size() != target.pins.size())
        verdict.pins = std::to_string(host.pins.size()) + " clocks on the host, " +
                       std::to_string(target.pins.size()) + " on the target";
    if (hostStatusOf(target.end) != host.end)
        verdict.end =
            "host exit status " + std::to_string(host.end) + ", target end code " + std::to_string(target.end);
    return verdict;
}

// ---- the targets

enum class Kind { Avr, CortexM0, CortexM3, BigEndian };

struct Target {
    const char *name;
    Kind kind;
    const char *missing;  // what is not installed, or empty
};

// A build of the library for a target: the player's source folder (the
// project's, or a copy with a planted fault) and the folder of its objects.
struct Build {
    fs::path source, objects;
    std::vector<std::string> includes;
    bool noIncrements = false;  // built without QSETSDRMASKS and QSDRINC
};

Build projectBuild(const std::string &name) {
    return {TARGETS_SOURCE_DIR "/player", work() / ("build_" + name), {TARGETS_SOURCE_DIR "/include"}};
}

std::string joined(const std::vector<std::string> &parts) {
    std::string text;
    for (const std::string &part : parts) text += (text.empty() ? "" : " ") + part;
    return text;
}

// Plays a stream on a target with the host's TDO; `bulk` uses the shift
// callback where the target has one.
Play playOn(const Target &target, const Build &build, const Stream &stream, const std::string &tdo, bool bulk) {
    Play play;
    const fs::path run = build.objects / (stream.name + (bulk ? "_bulk" : ""));
    fs::create_directories(run);
    writeFile(run / "tdo.txt", tdo);
    const std::string include = "PLAYER_INCLUDE=" + build.source.string() + " " + joined(build.includes);
    if (target.kind == Kind::Avr) {
        EXPECT_EQ(runIn(run, {"make", "-C", TARGETS_SOURCE_DIR "/player/examples/avr",
                              "PLAYER_SRC=" + build.source.string(), include, "BUILD=" + build.objects.string(),
                              "NAME=" + stream.name, "STREAM=" + stream.file.string(),
                              std::string("NO_INCREMENTS=") + (build.noIncrements ? "1" : "")}),
                  0)
            << readFile(run / "output.txt");
        const fs::path elf = build.objects / (stream.name + ".elf");
        if (runIn(run, {TARGETS_AVR_HARNESS, elf.string(), "tdo.txt", "pins.vcd"}) == 0)
            play = readVcd(run / "pins.vcd");
    } else if (target.kind == Kind::BigEndian) {
        const fs::path runner = build.objects / "hosted_runner";
        if (!fs::exists(runner)) {
            std::vector<std::string> args = {TARGETS_S390X_GCC, "-std=c99", "-O2",    "-static",
                                             "-Wall",           "-Wextra",   "-Werror", "-I" + build.source.string()};
            for (const std::string &dir : build.includes) args.push_back("-I" + dir);
            args.insert(args.end(), {TARGETS_SOURCE_DIR "/tests/targets/hosted_runner.c",
                                     (build.source / "qsvfplay.c").string(), "-o", runner.string()});
            EXPECT_EQ(runIn(build.objects, args), 0) << readFile(build.objects / "output.txt");
        }
        if (runIn(run, {TARGETS_QEMU_S390X, runner.string(), stream.file.string(), "tdo.txt", "pins.txt",
                        bulk ? "bulk" : "plain"}) == 0) {
            play.pins = readFile(run / "pins.txt");
            play.end = std::stoi(readFile(run / "output.txt"));
        }
    } else {
        const std::string cpu = target.kind == Kind::CortexM0 ? "cortex-m0" : "cortex-m3";
        const fs::path objects = build.objects / (bulk ? "bulk" : "plain");
        std::vector<std::string> args = {"make", "-C", TARGETS_SOURCE_DIR "/player/examples/cortex-m",
                                         "PLAYER_SRC=" + build.source.string(), include, "CPU=" + cpu,
                                         "BOARD=" TARGETS_SOURCE_DIR "/tests/targets/board_log.c", "FLASH_SIZE=4M",
                                         "RAM_SIZE=4M", "BUILD=" + objects.string(), "NAME=" + stream.name,
                                         "STREAM=" + stream.file.string()};
        if (!bulk) args.push_back("PLAIN_CLOCK=1");
        EXPECT_EQ(runIn(run, args), 0) << readFile(run / "output.txt");
        if (runIn(run, {TARGETS_QEMU_ARM, "-M", TARGETS_QEMU_BOARD, "-nographic", "-monitor", "none", "-serial", "none",
                        "-semihosting-config", "enable=on,target=native", "-kernel",
                        (objects / (stream.name + ".elf")).string()}) == 0) {
            play.pins = readFile(run / "pins.txt");
            play.end = std::stoi(readFile(run / "end.txt"));
        }
    }
    return play;
}

const Target kTargets[] = {
    {"avr", Kind::Avr, TARGETS_AVR_MISSING},
    {"cortex_m0", Kind::CortexM0, TARGETS_ARM_MISSING},
    {"cortex_m3", Kind::CortexM3, TARGETS_ARM_MISSING},
    {"s390x", Kind::BigEndian, TARGETS_S390X_MISSING},
};

void PrintTo(const Target &target, std::ostream *out) { *out << target.name; }

class Targets : public ::testing::TestWithParam<Target> {
protected:
    void SetUp() override {
        if (*GetParam().missing) GTEST_SKIP() << GetParam().missing << " not installed: the " << GetParam().name
                                              << " target is not tried";
        if (!fs::is_directory(TARGETS_CORPUS_DIR))
            std::cout << "corpus folder " << TARGETS_CORPUS_DIR << " missing: its streams are left out\n";
    }
};

TEST_P(Targets, PlayEveryStreamClockByClockLikeTheHost) {
    const Target &target = GetParam();
    const Build build = projectBuild(target.name);
    // The examples as a board builds them (the SPI fast path on the AVR,
    // the GPIO and SPI registers on the Cortex-M), which no simulator here plays.
    if (target.kind != Kind::BigEndian) {
        const fs::path boardBuild = build.objects / "board";
        fs::create_directories(boardBuild);
        const bool avr = target.kind == Kind::Avr;
        EXPECT_EQ(runIn(boardBuild, {"make", "-C", avr ? TARGETS_SOURCE_DIR "/player/examples/avr"
                                                       : TARGETS_SOURCE_DIR "/player/examples/cortex-m",
                                     "BUILD=" + boardBuild.string(), "STREAM=" + streams()[0].file.string(),
                                     avr ? "SPI_SHIFT=1" : "CPU=cortex-m0plus"}),
                  0)
            << readFile(boardBuild / "output.txt");
    }
    for (const Stream &stream : streams()) {
        const Play &host = hostPlay(stream);
        ASSERT_FALSE(host.pins.empty()) << stream.name << ": the host played nothing";
        for (bool bulk : {false, true}) {
            if (bulk && target.kind == Kind::Avr) continue;  // the AVR example has no shift callback
            const Play played = playOn(target, build, stream, host.tdo, bulk);
            const Verdict verdict = compare(host, played);
            EXPECT_EQ(verdict.pins, "") << stream.name << (bulk ? " with the bulk shift" : "");
            EXPECT_EQ(verdict.end, "") << stream.name << (bulk ? " with the bulk shift" : "");
            std::cout << target.name << ' ' << stream.name << (bulk ? " (bulk shift)" : "") << ": "
                      << played.pins.size() << " clocks, end code " << played.end
                      << (verdict.pins.empty() && verdict.end.empty() ? ", as on the host\n" : ", differs\n");
        }
    }
}

// A copy of the player's source with one planted fault.
Build plantedBuild(const Target &target, const std::string &name, const std::string &from, const std::string &to) {
    Build build = projectBuild(std::string(target.name) + "_" + name);
    std::string source = readFile(build.source / "qsvfplay.c");
    const size_t at = source.find(from);
    EXPECT_NE(at, std::string::npos) << "planted fault " << name << ": \"" << from << "\" not in qsvfplay.c";
    if (at != std::string::npos) source.replace(at, from.size(), to);
    const fs::path copy = build.objects / "src";
    fs::create_directories(copy);
    writeFile(copy / "qsvfplay.c", source);
    fs::copy_file(build.source / "qsvfplay.h", copy / "qsvfplay.h", fs::copy_options::overwrite_existing);
    build.source = copy;
    return build;
}

const Stream &streamNamed(const std::string &name) {
    for (const Stream &stream : streams())
        if (stream.name == name) return stream;
    throw std::runtime_error("no stream " + name);
}

TEST_P(Targets, PlantedFaultsAreSeen) {
    const Target &target = GetParam();
    // The TDO of the last 20 clocks, the last scan's compared bits among them,
    // turned over: the pins stay the same,
    // the end code must differ.
    const Stream &last = streamNamed("pauses_extensions");
    const Play &host = hostPlay(last);
    std::string tdo = host.tdo;
    for (size_t i = tdo.size() - 20; i < tdo.size(); ++i) tdo[i] = tdo[i] == '1' ? '0' : '1';
    Verdict verdict = compare(host, playOn(target, projectBuild(target.name), last, tdo, false));
    EXPECT_EQ(verdict.pins, "");
    EXPECT_NE(verdict.end, "") << "a turned TDO bit was not seen";

    // One start clock fewer: every target's pins differ.
    const Build shortStart = plantedBuild(target, "start", "waitClocks(player, 5, 1);", "waitClocks(player, 4, 1);");
    const Stream &blink = streamNamed("blink");
    verdict = compare(hostPlay(blink), playOn(target, shortStart, blink, hostPlay(blink).tdo, false));
    EXPECT_NE(verdict.pins, "") << "four start clocks were not seen";

    // The faults only a target shows.
    if (target.kind == Kind::Avr) {
        const Build narrow = plantedBuild(target, "narrow_wait", "waitClocks(p, p->run_test, 0);",
                                          "waitClocks(p, (unsigned)p->run_test, 0);");
        const Stream &wait = streamNamed("pauses_default");
        verdict = compare(hostPlay(wait), playOn(target, narrow, wait, hostPlay(wait).tdo, false));
        EXPECT_NE(verdict.pins, "") << "a wait count of 16 bits was not seen";
    }
    if (target.kind == Kind::BigEndian) {
        const Build bytes =
            plantedBuild(target, "byte_order", "for (i = 0; i < n; ++i) *value = *value << 8 | bytes[i];",
                         "for (i = 0; i < n; ++i) ((uint8_t *)value)[n - 1 - i] = bytes[i];");
        const Stream &wait = streamNamed("pauses_default");
        verdict = compare(hostPlay(wait), playOn(target, bytes, wait, hostPlay(wait).tdo, false));
        EXPECT_NE(verdict.pins, "") << "an integer read through the bytes of a uint32_t was not seen";
    }
}

// The AVR firmware built without the increment records plays every other
// stream as the host does, and refuses the first QSETSDRMASKS as an unknown
// opcode after playing what stands before it.
TEST(WithoutIncrements, AvrPlaysTheOtherStreamsAndRefusesTheIncrementRecords) {
    const Target &avr = kTargets[0];
    if (*avr.missing) GTEST_SKIP() << avr.missing << " not installed";
    Build lean = projectBuild("avr_no_increments");
    lean.noIncrements = true;
    for (const Stream &stream : streams()) {
        const Play &host = hostPlay(stream);
        const Play played = playOn(avr, lean, stream, host.tdo, false);
        if (stream.name != "svf2qsvf96_increments") {
            const Verdict verdict = compare(host, played);
            EXPECT_EQ(verdict.pins + verdict.end, "") << stream.name;
            continue;
        }
        EXPECT_EQ(played.end, 4) << "QSETSDRMASKS is no opcode of this build";  // QSVFPLAY_BAD_OPCODE
        // before the masks: the start, the instruction scan (walk, bits, out
        // to Run-Test/Idle) and the first data scan
        EXPECT_EQ(played.pins.size(), 5u + (5 + 8 + 2) + (3 + 40 + 2));
        EXPECT_EQ(host.pins.compare(0, played.pins.size(), played.pins), 0) << "the clocks before the masks";
    }
}

INSTANTIATE_TEST_SUITE_P(On, Targets, ::testing::ValuesIn(kTargets),
                         [](const ::testing::TestParamInfo<Target> &info) { return info.param.name; });

}  // namespace

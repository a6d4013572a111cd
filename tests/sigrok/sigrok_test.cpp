// The sigrok suite: streams translated from the examples (a CPLD file under
// two option sets, an FPGA file whose long data scan is split into records,
// and the merge of the two) are played by qsvfplay with --vcd and --trace,
// the dump is decoded by sigrok-cli's jtag protocol decoder, and the TAP
// state after every TCK clock and the TDI and TDO bits of every scan must be
// the same in the trace and in the decoder's report.  Changed traces and
// reports must be found, so that the comparison itself is tried.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "../support/work_folder.h"

extern char **environ;

namespace fs = std::filesystem;

namespace {

// The TAP states by the trace's names and by the decoder's.
struct StateName {
    const char *trace, *decoder;
};
constexpr StateName kStates[] = {
    {"reset", "TEST-LOGIC-RESET"}, {"idle", "RUN-TEST/IDLE"},    {"drselect", "SELECT-DR-SCAN"},
    {"drcapture", "CAPTURE-DR"},   {"drshift", "SHIFT-DR"},      {"drexit1", "EXIT1-DR"},
    {"drpause", "PAUSE-DR"},       {"drexit2", "EXIT2-DR"},      {"drupdate", "UPDATE-DR"},
    {"irselect", "SELECT-IR-SCAN"}, {"ircapture", "CAPTURE-IR"}, {"irshift", "SHIFT-IR"},
    {"irexit1", "EXIT1-IR"},       {"irpause", "PAUSE-IR"},      {"irexit2", "EXIT2-IR"},
    {"irupdate", "UPDATE-IR"}};

std::optional<std::string> decoderName(const std::string &traceName) {
    for (const StateName &s : kStates)
        if (traceName == s.trace) return s.decoder;
    return std::nullopt;
}

bool isDecoderName(const std::string &name) {
    return std::any_of(std::begin(kStates), std::end(kStates), [&](const StateName &s) { return name == s.decoder; });
}

// One line of qsvfplay's trace; states by the decoder's names, bits as '0'
// and '1', the first shifted bit first.
struct TraceOp {
    enum Kind { Move, Wait, Shift } kind = Move;
    std::string from, to;  // a wait has both, a shift has its shift state in both
    std::string reg;       // "IR" or "DR" for a shift
    uint64_t clocks = 0;
    std::string tdi, tdo;
    std::string line;
};

// A scan as the decoder reports it at Update-IR/DR, and as the trace's
// shifts make it: "IR TDI", "DR TDO" and so on, and its bits in shift order.
struct Bitstring {
    std::string what, bits, line;
};

struct Decoded {
    std::vector<std::string> states;  // after each clock but the last
    std::vector<Bitstring> bitstrings;
};

std::optional<uint64_t> number(const std::string &text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "0x" and hexadecimal digits, the highest bit first, as `count` bits in
// shift order (bit 0 first).
std::optional<std::string> bitsFromHex(const std::string &hex, uint64_t count) {
    if (hex.rfind("0x", 0) != 0 || hex.size() - 2 != (count + 3) / 4) return std::nullopt;
    std::string bits;
    for (uint64_t i = 0; i < count; ++i) {
        const char c = hex[hex.size() - 1 - i / 4];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return std::nullopt;
        bits += (digit >> (i % 4)) & 1 ? '1' : '0';
    }
    return bits;
}

// Reads "LABEL: move A -> B (N clocks)", "LABEL: wait N clocks in S",
// "LABEL: shift IR N bits, tdi 0xH, tdo 0xH" and the summary line at the
// end; a line that is none of these is named in `error`.
std::vector<TraceOp> readTrace(const std::string &text, std::string &error) {
    std::vector<TraceOp> ops;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(": ");
        const std::string rest = colon == std::string::npos ? "" : line.substr(colon + 2);
        if (rest.rfind("played to QCOMPLETE: ", 0) == 0) continue;
        std::vector<std::string> t;
        std::istringstream words(rest);
        for (std::string word; words >> word;) {
            std::erase_if(word, [](char c) { return c == '(' || c == ')' || c == ','; });
            t.push_back(word);
        }
        TraceOp op;
        op.line = line;
        std::optional<uint64_t> clocks;
        std::optional<std::string> from, to, tdi, tdo;
        if (t.size() == 6 && t[0] == "move" && t[2] == "->") {
            op.kind = TraceOp::Move;
            clocks = number(t[4]);
            from = decoderName(t[1]);
            to = decoderName(t[3]);
            tdi = tdo = "";
        } else if (t.size() == 5 && t[0] == "wait" && t[3] == "in") {
            op.kind = TraceOp::Wait;
            clocks = number(t[1]);
            from = to = decoderName(t[4]);
            tdi = tdo = "";
        } else if (t.size() == 8 && t[0] == "shift" && (t[1] == "IR" || t[1] == "DR") && t[4] == "tdi" &&
                   t[6] == "tdo") {
            // Longer shifts show no bits: the streams here keep theirs shorter.
            op.kind = TraceOp::Shift;
            op.reg = t[1];
            clocks = number(t[2]);
            from = to = "SHIFT-" + op.reg;
            if (clocks) {
                tdi = bitsFromHex(t[5], *clocks);
                tdo = bitsFromHex(t[7], *clocks);
            }
        }
        if (!clocks || *clocks == 0 || !from || !to || !tdi || !tdo) {
            error = "trace line not understood: " + line;
            return ops;
        }
        op.clocks = *clocks;
        op.from = *from;
        op.to = *to;
        op.tdi = *tdi;
        op.tdo = *tdo;
        ops.push_back(op);
    }
    return ops;
}

// Reads sigrok-cli's lines "jtag-1: STATE" and "jtag-1: IR TDI: BITS (0xH),
// N bits" (the first shifted bit last).
Decoded readDecoded(const std::string &text, std::string &error) {
    Decoded decoded;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        static const std::string kPrefix = "jtag-1: ";
        const std::string rest = line.rfind(kPrefix, 0) == 0 ? line.substr(kPrefix.size()) : "";
        const std::string what = rest.substr(0, 6);
        if ((what == "IR TDI" || what == "IR TDO" || what == "DR TDI" || what == "DR TDO") &&
            rest.compare(6, 2, ": ") == 0) {
            std::string bits = rest.substr(8, rest.find(' ', 8) - 8);
            if (bits.find_first_not_of("01") != std::string::npos) {
                error = "sigrok-cli line not understood: " + line;
                return decoded;
            }
            std::reverse(bits.begin(), bits.end());
            decoded.bitstrings.push_back({what, bits, line});
        } else if (isDecoderName(rest)) {
            decoded.states.push_back(rest);
        } else {
            error = "sigrok-cli line not understood: " + line;
            return decoded;
        }
    }
    return decoded;
}

// The first difference between the trace and the decoder's report, "" when
// they agree.  Every operation of the trace takes its clocks from the
// decoder's states in turn: a move ends in its state after its clocks, a
// wait stays in its state, a shift stays in Shift-IR/DR and leaves for
// Exit1 on its last bit unless the next piece of the same scan follows.
// The pieces' bits, joined, are the scan's bits.
std::string compare(const std::vector<TraceOp> &trace, const Decoded &decoded) {
    uint64_t total = 0;
    for (const TraceOp &op : trace) total += op.clocks;
    const auto differs = [&](uint64_t clock, const std::string &want, const TraceOp &op) -> std::string {
        // The decoder shows a state when the next rising edge ends it, so it
        // never shows the state after the last clock.
        if (clock + 1 == total) return "";
        const std::string at = "clock " + std::to_string(clock + 1) + " (" + op.line + "): trace " + want;
        if (clock >= decoded.states.size()) return at + ", decoder shows no more clocks";
        const std::string &seen = decoded.states[clock];
        // The decoder starts in Run-Test/Idle, not knowing the TAP; the TMS
        // high clocks with which the player brings any TAP to
        // Test-Logic-Reset take it there through the two Select states.
        static const std::string kOpening[] = {"SELECT-DR-SCAN", "SELECT-IR-SCAN"};
        if (clock < 2 && want == "TEST-LOGIC-RESET" && seen == kOpening[clock]) return "";
        return seen == want ? "" : at + ", decoder " + seen;
    };
    std::vector<Bitstring> scans;
    Bitstring tdi, tdo;
    uint64_t clock = 0;
    for (size_t i = 0; i < trace.size(); ++i) {
        const TraceOp &op = trace[i];
        std::string difference;
        if (op.kind == TraceOp::Move) {
            if (clock > 0) difference = differs(clock - 1, op.from, op);
            if (difference.empty()) difference = differs(clock + op.clocks - 1, op.to, op);
        } else {
            const bool continued = op.kind == TraceOp::Shift && i + 1 < trace.size() &&
                                   trace[i + 1].kind == TraceOp::Shift && trace[i + 1].reg == op.reg;
            const std::string last = op.kind == TraceOp::Shift && !continued ? "EXIT1-" + op.reg : op.to;
            for (uint64_t k = 0; k < op.clocks && difference.empty(); ++k)
                difference = differs(clock + k, k + 1 < op.clocks ? op.to : last, op);
            if (op.kind == TraceOp::Shift) {
                if (tdi.line.empty()) tdi.line = tdo.line = op.line;
                tdi.bits += op.tdi;
                tdo.bits += op.tdo;
                if (!continued) {
                    tdi.what = op.reg + " TDI";
                    tdo.what = op.reg + " TDO";
                    scans.push_back(tdi);
                    scans.push_back(tdo);
                    tdi = tdo = Bitstring{};
                }
            }
        }
        if (!difference.empty()) return difference;
        clock += op.clocks;
    }
    if (total > 0 && decoded.states.size() > total - 1)
        return "the trace has " + std::to_string(total) + " clocks, the decoder shows " +
               std::to_string(decoded.states.size() - (total - 1)) + " more";
    for (size_t i = 0; i < std::max(scans.size(), decoded.bitstrings.size()); ++i) {
        const std::string ours = i < scans.size() ? scans[i].what + " " + scans[i].bits : "no more scans";
        const std::string theirs =
            i < decoded.bitstrings.size() ? decoded.bitstrings[i].what + " " + decoded.bitstrings[i].bits : "no more";
        if (ours != theirs)
            return "scan " + std::to_string(i / 2 + 1) + " (" + (i < scans.size() ? scans[i].line : "") +
                   "), bits in shift order: trace " + ours + ", decoder " + theirs;
    }
    return "";
}

// --- the programs ---------------------------------------------------------

// The work folder: streams, dumps, traces and the decoder's reports.
qsvftest::WorkFolder gWork("sigrok");
fs::path workFolder() { return gWork.made(); }
using qsvftest::readText;

// Runs a program (no shell), its standard output in `out` and its error
// output in `out` + ".err"; the exit status, or -1.
int run(const std::vector<std::string> &args, const fs::path &out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (out.string() + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char *> argv;
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    int status = 0;
    const bool started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path translate(const std::string &svf, const std::string &options, const std::string &name) {
    const fs::path qsvf = workFolder() / (name + ".qsvf");
    std::vector<std::string> args = {SVF2QSVF, "-w"};
    std::istringstream words(options);
    for (std::string word; words >> word;) args.push_back(word);
    args.insert(args.end(), {"-i", std::string(QSVF_EXAMPLES_DIR) + "/" + svf, "-o", qsvf.string()});
    const fs::path log = workFolder() / (name + ".svf2qsvf");
    EXPECT_EQ(run(args, log), 0) << readText(log) << readText(log.string() + ".err");
    return qsvf;
}

struct Played {
    std::vector<TraceOp> trace;
    Decoded decoded;
};

// Plays `qsvf` with a dump and a trace, and decodes the dump.  sigrok's VCD
// input takes a sample per step of the dump's timescale (1 ps); at 1 MHz
// that is a million samples per clock, which its decoder takes minutes over,
// so the input keeps one in 250,000: four samples per clock, the edges on
// two of them.
void playAndDecode(const fs::path &qsvf, Played &played) {
    const fs::path vcd = fs::path(qsvf).replace_extension(".vcd");
    const fs::path trace = fs::path(qsvf).replace_extension(".trace");
    const fs::path decoded = fs::path(qsvf).replace_extension(".jtag");
    ASSERT_EQ(run({QSVFPLAY, "--frequency", "1e6", "--vcd", vcd.string(), "--trace", qsvf.string()}, trace), 0)
        << readText(trace) << readText(trace.string() + ".err");
    ASSERT_EQ(run({SIGROK_CLI, "-I", "vcd:downsample=250000", "-i", vcd.string(), "-P",
                   "jtag:tdi=tdi:tdo=tdo:tck=tck:tms=tms", "-A", "jtag=states:bitstrings-tdi:bitstrings-tdo"},
                  decoded),
              0)
        << readText(decoded.string() + ".err");
    std::string error;
    played.trace = readTrace(readText(trace), error);
    ASSERT_EQ(error, "");
    played.decoded = readDecoded(readText(decoded), error);
    ASSERT_EQ(error, "");
    ASSERT_FALSE(played.trace.empty());
}

fs::path mergedStream() {
    const fs::path cpld = translate("blink.svf", "-extensions -qwait", "merge_cpld");
    const fs::path fpga = translate("fpga_load.svf", "-fpga -rlen 64 -extensions -qwait", "merge_fpga");
    const fs::path merged = workFolder() / "merged.qsvf";
    const fs::path log = workFolder() / "merged.MergeQSVF";
    EXPECT_EQ(run({MERGEQSVF, "-d", "-o", merged.string(), "-i", cpld.string(), "-i", fpga.string()}, log), 0)
        << readText(log);
    return merged;
}

TEST(SigrokJtag, CpldStreams) {
    for (const std::string options : {"-extensions -qwait", ""}) {
        SCOPED_TRACE("svf2qsvf " + options);
        Played played;
        ASSERT_NO_FATAL_FAILURE(
            playAndDecode(translate("blink.svf", options, options.empty() ? "cpld" : "cpld_extensions"), played));
        EXPECT_EQ(compare(played.trace, played.decoded), "");
    }
}

TEST(SigrokJtag, FpgaStreamWithSplitScans) {
    Played played;
    ASSERT_NO_FATAL_FAILURE(
        playAndDecode(translate("fpga_load.svf", "-fpga -rlen 64 -extensions -qwait", "fpga"), played));
    EXPECT_EQ(compare(played.trace, played.decoded), "");
    // The frame of 1024 bits is 16 shifts of 64 bits in a row in the trace,
    // one scan for the decoder.
    const auto pieces = std::count_if(played.trace.begin(), played.trace.end(), [](const TraceOp &op) {
        return op.kind == TraceOp::Shift && op.reg == "DR" && op.clocks == 64;
    });
    EXPECT_EQ(pieces, 16);
    const auto frames = std::count_if(played.decoded.bitstrings.begin(), played.decoded.bitstrings.end(),
                                      [](const Bitstring &b) { return b.what[0] == 'D' && b.bits.size() == 1024; });
    EXPECT_EQ(frames, 2);
}

TEST(SigrokJtag, MergedStream) {
    Played played;
    ASSERT_NO_FATAL_FAILURE(playAndDecode(mergedStream(), played));
    EXPECT_EQ(compare(played.trace, played.decoded), "");
}

// Each change to one side must be found; a shift cut into two pieces must
// still agree.
TEST(SigrokJtag, ChangesAreFound) {
    Played played;
    ASSERT_NO_FATAL_FAILURE(playAndDecode(mergedStream(), played));
    ASSERT_EQ(compare(played.trace, played.decoded), "");
    using Ops = std::vector<TraceOp>;
    const auto first = [](Ops &ops, const std::function<bool(const TraceOp &)> &which) {
        const auto at = std::find_if(ops.begin(), ops.end(), which);
        return at == ops.end() ? nullptr : &*at;
    };
    const auto flip = [](char &bit) { bit = bit == '0' ? '1' : '0'; };
    struct Change {
        const char *name;
        bool agrees;
        std::function<bool(Ops &, Decoded &)> apply;  // false: nothing to change
    };
    const Change changes[] = {
        {"a TDI bit", false,
         [&](Ops &ops, Decoded &) {
             TraceOp *op = first(ops, [](const TraceOp &o) { return o.kind == TraceOp::Shift; });
             if (op) flip(op->tdi[0]);
             return op != nullptr;
         }},
        {"a TDO bit of a later piece", false,
         [&](Ops &ops, Decoded &) {
             for (size_t i = ops.size(); i-- > 1;)
                 if (ops[i].kind == TraceOp::Shift && ops[i - 1].kind == TraceOp::Shift) {
                     flip(ops[i].tdo.back());
                     return true;
                 }
             return false;
         }},
        {"a wait one clock shorter", false,
         [&](Ops &ops, Decoded &) {
             TraceOp *op = first(ops, [](const TraceOp &o) { return o.kind == TraceOp::Wait && o.clocks > 100; });
             if (op) --op->clocks;
             return op != nullptr;
         }},
        {"a move one clock longer", false,
         [&](Ops &ops, Decoded &) {
             TraceOp *op = first(ops, [](const TraceOp &o) { return o.kind == TraceOp::Move && o.clocks > 1; });
             if (op) ++op->clocks;
             return op != nullptr;
         }},
        {"a move ending elsewhere", false,
         [&](Ops &ops, Decoded &) {
             TraceOp *op =
                 first(ops, [](const TraceOp &o) { return o.kind == TraceOp::Move && o.to == "RUN-TEST/IDLE"; });
             if (op) op->to = "PAUSE-DR";
             return op != nullptr;
         }},
        {"the last operation left out", false,
         [](Ops &ops, Decoded &) {
             ops.pop_back();
             return true;
         }},
        {"a clock of the decoder left out", false,
         [](Ops &, Decoded &d) {
             d.states.erase(d.states.begin() + static_cast<long>(d.states.size() / 2));
             return true;
         }},
        {"a scan of the decoder left out", false,
         [](Ops &, Decoded &d) {
             if (d.bitstrings.size() < 6) return false;
             d.bitstrings.erase(d.bitstrings.begin() + 4, d.bitstrings.begin() + 6);
             return true;
         }},
        {"a shift cut into two pieces", true,
         [&](Ops &ops, Decoded &) {
             const auto at = std::find_if(ops.begin(), ops.end(),
                                          [](const TraceOp &o) { return o.kind == TraceOp::Shift && o.clocks > 1; });
             if (at == ops.end()) return false;
             TraceOp head = *at;
             head.clocks /= 2;
             head.tdi.resize(head.clocks);
             head.tdo.resize(head.clocks);
             at->clocks -= head.clocks;
             at->tdi.erase(0, head.clocks);
             at->tdo.erase(0, head.clocks);
             ops.insert(at, head);
             return true;
         }},
    };
    for (const Change &change : changes) {
        Played copy = played;
        ASSERT_TRUE(change.apply(copy.trace, copy.decoded)) << change.name;
        const std::string difference = compare(copy.trace, copy.decoded);
        EXPECT_EQ(difference.empty(), change.agrees) << change.name << ": " << difference;
    }
}

}  // namespace

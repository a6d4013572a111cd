// qsvfcheck command line and driver: reads the switches, runs the check or
// the trace, and turns every outcome into one line and an exit status.
//
//   qsvfcheck [-s] [-v2] [-chain L -target N] <input.svf>... <stream.qsvf>
//                                                   check (0 equivalent, 1 differs)
//   qsvfcheck -t <stream.qsvf>                      trace (0 complete)
// Status 2: a file cannot be read, is not valid SVF or QSVF, or the command
// line is wrong.
#include "qsvfcheck.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compare.h"
#include "locate.h"
#include "file_blocks.h"
#include "input_error.h"
#include "trace.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: qsvfcheck [-s] [-v2] [-tck <hz>] [--at <byte>] [-chain <lengths> [-target <n>] <input.svf>...]...\n"
    "                 <stream.qsvf>\n"
    "       qsvfcheck -t <stream.qsvf>\n"
    "\n"
    "Checks that a QSVF stream does what its SVF files say: the same scans in the\n"
    "same order, the same TDI bits where the SVF keeps them, the same TDO bits\n"
    "compared with the same expected values, and at least the wait the SVF asks\n"
    "after each scan, and the TAP resting in the same states between scans.\n"
    "Several SVF files mean the stream is their merge, in order.  What the\n"
    "stream cannot carry is named in the summary line.\n"
    "\n"
    "  -s         the stream was written with -s: TDO is compared on neither side\n"
    "  -v2        the stream carries no STATE move (svf2qsvf -v2, svf2qsvf96)\n"
    "  -chain L   the stream plays on a scan chain of devices with these IR lengths,\n"
    "             from the TDO end (such as 5,8,10), every other device in BYPASS\n"
    "  -target N  the SVF files that follow are written for device N of the chain,\n"
    "             1 at the TDO end (svf2qsvf -chain L -target N)\n"
    "  --at BYTE  name the record at this stream offset (decimal or 0x hex) and\n"
    "             the SVF command it comes from, instead of checking\n"
    "  -tck HZ    the stream's waits were counted at this TCK (svf2qsvf -tck): RUNTEST\n"
    "             times are turned into clocks at it, not at the file's FREQUENCY\n"
    "  -t         trace: one line per record with its byte offset and operands\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "Exit status: 0 equivalent (or trace complete), 1 the stream differs from the\n"
    "SVF, 2 a file cannot be read or is not valid SVF or QSVF, or a bad command line.\n";

struct CommandLine {
    bool skipTdo = false;
    bool v2 = false;
    bool trace = false;
    std::vector<std::string> files;
    std::vector<qsvfcheck::ChainPlacement> chains;  // for each file
    std::optional<qsvfcheck::Decimal> tck;
    std::optional<uint64_t> at;  // --at: the stream offset to name
};

// -tck: Hz written as 10000000, 2.5e6, 10MHz or 500kHz (the unit in any
// case); none for anything else or below 1 Hz.
std::optional<qsvfcheck::Decimal> hertz(std::string_view text) {
    std::string digits;
    int64_t exponent = 0;
    size_t at = 0;
    bool point = false, any = false;
    for (; at < text.size() && ((text[at] >= '0' && text[at] <= '9') || (text[at] == '.' && !point)); ++at) {
        if (text[at] == '.') {
            point = true;
            continue;
        }
        any = true;
        if (digits.size() < 30) {
            digits += text[at];
            exponent -= point ? 1 : 0;
        } else {
            exponent += point ? 0 : 1;  // digits past 30 only scale the value
        }
    }
    if (!any) return std::nullopt;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        const bool negative = at < text.size() && text[at] == '-';
        if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
        const size_t start = at;
        int64_t power = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && power < 100; ++at)
            power = power * 10 + (text[at] - '0');
        if (at == start) return std::nullopt;
        exponent += negative ? -power : power;
    }
    std::string unit(text.substr(at));
    for (char &ch : unit) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (unit.size() >= 2 && unit.compare(unit.size() - 2, 2, "hz") == 0) unit.resize(unit.size() - 2);
    if (unit == "k") exponent += 3;
    else if (unit == "m") exponent += 6;
    else if (!unit.empty()) return std::nullopt;
    while (digits.size() > 1 && digits[0] == '0') digits.erase(0, 1);
    const qsvfcheck::Decimal value(digits == "0" ? "" : digits, exponent);
    if (value.floor() < 1) return std::nullopt;
    return value;
}

// Decimal digits only, up to a limit; none for anything else.
std::optional<uint64_t> decimal(std::string_view text, uint64_t limit) {
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > limit) return std::nullopt;
    }
    return value;
}

// "5,8,10": the IR lengths of a chain; an error text when malformed.
std::string chainLengths(std::string_view list, std::vector<uint64_t> &lengths) {
    const std::string bad = "-chain needs IR lengths of 1 or more separated by commas, such as 5,8,10";
    for (size_t start = 0;;) {
        const size_t comma = list.find(',', start);
        const auto length = decimal(list.substr(start, comma == std::string_view::npos ? comma : comma - start), 0xFFFF);
        if (!length || *length == 0) return bad;
        lengths.push_back(*length);
        if (comma == std::string_view::npos) return "";
        start = comma + 1;
    }
}

// -chain and -target with their values; the files take the placement that
// stands when they are named.
std::string chainSwitch(std::string_view arg, int argc, const char *const *argv, int &i,
                        qsvfcheck::ChainPlacement &chain) {
    if (i + 1 >= argc) return std::string(arg) + " needs a value";
    const std::string_view value = argv[++i];
    if (arg == "-chain") {
        if (!chain.irLengths.empty()) return "-chain given twice";
        return chainLengths(value, chain.irLengths);
    }
    if (chain.irLengths.empty()) return "-target needs -chain before it";
    const auto target = decimal(value, chain.irLengths.size());
    if (!target || *target == 0)
        return "-target " + std::string(value) + " is outside the chain's devices 1 to " +
               std::to_string(chain.irLengths.size());
    chain.target = *target;
    return "";
}

// Reads the switches; an error text when the command line is wrong.
std::string parse(int argc, const char *const *argv, CommandLine &line) {
    bool options = true;
    qsvfcheck::ChainPlacement chain;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "-s") {
            line.skipTdo = true;
        } else if (options && arg == "-v2") {
            line.v2 = true;
        } else if (options && arg == "-t") {
            line.trace = true;
        } else if (options && arg == "--at") {
            if (i + 1 >= argc) return "--at needs a stream offset";
            const std::string_view value = argv[++i];
            const bool hex = value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
            line.at = 0;
            for (char c : hex ? value.substr(2) : value) {
                const int digit = c >= '0' && c <= '9' ? c - '0'
                                  : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                : -1;
                if (digit < 0 || *line.at > (UINT64_MAX >> 4)) return "--at " + std::string(value) + " is not a byte offset";
                *line.at = *line.at * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
            }
            if (value.empty()) return "--at needs a stream offset";
        } else if (options && arg == "-tck") {
            if (i + 1 >= argc) return "-tck needs a value";
            line.tck = hertz(argv[++i]);
            if (!line.tck) return "-tck " + std::string(argv[i]) + " is not a frequency of 1 Hz or more (such as 10e6 or 10MHz)";
        } else if (options && (arg == "-chain" || arg == "-target")) {
            if (std::string error = chainSwitch(arg, argc, argv, i, chain); !error.empty()) return error;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return "unknown option \"" + std::string(arg) + "\"";
        } else {
            line.files.emplace_back(arg);
            line.chains.push_back(chain);
        }
    }
    // A chain of one device has one place for the target; in a longer one
    // every SVF file must be placed (the last file named is the stream).
    for (size_t i = 0; i + 1 < line.files.size(); ++i) {
        qsvfcheck::ChainPlacement &placed = line.chains[i];
        if (placed.irLengths.size() == 1) placed.target = 1;
        if (!placed.irLengths.empty() && placed.target == 0)
            return "-chain of " + std::to_string(placed.irLengths.size()) + " devices needs -target before " +
                   line.files[i];
    }
    if (line.trace && !chain.irLengths.empty()) return "-t cannot be used with -chain";
    if (line.trace && line.at) return "-t cannot be used with --at";
    if (line.trace && (line.skipTdo || line.v2)) return "-t cannot be used with -s or -v2";
    if (line.trace && line.files.size() != 1) return "-t takes exactly one stream file";
    if (!line.trace && line.files.size() < 2) return "at least one SVF file and one stream file are needed";
    return "";
}

}  // namespace

int runQsvfcheck(int argc, const char *const *argv, std::ostream &out, std::ostream &err) {
    // As with every program of the tool set, --help and --version are
    // answered when they are the only argument; elsewhere they are unknown
    // options.
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        out << kUsage;
        return kCheckEquivalent;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        out << "qsvfcheck (QSVF tools) " << QSVF_TOOLS_VERSION << '\n';
        return kCheckEquivalent;
    }
    CommandLine line;
    if (const std::string error = parse(argc, argv, line); !error.empty()) {
        err << "qsvfcheck: " << error << "\n" << kUsage;
        return kCheckInvalid;
    }
    try {
        int status;
        if (line.trace) {
            qsvfcheck::traceStream(line.files[0], out);
            status = kCheckEquivalent;
        } else {
            const std::string stream = line.files.back();
            line.files.pop_back();
            line.chains.pop_back();
            if (line.at) {
                const qsvfcheck::LocateOutcome where =
                    qsvfcheck::locateOffset(line.files, stream, *line.at, line.skipTdo, line.chains, line.tck);
                (where.found ? out : err) << where.text;
                return where.found ? kCheckEquivalent : kCheckInvalid;
            }
            const qsvfcheck::CheckOutcome outcome =
                qsvfcheck::checkStream(line.files, stream, line.skipTdo, line.v2, line.chains, line.tck);
            out << outcome.line << '\n';
            status = outcome.equivalent ? kCheckEquivalent : kCheckDiffers;
        }
        // A result that did not reach its reader is no result.
        if (out) out.flush();
        if (!out) {
            const int error = errno != 0 ? errno : EIO;
            err << "qsvfcheck: standard output: cannot write: " << std::strerror(error) << '\n';
            return kCheckInvalid;
        }
        // An input cut short under its mapped window was read as zero bytes
        // past its new end: whatever was found there is not a result.
        qsvfcheck::FileBlocks::checkNoInputChanged();
        return status;
    } catch (const qsvfcheck::InputError &error) {
        out.flush();
        // What was read past the new end of an input cut short is no fault
        // of that input: the change is the error.
        const std::string changed = qsvfcheck::FileBlocks::takeInputChange();
        err << "qsvfcheck: " << (changed.empty() ? error.what() : changed) << '\n';
    } catch (const std::bad_alloc &) {
        out.flush();
        err << "qsvfcheck: out of memory\n";
    }
    return kCheckInvalid;
}

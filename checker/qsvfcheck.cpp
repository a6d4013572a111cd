// qsvfcheck command line and driver: reads the switches, runs the check or
// the trace, and turns every outcome into one line and an exit status.
//
//   qsvfcheck [-s] [-v2] <input.svf>... <stream.qsvf>  check (0 equivalent, 1 differs)
//   qsvfcheck -t <stream.qsvf>                      trace (0 complete)
// Status 2: a file cannot be read, is not valid SVF or QSVF, or the command
// line is wrong.
#include "qsvfcheck.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "compare.h"
#include "file_blocks.h"
#include "input_error.h"
#include "trace.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: qsvfcheck [-s] [-v2] <input.svf>... <stream.qsvf>\n"
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
};

// Reads the switches; an error text when the command line is wrong.
std::string parse(int argc, const char *const *argv, CommandLine &line) {
    bool options = true;
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
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return "unknown option \"" + std::string(arg) + "\"";
        } else {
            line.files.emplace_back(arg);
        }
    }
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
            const qsvfcheck::CheckOutcome outcome = qsvfcheck::checkStream(line.files, stream, line.skipTdo, line.v2);
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

// Reporting of svf2qsvf: notes, warnings and errors (errHandler) with an
// optional reference to the input line, routed to standard output and the
// log; status text (statusMsg) routed to standard error and the log; and the
// wrappers for file errors, range checks and missing pointers.  An Error
// ends the run through the one exit path.
#ifndef SVF_DIAGNOSTICS_H
#define SVF_DIAGNOSTICS_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace svf {

class FileChannel;

enum Severity { SEV_MESSAGE = 17, SEV_NOTE = 18, SEV_WARNING = 19, SEV_ERROR = 20 };

enum StatusLayout {
    MSG_PLAIN = 10,
    MSG_NL_BEFORE = 11,
    MSG_NL_AFTER = 12,
    MSG_NL_AROUND = 13,
    MSG_CLEAR_BEFORE_NL_AFTER = 14,
    MSG_PROGRESS = 15,
    MSG_CLEAR_AFTER = 16,
};

// printf-style composition into a string that grows as needed.
std::string strFormat(const char *format, ...) __attribute__((format(printf, 1, 2)));

void errHandler(int severity, const std::string &text, int showLine, FileChannel *channel);
void errPrint(std::FILE *stream, FileChannel *streamChannel, const std::string &text, int severity,
              FileChannel *channel, int showLine);
void statusMsg(const std::string &text, int layout, int toConsole, int toLog);
void fileError(const std::string &name, int fatal, FileChannel *channel, int kind);
// An output that could not be written, with the system's reason, and an
// input whose file changed while it was read; both end the run.
[[noreturn]] void writeError(const std::string &name, int error);
[[noreturn]] void inputChangedError(const std::string &name);
int rangeReport(int report, int64_t value, int64_t low, int64_t high, const char *label, int severity);
void nullPtrReport(const char *label, FileChannel *channel);
// The checks are inline, the reports out of line: they run on every record.
inline int rangeCheck(int report, int64_t value, int64_t low, int64_t high, const char *label, int severity) {
    if (low <= value && value <= high) return 1;
    return rangeReport(report, value, low, high, label, severity);
}
inline void nullPtrChk(const void *pointer, const char *label, FileChannel *channel) {
    if (!pointer) nullPtrReport(label, channel);
}

// A fatal error, with a line reference to the channel when one is given.
[[noreturn]] void fatalError(const std::string &text, FileChannel *lineChannel = nullptr);
// A warning or note with a line reference to the channel when one is given.
void warning(const std::string &text, FileChannel *lineChannel = nullptr);
void note(const std::string &text, FileChannel *lineChannel = nullptr);

// What the chosen options, or the stream format itself, cannot write of what
// the SVF asks: each kind is warned once per run, at the first command that
// asks it.
enum OptionLoss {
    LOSS_END_STATE = 0,   // ENDIR/ENDDR other than IDLE without -extensions
    LOSS_RUN_STATE = 1,   // RUNTEST run or end state other than IDLE carried by a run-test count
    LOSS_V2_STATE = 2,    // STATE or TRST under -v2
    LOSS_SIR_TDO = 3,     // an SIR that compares TDO
    LOSS_TRST_ON = 4,     // TRST ON
    LOSS_PAUSE_COUNT = 5, // a scan ended in a pause state that runs a run-test count (-extensions without -qwait)
    LOSS_CHAIN_PADDING = 6, // HIR, HDR, TIR or TDR other than 0 under -chain
    LOSS_TCK_ABOVE_FREQUENCY = 7, // a FREQUENCY below the player's TCK (-tck)
};
void warnOptionLoss(OptionLoss kind, FileChannel &channel);

// A value that does not fit the field it is written to or read into.
[[noreturn]] void limitError(const char *what, const std::string &value, int64_t limit,
                             FileChannel *lineChannel = nullptr);

}  // namespace svf

#endif  // SVF_DIAGNOSTICS_H

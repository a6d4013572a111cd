// Reporting of svf2qsvf.  Diagnostics go to the log first (when one is
// open), then to standard output; status text goes to standard error only
// when the console flag is set, and to the log.  An Error prints the finish
// stamp and elapsed time, releases everything and ends the run with status 1.
#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "file_channel.h"
#include "prog_state.h"

namespace svf {

void showDateTime(const char *label, char *buffer, int toConsole);
void showElapsedTime(time_t start, time_t finish);

std::string strFormat(const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

namespace {
const char *severityPrefix(int severity) {
    switch (severity) {
    case SEV_MESSAGE: return "";
    case SEV_NOTE: return "Note   : ";
    case SEV_WARNING: return "Warning: ";
    default: return "Error  : ";
    }
}

bool inFatalEnd = false;  // a fatal error is being reported
}  // namespace

void errPrint(std::FILE *stream, FileChannel *streamChannel, const std::string &text, int severity,
              FileChannel *channel, int showLine) {
    std::string line = "\n";
    line += severityPrefix(severity);
    line += text;
    if (showLine == 1 && channel)
        line += strFormat("\n[%s: line %ld]:[%s]", channel->sName.c_str(), channel->lLineNum, channel->sLastToken);
    if (streamChannel)
        streamChannel->putText(line);
    else if (stream)
        std::fputs(line.c_str(), stream);
}

void errHandler(int severity, const std::string &text, int showLine, FileChannel *channel) {
    // Whatever a diagnostic would say about an input that changed while it
    // was read (cut short under its window, say) is about bytes that are
    // not there: the change is reported instead.
    static bool checkingInput = false;
    if (!checkingInput && pFC_Input && pFC_Input->pFile) {
        struct Guard {
            Guard() { checkingInput = true; }
            ~Guard() { checkingInput = false; }
        } guard;
        pFC_Input->checkInputUnchanged();
    }
    // A log that could not be written gets nothing more.
    if (pFC_Log && !pFC_Log->bWriteFailed) {
        if (!pFC_Log->pFile && !inFatalEnd) {
            inFatalEnd = true;
            errPrint(stdout, nullptr, strFormat("Null Ptr [%s]", pFC_Log->sName.c_str()), SEV_ERROR, nullptr, 0);
        } else {
            errPrint(nullptr, pFC_Log, text, severity, channel, showLine);
        }
    }
    if (channel) {
        if (severity == SEV_WARNING) ++channel->lWarnCount;
        if (severity == SEV_ERROR) ++channel->lErrCount;
        errPrint(stdout, nullptr, text, severity, channel, showLine);
    } else {
        errPrint(stdout, nullptr, text, severity, nullptr, 0);
        if (showLine == 1) statusMsg("No channel open", MSG_NL_BEFORE, 0, 1);
    }
    if (severity != SEV_ERROR) return;
    if (!inFatalEnd) {
        inFatalEnd = true;
        showDateTime("Finish ", sTimeFinish, 1);
        if (t_TimeStart != 0) {
            t_TimeFinish = t_SysDateTime;
            showElapsedTime(t_TimeStart, t_TimeFinish);
        } else {
            statusMsg(" ", MSG_NL_AROUND, 0, 1);
        }
    }
    inFatalEnd = false;
    freeMem();
    freeProgMem();
    exitProgram(1);
}

void statusMsg(const std::string &text, int layout, int toConsole, int toLog) {
    FileChannel *log = (toLog == 1 && pFC_Log && pFC_Log->pFile && !pFC_Log->bWriteFailed) ? pFC_Log : nullptr;
    bool console = toConsole == 1 && iDbg_StatusUpdate == 1;
    static const std::string clearLine = "\r" + std::string(79, ' ') + "\r";
    auto put = [&](const std::string &piece, bool consoleOnly) {
        if (log && !consoleOnly) log->putText(piece);
        if (console) std::fputs(piece.c_str(), stderr);
    };
    switch (layout) {
    case MSG_NL_BEFORE:
    case MSG_NL_AROUND: put("\n", false); break;
    case MSG_CLEAR_BEFORE_NL_AFTER:
    case MSG_PROGRESS: put(clearLine, true); break;
    default: break;
    }
    put(text, false);
    switch (layout) {
    case MSG_NL_AFTER:
    case MSG_NL_AROUND:
    case MSG_CLEAR_BEFORE_NL_AFTER: put("\n", false); break;
    case MSG_CLEAR_AFTER: put(clearLine, true); break;
    default: break;
    }
    if (console) std::fflush(stderr);
}

void fileError(const std::string &name, int fatal, FileChannel *channel, int kind) {
    std::string text;
    if (kind == 0)
        text = strFormat("missing [%s] filename", name.c_str());
    else if (kind == 1)
        text = strFormat("(%s) cannot open [%s]", kProgName, name.c_str());
    else
        text = strFormat("(%s) %s", kProgName, name.c_str());
    errHandler(fatal == 1 ? SEV_ERROR : SEV_WARNING, text, 0, channel);
}

void writeError(const std::string &name, int error) {
    fileError(strFormat("cannot write [%s]: %s", name.c_str(), std::strerror(error)), 1, nullptr, 2);
    exitProgram(1);  // not reached: errHandler ends the run
}

void inputChangedError(const std::string &name) {
    fileError(strFormat("input changed while reading [%s]", name.c_str()), 1, nullptr, 2);
    exitProgram(1);  // not reached: errHandler ends the run
}

int rangeReport(int report, int64_t value, int64_t low, int64_t high, const char *label, int severity) {
    if (report == 1)
        errHandler(severity,
                   strFormat("[%s] range[%lld <= %lld <= %lld]", label, static_cast<long long>(low),
                             static_cast<long long>(value), static_cast<long long>(high)),
                   0, nullptr);
    return 0;
}

void nullPtrReport(const char *label, FileChannel *channel) {
    errHandler(SEV_ERROR, strFormat("Null Ptr [%s]", label ? label : "*NoMsg*"), 0, channel);
}

void fatalError(const std::string &text, FileChannel *lineChannel) {
    errHandler(SEV_ERROR, text, lineChannel ? 1 : 0, lineChannel);
    exitProgram(1);  // not reached: errHandler ends the run
}

void warning(const std::string &text, FileChannel *lineChannel) {
    errHandler(SEV_WARNING, text, lineChannel ? 1 : 0, lineChannel);
}

void note(const std::string &text, FileChannel *lineChannel) {
    errHandler(SEV_NOTE, text, lineChannel ? 1 : 0, lineChannel);
}

void warnOptionLoss(OptionLoss kind, FileChannel &channel) {
    static constexpr const char *kTexts[] = {
        "End state other than IDLE needs -extensions; every scan ends in IDLE",
        "RUNTEST state other than IDLE needs -qwait; the wait is clocked in IDLE",
        "STATE and TRST are not written with -v2; the TAP stays where the scans leave it",
        "TDO of instruction scans is not compared; the stream has no record for it",
        "TRST ON is not written; the stream has no record for it",
        ("Scan ending in a pause state runs a run-test count: the player clocks it in IDLE, the SVF stays in the "
         "pause state; -qwait keeps it"),
        "HIR, HDR, TIR and TDR of the file are replaced by the padding of -chain",
        "FREQUENCY is below the TCK of -tck: the player clocks faster than the file allows",
    };
    const unsigned bit = 1u << kind;
    if (giOptionLossWarned & bit) return;
    giOptionLossWarned |= bit;
    warning(kTexts[kind], &channel);
}

void limitError(const char *what, const std::string &value, int64_t limit, FileChannel *lineChannel) {
    fatalError(strFormat("%s [%s] exceeds limit [%lld]", what, value.c_str(), static_cast<long long>(limit)),
               lineChannel);
}

}  // namespace svf

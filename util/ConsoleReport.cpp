// Console reports: HGerr and PTerrReport (numbered reports go through the
// message reporting of libLmr_Zutils, the others are fixed-format lines on
// standard error), progress text, screen messages and the internal-
// consistency check that ends the process with status 2.
#include <Lmr_Util/ConsoleReport.h>
#include <Lmr_Util/HardExit.h>

#include <Lmr_Zutils/pt_msg.h>

#include <cstdio>
#include <string>
#include <vector>

unsigned char IMessagePrinted = 0;

void EndProgressLine()
{
    if (IMessagePrinted) {
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
    IMessagePrinted = 0;
}

void PTerrReport(int module, char severity, int errNum, va_list arguments)
{
    int level;
    switch (severity) {
    case 'B': level = 4; break;
    case 'E':
    case 'F': level = 2; break;
    case 'M': level = 3; break;
    default: level = 1; break;
    }
    int code = static_cast<int>(((static_cast<unsigned>(module) * 256u + static_cast<unsigned>(level)) << 16) +
                                static_cast<unsigned>(errNum));
    // The value and the two flags are not used by the message reporting.
    if (pt_msg_args(code, 0, 1, 1, arguments) != 0) {
        std::fputs("[Internal fatal error! Program aborted.]\n", stderr);
        std::fflush(stderr);
    }
}

void HGerr(int errNum, char severity, const char *text, const char *detail, ...)
{
    EndProgressLine();
    if (errNum != 0) {
        va_list arguments;
        va_start(arguments, detail);
        PTerrReport(13, severity, errNum, arguments);
        va_end(arguments);
    } else {
        const char *prefix;
        switch (severity) {
        case 'B':
        case 'M': prefix = "Message: "; break;
        case 'E': prefix = "Error: "; break;
        case 'F': prefix = "Fatal: "; break;
        case 'W': prefix = "Warning: "; break;
        default: return;
        }
        std::string line = prefix;
        line += text ? text : "";
        if (detail) {
            line += ' ';
            line += detail;
        }
        line += ".\n";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        // An unnumbered error is still an error of the run: counted (as
        // the utility library's component), so that the run ends with 2.
        if (severity == 'E' || severity == 'F')
            err_maintain_statistics(pt_make_code(13, PT_MSG_ERROR, 0));
    }
    if (severity == 'F')
        Lmr_HardExit::Exit();
}

void HProgress(const char *text)
{
    // Progress must be seen while the work goes on: the text is always
    // flushed (the console buffer's fill level is not portably visible).
    std::fputs(text ? text : "", stdout);
    std::fflush(stdout);
    IMessagePrinted = 1;
}

void ScreenMessage(const char *format, ...)
{
    // The whole message is written, however long: it is formatted into a
    // buffer sized for it.
    if (!format)
        return;
    va_list arguments;
    va_start(arguments, format);
    va_list measure;
    va_copy(measure, arguments);
    int size = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) + 1 : 1, '\0');
    if (size > 0)
        std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
    va_end(arguments);
    std::fprintf(stdout, "%*s%s", global_indent < 0 ? 0 : global_indent, "", buffer.data());
    std::fflush(stdout);
}

void __EPLD_Assert(const char *reference, int line)
{
    std::fprintf(stderr, "Unexpected error detected.\nPlease report to Morvane with reference: \"%s:%u\"\n",
                 reference ? reference : "", static_cast<unsigned>(line));
    std::fflush(stderr);
    pt_terminate(2);
}

void SetMemoryHandler() {}

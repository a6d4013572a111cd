// Console reports of the family's tools: numbered reports through the message
// reporting of libLmr_Zutils (HGerr with a number, PTerrReport), fixed-format
// lines (HGerr without a number), progress text and screen messages, and the
// internal-consistency check __EPLD_Assert, which ends the process with
// status 2.
#ifndef LMR_UTIL_CONSOLEREPORT_H
#define LMR_UTIL_CONSOLEREPORT_H

#include <cstdarg>

// Set when progress text was written without a line end; the next error
// output ends that line first and clears it.
extern unsigned char IMessagePrinted;

// errNum != 0: reported as PTerrReport(13, severity, errNum, the variable
// arguments).  errNum == 0: "Message: " (B, M), "Error: " (E), "Fatal: " (F)
// or "Warning: " (W), the text, " " and the detail when given, "." and a line
// end on standard error; other severities print nothing.  Severity F then
// ends the process through Lmr_HardExit::Exit().
void HGerr(int errNum, char severity, const char *text, const char *detail, ...);

// Reports message errNum of component module with the level of severity
// (B 4, E and F 2, M 3, any other 1) through pt_msg_args.
void PTerrReport(int module, char severity, int errNum, va_list arguments);

// Writes text on standard output without a line end and flushes it.
void HProgress(const char *text);

// Writes a formatted message after global_indent spaces on standard output.
void ScreenMessage(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// "Unexpected error detected." with the reference on standard error, then
// the process ends with status 2, without any clean-up.
[[noreturn]] void __EPLD_Assert(const char *reference, int line);

// Does nothing; kept for the tools that call it at start.
void SetMemoryHandler();

// Ends a pending progress line: a line feed on standard output when
// IMessagePrinted is set, which is then cleared.
void EndProgressLine();

#endif

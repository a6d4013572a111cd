// Numbered message reporting and the run status of the family's design tools.
//
// A message code is one signed 32-bit value: bits 24..31 the component (0..23,
// which names the message catalogue), bits 16..23 the message type (0..5) and
// bits 0..15 the message number (0: nothing to report).  Warnings and errors
// are counted per component; the run ends with status 2 after any error.
//
// Every end of the process made by this library (pt_exit, and through it the
// hard exit of libLmr_Util) goes through pt_terminate, whose exit hook a test
// or an in-process caller may replace.
#ifndef LMR_ZUTILS_PT_MSG_H
#define LMR_ZUTILS_PT_MSG_H

#include <cstdarg>

#include <Lmr_Zutils/pt_environ.h>

// Message types.
enum {
    PT_MSG_INFO = 0,
    PT_MSG_WARNING = 1,
    PT_MSG_ERROR = 2,
    PT_MSG_STATUS = 3,
    PT_MSG_LOG_SCREEN = 4,
    PT_MSG_AUTO_ERROR = 5
};

// Number of catalogues in the component table (indexes 0..23).
constexpr int PT_COMPONENT_COUNT = 24;

// Builds and splits message codes.
constexpr int pt_make_code(int component, int type, int number) {
    return static_cast<int>((static_cast<unsigned>(component) << 24) |
                            ((static_cast<unsigned>(type) & 0xffu) << 16) |
                            (static_cast<unsigned>(number) & 0xffffu));
}
constexpr int pt_code_component(int code) { return static_cast<int>((static_cast<unsigned>(code) >> 24) & 0xffu); }
constexpr int pt_code_type(int code) { return static_cast<int>((static_cast<unsigned>(code) >> 16) & 0xffu); }
constexpr int pt_code_number(int code) { return static_cast<int>(static_cast<unsigned>(code) & 0xffffu); }

// The catalogue name of a component index ("??" for 0, "!!" past the table).
const char *pt_component_name(int component);

// Reporting.  The variable arguments fill the catalogue text's printf-style
// placeholders.  pt_msg_args takes an already collected argument list; the
// three values between the code and the list are accepted and not used.
// All return what err_print_message returns: 0 handled or ignored, -1 failure.
int pt_err(int code, ...);
int pt_msg(int code, ...);
int pt_msg_args(int code, int value, int flag1, int flag2, va_list args);
int err_print_message(int code, va_list args);

// Statistics.
void err_init();
int err_get_total(int type);
int err_get_count(int type, int component);
void err_maintain_statistics(int code);
const char *err_type_name(int type);

// Writes a ready text, routed by type, without catalogue, head or wrapping.
void err_write(const char *text, int type);

// Switch all reporting off and on.
void DisableMessages();
void EnableMessages();

// The last message code reported (also a code with number 0).
int err_last_code();
// The message number of the last automatic error reported.
int err_last_auto_error();

// When set, errors are reported as automatic errors.
extern int DoErrorTypeConversion;

// Indentation of every message line, in spaces (never below 0).
extern int global_indent;
void AddIndentLevel();
void SubIndentLevel();
void AutoIndent(const char *mode);

// Where catalogues are looked for first (a folder; null or "" to clear).
// Without it: $MYMORVANE/epld/data, $MORVANE/epld/data, then the folder that
// holds libLmr_Zutils itself.
void pt_set_catalogue_dir(const char *dir);

// Puts all message state back to its start values (counters, type names,
// flags, indentation, last codes, catalogue cache); for in-process runs.
void pt_reset_messages();

// Ends the run: reports a status other than 0 and -1 as a message code,
// finishes the environment and returns the run status (2 when any error was
// counted or status is not 0, else 0).
int pt_main2(int status);

// pt_main2(0), then ends the process at once with its result.
[[noreturn]] void pt_exit();

// The one way this library ends the process: calls the exit hook (which may
// throw to leave an in-process run) and, if the hook returns, std::exit.
[[noreturn]] void pt_terminate(int status);

using pt_exit_hook_t = void (*)(int status);
// Installs a new exit hook (null: none) and returns the previous one.
pt_exit_hook_t pt_set_exit_hook(pt_exit_hook_t hook);

// A ready exit hook for in-process runs: throws pt_exit_request{status}.
struct pt_exit_request {
    int status;
};
void pt_throw_exit_request(int status);

#endif

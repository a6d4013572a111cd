// The run environment of a design tool: the record every tool keeps as frame
// 0 of its environment database, and the run-time part rebuilt at each start
// (the log, report and configuration streams, the prompt, the character table
// of the configuration reader).  The message reporting routes its text
// through the log and report streams held here; the start-up code fills them.
#ifndef LMR_ZUTILS_PT_ENVIRON_H
#define LMR_ZUTILS_PT_ENVIRON_H

#include <cstdio>

// One byte of the configuration reader's character table: the character it
// reads as, and its class flags.
struct PT_CHAR_CLASS {
    unsigned char ch;
    unsigned short flags;
};

// Rebuilt at every start; never stored.  A stream that the tool did not open
// on a file is the console (stdout).
struct PT_RUNTIME {
    FILE *log_stream;
    FILE *report_stream;
    FILE *config_stream;
    char *prompt;
    PT_CHAR_CLASS char_table[256];
};

// The environment record: 800 bytes in frame 0 of the environment database.
// Its first member points to the run-time part; the rest belongs to the
// start-up code and the design-database components.
struct PT_ENVIRONMENT {
    PT_RUNTIME *runtime;
    unsigned char body[800 - sizeof(PT_RUNTIME *)];
};

// The current run environment, or null before start-up and after the end of
// the run.  Without an environment every message goes to the console.
extern PT_ENVIRONMENT *Environ;

// Called by pt_main2 with the run status once the messages are done: saves
// the environment when saving was requested and the status is not 2, closes a
// log or report file the tool opened, puts the console back in their place
// and releases the environment.  Set by the start-up code; null means there
// is nothing to finish.
extern void (*pt_end_environment_hook)(int runStatus);

#endif

// Start-up of the family's design tools: argument files, the common switches,
// a fresh or reloaded tool environment (frame 0 of the environment database),
// the configuration file with its character table, the log and report files,
// and the small text and memory services used throughout the library.  The
// run ends through pt_main2 / pt_exit (pt_msg.h), which saves the environment
// when -S was given.
#pragma once

#include <Lmr_Zutils/pt_environ.h>

#include <cstddef>
#include <cstdint>

// Run flags kept in the environment record.
inline constexpr unsigned PT_RUN_DEFAULT = 0x8000;
inline constexpr unsigned PT_RUN_DEBUG = 0x1000;

// Character classes of the configuration reader.
inline constexpr unsigned short PT_CH_OTHER = 0x8000;  // reads as a space
inline constexpr unsigned short PT_CH_TOKEN = 0x2000;  // part of a token
inline constexpr unsigned short PT_CH_END = 0x4000;    // ends a token
inline constexpr unsigned short PT_CH_SKIP = 0x0200;   // with PT_CH_END: skipped before a token
inline constexpr unsigned short PT_CH_OPEN = 0x1000;   // opens a statement
inline constexpr unsigned short PT_CH_CLOSE = 0x0800;  // closes a statement

// Start-up: prints the two lines, expands argument files (argc/argv are
// replaced by the expanded list, owned by the library until the run ends),
// reads the common switches, creates or reloads the environment and opens the
// log and report files.  Returns 0, or 2 on failure.
int pt_main1(const char *title, const char *text, int *argc, char ***argv);

// A fresh environment in the database "toolbase": frame 0, the empty alias
// table, the default aliases and the configuration file (-C names it, a
// switch beginning with "-!" skips it).  Returns 1 when any message was
// reported, else 0.
int pt_init(int argc, char **argv);

// Reads a configuration file (found as described in pt_find_config); returns
// 0 or the code of component 1 error 15 when no file is found.
int pt_get_config(const char *path);

// Reads configuration text already in memory (the reader behind
// pt_get_config); always returns 0.
int pt_read_config_text(const char *text, std::size_t length);

// The default character table of the configuration reader.
void pt_default_char_table(PT_CHAR_CLASS table[256]);

// The installation file <$MYMORVANE or $MORVANE>/epld/<directory>/<file>;
// 0 when found (its path in buffer), else the code of component 1 error 15,
// or error 26 when neither variable is set.
int pt_get_vorn_path(const char *directory, const char *file, char *buffer, std::size_t size);
int pt_get_vorn_data_path(const char *file, char *buffer, std::size_t size);

// "$NAME" (letters, digits, "_") replaced by the environment variable NAME
// upper-cased; nothing when unset.  A new text (release with pt_free).
char *pt_expand_variables(const char *text);

// Environment record: run flags and title.
unsigned pt_run_flags();
void pt_set_run_flags(unsigned flags);
const char *pt_env_title();

// What the switches of the current run asked for.
struct PT_SWITCHES {
    bool append = false;        // -A
    bool debug = false;         // -DEBUG
    bool save = false;          // -S
    bool skip_config = false;   // a switch beginning with "-!"
    const char *config = nullptr;  // -C
    const char *report = nullptr;  // -E
    const char *input = nullptr;   // -I (extension dropped)
    const char *log = nullptr;     // -L
    const char *output = nullptr;  // -O (extension dropped)
};
const PT_SWITCHES &pt_switches();

// Finishes the environment (the pt_main2 hook): saves it when -S was given
// and the run status is not 2, closes the log and report files and releases
// the environment.  Returns 0 or the code of a failed save.
int pt_end_environment(int run_status);

// Text and memory services.
char *pt_no_ext(const char *name);
char *pt_descendant_name(const char *name);
int pt_strcmpi(const char *a, const char *b);
char *pt_upper_case(char *text);
char *pt_lower_case(char *text);
char *pt_unquote_str(char *text);
char *pt_strdup(const char *text);
void *pt_malloc(std::size_t size);
void *pt_calloc(std::size_t count, std::size_t size);
void *pt_realloc(void *block, std::size_t size);
void pt_free(void *block);

// Start-up codes of component 1 (catalogue "epld_pt").
inline constexpr int PT_ERR_NO_CONFIG = (1 << 24) | (2 << 16) | 15;
inline constexpr int PT_WARN_LOG_FILE = (1 << 24) | (1 << 16) | 17;
inline constexpr int PT_WARN_REPORT_FILE = (1 << 24) | (1 << 16) | 18;
inline constexpr int PT_WARN_MISSING_TEXT = (1 << 24) | (1 << 16) | 22;
inline constexpr int PT_ERR_TOKEN_MEMORY = (1 << 24) | (2 << 16) | 23;
inline constexpr int PT_ERR_NO_INSTALL_DIR = (1 << 24) | (2 << 16) | 26;

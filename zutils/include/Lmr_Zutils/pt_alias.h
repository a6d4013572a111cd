// Aliases of the tool environment: named text values, set by the configuration
// file or by the tools, that steer the tools.  Names are held upper-cased; a
// value may be a list of items separated by ";".
#ifndef LMR_ZUTILS_PT_ALIAS_H
#define LMR_ZUTILS_PT_ALIAS_H

// Defines or redefines an alias; with a null value the alias is deleted.  A
// value enclosed in double quotes loses them.  Returns the value.
const char *pt_set_alias(const char *name, const char *value);

// A new copy of the value (release it with free()), "(null)" for an alias
// without value, or the upper-cased name itself when there is no such alias.
char *pt_get_alias(const char *name);

// The n-th item (from 0) of the ";"-separated value as a new copy (release
// with free()), or null.
char *pt_get_nth_alias(const char *name, int n);

// 1 when the first item of the alias equals text (case-insensitively), else 0.
int pt_compare_with_alias(const char *name, const char *text);

// Lists all aliases on the log stream.
void pt_show_alias();

#endif

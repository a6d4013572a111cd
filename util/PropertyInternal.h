// Helpers shared by the property, bit-set and error-system sources of
// libLmr_Util; not part of the public interface.
#ifndef LMR_UTIL_PROPERTYINTERNAL_H
#define LMR_UTIL_PROPERTYINTERNAL_H

#include <string_view>

#include <Lmr_Util/ConsoleReport.h>
#include <Lmr_Util/HardExit.h>
#include <Lmr_Util/String.h>

// The bytes of a String, embedded NULs included.
inline std::string_view LmrUtilTextOf(const String &text) { return text.str(); }

// Storage that the library cannot do without could not be had: writes
// "<what>\n" on standard error, counts one error so that the run status
// reflects the failure, and ends the process through the hard exit.
[[noreturn]] __attribute__((visibility("hidden"))) void LmrUtilOutOfMemory(const char *what);

#endif

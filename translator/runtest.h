// RUNTEST and FREQUENCY, and the SVF number reader getFloat that both use.
// Every RUNTEST becomes one TCK count, written as QRUNTEST (the count the
// player applies after the following scans) or, with -qwait, as QWAIT.
#ifndef SVF_RUNTEST_H
#define SVF_RUNTEST_H

namespace svf {

class FileChannel;

enum FloatKind { FLOAT_NONE = 0, FLOAT_REAL = 1, FLOAT_INTEGER = 2 };
inline constexpr int kPositiveRequired = 1;

// Reads one SVF number (digits[.digits][e[+|-]digits], optional sign).
// exact, when given, receives the value in double precision.
// expected names the token that the end of the input inside the number
// would have left missing.
int getFloat(FileChannel &channel, int mode, float *real, long *integer, double *exact = nullptr,
             const char *expected = ";");
void doRunTest(FileChannel &channel);
void doFrequency(FileChannel &channel);

}  // namespace svf

#endif  // SVF_RUNTEST_H

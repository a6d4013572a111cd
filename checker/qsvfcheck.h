// qsvfcheck: proves that a QSVF stream does what its SVF files say, or
// traces a stream record by record.  The whole program, every way out of it
// included, is runQsvfcheck; main only hands it the command line.
#ifndef QSVFCHECK_H
#define QSVFCHECK_H

#include <ostream>

// Exit status of a run.
enum QsvfcheckStatus { kCheckEquivalent = 0, kCheckDiffers = 1, kCheckInvalid = 2 };

// Runs the program with its arguments (argv[0] is the program name); results
// go to `out`, diagnostics to `err`.  Returns the exit status.
int runQsvfcheck(int argc, const char *const *argv, std::ostream &out, std::ostream &err);

#endif  // QSVFCHECK_H

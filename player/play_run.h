// qsvfplay's driver: reads the command line, plays the stream into the
// chosen pins with the chosen views (dump, trace), and turns every outcome
// into its lines and the exit status.  It runs in-process for the tests.
#ifndef QSVFPLAY_PLAY_RUN_H
#define QSVFPLAY_PLAY_RUN_H

#include <ostream>

namespace qsvfplay {

inline constexpr int kPlayComplete = 0;  // played to QCOMPLETE (also --help, --version)
inline constexpr int kPlayFailed = 1;    // a TDO comparison failed after its repeats
inline constexpr int kPlayInvalid = 2;   // unreadable or invalid stream, a failed output, a bad command line

int runQsvfplay(int argc, const char *const *argv, std::ostream &out, std::ostream &err);

}  // namespace qsvfplay

#endif  // QSVFPLAY_PLAY_RUN_H

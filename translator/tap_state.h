// The TAP controller model: the one-step transition table, the fixed paths
// between the stable states (both tables are data), state lookup by SVF
// name, and the commands that move or configure the controller without
// scanning: STATE (QSTATE records), ENDIR/ENDDR (QENDIR/QENDDR, possibly
// held back until after a following RUNTEST) and TRST (checks only).
#ifndef SVF_TAP_STATE_H
#define SVF_TAP_STATE_H

#include <array>
#include <cstdint>
#include <span>

#include "tap_data.h"

namespace svf {

class FileChannel;

// Lookup sets of checkTapState.
enum TapStateSet { TAP_SET_STABLE = 0, TAP_SET_ALL = 1 };

struct TapTransition {
    TapState next0;  // next state with TMS 0
    TapState next1;  // next state with TMS 1
};
extern const std::array<TapTransition, qsvf::kTapStateCount> kTapTransitions;

struct TapStep {
    TapState state;
    uint8_t tms;
};
struct StablePath {
    TapState from;
    TapState to;
    std::array<TapStep, 7> steps;
    int stepCount;
};
extern const std::array<StablePath, 11> kStablePaths;

bool isStableState(TapState state);
void getTapStateName(TapState state, char *nameBuffer, int *code);
bool checkTapPath(TapState from, TapState to, int *tms);
TapState checkTapState(int set, const char *name, FileChannel *channel, const char *message);
// The fixed path between two different stable states, or none.
const StablePath *findStablePath(TapState from, TapState to);
void addTapTransition(int tms, TapState state, int emit);
void doStableState(TapState from, TapState to, int emit);

void doState(FileChannel &channel);
void doEndState(FileChannel &channel, int which);
void doTrst(FileChannel &channel);
// Writes the QENDIR or QENDDR record (with -extensions only).
void writeEndStateRecord(int which, int operand);

}  // namespace svf

#endif  // SVF_TAP_STATE_H

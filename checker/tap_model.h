// The TAP controller as qsvfcheck follows it on both sides of a check, the
// SVF and the stream: the one-step transitions, the stable states, the walk
// from one stable state to another, and the rests the check compares (the
// stable states the TAP stays in after a scan, a state move or a wait, with
// the clocks waited there).
#ifndef QSVFCHECK_TAP_MODEL_H
#define QSVFCHECK_TAP_MODEL_H

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "qsvf_format.h"

namespace qsvfcheck {

using TapState = qsvf::TapStateCode;

bool isStableState(TapState state);
// True when `to` follows `from` in one TCK.
bool isOneStep(TapState from, TapState to);
// "Run-Test/Idle", "Pause-DR", ...
std::string_view tapStateTitle(TapState state);

// What brought the TAP to a rest.
enum class RestKind : uint8_t {
    ScanEnd,  // the end state of a scan
    Count,    // a run-test count clocked after a scan (the stream only; always Run-Test/Idle)
    Move,     // STATE or QSTATE
    Wait,     // the run state of a RUNTEST or QWAIT, the clocks waited there
    WaitEnd,  // the end state of a RUNTEST or QWAIT
};

struct Rest {
    TapState state = qsvf::STATE_RESET;
    RestKind kind = RestKind::Move;
    bool instruction = false;        // ScanEnd: of an instruction scan
    bool explicitEnd = false;        // stream ScanEnd: the end state was set by QENDIR/QENDDR
    bool afterScan = false;          // SVF Wait, WaitEnd: the RUNTEST directly follows a scan
    bool waitsHere = false;          // the rest a RUNTEST or QWAIT waits in
    bool emptyScan = false;          // stream: after a DR scan of no bits, which no SVF command is
    bool resetPath = false;          // Run-Test/Idle passed on the walk from Test-Logic-Reset to a pause state
    uint64_t clocks = 0;
    std::optional<uint64_t> maxClocks;  // SVF Wait: the most a MAXIMUM allows
    long line = 0;                      // SVF: line of the command
};

// Appends the rests of a walk from `from` to the stable state `to` by the
// stable-state paths: the path from Test-Logic-Reset to a pause state
// passes Run-Test/Idle, no other path passes a stable state.  A move to the
// state the TAP is in stays there.  A step into a shift state counts as a
// rest too (it shifts a bit), other passing states do not.  False when `to` is neither one step
// away nor, from a stable state, a stable state.
bool walkTo(std::vector<Rest> &rests, TapState from, TapState to, RestKind kind, long line);

// Joins neighbouring rests in one state: their clocks add up, and a most
// allowed is kept only when each had one.
std::vector<Rest> joinRests(const std::vector<Rest> &rests);

}  // namespace qsvfcheck

#endif  // QSVFCHECK_TAP_MODEL_H

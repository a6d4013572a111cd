// The TAP controller of qsvfcheck (see tap_model.h).
#include "tap_model.h"

#include <array>
#include <limits>

namespace qsvfcheck {

namespace {

using namespace qsvf;

struct Next {
    TapState tms0, tms1;
};
constexpr std::array<Next, kTapStateCount> kTransitions = {{
    {STATE_IDLE, STATE_RESET},        {STATE_IDLE, STATE_DRSELECT},    {STATE_DRCAPTURE, STATE_IRSELECT},
    {STATE_DRSHIFT, STATE_DREXIT1},   {STATE_DRSHIFT, STATE_DREXIT1},  {STATE_DRPAUSE, STATE_DRUPDATE},
    {STATE_DRPAUSE, STATE_DREXIT2},   {STATE_DRSHIFT, STATE_DRUPDATE}, {STATE_IDLE, STATE_DRSELECT},
    {STATE_IRCAPTURE, STATE_RESET},   {STATE_IRSHIFT, STATE_IREXIT1},  {STATE_IRSHIFT, STATE_IREXIT1},
    {STATE_IRPAUSE, STATE_IRUPDATE},  {STATE_IRPAUSE, STATE_IREXIT2},  {STATE_IRSHIFT, STATE_IRUPDATE},
    {STATE_IDLE, STATE_DRSELECT},
}};

constexpr std::array<std::string_view, kTapStateCount> kTitles = {
    "Test-Logic-Reset", "Run-Test/Idle", "Select-DR-Scan", "Capture-DR", "Shift-DR",  "Exit1-DR",
    "Pause-DR",         "Exit2-DR",      "Update-DR",      "Select-IR-Scan", "Capture-IR", "Shift-IR",
    "Exit1-IR",         "Pause-IR",      "Exit2-IR",       "Update-IR"};

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

}  // namespace

bool isStableState(TapState state) {
    return state == STATE_RESET || state == STATE_IDLE || state == STATE_DRPAUSE || state == STATE_IRPAUSE;
}

bool isOneStep(TapState from, TapState to) { return kTransitions[from].tms0 == to || kTransitions[from].tms1 == to; }

std::string_view tapStateTitle(TapState state) { return kTitles[state]; }

bool walkTo(std::vector<Rest> &rests, TapState from, TapState to, RestKind kind, long line) {
    Rest rest;
    rest.kind = kind;
    rest.line = line;
    if (!isOneStep(from, to)) {
        if (!isStableState(from) || !isStableState(to)) return false;
        if (from == STATE_RESET && (to == STATE_DRPAUSE || to == STATE_IRPAUSE)) {
            rest.state = STATE_IDLE;
            rest.resetPath = true;
            rests.push_back(rest);
            rest.resetPath = false;
        }
    }
    // A one-step move into a state that is not stable passes it at once;
    // a shift state shifts a bit, which counts as a rest.
    if (isStableState(to) || to == STATE_DRSHIFT || to == STATE_IRSHIFT) {
        rest.state = to;
        rests.push_back(rest);
    }
    return true;
}

std::vector<Rest> joinRests(const std::vector<Rest> &rests) {
    // The most a rest allows: its MAXIMUM, none for a rest that only passes
    // (no clocks asked), and no bound for a wait without MAXIMUM.
    const auto bound = [](const Rest &rest) -> std::optional<uint64_t> {
        if (rest.maxClocks) return rest.maxClocks;
        if (rest.clocks == 0) return uint64_t{0};
        return std::nullopt;
    };
    std::vector<Rest> joined;
    for (const Rest &rest : rests) {
        if (!joined.empty() && joined.back().state == rest.state) {
            Rest &last = joined.back();
            const bool limited = last.maxClocks || rest.maxClocks;
            const std::optional<uint64_t> a = bound(last), b = bound(rest);
            last.maxClocks = limited && a && b ? std::optional<uint64_t>(saturatingAdd(*a, *b)) : std::nullopt;
            last.clocks = saturatingAdd(last.clocks, rest.clocks);
            last.emptyScan = last.emptyScan && rest.emptyScan;
            continue;
        }
        joined.push_back(rest);
    }
    return joined;
}

}  // namespace qsvfcheck

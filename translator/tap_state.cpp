// The TAP controller model and the STATE, ENDIR/ENDDR and TRST commands.
// Records: QSTATE for the steps of STATE (by default only those that land
// in RESET or IDLE), QENDIR/QENDDR under -extensions.
#include "tap_state.h"

#include <cstring>

#include "diagnostics.h"
#include "file_channel.h"
#include "prog_state.h"
#include "qsvf_writer.h"
#include "svf_lexer.h"

namespace svf {

using namespace qsvf;

const std::array<TapTransition, kTapStateCount> kTapTransitions = {{
    /* RESET     */ {STATE_IDLE, STATE_RESET},
    /* IDLE      */ {STATE_IDLE, STATE_DRSELECT},
    /* DRSELECT  */ {STATE_DRCAPTURE, STATE_IRSELECT},
    /* DRCAPTURE */ {STATE_DRSHIFT, STATE_DREXIT1},
    /* DRSHIFT   */ {STATE_DRSHIFT, STATE_DREXIT1},
    /* DREXIT1   */ {STATE_DRPAUSE, STATE_DRUPDATE},
    /* DRPAUSE   */ {STATE_DRPAUSE, STATE_DREXIT2},
    /* DREXIT2   */ {STATE_DRSHIFT, STATE_DRUPDATE},
    /* DRUPDATE  */ {STATE_IDLE, STATE_DRSELECT},
    /* IRSELECT  */ {STATE_IRCAPTURE, STATE_RESET},
    /* IRCAPTURE */ {STATE_IRSHIFT, STATE_IREXIT1},
    /* IRSHIFT   */ {STATE_IRSHIFT, STATE_IREXIT1},
    /* IREXIT1   */ {STATE_IRPAUSE, STATE_IRUPDATE},
    /* IRPAUSE   */ {STATE_IRPAUSE, STATE_IREXIT2},
    /* IREXIT2   */ {STATE_IRSHIFT, STATE_IRUPDATE},
    /* IRUPDATE  */ {STATE_IDLE, STATE_DRSELECT},
}};

const std::array<StablePath, 11> kStablePaths = {{
    {STATE_RESET, STATE_DRPAUSE,
     {{{STATE_IDLE, 0}, {STATE_DRSELECT, 1}, {STATE_DRCAPTURE, 0}, {STATE_DREXIT1, 1}, {STATE_DRPAUSE, 0}}}, 5},
    {STATE_RESET, STATE_IRPAUSE,
     {{{STATE_IDLE, 0}, {STATE_DRSELECT, 1}, {STATE_IRSELECT, 1}, {STATE_IRCAPTURE, 0}, {STATE_IREXIT1, 1},
       {STATE_IRPAUSE, 0}}},
     6},
    {STATE_IDLE, STATE_RESET, {{{STATE_DRSELECT, 1}, {STATE_IRSELECT, 1}, {STATE_RESET, 1}}}, 3},
    {STATE_IDLE, STATE_DRPAUSE,
     {{{STATE_DRSELECT, 1}, {STATE_DRCAPTURE, 0}, {STATE_DREXIT1, 1}, {STATE_DRPAUSE, 0}}}, 4},
    {STATE_IDLE, STATE_IRPAUSE,
     {{{STATE_DRSELECT, 1}, {STATE_IRSELECT, 1}, {STATE_IRCAPTURE, 0}, {STATE_IREXIT1, 1}, {STATE_IRPAUSE, 0}}},
     5},
    {STATE_DRPAUSE, STATE_RESET,
     {{{STATE_DREXIT2, 1}, {STATE_DRUPDATE, 1}, {STATE_DRSELECT, 1}, {STATE_IRSELECT, 1}, {STATE_RESET, 1}}}, 5},
    {STATE_DRPAUSE, STATE_IDLE, {{{STATE_DREXIT2, 1}, {STATE_DRUPDATE, 1}, {STATE_IDLE, 0}}}, 3},
    {STATE_DRPAUSE, STATE_IRPAUSE,
     {{{STATE_DREXIT2, 1}, {STATE_DRUPDATE, 1}, {STATE_DRSELECT, 1}, {STATE_IRSELECT, 1}, {STATE_IRCAPTURE, 0},
       {STATE_IREXIT1, 1}, {STATE_IRPAUSE, 0}}},
     7},
    {STATE_IRPAUSE, STATE_RESET,
     {{{STATE_IREXIT2, 1}, {STATE_IRUPDATE, 1}, {STATE_DRSELECT, 1}, {STATE_IRSELECT, 1}, {STATE_RESET, 1}}}, 5},
    {STATE_IRPAUSE, STATE_IDLE, {{{STATE_IREXIT2, 1}, {STATE_IRUPDATE, 1}, {STATE_IDLE, 0}}}, 3},
    {STATE_IRPAUSE, STATE_DRPAUSE,
     {{{STATE_IREXIT2, 1}, {STATE_IRUPDATE, 1}, {STATE_DRSELECT, 1}, {STATE_DRCAPTURE, 0}, {STATE_DREXIT1, 1},
       {STATE_DRPAUSE, 0}}},
     6},
}};

bool isStableState(TapState state) {
    return state == STATE_RESET || state == STATE_IDLE || state == STATE_DRPAUSE || state == STATE_IRPAUSE;
}

void getTapStateName(TapState state, char *nameBuffer, int *code) {
    std::string_view name = kTapStateNames[state];
    std::memcpy(nameBuffer, name.data(), name.size());
    nameBuffer[name.size()] = '\0';
    if (code) *code = state;
}

bool checkTapPath(TapState from, TapState to, int *tms) {
    const TapTransition &step = kTapTransitions[from];
    int value = step.next0 == to ? 0 : step.next1 == to ? 1 : -1;
    if (tms) *tms = value;
    return value >= 0;
}

TapState checkTapState(int set, const char *name, FileChannel *channel, const char *message) {
    auto state = tapStateFromName(name);
    if (!state || (set == TAP_SET_STABLE && !isStableState(*state)))
        fatalError(strFormat("[%s]: %s", name, message), channel);
    return *state;
}

const StablePath *findStablePath(TapState from, TapState to) {
    for (const StablePath &path : kStablePaths)
        if (path.from == from && path.to == to) return &path;
    return nullptr;
}

void addTapTransition(int tms, TapState state, int emit) {
    pGlobTapData->transitions.emplace_back(static_cast<uint8_t>(state), static_cast<uint8_t>(tms));
    if (emit != 1) return;
    char name[16];
    getTapStateName(state, name, &giQtapState);
    if (iOptMinQstateUsage == 1 && giQtapState != STATE_RESET && giQtapState != STATE_IDLE) return;
    listFormat("QSTATE 0x%02x\n", static_cast<unsigned>(giQtapState));
    writeOpcode(QSTATE);
    binWrite(static_cast<uint64_t>(giQtapState), 2);
    giPlayerState = giQtapState;
}

void doStableState(TapState from, TapState to, int emit) {
    if (!isStableState(from)) fatalError(strFormat("[%s]: %s", kTapStateNames[from].data(), "invalid current state"));
    if (!isStableState(to)) fatalError(strFormat("[%s]: %s", kTapStateNames[to].data(), "invalid next state"));
    const StablePath *path = findStablePath(from, to);
    if (!path) {
        // A single step between stable states (to itself, or RESET to IDLE).
        int tms = 0;
        if (checkTapPath(from, to, &tms)) addTapTransition(tms, to, emit);
        return;
    }
    for (int i = 0; i < path->stepCount; ++i) addTapTransition(path->steps[i].tms, path->steps[i].state, emit);
}

void doState(FileChannel &channel) {
    writeSir(1);
    writeSdr(1);
    pGlobTapData->transitions.clear();
    TapState current = pGlobTapData->currentState;
    bool moved = false;
    int emit = iV2Compatibility == 1 ? 0 : 1;
    // Every step is written from where the player is, which is not where
    // the SVF is after a wait carried by the run-test count (clocked in
    // Run-Test/Idle) or a scan ending in a state QENDIR/QENDDR cannot hold.
    // The paths to stable states, the only steps written by default, the
    // player walks from anywhere.
    const TapState player = iOptMinQstateUsage != 1 ? static_cast<TapState>(giPlayerState) : current;
    for (;;) {
        lexNeed(channel, ";");
        if (std::strcmp(channel.sToken, ";") == 0) break;
        TapState state = checkTapState(TAP_SET_ALL, channel.sToken, &channel, "invalid path/stable state");
        if (emit == 0) warnOptionLoss(LOSS_V2_STATE, channel);
        int tms = 0;
        if (checkTapPath(current, state, &tms)) {
            if (!moved && player != current) {
                // A stable first state is reached by its path from the
                // player; another one from the state the SVF is in.
                doStableState(player, isStableState(state) ? state : current, emit);
                if (isStableState(state)) {
                    current = state;
                    moved = true;
                    continue;
                }
            }
            addTapTransition(tms, state, emit);
            current = state;
            moved = true;
        } else if (moved) {
            fatalError(strFormat("Invalid pathstate from state %s", kTapStateNames[current].data()), &channel);
        } else {
            TapState stable = checkTapState(TAP_SET_STABLE, channel.sToken, &channel, "invalid stable state");
            doStableState(player, stable, emit);
            current = stable;
            moved = true;
        }
    }
    if (!isStableState(current))
        fatalError(strFormat("[%s]: %s", kTapStateNames[current].data(),
                             "stable state must be RESET/IDLE/DRPAUSE/IRPAUSE"),
                   &channel);
    pGlobTapData->currentState = current;
    iSvfTrstRule = 1;
}

void writeEndStateRecord(int which, int operand) {
    if (iQsvfExt != 1) return;
    giPlayerEndPause[which == 0 ? 1 : 0] = operand;
    listFormat("%s 0x%02X\n", which == 0 ? "QENDIR" : "QENDDR", static_cast<unsigned>(operand));
    writeOpcode(which == 0 ? QENDIR : QENDDR);
    binWrite(static_cast<uint64_t>(operand), 2);
}

void doEndState(FileChannel &channel, int which) {
    g_iDelayedEndxR = 0;
    lexNeed(channel, ";");
    TapState state = checkTapState(TAP_SET_STABLE, channel.sToken, &channel, "invalid end state");
    if (state != STATE_IDLE && iQsvfExt != 1) warnOptionLoss(LOSS_END_STATE, channel);
    (which == 0 ? pGlobTapData->irEndState : pGlobTapData->drEndState) = state;
    strSearch(";", 0, channel);
    lex(channel, 0);
    channel.iTokenState = kStatePushedBack;
    int operand = state == STATE_IDLE ? kEndStateIdle : kEndStatePause;
    if (channel.tokenRead() && std::strcmp(channel.sToken, "runtest") == 0 && giUseQwait != 1) {
        g_iStoredEndState = operand;
        g_iStoredEndTap = state;
        g_iStoredEndMode = which;
        g_iDelayedEndxR = 1;
        return;
    }
    writeSir(1);
    writeSdr(1);
    writeEndStateRecord(which, operand);
}

void doTrst(FileChannel &channel) {
    writeSir(1);
    writeSdr(1);
    lexNeed(channel, ";");
    static constexpr const char *kModes[] = {"on", "off", "z"};
    int mode = 0;
    for (int i = 0; i < 3; ++i)
        if (std::strcmp(channel.sToken, kModes[i]) == 0) mode = i + 1;
    if (mode != 0 && iV2Compatibility == 1) warnOptionLoss(LOSS_V2_STATE, channel);
    if (mode != 0) {
        if (pGlobTapData->trstMode == 4) warning("No TRSTs allowed after TRST ABSENT", &channel);
        if (mode == 1) warnOptionLoss(LOSS_TRST_ON, channel);
        pGlobTapData->trstMode = mode;
    } else if (std::strcmp(channel.sToken, "absent") == 0) {
        if (iSvfTrstRule == 1) warning("ABSENT must be placed before SDR/SIR/STATE/RUNTEST/PIO", &channel);
        pGlobTapData->trstMode = 4;
    } else {
        warning("Unknown TRST type", &channel);
        if (std::strcmp(channel.sToken, ";") == 0) return;  // TRST; has no mode word to skip
    }
    strSearch(";", 0, channel);
}

}  // namespace svf

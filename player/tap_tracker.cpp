// The TAP transition table of the host program (see tap_tracker.h).
#include "tap_tracker.h"

#include <array>

#include "qsvf_format.h"

namespace qsvfplay {

namespace {

struct Next {
    uint8_t low, high;  // after a clock with TMS 0, with TMS 1
};

// Indexed by state code.
constexpr std::array<Next, qsvf::kTapStateCount> kTransitions = {{
    {qsvf::STATE_IDLE, qsvf::STATE_RESET},          // reset
    {qsvf::STATE_IDLE, qsvf::STATE_DRSELECT},       // idle
    {qsvf::STATE_DRCAPTURE, qsvf::STATE_IRSELECT},  // drselect
    {qsvf::STATE_DRSHIFT, qsvf::STATE_DREXIT1},     // drcapture
    {qsvf::STATE_DRSHIFT, qsvf::STATE_DREXIT1},     // drshift
    {qsvf::STATE_DRPAUSE, qsvf::STATE_DRUPDATE},    // drexit1
    {qsvf::STATE_DRPAUSE, qsvf::STATE_DREXIT2},     // drpause
    {qsvf::STATE_DRSHIFT, qsvf::STATE_DRUPDATE},    // drexit2
    {qsvf::STATE_IDLE, qsvf::STATE_DRSELECT},       // drupdate
    {qsvf::STATE_IRCAPTURE, qsvf::STATE_RESET},     // irselect
    {qsvf::STATE_IRSHIFT, qsvf::STATE_IREXIT1},     // ircapture
    {qsvf::STATE_IRSHIFT, qsvf::STATE_IREXIT1},     // irshift
    {qsvf::STATE_IRPAUSE, qsvf::STATE_IRUPDATE},    // irexit1
    {qsvf::STATE_IRPAUSE, qsvf::STATE_IREXIT2},     // irpause
    {qsvf::STATE_IRSHIFT, qsvf::STATE_IRUPDATE},    // irexit2
    {qsvf::STATE_IDLE, qsvf::STATE_DRSELECT},       // irupdate
}};

}  // namespace

uint8_t TapTracker::next(uint8_t state, bool tms) {
    const Next &n = kTransitions[state & 15];
    return tms ? n.high : n.low;
}

bool TapTracker::isShift(uint8_t state) { return state == qsvf::STATE_DRSHIFT || state == qsvf::STATE_IRSHIFT; }

bool TapTracker::isStable(uint8_t state) {
    return state == qsvf::STATE_RESET || state == qsvf::STATE_IDLE || state == qsvf::STATE_DRPAUSE ||
           state == qsvf::STATE_IRPAUSE;
}

std::string_view TapTracker::name(uint8_t state) { return qsvf::kTapStateNames[state & 15]; }

}  // namespace qsvfplay

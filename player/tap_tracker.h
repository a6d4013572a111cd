// The host program's own view of the TAP controller: the state after every
// clock, from TMS alone, as every device on the chain sees it.  The
// simulated chain, the remote_bitbang backend and the trace all follow the
// pins through it.
#ifndef QSVFPLAY_TAP_TRACKER_H
#define QSVFPLAY_TAP_TRACKER_H

#include <cstdint>
#include <string_view>

namespace qsvfplay {

class TapTracker {
public:
    uint8_t state() const { return m_state; }
    // The state after one clock with this TMS (the state does not change).
    static uint8_t next(uint8_t state, bool tms);
    void clock(bool tms) { m_state = next(m_state, tms); }
    static bool isShift(uint8_t state);
    static bool isStable(uint8_t state);
    static std::string_view name(uint8_t state);

private:
    uint8_t m_state = 0;  // Test-Logic-Reset, where five clocks of TMS high leave any TAP
};

}  // namespace qsvfplay

#endif  // QSVFPLAY_TAP_TRACKER_H

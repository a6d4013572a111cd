// --trace: the pins of a play as TAP operations, one line each, named by
// the record that drives them ("start" for the reset before the first):
// a move through states that are passed, a shift of bits in Shift-DR or
// Shift-IR (with TDI and TDO up to 256 bits), a wait of clocks that stay in
// a stable state; on a simulated chain of devices also each device's
// instruction after Update-IR, once the operation that passes it is written.
#ifndef QSVFPLAY_PIN_TRACE_H
#define QSVFPLAY_PIN_TRACE_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "qsvfplay.h"

namespace qsvfplay {

class PinTrace {
public:
    PinTrace(std::ostream &out, const qsvfplay_state *player) : m_out(out), m_player(player) {}
    // One clock from state `before` to `after`.
    void clock(uint8_t before, uint8_t after, bool tdi, bool tdo);
    // Each device's instruction after an Update-IR, bit 0 first (the all-ones
    // instruction is named BYPASS).
    void instructions(const std::vector<std::vector<bool>> &devices);
    // Writes the operation in progress.
    void finish();

private:
    enum class Kind { None, Move, Shift, Wait };
    std::string recordLabel() const;

    std::ostream &m_out;
    const qsvfplay_state *m_player;
    Kind m_kind = Kind::None;
    uint8_t m_from = 0, m_to = 0;
    uint64_t m_clocks = 0;
    uint32_t m_record = 0;
    std::string m_label;
    std::vector<bool> m_tdi, m_tdo;
    std::string m_notes;  // lines written after the operation in progress
};

}  // namespace qsvfplay

#endif  // QSVFPLAY_PIN_TRACE_H

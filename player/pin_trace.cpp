// The TAP operation trace (see pin_trace.h).
#include "pin_trace.h"

#include <algorithm>

#include "qsvf_format.h"
#include "tap_tracker.h"

namespace qsvfplay {

namespace {

constexpr size_t kShownBits = 256;

// Bits as "0x" and hexadecimal digits, the highest bit first.
std::string hex(const std::vector<bool> &bits) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text = "0x";
    for (size_t top = (bits.size() + 3) / 4; top-- > 0;) {
        unsigned digit = 0;
        for (unsigned k = 0; k < 4; ++k)
            if (top * 4 + k < bits.size() && bits[top * 4 + k]) digit |= 1u << k;
        text += kDigits[digit];
    }
    return text;
}

}  // namespace

// The record being played: its byte offset and mnemonic, or "start".
std::string PinTrace::recordLabel() const {
    if (m_player->offset == 0) return "start";
    return std::to_string(m_player->record) + " " +
           std::string(m_player->opcode < qsvf::kOpcodeCount ? qsvf::kOpcodes[m_player->opcode].mnemonic : "?");
}

void PinTrace::instructions(const std::vector<std::vector<bool>> &devices) {
    m_notes += recordLabel() + ": instructions:";
    for (size_t d = 0; d < devices.size(); ++d) {
        const std::vector<bool> &ir = devices[d];
        const bool bypass = std::find(ir.begin(), ir.end(), false) == ir.end();
        m_notes += (d == 0 ? " device " : ", device ") + std::to_string(d + 1) + " " + (bypass ? "BYPASS" : hex(ir));
    }
    m_notes += '\n';
}

void PinTrace::clock(uint8_t before, uint8_t after, bool tdi, bool tdo) {
    const Kind kind = TapTracker::isShift(before)                          ? Kind::Shift
                      : before == after && TapTracker::isStable(before) ? Kind::Wait
                                                                          : Kind::Move;
    const bool started = m_player->offset > 0;
    if (kind != m_kind || (kind != Kind::Move && before != m_from) || (started && m_player->record != m_record) ||
        (started && m_label == "start")) {
        finish();
        m_kind = kind;
        m_from = before;
        m_record = m_player->record;
        m_label = recordLabel();
    }
    m_to = after;
    ++m_clocks;
    if (kind == Kind::Shift && m_tdi.size() < kShownBits + 1) {
        m_tdi.push_back(tdi);
        m_tdo.push_back(tdo);
    }
}

void PinTrace::finish() {
    const std::string at = m_label + ": ";
    switch (m_kind) {
    case Kind::None: break;
    case Kind::Move:
        m_out << at << "move " << TapTracker::name(m_from) << " -> " << TapTracker::name(m_to) << " (" << m_clocks
              << (m_clocks == 1 ? " clock)\n" : " clocks)\n");
        break;
    case Kind::Shift:
        m_out << at << "shift " << (m_from == qsvf::STATE_IRSHIFT ? "IR " : "DR ") << m_clocks
              << (m_clocks == 1 ? " bit" : " bits");
        if (m_clocks <= kShownBits) m_out << ", tdi " << hex(m_tdi) << ", tdo " << hex(m_tdo);
        m_out << '\n';
        break;
    case Kind::Wait:
        m_out << at << "wait " << m_clocks << (m_clocks == 1 ? " clock" : " clocks") << " in "
              << TapTracker::name(m_from) << '\n';
        break;
    }
    m_out << m_notes;
    m_notes.clear();
    m_kind = Kind::None;
    m_clocks = 0;
    m_tdi.clear();
    m_tdo.clear();
}

}  // namespace qsvfplay

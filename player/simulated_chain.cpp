// The simulated TAP chain (see simulated_chain.h).
#include "simulated_chain.h"

#include <utility>

#include "qsvf_format.h"

namespace qsvfplay {

SimulatedChain::SimulatedChain(std::vector<unsigned> irLengths, uint64_t failAt, const qsvfplay_state *player)
    : m_irLengths(std::move(irLengths)), m_failAt(failAt), m_player(player) {
    m_bypass.assign(m_irLengths.empty() ? 1 : m_irLengths.size(), false);
}

void SimulatedChain::startRecord() {
    m_bit = 0;
    m_looked = false;
}

bool SimulatedChain::shiftChain(bool tdi) {
    if (m_register.empty()) return tdi;
    const bool out = m_register.front();
    m_register.pop_front();
    m_register.push_back(tdi);
    return out;
}

void SimulatedChain::updateInstructions() {
    if (m_irLengths.empty()) {
        m_bypass[0] = !m_shiftedIn.empty();
        for (bool bit : m_shiftedIn) m_bypass[0] = m_bypass[0] && bit;
        return;
    }
    size_t at = 0;
    for (size_t d = 0; d < m_irLengths.size(); ++d) {
        bool ones = m_irLengths[d] > 0;
        for (unsigned i = 0; i < m_irLengths[d]; ++i) ones = ones && m_register[at++];
        m_bypass[d] = ones;
    }
}

// The TDO of a bit the player compares: the expected bit, or its opposite
// in the scan chosen to fail.
bool SimulatedChain::answerCompared(bool tdo) {
    if (!m_looked) {
        m_looked = true;
        m_haveVectors = qsvfplay_scan_vectors(m_player, &m_vectors) && m_vectors.expected;
    }
    const uint64_t i = m_bit++;
    if (!m_haveVectors || i >= m_vectors.bits || i >= m_vectors.mask_bits || !((m_vectors.mask[i >> 3] >> (i & 7)) & 1))
        return tdo;
    if (m_comparedScans == 0 || m_player->scans != m_lastScan) {
        ++m_comparedScans;
        m_lastScan = m_player->scans;
        m_failing = m_comparedScans == m_failAt;
    }
    const bool expected = i < m_vectors.expected_bits && ((m_vectors.expected[i >> 3] >> (i & 7)) & 1);
    return expected != m_failing;
}

bool SimulatedChain::clock(bool tms, bool tdi, uint8_t state) {
    switch (state) {
    case qsvf::STATE_RESET: m_bypass.assign(m_bypass.size(), false); return false;
    case qsvf::STATE_IRCAPTURE:
        m_register.clear();
        m_shiftedIn.clear();
        for (unsigned length : m_irLengths)
            for (unsigned i = 0; i < length; ++i) m_register.push_back(i == 0);
        if (m_irLengths.empty()) m_register.push_back(true);
        return false;
    case qsvf::STATE_IRSHIFT:
        if (m_irLengths.empty()) {
            m_shiftedIn.push_back(tdi);
            if (m_register.empty()) return false;  // the rest of a captured 1 0 0 ...
            m_register.clear();
            return true;
        }
        return shiftChain(tdi);
    case qsvf::STATE_IRUPDATE: updateInstructions(); return false;
    case qsvf::STATE_DRCAPTURE:
        m_register.clear();
        for (bool bypass : m_bypass)
            if (bypass) m_register.push_back(false);
        m_bit = 0;
        return false;
    case qsvf::STATE_DRSHIFT: return answerCompared(shiftChain(tdi));
    default: (void)tms; return false;
    }
}

}  // namespace qsvfplay

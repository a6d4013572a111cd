// The simulated TAP chain (see simulated_chain.h).
#include "simulated_chain.h"

#include <algorithm>
#include <utility>

#include "qsvf_format.h"

namespace qsvfplay {

SimulatedChain::SimulatedChain(std::vector<unsigned> irLengths, uint64_t failAt, const qsvfplay_state *player)
    : m_irLengths(std::move(irLengths)), m_failAt(failAt), m_player(player) {
    m_bypass.assign(m_irLengths.empty() ? 1 : m_irLengths.size(), false);
    m_instructions.resize(m_irLengths.size());
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
        m_instructions[d].assign(m_register.begin() + static_cast<std::ptrdiff_t>(at),
                                 m_register.begin() + static_cast<std::ptrdiff_t>(at + m_irLengths[d]));
        at += m_irLengths[d];
        m_bypass[d] = std::find(m_instructions[d].begin(), m_instructions[d].end(), false) == m_instructions[d].end();
    }
    if (m_showInstructions) m_showInstructions(m_instructions);
}

namespace {

// "device 3", "devices 1 and 3", "devices 1, 2 and 3".
std::string deviceList(const std::vector<size_t> &devices) {
    std::string text = devices.size() == 1 ? "device " : "devices ";
    for (size_t i = 0; i < devices.size(); ++i)
        text += (i == 0 ? "" : i + 1 == devices.size() ? " and " : ", ") + std::to_string(devices[i]);
    return text;
}

}  // namespace

// At the first bit of a data scan: the devices out of BYPASS that must be
// in it (see simulated_chain.h).  A chain of one device addresses it alone.
void SimulatedChain::checkBypass() {
    if (m_irLengths.size() < 2 || !m_bypassFault.empty()) return;
    std::vector<size_t> out;
    for (size_t d = 0; d < m_bypass.size(); ++d)
        if (!m_bypass[d] && d + 1 != m_target) out.push_back(d + 1);
    if (out.empty() || (m_target == 0 && out.size() == 1)) return;
    m_bypassFault = deviceList(out) + " not in BYPASS during the data scan at stream byte " +
                    std::to_string(m_player->record) +
                    (m_target ? " (the stream is for device " + std::to_string(m_target) + ")"
                              : " (a data scan addresses one device)");
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
    case qsvf::STATE_RESET:
        m_bypass.assign(m_bypass.size(), false);
        m_instructions.assign(m_instructions.size(), {});
        return false;
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
        m_captured = true;
        return false;
    case qsvf::STATE_DRSHIFT:
        if (m_captured) checkBypass();
        m_captured = false;
        return answerCompared(shiftChain(tdi));
    default: (void)tms; return false;
    }
}

}  // namespace qsvfplay

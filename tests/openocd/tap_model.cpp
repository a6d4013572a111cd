// The simulated TAP controller and its recording (see tap_model.h).
#include "tap_model.h"

#include <algorithm>
#include <array>

namespace tapsim {

namespace {

struct Row {
    const char *name;
    State onTms0, onTms1;
    bool stable;
};

// IEEE 1149.1 transitions, by state, in the order of the State enum.
constexpr std::array<Row, 16> kTable = {{
    {"RESET", State::Idle, State::Reset, true},
    {"IDLE", State::Idle, State::DrSelect, true},
    {"DRSELECT", State::DrCapture, State::IrSelect, false},
    {"DRCAPTURE", State::DrShift, State::DrExit1, false},
    {"DRSHIFT", State::DrShift, State::DrExit1, false},
    {"DREXIT1", State::DrPause, State::DrUpdate, false},
    {"DRPAUSE", State::DrPause, State::DrExit2, true},
    {"DREXIT2", State::DrShift, State::DrUpdate, false},
    {"DRUPDATE", State::Idle, State::DrSelect, false},
    {"IRSELECT", State::IrCapture, State::Reset, false},
    {"IRCAPTURE", State::IrShift, State::IrExit1, false},
    {"IRSHIFT", State::IrShift, State::IrExit1, false},
    {"IREXIT1", State::IrPause, State::IrUpdate, false},
    {"IRPAUSE", State::IrPause, State::IrExit2, true},
    {"IREXIT2", State::IrShift, State::IrUpdate, false},
    {"IRUPDATE", State::Idle, State::DrSelect, false},
}};

const Row &row(State state) { return kTable[static_cast<size_t>(state)]; }

bool isShift(State state) { return state == State::DrShift || state == State::IrShift; }

}  // namespace

State nextState(State state, bool tms) { return tms ? row(state).onTms1 : row(state).onTms0; }
const char *stateName(State state) { return row(state).name; }
bool isStable(State state) { return row(state).stable; }

std::string bitsToHex(const std::vector<bool> &bits) {
    static const char digits[] = "0123456789abcdef";
    const size_t count = (bits.size() + 3) / 4;
    std::vector<unsigned> values(count, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i]) values[count - 1 - i / 4] |= 1u << (i % 4);
    std::string text;
    for (unsigned value : values) text += digits[value];
    return text;
}

bool hexToBits(const std::string &hex, uint64_t length, std::vector<bool> &bits) {
    bits.assign(length, false);
    uint64_t bit = 0;
    for (size_t i = hex.size(); i-- > 0;) {
        const char ch = hex[i];
        const int value = ch >= '0' && ch <= '9'   ? ch - '0'
                          : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                          : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10
                                                   : -1;
        if (value < 0) return false;
        for (int b = 0; b < 4; ++b, ++bit)
            if (value & (1 << b)) {
                if (bit >= length) return false;
                bits[bit] = true;
            }
    }
    return true;
}

Tap::Tap(std::ostream &record, std::vector<unsigned> irLengths, std::vector<Answer> answers, bool setUpFirst,
         bool recordDevices)
    : m_record(record),
      m_irLengths(std::move(irLengths)),
      m_bypass(m_irLengths.size(), true),
      m_recordDevices(recordDevices),
      m_answers(std::move(answers)),
      m_answering(!setUpFirst) {}

void Tap::leaveRest() {
    if (!isStable(m_state)) return;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_restSince).count();
    m_record << "rest " << stateName(m_state) << ' ' << m_restClocks << ' ' << us << '\n';
}

void Tap::enter(State state) {
    if (state == m_state) {
        if (isStable(state)) ++m_restClocks;
        return;
    }
    leaveRest();
    if (isShift(m_state)) endSegment();
    m_state = state;
    m_restClocks = 0;
    // Each scan of the file takes the next answer, also one shifted on from
    // a pause without a new capture; the pieces of one scan shifted with
    // pauses between them share theirs.  TDO is read before the first edge.
    if (isShift(state) && m_answering && (!m_answer || m_answerBit >= m_answer->bits.size())) {
        m_answer = m_scanIndex < m_answers.size() ? &m_answers[m_scanIndex] : nullptr;
        ++m_scanIndex;
        m_answerBit = 0;
    }
    m_restSince = Clock::now();
    if (state == State::DrCapture || state == State::IrCapture) {
        m_scanStarted = false;
        m_shifted = 0;
        m_captured.clear();
        if (state == State::IrCapture) {
            for (unsigned length : m_irLengths)
                for (unsigned i = 0; i < length; ++i) m_captured.push_back(i == 0);
        } else {
            m_captured.assign(m_irLengths.size(), false);
        }
    }
    if (state == State::Reset) m_bypass.assign(m_bypass.size(), true);
    if (state == State::IrUpdate || state == State::DrUpdate) update(state == State::IrUpdate);
}

void Tap::recordDevice(size_t device, bool instruction, const std::vector<bool> &bits) {
    m_record << "device " << device + 1 << (instruction ? " IR " : " DR ") << bits.size() << ' '
             << (bits.empty() ? "0" : bitsToHex(bits)) << '\n';
}

// What each device holds at Update: the last bits of the chain's registers,
// the device at TDO first (see tap_model.h for a data register's length).
void Tap::update(bool instruction) {
    std::vector<size_t> lengths;
    if (instruction) {
        lengths.assign(m_irLengths.begin(), m_irLengths.end());
    } else {
        size_t bypassed = 0;
        for (bool bypass : m_bypass) bypassed += bypass;
        const size_t rest = m_shifted > bypassed ? m_shifted - bypassed : 0;
        bool restGiven = false;
        for (bool bypass : m_bypass) {
            lengths.push_back(bypass ? 1 : restGiven ? 0 : rest);
            restGiven = restGiven || !bypass;
        }
    }
    // From TDO, the registers hold the last `total` bits of what the chain
    // captured followed by what was shifted in behind it.
    size_t total = 0;
    for (size_t length : lengths) total += length;
    const auto first = m_captured.end() - static_cast<std::ptrdiff_t>(total);
    size_t at = 0;
    for (size_t d = 0; d < lengths.size(); ++d) {
        const std::vector<bool> bits(first + static_cast<std::ptrdiff_t>(at),
                                     first + static_cast<std::ptrdiff_t>(at + lengths[d]));
        at += lengths[d];
        if (instruction) m_bypass[d] = std::find(bits.begin(), bits.end(), false) == bits.end();
        if (m_recordDevices) recordDevice(d, instruction, bits);
    }
}

void Tap::endSegment() {
    m_record << (m_scanStarted ? "scan+ " : "scan ") << (m_state == State::IrShift ? "IR " : "DR ") << m_segment.size()
             << ' ' << bitsToHex(m_segment) << '\n';
    m_scanStarted = true;
    m_segment.clear();
}

void Tap::risingEdge(bool tms, bool tdi) {
    if (isShift(m_state)) {
        ++m_answerBit;
        m_segment.push_back(tdi);
        m_captured.push_back(tdi);  // the device model's register passes TDI on
        ++m_shifted;
    }
    enter(nextState(m_state, tms));
}

bool Tap::tdo() const {
    if (!isShift(m_state)) return false;
    const bool instruction = m_state == State::IrShift;
    if (m_answer && m_answer->instruction == instruction && m_answerBit < m_answer->bits.size())
        return m_answer->bits[m_answerBit];
    return m_shifted < m_captured.size() && m_captured[m_shifted];
}

void Tap::setPins(bool tck, bool tms, bool tdi) {
    if (tck && !m_tck && !m_trst) risingEdge(tms, tdi);
    m_tck = tck;
}

void Tap::setReset(bool trst, bool srst) {
    if (srst && !m_srst) {
        // The client's set-up is over: answers count from here.
        m_record << "start\n";
        m_scanIndex = 0;
        m_answer = nullptr;
        m_answering = true;
    }
    m_srst = srst;
    if (trst != m_trst) {
        if (trst && m_state != State::Reset) enter(State::Reset);
        m_record << (trst ? "trst on\n" : "trst off\n");
        m_trst = trst;
    }
}

void Tap::finish() {
    leaveRest();
    if (isShift(m_state)) endSegment();
    m_record << "end\n";
}

}  // namespace tapsim

// The built-in simulated TAP chain that qsvfplay plays into by default.
// Devices are listed by their IR lengths from the device at TDO to the one
// at TDI (the first length holds the lowest bits of an IR scan); without a
// list there is one device whose IR is as long as each IR scan.  Capture-IR
// loads 1 and then 0s into each device's IR; a device whose IR is all ones
// after Update-IR is in BYPASS (a 1-bit data register that captures 0); any
// other device passes TDI straight through in Shift-DR, since its data
// register's length is not known.  Test-Logic-Reset takes every device out
// of BYPASS.
//
// The device answers every TDO bit that the player compares with the bit it
// expects, so that a good stream plays through; the Nth compared scan
// (counting a repeated scan once) reads the opposite of every compared bit,
// on every try, to show the repeats and the failure report.
#ifndef QSVFPLAY_SIMULATED_CHAIN_H
#define QSVFPLAY_SIMULATED_CHAIN_H

#include <cstdint>
#include <deque>
#include <vector>

#include "pins.h"
#include "qsvfplay.h"

namespace qsvfplay {

class SimulatedChain : public Pins {
public:
    // `failAt` 0: no scan reads wrong.
    SimulatedChain(std::vector<unsigned> irLengths, uint64_t failAt, const qsvfplay_state *player);

    bool clock(bool tms, bool tdi, uint8_t state) override;
    void trst(bool) override {}
    bool finish(std::string &) override { return true; }
    // Called before each record is played.
    void startRecord();
    // The compared scans answered so far (a repeated scan counted once).
    uint64_t comparedScans() const { return m_comparedScans; }

private:
    bool shiftChain(bool tdi);
    bool answerCompared(bool tdo);
    void updateInstructions();

    std::vector<unsigned> m_irLengths;
    std::vector<bool> m_bypass;
    uint64_t m_failAt;
    const qsvfplay_state *m_player;
    std::deque<bool> m_register;   // the chain's shift path, the TDO end first
    std::vector<bool> m_shiftedIn; // IR bits shifted in since Capture-IR (no device list)
    // The compared bits of the record being played.
    qsvfplay_vectors m_vectors{};
    bool m_haveVectors = false, m_looked = false;
    uint64_t m_bit = 0;
    uint64_t m_comparedScans = 0;
    uint32_t m_lastScan = 0;
    bool m_failing = false;
};

}  // namespace qsvfplay

#endif  // QSVFPLAY_SIMULATED_CHAIN_H

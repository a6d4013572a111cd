// The built-in simulated TAP chain that qsvfplay plays into by default.
// Devices are listed by their IR lengths from the device at TDO to the one
// at TDI (the first length holds the lowest bits of an IR scan); without a
// list there is one device whose IR is as long as each IR scan.  Capture-IR
// loads 1 and then 0s into each device's IR; Update-IR gives each device of
// the list the instruction it holds then, which it keeps until the next
// Update-IR or Test-Logic-Reset.  A device whose instruction is all ones is
// in BYPASS (a 1-bit data register that captures 0); any other device
// passes TDI straight through in Shift-DR, since its data register's length
// is not known.  Test-Logic-Reset leaves every device in its reset
// instruction, which on most devices selects the identification register:
// out of BYPASS.
//
// The device answers every TDO bit that the player compares with the bit it
// expects, so that a good stream plays through; the Nth compared scan
// (counting a repeated scan once) reads the opposite of every compared bit,
// on every try, to show the repeats and the failure report.
//
// On a list of two or more devices, a stream written for one device of the
// chain must keep every other device in BYPASS while it shifts a data scan,
// or the padding bits land in registers of unknown length.  Which device is
// the one addressed: with a target (the device the stream is written for,
// as svf2qsvf's -target names it) every other device must be in BYPASS;
// without one, the device out of BYPASS is the addressed one, and at most
// one device may be out of BYPASS at each data scan, so that a merge of
// streams written for different devices of the chain plays through.  The
// first data scan that breaks this is kept as a fault.
#ifndef QSVFPLAY_SIMULATED_CHAIN_H
#define QSVFPLAY_SIMULATED_CHAIN_H

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "pins.h"
#include "qsvfplay.h"

namespace qsvfplay {

class SimulatedChain : public Pins {
public:
    // Each device's instruction, bit 0 first; an all-ones one is BYPASS.
    using Instructions = std::vector<std::vector<bool>>;

    // `failAt` 0: no scan reads wrong.
    SimulatedChain(std::vector<unsigned> irLengths, uint64_t failAt, const qsvfplay_state *player);

    bool clock(bool tms, bool tdi, uint8_t state) override;
    void trst(bool) override {}
    bool finish(std::string &) override { return true; }
    // Called before each record is played.
    void startRecord();
    // The device (1 at TDO) the stream is written for; 0 none.
    void setTarget(unsigned device) { m_target = device; }
    // Called with every device's instruction after each Update-IR (on a
    // list of devices).
    void onUpdateIr(std::function<void(const Instructions &)> show) { m_showInstructions = std::move(show); }
    // The first data scan shifted with a device out of BYPASS that must be
    // in it, as a sentence; empty while there is none.
    const std::string &bypassFault() const { return m_bypassFault; }
    // The compared scans answered so far (a repeated scan counted once).
    uint64_t comparedScans() const { return m_comparedScans; }

private:
    bool shiftChain(bool tdi);
    bool answerCompared(bool tdo);
    void updateInstructions();
    void checkBypass();

    std::vector<unsigned> m_irLengths;
    Instructions m_instructions;  // on a list of devices; empty after reset
    std::vector<bool> m_bypass;
    uint64_t m_failAt;
    const qsvfplay_state *m_player;
    unsigned m_target = 0;
    std::function<void(const Instructions &)> m_showInstructions;
    std::string m_bypassFault;
    bool m_captured = false;       // Capture-DR passed; the check is at the first bit shifted
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

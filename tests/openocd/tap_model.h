// The simulated TAP behind tap_server: the IEEE 1149.1 controller (TMS and
// TDI sampled on the rising edge of TCK, TRST asynchronous), what it answers
// on TDO, and the recording of what it saw, one event per line:
//
//   start                      the client's set-up ended (SRST asserted); a
//                              comparison reads only the events after it
//   trst on | trst off         TRST asserted or released
//   scan IR|DR <bits> <hex>    a shift from CAPTURE to EXIT1: its length and
//                              TDI, as SVF writes values (most significant
//                              digit first, bit 0 the first bit shifted)
//   scan+ IR|DR <bits> <hex>   more bits of the same scan, shifted after a
//                              pause without a new capture
//   rest <STATE> <clocks> <us> the controller sat in a stable state: the TCK
//                              edges that kept it there, and the microseconds
//                              from the edge that entered it to the one that
//                              left it (or to the end)
//   end                        the client quit or closed the connection
//   device <d> IR|DR <bits> <hex>
//                              on a chain, at each Update-IR/DR, for each
//                              device d (1 at TDO): the instruction it takes,
//                              or what its data register holds
//
// TDO: each scan can be given the value to answer (the bits the SVF expects,
// so that a good file passes any player that compares TDO); scans without a
// given answer see the chain: each device's instruction register captures
// ...0001, and each device's data register starts with one bit that
// captures 0 (BYPASS is that bit alone).
//
// The chain: devices of the given IR lengths, the first at TDO.  Each keeps
// the instruction its IR holds at Update-IR; all ones is BYPASS, and
// Test-Logic-Reset puts every device in BYPASS (devices without an
// identification register do that, and OpenOCD's examination of the chain
// then counts one bypass bit per device).  The data register of a device out
// of BYPASS has no length of its own: at Update-DR it holds the bits the
// BYPASS devices do not, so that a device addressed alone holds the data
// scan of its file whatever the chain around it.  With two or more devices
// out of BYPASS the one nearest TDO holds those bits and the others none.
#ifndef QSVF_TESTS_OPENOCD_TAP_MODEL_H
#define QSVF_TESTS_OPENOCD_TAP_MODEL_H

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace tapsim {

enum class State : uint8_t {
    Reset, Idle, DrSelect, DrCapture, DrShift, DrExit1, DrPause, DrExit2, DrUpdate,
    IrSelect, IrCapture, IrShift, IrExit1, IrPause, IrExit2, IrUpdate,
};

State nextState(State state, bool tms);
const char *stateName(State state);
bool isStable(State state);

// Bits, bit 0 first, as hex digits most significant first; and back.
std::string bitsToHex(const std::vector<bool> &bits);
bool hexToBits(const std::string &hex, uint64_t length, std::vector<bool> &bits);

// The TDO value of one scan (an answers file line: "IR|DR <bits> <hex>").
struct Answer {
    bool instruction = false;
    std::vector<bool> bits;
};

class Tap {
public:
    // setUpFirst: the client sets up the chain before the scans that the
    // answers are for, and marks the end of its set-up with SRST.
    // recordDevices: write the device lines.
    Tap(std::ostream &record, std::vector<unsigned> irLengths, std::vector<Answer> answers, bool setUpFirst,
        bool recordDevices);

    void setPins(bool tck, bool tms, bool tdi);
    bool tdo() const;
    void setReset(bool trst, bool srst);
    void finish();

private:
    using Clock = std::chrono::steady_clock;
    void risingEdge(bool tms, bool tdi);
    void enter(State state);
    void leaveRest();
    void endSegment();
    void update(bool instruction);
    void recordDevice(size_t device, bool instruction, const std::vector<bool> &bits);

    std::ostream &m_record;
    std::vector<unsigned> m_irLengths;
    std::vector<bool> m_bypass;
    bool m_recordDevices;
    std::vector<Answer> m_answers;
    bool m_answering;
    size_t m_scanIndex = 0;  // scans since the start mark

    State m_state = State::Reset;
    bool m_tck = false, m_trst = false, m_srst = false;
    // The stable state being sat in.
    uint64_t m_restClocks = 0;
    Clock::time_point m_restSince = Clock::now();
    // The scan being shifted: bits since CAPTURE or the last pause.
    bool m_scanStarted = false;  // a segment of this capture was recorded
    std::vector<bool> m_segment;
    uint64_t m_shifted = 0;  // bits since CAPTURE
    const Answer *m_answer = nullptr;
    uint64_t m_answerBit = 0;  // bits of m_answer shifted
    std::vector<bool> m_captured;  // what the chain captured, then the TDI shifted in behind it
};

}  // namespace tapsim

#endif  // QSVF_TESTS_OPENOCD_TAP_MODEL_H

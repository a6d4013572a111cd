// Reading tap_server recordings (the line format is in tap_model.h) and
// comparing what two players did to the TAP: the same scans in the same order
// with the same TDI bits, the same stable states rested in after every scan
// and state move, the same TRST changes, and at least as many clocks in each
// wait.  The only differences let through are the rows of
// openocd_exceptions.h, applied to the recording that OpenOCD made.
#ifndef QSVF_TESTS_OPENOCD_RECORDING_H
#define QSVF_TESTS_OPENOCD_RECORDING_H

#include <cstdint>
#include <string>
#include <vector>

namespace tapsim {

struct Step {
    enum class Kind { Scan, Rest, Trst } kind = Kind::Rest;
    bool instruction = false;  // Scan
    uint64_t length = 0;       // Scan
    std::vector<bool> tdi;     // Scan: bit 0 first shifted
    uint64_t lastSegment = 0;  // Scan: count of scan and scan+ lines up to its last
    std::string state;         // Rest
    uint64_t clocks = 0;       // Rest
    bool on = false;           // Trst
    long line = 0;             // in the recording file
};

struct Recording {
    std::string file;
    std::vector<Step> steps;
    bool complete = false;  // ended with "end"
    uint64_t segments = 0;  // scan and scan+ lines counted
};

// Reads a recording.  fromOpenOcd: only what follows the start mark counts,
// and the state OpenOCD's init left is dropped.  A scan shifted on from a
// pause (a scan+ line) with no clock spent in the pause is joined to the scan
// before it: at the pins that is one scan, whether the file split it into
// several SDR or SIR commands that end in the pause state or a player split
// one long scan into pieces.  An unreadable file or line is reported in
// `error`.  device > 0: the recording of a chain as that device saw it, its
// device lines taken for the scans (one at each Update: a scan with pauses
// is one), the chain's scan lines only counted as segments.
bool readRecording(const std::string &file, bool fromOpenOcd, Recording &recording, std::string &error,
                   unsigned device = 0);

// The clocks a file asks after one of its scans (counts and times at its
// FREQUENCY), and how many of them its RUNTESTs ask in RESET.
struct Wait {
    uint64_t clocks = 0;
    uint64_t inReset = 0;
};

// The differences of `other` from `reference` (OpenOCD's), one message
// each, naming the recording, the scan number and what differs; empty when
// they agree.  waitsAfterScan[i], when given, is the wait the file asks
// after its scan i+1, which `other` must reach before the next scan: the
// clocks in RESET in RESET, the others in the other stable states; the
// file's scans are counted as scan and scan+ lines.
std::vector<std::string> compareRecordings(const Recording &reference, const Recording &other,
                                           const std::vector<Wait> &waitsAfterScan = {});

}  // namespace tapsim

#endif  // QSVF_TESTS_OPENOCD_RECORDING_H

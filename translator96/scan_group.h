// Scan groups of svf2qsvf96: consecutive SDR statements of one length, one
// TDO text and one MASK text, played with one run-test value.  Gathering
// reads the SDRs and the RUNTEST after each, and gives back what does not
// belong to the group.
#ifndef SVF2QSVF96_SCAN_GROUP_H
#define SVF2QSVF96_SCAN_GROUP_H

#include <string>
#include <vector>

namespace svf96 {

struct Session;

struct ScanGroup {
    std::vector<std::string> tdi;  // one per SDR, in file order
    std::string tdo;
    std::string mask;
    long length = 0;
    bool hasLength = false;  // the group exists
    long runTest = 0;
};

struct SdrStatement {
    long length = 0;
    std::string tdi, tdo, mask;
};

// Parses the words after "SDR" of the current statement: the length, TDI
// value, SMASK value, then ";" or TDO value and MASK value.  A wrong or
// missing keyword, a negative length or a value that does not fit the
// length is a syntax error.
void ParseSdr(Session &session, SdrStatement &sdr);

// Gathers the next scan group; false when the next statement is not an SDR
// (or the input has ended), and nothing was gathered.
bool GatherScanGroup(Session &session, ScanGroup &group);

}  // namespace svf96

#endif  // SVF2QSVF96_SCAN_GROUP_H

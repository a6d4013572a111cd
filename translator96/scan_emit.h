// Writing of one scan group of svf2qsvf96: the first scan with its expected
// value when that changed, then plain scans, increment runs as
// QSETSDRMASKS/QSDRINC, and in FPGA mode long scans split into pieces.
#ifndef SVF2QSVF96_SCAN_EMIT_H
#define SVF2QSVF96_SCAN_EMIT_H

#include <string>
#include <string_view>
#include <vector>

namespace svf96 {

struct Session;

// The TDO and MASK texts are never empty here (zero digits stand in).
void EmitScanGroup(Session &session, const std::vector<std::string> &tdi, const std::string &tdo, long length,
                   const std::string &mask);

// Writes one scan longer than the record length as split records
// (fpga_split.cpp).
void SplitFpgaScan(Session &session, std::string_view tdi, std::string_view tdo, long length,
                   std::string_view mask);

}  // namespace svf96

#endif  // SVF2QSVF96_SCAN_EMIT_H

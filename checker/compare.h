// The check itself: the scans of the SVF files, in order, against the scans
// the player model plays from the stream.  Both sides are read one scan at a
// time, so memory follows the longest scan.  The two must have the same
// sequence of scans (kind and length), equal TDI wherever the SVF keeps the
// bit, the same TDO bits compared with the same expected values (for split
// scans under the mask standing at each piece, which must be as long as the
// piece), and every scan must wait at least what the SVF asks after it.  Between two
// scans the TAP must rest in the same stable states, in the same order, as
// long as the SVF asks and no longer than a MAXIMUM allows; what the
// stream's mode cannot carry (end states without QENDIR/QENDDR, the states of
// a wait carried by a run-test count, STATE moves left out) is named in the
// summary line instead.
#ifndef QSVFCHECK_COMPARE_H
#define QSVFCHECK_COMPARE_H

#include <optional>
#include <string>
#include <vector>

#include "svf_reader.h"

namespace qsvfcheck {

struct CheckOutcome {
    bool equivalent = false;
    // One line without its line end: the summary, or the first difference.
    std::string line;
};

// Compares; a file that cannot be read or is not valid SVF or QSVF is an
// InputError.  Several SVF files mean the stream is their merge, in order.
// v2: the stream was written for players of format 2, which carries no STATE
// move.
// chains: for each SVF file, its place in a scan chain (none, or one per file).
// tck: the player's clock the stream's waits were counted at (svf2qsvf -tck).
CheckOutcome checkStream(const std::vector<std::string> &svfFiles, const std::string &streamFile, bool skipTdo,
                         bool v2 = false, const std::vector<ChainPlacement> &chains = {},
                         const std::optional<Decimal> &tck = std::nullopt);

}  // namespace qsvfcheck

#endif  // QSVFCHECK_COMPARE_H

// The check itself: the scans of the SVF files, in order, against the scans
// the player model plays from the stream.  Both sides are read one scan at a
// time, so memory follows the longest scan.  The two must have the same
// sequence of scans (kind and length), equal TDI wherever the SVF keeps the
// bit, the same TDO bits compared with the same expected values (for split
// scans under the mask standing at each piece, which must be as long as the
// piece), and every scan must wait at least what the SVF asks after it.
#ifndef QSVFCHECK_COMPARE_H
#define QSVFCHECK_COMPARE_H

#include <string>
#include <vector>

namespace qsvfcheck {

struct CheckOutcome {
    bool equivalent = false;
    // One line without its line end: the summary, or the first difference.
    std::string line;
};

// Compares; a file that cannot be read or is not valid SVF or QSVF is an
// InputError.  Several SVF files mean the stream is their merge, in order.
CheckOutcome checkStream(const std::vector<std::string> &svfFiles, const std::string &streamFile, bool skipTdo);

}  // namespace qsvfcheck

#endif  // QSVFCHECK_COMPARE_H

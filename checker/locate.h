// qsvfcheck --at: from a stream offset, such as the one a board's player
// reports for a failed comparison, back to the SVF command it was written
// for.  The stream's scans are paired with the SVF files' scans in order, as
// the check pairs them, without comparing them.
#ifndef QSVFCHECK_LOCATE_H
#define QSVFCHECK_LOCATE_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "svf_number.h"
#include "svf_reader.h"

namespace qsvfcheck {

struct LocateOutcome {
    bool found = false;  // false: the offset is outside the stream
    std::string text;    // lines, each with its line end
};

// A file that cannot be read or is not valid SVF or QSVF is an InputError.
LocateOutcome locateOffset(const std::vector<std::string> &svfFiles, const std::string &streamFile, uint64_t at,
                           bool skipTdo, const std::vector<ChainPlacement> &chains, const std::optional<Decimal> &tck);

}  // namespace qsvfcheck

#endif  // QSVFCHECK_LOCATE_H

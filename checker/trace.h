// The trace (-t): every record of a stream as one line, so that an engineer
// can read any stream our tools write.  A line is the record's byte offset
// (decimal, right-aligned in 8 columns), two blanks, the mnemonic and the
// operands: integers as "0x" and 2, 4 or 8 upper-case digits by their width,
// vectors as "0x" and two lower-case digits per byte, QCOMMENT text in
// double quotes with C escapes.  State operands are followed by their SVF
// names in parentheses.  After a QSDRINC, one line per scan it stands for:
// ten blanks, "scan i of n: " and its TDI.
#ifndef QSVFCHECK_TRACE_H
#define QSVFCHECK_TRACE_H

#include <ostream>
#include <string>

namespace qsvfcheck {

// Writes the trace of the stream up to and including its QCOMPLETE.  A
// stream that is cut off or invalid is an InputError after the lines of the
// records before the fault.  The trace stops early when `out` fails.
void traceStream(const std::string &streamFile, std::ostream &out);

}  // namespace qsvfcheck

#endif  // QSVFCHECK_TRACE_H

// The SVF statements of svf2qsvf96 other than SDR: TRST, ENDIR, STATE and
// ENDDR are passed over, SIR becomes a QSIR record, a RUNTEST outside a scan
// group becomes a QRUNTEST with a filler scan; anything else is not
// supported and ends the run.
#ifndef SVF2QSVF96_STATEMENTS_H
#define SVF2QSVF96_STATEMENTS_H

namespace svf96 {

struct Session;

// Handles the statement now in the reader, whose first word was `keyword`.
void DoOtherStatement(Session &session);

// QRUNTEST n, then outside FPGA mode an all-zero scan so that the wait happens.
void WriteRunTest(Session &session, long n);

}  // namespace svf96

#endif  // SVF2QSVF96_STATEMENTS_H

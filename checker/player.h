// qsvfcheck's model of the QSVF player: it plays the records of a stream and
// hands out the scans the player would shift, one at a time, each with what
// it compares on TDO and the wait that followed the scan before it.
//
// The model, as the writers use the format:
// - QSDRSIZE sets the DR length, QTDOMASK the TDO mask, QRUNTEST the run-test
//   count, which is waited after every following unsplit scan (QSIR, QSIR2,
//   QSDR, QSDRTDO, each scan of QSDRINC) and not after split pieces.
// - QSDRTDO compares TDO with its expected value under the mask and keeps
//   that value; QSDR and the scans of QSDRINC compare against the kept value.
// - QSDRB/C/E and QSDRTDOB/C/E are the pieces of one DR scan, the first piece
//   the least significant bits.  Each QSDRTDOB/C/E piece compares its TDO
//   with its expected value under the standing mask, which must be as long
//   as the piece; a QTDOMASK between two pieces sets the mask for the pieces
//   after it.
// - QSETSDRMASKS/QSDRINC: each further scan is the previous TDI with the
//   data-mask bits cleared, plus the address mask, with the data field's
//   bits put into the data-mask positions.
// - A DR scan of 0 bits moves no data and is not a scan; the wait after it
//   counts for the scan before it, as does every QWAIT.
// - QREPEAT and QCOMMENT change nothing compared.
//
// The TAP state, which every player of the format follows the same way:
// - The TAP starts in Test-Logic-Reset.  It walks between stable states
//   (Test-Logic-Reset, Run-Test/Idle, Pause-DR, Pause-IR) by the fixed
//   stable-state paths; of them only the path from Test-Logic-Reset to a
//   pause state passes another stable state (Run-Test/Idle).
// - QENDIR and QENDDR set where instruction and data scans end: 0
//   Run-Test/Idle, 1 Pause-IR or Pause-DR; until set, Run-Test/Idle.  Any
//   other operand is not a stream.
// - After every scan (QSIR, QSIR2, QSDR, QSDRTDO, each scan of QSDRINC, the
//   last piece of a split scan, and an empty DR scan) the TAP rests in the
//   end state of its kind.  After every unsplit scan the run-test count, when
//   not 0, is clocked in Run-Test/Idle (the TAP walks there and stays).
// - QSTATE moves the TAP one step, or to a stable state by its path; a code
//   above 15, or a state neither one step away nor stable, is not a stream.
// - QWAIT walks to its wait state by the same paths, clocks its count there,
//   and walks to its end state; both must be stable states.
// - A QREPEAT after the first record starts a further input of a merge: the
//   end states count as not set again.
// The stable states the TAP rests in between two scans are handed out with
// the scan after them (restsBefore) and, after the last, by finalRests.
#ifndef QSVFCHECK_PLAYER_H
#define QSVFCHECK_PLAYER_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "bit_vector.h"
#include "stream_reader.h"
#include "tap_model.h"

namespace qsvfcheck {

struct StreamScan {
    bool instruction = false;
    uint64_t length = 0;
    BitVector tdi;
    bool split = false;
    // For unsplit DR scans: the record compares TDO bits where the mask is 1
    // with the kept expected value.  Null mask: no QTDOMASK yet; null
    // expected: no QSDRTDO yet.
    bool compares = false;
    std::shared_ptr<const BitVector> mask;
    std::shared_ptr<const BitVector> expected;
    // For split scans: the TDO bits its pieces compare (the standing mask of
    // each TDO piece, 0 for the other pieces) and their expected values, bit
    // 0 the first bit of the scan; bits past their size are not compared.
    BitVector splitMask, splitExpected;
    // The first TDO piece compared under no mask (maskBits 0 and noMask) or
    // under a mask of another length than the piece.
    struct MaskFault {
        uint64_t firstBit, bits, offset, maskBits;
        bool noMask;
    };
    std::optional<MaskFault> maskFault;
    uint64_t offset = 0;  // of the record (the first piece of a split scan)
    std::string_view mnemonic;
    // The wait played after the previous scan, up to this one.
    uint64_t waitBefore = 0;
    // Where the TAP rested since the previous scan (its end state first).
    std::vector<Rest> restsBefore;

    // Pieces of a split scan, as runs of records of one size and one length.
    struct PieceRun {
        uint64_t firstBit, offset, bits, stride, count;
    };
    std::vector<PieceRun> pieces;
    // Offset of the record that shifts bit `index`.
    uint64_t recordOf(uint64_t index) const;
};

// The scan after `previous` in a QSDRINC run.
BitVector nextIncrementScan(const BitVector &previous, const BitVector &addressMask, const BitVector &dataMask,
                            const BitVector &field);

class Player {
public:
    explicit Player(StreamReader &reader) : m_reader(reader) {}

    // The next scan; false at QCOMPLETE.  A stream that breaks the format or
    // the order of split pieces is an InputError.
    bool next(StreamScan &scan);
    // After the end: the wait after the last scan, and where QCOMPLETE is.
    uint64_t finalWait() const { return m_wait; }
    uint64_t completeOffset() const { return m_completeOffset; }
    // After the end: where the TAP rested after the last scan.
    const std::vector<Rest> &finalRests() const { return m_rests; }
    // Some QSTATE of the current input moves to a state other than
    // Test-Logic-Reset and Run-Test/Idle: the stream writes every step.
    bool everyStateStep() const { return m_everyStep; }
    // The smallest buffer a board's player needs for the records played so
    // far: it keeps the increment masks, the TDO mask and the expected TDO
    // value, and reads each record's vectors (and a compared scan's TDO)
    // behind them.
    uint64_t bufferNeed() const { return m_bufferNeed; }

private:
    void startScan(StreamScan &scan, const Record &record, bool instruction, BitVector tdi);
    void startComparedScan(StreamScan &scan, const Record &record, BitVector tdi);
    void comparePiece(StreamScan &scan, const Record &record, uint64_t first);
    bool nextIncrement(StreamScan &scan);
    void wait(uint64_t clocks);
    // The rests of a scan's end: its end state, and the run-test count.
    void endScan(bool instruction, bool withCount, bool empty = false);
    // The TAP must be in a stable state to scan, wait or end.
    void settle();
    void playState(const Record &record);
    void playWait(const Record &record);
    void countBuffer(const Record &record);

    StreamReader &m_reader;
    Record m_record;
    uint64_t m_runTest = 0;  // unknown before the first QRUNTEST: no wait is assumed
    uint64_t m_wait = 0;     // played since the last scan
    std::shared_ptr<const BitVector> m_mask, m_expected;
    BitVector m_addressMask, m_dataMask;
    // The QSDRINC being played.
    std::vector<BitVector> m_fields;
    size_t m_nextField = 0;
    BitVector m_incrementTdi;
    uint64_t m_incrementOffset = 0;
    uint64_t m_completeOffset = 0;
    bool m_complete = false;
    TapState m_tap = qsvf::STATE_RESET;
    bool m_endPause[2] = {false, false};     // DR, IR: the scans end in the pause state
    bool m_endExplicit[2] = {false, false};  // DR, IR: set by QENDDR, QENDIR
    bool m_everyStep = false;
    std::vector<Rest> m_rests;
    uint64_t m_bufferNeed = 0;
    uint64_t m_keptMasks = 0, m_keptTdoMask = 0, m_keptExpected = 0;  // bytes held between records
};

}  // namespace qsvfcheck

#endif  // QSVFCHECK_PLAYER_H

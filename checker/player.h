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
// - QREPEAT, QSTATE, QENDIR, QENDDR and QCOMMENT change nothing compared.
#ifndef QSVFCHECK_PLAYER_H
#define QSVFCHECK_PLAYER_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "bit_vector.h"
#include "stream_reader.h"

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

private:
    void startScan(StreamScan &scan, const Record &record, bool instruction, BitVector tdi);
    void startComparedScan(StreamScan &scan, const Record &record, BitVector tdi);
    void comparePiece(StreamScan &scan, const Record &record, uint64_t first);
    bool nextIncrement(StreamScan &scan);
    void wait(uint64_t clocks);

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
};

}  // namespace qsvfcheck

#endif  // QSVFCHECK_PLAYER_H

// The player model: records in, scans out (see player.h for the rules).
#include "player.h"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "qsvf_format.h"

namespace qsvfcheck {

namespace {

bool isFirstPiece(uint8_t opcode) { return opcode == qsvf::QSDRB || opcode == qsvf::QSDRTDOB; }
bool isMiddlePiece(uint8_t opcode) { return opcode == qsvf::QSDRC || opcode == qsvf::QSDRTDOC; }
bool isLastPiece(uint8_t opcode) { return opcode == qsvf::QSDRE || opcode == qsvf::QSDRTDOE; }
bool isTdoPiece(uint8_t opcode) { return opcode >= qsvf::QSDRTDOB && opcode <= qsvf::QSDRTDOE; }

std::string_view mnemonicOf(uint8_t opcode) { return qsvf::kOpcodes[opcode].mnemonic; }

}  // namespace

uint64_t StreamScan::recordOf(uint64_t index) const {
    for (const PieceRun &run : pieces)
        if (index >= run.firstBit && index < run.firstBit + run.bits * run.count)
            return run.offset + (index - run.firstBit) / run.bits * run.stride;
    return offset;
}

BitVector nextIncrementScan(const BitVector &previous, const BitVector &addressMask, const BitVector &dataMask,
                            const BitVector &field) {
    BitVector next = previous;
    std::vector<uint64_t> &words = next.words();
    for (size_t i = 0; i < words.size() && i < dataMask.words().size(); ++i) words[i] &= ~dataMask.words()[i];
    next.add(addressMask);
    depositBits(next, dataMask, field);
    return next;
}

void Player::wait(uint64_t clocks) {
    m_wait =
        m_wait > std::numeric_limits<uint64_t>::max() - clocks ? std::numeric_limits<uint64_t>::max() : m_wait + clocks;
}

void Player::settle() {
    // A TAP left in a state that is not stable rests there, which no SVF asks.
    if (!isStableState(m_tap)) {
        Rest rest;
        rest.state = m_tap;
        m_rests.push_back(rest);
    }
}

void Player::endScan(bool instruction, bool withCount, bool empty) {
    Rest rest;
    rest.kind = RestKind::ScanEnd;
    rest.emptyScan = empty;
    rest.instruction = instruction;
    rest.explicitEnd = m_endExplicit[instruction];
    rest.state = !m_endPause[instruction] ? qsvf::STATE_IDLE : instruction ? qsvf::STATE_IRPAUSE : qsvf::STATE_DRPAUSE;
    m_rests.push_back(rest);
    m_tap = rest.state;
    if (withCount && m_runTest > 0) {
        rest.kind = RestKind::Count;
        rest.state = qsvf::STATE_IDLE;
        rest.clocks = m_runTest;
        m_rests.push_back(rest);
        m_tap = qsvf::STATE_IDLE;
    }
}

void Player::playState(const Record &record) {
    const uint64_t code = record.integers[0];
    if (code >= qsvf::kTapStateCount) m_reader.fail(record.offset, "QSTATE " + std::to_string(code) + " is no TAP state");
    const auto state = static_cast<TapState>(code);
    if (!walkTo(m_rests, m_tap, state, RestKind::Move, 0))
        m_reader.fail(record.offset, "QSTATE " + std::string(tapStateTitle(state)) + " is neither one step from " +
                                         std::string(tapStateTitle(m_tap)) + " nor a stable state");
    m_tap = state;
    if (state != qsvf::STATE_RESET && state != qsvf::STATE_IDLE) m_everyStep = true;
}

void Player::playWait(const Record &record) {
    for (int i = 0; i < 2; ++i)
        if (record.integers[i] >= qsvf::kTapStateCount ||
            !isStableState(static_cast<TapState>(record.integers[i])))
            m_reader.fail(record.offset, std::string("QWAIT ") + (i == 0 ? "wait" : "end") + " state " +
                                             std::to_string(record.integers[i]) + " is no stable TAP state");
    settle();
    const auto waitState = static_cast<TapState>(record.integers[0]);
    const auto endState = static_cast<TapState>(record.integers[1]);
    walkTo(m_rests, m_tap, waitState, RestKind::Wait, 0);
    m_rests.back().clocks = record.integers[2];
    m_rests.back().waitsHere = true;
    walkTo(m_rests, waitState, endState, RestKind::WaitEnd, 0);
    m_tap = endState;
    wait(record.integers[2]);
}

void Player::startScan(StreamScan &scan, const Record &record, bool instruction, BitVector tdi) {
    scan.instruction = instruction;
    scan.length = tdi.size();
    scan.tdi = std::move(tdi);
    scan.split = false;
    scan.compares = false;
    scan.mask.reset();
    scan.expected.reset();
    scan.offset = record.offset;
    scan.mnemonic = mnemonicOf(record.opcode);
    scan.waitBefore = m_wait;
    scan.pieces.clear();
    scan.splitMask.assignZero(0);
    scan.splitExpected.assignZero(0);
    scan.maskFault.reset();
    m_wait = 0;
    settle();
    scan.restsBefore = std::move(m_rests);
    m_rests.clear();
}

// A TDO piece of a split scan, its bits from `first` on: compared under the
// standing mask, which must be as long as the piece.
void Player::comparePiece(StreamScan &scan, const Record &record, uint64_t first) {
    const BitVector &expected = record.vectors[1];
    const uint64_t bits = expected.size();
    scan.compares = true;
    if (!m_mask || m_mask->size() != bits) {
        if (!scan.maskFault) scan.maskFault = {first, bits, record.offset, m_mask ? m_mask->size() : 0, !m_mask};
        return;
    }
    // Bits of the scan before the piece stay 0: no earlier TDO piece
    // compared them.
    scan.splitMask.resize(first + bits);
    scan.splitExpected.resize(first + bits);
    copyBits(scan.splitMask, first, *m_mask, 0, bits);
    copyBits(scan.splitExpected, first, expected, 0, bits);
}

// An unsplit DR scan: compared under the standing mask against the kept
// expected value, and followed by the standing run-test count.
void Player::startComparedScan(StreamScan &scan, const Record &record, BitVector tdi) {
    startScan(scan, record, false, std::move(tdi));
    scan.compares = true;
    scan.mask = m_mask;
    scan.expected = m_expected;
    wait(m_runTest);
    endScan(false, true);
}

bool Player::nextIncrement(StreamScan &scan) {
    m_incrementTdi = nextIncrementScan(m_incrementTdi, m_addressMask, m_dataMask, m_fields[m_nextField++]);
    Record record;
    record.offset = m_incrementOffset;
    record.opcode = qsvf::QSDRINC;
    startComparedScan(scan, record, m_incrementTdi);
    return true;
}

void Player::countBuffer(const Record &record) {
    const auto bytes = [](const BitVector &vector) { return qsvf::vectorBytes(vector.size()); };
    const uint64_t d = record.vectors.empty() ? 0 : bytes(record.vectors[0]);
    uint64_t reads = 0;
    switch (record.opcode) {
    case qsvf::QSIR:
    case qsvf::QSIR2:
    case qsvf::QTDOMASK:
    case qsvf::QSDRB:
    case qsvf::QSDRC:
    case qsvf::QSDRE: reads = d; break;
    case qsvf::QSDR:
    case qsvf::QSETSDRMASKS: reads = 2 * d; break;
    case qsvf::QSDRTDO:
    case qsvf::QSDRTDOB:
    case qsvf::QSDRTDOC:
    case qsvf::QSDRTDOE: reads = 3 * d; break;
    case qsvf::QSDRINC:
        reads = 2 * d;
        for (const BitVector &field : record.fields) reads += bytes(field);
        break;
    default: break;
    }
    m_bufferNeed = std::max(m_bufferNeed, m_keptMasks + m_keptTdoMask + m_keptExpected + reads);
    if (record.opcode == qsvf::QSETSDRMASKS) m_keptMasks = bytes(record.vectors[0]) + bytes(record.vectors[1]);
    if (record.opcode == qsvf::QTDOMASK) m_keptTdoMask = d;
    if (record.opcode == qsvf::QSDRTDO) m_keptExpected = d;
}

bool Player::next(StreamScan &scan) {
    if (m_complete) return false;
    if (m_nextField < m_fields.size()) return nextIncrement(scan);
    bool inSplit = false;
    uint64_t splitOffset = 0;
    for (;;) {
        Record &record = m_record;
        if (!m_reader.read(record)) m_reader.fail(m_reader.offset(), "the stream ends without QCOMPLETE");
        countBuffer(record);
        const uint8_t op = record.opcode;
        const uint64_t recordBytes = m_reader.offset() - record.offset;
        if (inSplit && !isMiddlePiece(op) && !isLastPiece(op) && op != qsvf::QSDRSIZE && op != qsvf::QTDOMASK &&
            op != qsvf::QCOMMENT)
            m_reader.fail(record.offset, std::string(mnemonicOf(op)) + " inside the split scan that begins at byte " +
                                             std::to_string(splitOffset));
        switch (op) {
        case qsvf::QCOMPLETE:
            if (m_reader.offset() != m_reader.size())
                m_reader.fail(m_reader.offset(), "data after the QCOMPLETE at byte " + std::to_string(record.offset));
            m_complete = true;
            m_completeOffset = record.offset;
            settle();
            return false;
        case qsvf::QTDOMASK: m_mask = std::make_shared<const BitVector>(std::move(record.vectors[0])); break;
        case qsvf::QSIR:
        case qsvf::QSIR2:
            startScan(scan, record, true, std::move(record.vectors[0]));
            wait(m_runTest);
            endScan(true, true);
            return true;
        case qsvf::QSDR:
        case qsvf::QSDRTDO:
            if (op == qsvf::QSDRTDO) m_expected = std::make_shared<const BitVector>(std::move(record.vectors[1]));
            if (record.vectors[0].size() == 0) {
                // An empty scan: only its wait counts, for the scan before.
                settle();
                wait(m_runTest);
                endScan(false, true, true);
                break;
            }
            startComparedScan(scan, record, std::move(record.vectors[0]));
            return true;
        case qsvf::QRUNTEST: m_runTest = record.integers[0]; break;
        case qsvf::QWAIT: playWait(record); break;
        case qsvf::QSTATE: playState(record); break;
        case qsvf::QENDIR:
        case qsvf::QENDDR: {
            if (record.integers[0] > qsvf::kEndStatePause)
                m_reader.fail(record.offset, std::string(mnemonicOf(op)) + " end state " +
                                                 std::to_string(record.integers[0]) + " is neither 0 nor 1");
            const int kind = op == qsvf::QENDIR ? 1 : 0;
            m_endPause[kind] = record.integers[0] == qsvf::kEndStatePause;
            m_endExplicit[kind] = true;
            break;
        }
        case qsvf::QREPEAT:
            if (record.offset > 0) {
                m_endExplicit[0] = m_endExplicit[1] = false;
                m_everyStep = false;
            }
            break;
        case qsvf::QSETSDRMASKS:
            m_addressMask = std::move(record.vectors[0]);
            m_dataMask = std::move(record.vectors[1]);
            break;
        case qsvf::QSDRINC:
            if (record.vectors[0].size() == 0) {
                settle();
                for (uint64_t i = 0; i <= record.integers[0]; ++i) {
                    wait(m_runTest);
                    endScan(false, true, true);
                }
                break;
            }
            m_fields = std::move(record.fields);
            m_nextField = 0;
            m_incrementTdi = record.vectors[0];
            m_incrementOffset = record.offset;
            startComparedScan(scan, record, std::move(record.vectors[0]));
            return true;
        case qsvf::QSDRB:
        case qsvf::QSDRC:
        case qsvf::QSDRE:
        case qsvf::QSDRTDOB:
        case qsvf::QSDRTDOC:
        case qsvf::QSDRTDOE: {
            if (isFirstPiece(op) && inSplit)
                m_reader.fail(record.offset, std::string(mnemonicOf(op)) +
                                                 " inside the split scan that begins at byte " +
                                                 std::to_string(splitOffset));
            if (!isFirstPiece(op) && !inSplit)
                m_reader.fail(record.offset, std::string(mnemonicOf(op)) + " without a QSDRB or QSDRTDOB before it");
            BitVector &piece = record.vectors[0];
            if (isFirstPiece(op)) {
                startScan(scan, record, false, BitVector());
                scan.split = true;
                inSplit = true;
                splitOffset = record.offset;
            }
            const uint64_t first = scan.length;
            if (piece.size() > 0) {
                StreamScan::PieceRun *run = scan.pieces.empty() ? nullptr : &scan.pieces.back();
                if (run && run->bits == piece.size() && run->stride == recordBytes &&
                    run->offset + run->count * run->stride == record.offset)
                    ++run->count;
                else
                    scan.pieces.push_back({first, record.offset, piece.size(), recordBytes, 1});
                scan.length += piece.size();
                scan.tdi.resize(scan.length);
                copyBits(scan.tdi, first, piece, 0, piece.size());
                if (isTdoPiece(op)) comparePiece(scan, record, first);
            }
            if (isLastPiece(op)) {
                endScan(false, false);  // no run-test count after split pieces
                return true;
            }
            break;
        }
        case qsvf::QRESET:
        case qsvf::QIDLE:
            m_reader.fail(record.offset, std::string(mnemonicOf(op)) + " is not a record any QSVF writer uses");
        default:  // QSDRSIZE, QCOMMENT
            break;
        }
    }
}

}  // namespace qsvfcheck

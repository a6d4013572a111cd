// Splitting of long FPGA scans in svf2qsvf96.  A scan longer than the
// record length is written as pieces of at most the record length, from the
// end of its hex text (the first bits shifted) towards digit 0: the digits
// above the checked region, the checked region (from the last to the first
// MASK digit that is not zero, widened to an even count where it can be)
// with expected TDO values, and the digits below it.  Each checked piece is
// compared under a QTDOMASK of its own part of the MASK, written before it
// unless that part already stands.  The first piece is a B record, the last
// an E record, all others C records; the pieces add up to the scan length,
// the piece holding digit 0 being shorter when the length is not a multiple
// of four.  A group with a run-test count follows each split scan with an
// empty scan that runs it.

#include <string>
#include <vector>

#include "scan_emit.h"
#include "session.h"

namespace svf96 {

namespace {

struct Piece {
    long low, high;  // digit indexes, low <= high
    bool checked;
};

// Cuts digits low..high into pieces of `digitsPerPiece`, from the high end.
void addStage(std::vector<Piece> &pieces, long low, long high, long digitsPerPiece, bool checked) {
    long e = high;
    while (e - low + 1 >= digitsPerPiece) {
        pieces.push_back({e - digitsPerPiece + 1, e, checked});
        e -= digitsPerPiece;
    }
    if (e >= low) pieces.push_back({low, e, checked});
}

// The text as exactly `digits` digits: "0" digits put in front, or the
// leading digits of a zero fill of whole bytes (longer by one digit when
// the length needs an odd number of digits) left out.
std::string_view padded(std::string_view text, size_t digits, std::string &storage) {
    if (text.size() >= digits) return text.substr(text.size() - digits);
    storage.assign(digits - text.size(), '0');
    storage.append(text);
    return storage;
}

// Whether two hex texts hold the same value (leading zeros and the case of
// the letters aside).
bool sameHexValue(std::string_view a, std::string_view b) {
    const auto significant = [](std::string_view text) {
        const size_t first = text.find_first_not_of('0');
        return first == std::string_view::npos ? std::string_view() : text.substr(first);
    };
    a = significant(a);
    b = significant(b);
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (HexDigitValue(a[i]) != HexDigitValue(b[i])) return false;
    return true;
}

// The QTDOMASK of a checked piece of `bits` bits whose part of the MASK is
// `part`, unless the player holds that mask already.
void writePieceMask(Session &session, std::string_view part, long bits) {
    StreamState &stream = session.stream;
    if (stream.lastTdoMaskBits == bits && sameHexValue(stream.lastTdoMask, part)) return;
    session.writer.WriteOpcode(qsvf::QTDOMASK);
    session.writer.WriteHexBytes(part, static_cast<size_t>((bits + 7) / 8));
    stream.lastTdoMask.assign(part);
    stream.lastTdoMaskBits = bits;
}

}  // namespace

void SplitFpgaScan(Session &session, std::string_view tdi, std::string_view tdo, long length,
                   std::string_view mask) {
    RecordWriter &writer = session.writer;
    long &lastScanSize = session.stream.lastScanSize;
    const long digitCount = (length + 3) / 4;
    const long perPiece = session.options.recordLength / 4;
    std::string tdiStorage, tdoStorage, maskStorage;
    const std::string_view tdiDigits = padded(tdi, static_cast<size_t>(digitCount), tdiStorage);
    const std::string_view tdoDigits = padded(tdo, static_cast<size_t>(digitCount), tdoStorage);
    const std::string_view maskDigits = padded(mask, static_cast<size_t>(digitCount), maskStorage);

    long r = digitCount - 1;
    while (r >= 0 && maskDigits[static_cast<size_t>(r)] == '0') --r;
    long c = r;  // an all-zero mask leaves no checked region
    if (r >= 0) {
        // Every MASK digit that is not zero lies in the checked region.
        c = static_cast<long>(maskDigits.find_first_not_of('0')) - 1;
        if ((r - c) % 2 == 1 && c >= 0) --c;
    }
    std::vector<Piece> pieces;
    addStage(pieces, r + 1, digitCount - 1, perPiece, false);
    addStage(pieces, c + 1, r, perPiece, true);
    addStage(pieces, 0, c, perPiece, false);

    const long unusedTopBits = 4 * digitCount - length;
    for (size_t k = 0; k < pieces.size(); ++k) {
        const Piece &piece = pieces[k];
        const long digits = piece.high - piece.low + 1;
        const long bits = 4 * digits - (piece.low == 0 ? unusedTopBits : 0);
        if (bits != lastScanSize) {
            writer.WriteOpcode(qsvf::QSDRSIZE);
            writer.WriteBigEndian(bits, 4);
            lastScanSize = bits;
        }
        const bool first = k == 0, last = k + 1 == pieces.size();
        const size_t low = static_cast<size_t>(piece.low), count = static_cast<size_t>(digits);
        if (piece.checked) writePieceMask(session, maskDigits.substr(low, count), bits);
        if (piece.checked)
            writer.WriteOpcode(first ? qsvf::QSDRTDOB : last ? qsvf::QSDRTDOE : qsvf::QSDRTDOC);
        else
            writer.WriteOpcode(first ? qsvf::QSDRB : last ? qsvf::QSDRE : qsvf::QSDRC);
        const size_t bytes = static_cast<size_t>((bits + 7) / 8);
        writer.WriteHexBytes(tdiDigits.substr(low, count), bytes);
        if (piece.checked) writer.WriteHexBytes(tdoDigits.substr(low, count), bytes);
    }
    // The player runs no run-test count after split pieces: an empty scan
    // right after them runs the group's standing count instead.
    if (session.stream.lastRunTest > 0) {
        writer.WriteOpcode(qsvf::QSDRSIZE);
        writer.WriteBigEndian(0, 4);
        writer.WriteOpcode(qsvf::QSDR);
        lastScanSize = 0;
    }
}

}  // namespace svf96

// Record walker for translator output; see qsvf_walk.h.
#include "qsvf_walk.h"

#include <qsvf_format.h>

#include <optional>

namespace {

struct Reader {
    const std::vector<uint8_t> &bytes;
    size_t pos = 0;
    bool take(size_t count, uint64_t &value) {
        if (bytes.size() - pos < count) return false;
        value = 0;
        for (size_t i = 0; i < count; ++i) value = value << 8 | bytes[pos++];
        return true;
    }
    bool skip(uint64_t count) {
        if (bytes.size() - pos < count) return false;
        pos += count;
        return true;
    }
};

bool isSplitFirst(uint8_t op) { return op == qsvf::QSDRB || op == qsvf::QSDRTDOB; }
bool isSplitMiddle(uint8_t op) { return op == qsvf::QSDRC || op == qsvf::QSDRTDOC; }
bool isSplitLast(uint8_t op) { return op == qsvf::QSDRE || op == qsvf::QSDRTDOE; }
bool splitHasTdo(uint8_t op) { return op >= qsvf::QSDRTDOB && op <= qsvf::QSDRTDOE; }

}  // namespace

QsvfWalk walkQsvf(const std::vector<uint8_t> &bytes) {
    QsvfWalk walk;
    Reader in{bytes};
    std::optional<uint64_t> drLength, maskLength;
    bool inSplit = false, splitTdo = false, complete = false;
    uint64_t runTestCount = 0, longValue = 0;
    bool afterScan = false;  // nothing but waits, lengths and comments since the last scan
    auto fail = [&](size_t at, const std::string &why) {
        walk.ok = false;
        walk.error = "byte " + std::to_string(at) + ": " + why;
        return walk;
    };
    if (bytes.empty()) return fail(0, "empty stream");
    while (in.pos < bytes.size()) {
        const size_t at = in.pos;
        const uint8_t op = bytes[in.pos++];
        const qsvf::OpcodeInfo *info = qsvf::findOpcode(op);
        if (!info) return fail(at, "unused opcode " + std::to_string(op));
        if (op == qsvf::QRESET || op == qsvf::QIDLE || op == qsvf::QSETSDRMASKS || op == qsvf::QSDRINC)
            return fail(at, std::string(info->mnemonic) + " is never written by the translator");
        if ((at == 0) != (op == qsvf::QREPEAT)) return fail(at, "QREPEAT must be the first record and only there");
        if (inSplit && !isSplitMiddle(op) && !isSplitLast(op) && op != qsvf::QSDRSIZE &&
            !(op == qsvf::QTDOMASK && splitTdo))
            return fail(at, std::string(info->mnemonic) + " inside a split scan");
        if (!inSplit && (isSplitMiddle(op) || isSplitLast(op)))
            return fail(at, std::string(info->mnemonic) + " without a first piece");
        if (inSplit && (isSplitMiddle(op) || isSplitLast(op)) && splitHasTdo(op) != splitTdo)
            return fail(at, "split pieces of both kinds in one scan");
        uint64_t irLength = 0;
        for (qsvf::Operand operand : info->operands) {
            uint64_t value = 0;
            switch (operand) {
            case qsvf::Operand::None: break;
            case qsvf::Operand::Byte:
                if (!in.take(1, value)) return fail(at, "record cut off");
                if (op == qsvf::QREPEAT) walk.repeatCount = static_cast<unsigned>(value);
                if ((op == qsvf::QSTATE || op == qsvf::QWAIT) && value >= qsvf::kTapStateCount)
                    return fail(at, "state code " + std::to_string(value));
                if ((op == qsvf::QENDIR || op == qsvf::QENDDR) && value > qsvf::kEndStatePause)
                    return fail(at, "end state operand " + std::to_string(value));
                break;
            case qsvf::Operand::Word:
            case qsvf::Operand::Long:
                if (!in.take(operand == qsvf::Operand::Word ? 2 : 4, value)) return fail(at, "record cut off");
                longValue = value;
                break;
            case qsvf::Operand::IrLength1:
            case qsvf::Operand::IrLength2:
                if (!in.take(operand == qsvf::Operand::IrLength1 ? 1 : 2, irLength)) return fail(at, "record cut off");
                if (operand == qsvf::Operand::IrLength1 ? (irLength < 1 || irLength > qsvf::kMaxQsirBits)
                                                         : (irLength <= qsvf::kMaxQsirBits))
                    return fail(at, "instruction length " + std::to_string(irLength) + " in " +
                                        std::string(info->mnemonic));
                break;
            case qsvf::Operand::IrVector:
                if (!in.skip(qsvf::vectorBytes(irLength))) return fail(at, "instruction vector cut off");
                walk.irScans++;
                walk.irBits += irLength;
                break;
            case qsvf::Operand::DrVector:
                if (!drLength) return fail(at, std::string(info->mnemonic) + " before any QSDRSIZE");
                if (!in.skip(qsvf::vectorBytes(*drLength))) return fail(at, "data vector cut off");
                break;
            case qsvf::Operand::DrLength:
                if (!in.take(4, value)) return fail(at, "record cut off");
                drLength = value;
                break;
            case qsvf::Operand::Text:
                while (in.pos < bytes.size() && bytes[in.pos] != 0) in.pos++;
                if (in.pos == bytes.size()) return fail(at, "QCOMMENT without its 0 byte");
                in.pos++;
                break;
            case qsvf::Operand::IncFields: return fail(at, "QSDRINC");
            }
        }
        walk.records++;
        if (op == qsvf::QTDOMASK) maskLength = drLength;
        if (splitHasTdo(op)) {
            if (maskLength != drLength)
                return fail(at, std::string(info->mnemonic) + " of " + std::to_string(*drLength) + " bits under " +
                                    (maskLength ? "a QTDOMASK of " + std::to_string(*maskLength) + " bits"
                                                : std::string("no QTDOMASK")));
            walk.splitTdoPieces++;
        }
        const bool emptyDrScan = op == qsvf::QSDR && *drLength == 0;
        if (op == qsvf::QRUNTEST) runTestCount = longValue;
        if (op == qsvf::QWAIT || emptyDrScan) {
            if (afterScan) walk.scanWaits.back() += op == qsvf::QWAIT ? longValue : runTestCount;
        } else if (op == qsvf::QSIR || op == qsvf::QSIR2 || op == qsvf::QSDR || op == qsvf::QSDRTDO)
            walk.scanWaits.push_back(runTestCount);
        else if (isSplitLast(op))
            walk.scanWaits.push_back(0);
        // A 0-bit data scan is no scan: the one before keeps its place.
        if (op == qsvf::QSIR || op == qsvf::QSIR2 || ((op == qsvf::QSDR || op == qsvf::QSDRTDO) && !emptyDrScan) ||
            isSplitLast(op))
            afterScan = true;
        else if (!emptyDrScan && op != qsvf::QWAIT && op != qsvf::QRUNTEST && op != qsvf::QSDRSIZE && op != qsvf::QCOMMENT)
            afterScan = false;
        if ((op == qsvf::QSDR || op == qsvf::QSDRTDO) && !emptyDrScan) {
            walk.drScans++;
            walk.drBits += *drLength;
            if (*drLength > walk.longestUnsplitDr) walk.longestUnsplitDr = *drLength;
        } else if (isSplitFirst(op)) {
            inSplit = true;
            splitTdo = splitHasTdo(op);
            walk.splitScans++;
            walk.drBits += *drLength;
        } else if (isSplitMiddle(op) || isSplitLast(op)) {
            walk.drBits += *drLength;
            if (isSplitLast(op)) inSplit = false;
        } else if (op == qsvf::QCOMPLETE) {
            if (in.pos != bytes.size()) return fail(at, "QCOMPLETE before the last byte");
            complete = true;
        }
    }
    if (!complete) return fail(bytes.size(), "no QCOMPLETE at the end");
    walk.ok = true;
    return walk;
}

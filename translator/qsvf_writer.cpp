// The QSVF record writer.  Pending scans are written here when the next
// command arrives (kind 1) or from the RUNTEST handler (kind 0), with the
// QSDRSIZE and QTDOMASK records suppressed when they would not change the
// player's state, and long FPGA scans split into QSDRB/C/E pieces, each TDO
// piece under a QTDOMASK of its own part of the scan's MASK.
#include "qsvf_writer.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

#include "byte_order.h"
#include "combine.h"
#include "diagnostics.h"
#include "file_channel.h"
#include "prog_state.h"
#include "qsvf_format.h"

namespace svf {

void listText(std::string_view text) {
    if (pFC_Ascii) pFC_Ascii->putText(text);
}

void listFormat(const char *format, ...) {
    if (!pFC_Ascii) return;
    char text[128];
    va_list args;
    va_start(args, format);
    int size = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (size > 0) pFC_Ascii->putText(std::string_view(text, std::min<size_t>(static_cast<size_t>(size), sizeof text - 1)));
}

void writeOpcode(uint8_t opcode) {
    nullPtrChk(pFC_Output, "outFC", nullptr);
    pFC_Output->putByte(opcode);
}

void binWrite(uint64_t value, int digits) {
    rangeCheck(1, digits, 0, 299, "bW", SEV_ERROR);
    nullPtrChk(pFC_Output, "outFC", nullptr);
    for (int byte = digits / 2 - 1; byte >= 0; --byte)
        pFC_Output->putByte(static_cast<uint8_t>(byte < 8 ? value >> (8 * byte) : 0));
}

namespace {

// "000102...ff": the listing digits of every byte value.
constexpr std::array<char, 512> makeHexPairs() {
    constexpr char kDigits[] = "0123456789abcdef";
    std::array<char, 512> pairs{};
    for (size_t byte = 0; byte < 256; ++byte) {
        pairs[2 * byte] = kDigits[byte >> 4];
        pairs[2 * byte + 1] = kDigits[byte & 0xF];
    }
    return pairs;
}
constexpr std::array<char, 512> kHexPairs = makeHexPairs();

// The data field of a value without SMASK, whose words are fetched here
// directly (the header before it puts them at a bit offset); none when the
// value has no data field or an SMASK.
const CTapField *dataField(const CCombinedValue *value) {
    if (!value || value->pAndMask) return nullptr;
    return value->parts[1].field.get();
}

// Bits bit .. bit+63 of a field's value.
inline uint64_t fieldWord(const CTapField &field, int64_t bit) {
    const std::vector<uint8_t> &bytes = field.pData;
    const auto at = static_cast<size_t>(bit >> 3);
    const int shift = static_cast<int>(bit & 7);
    if (at + 9 > bytes.size()) return field.getBits(bit, 64);
    uint64_t word = loadLittle64(bytes.data() + at) >> shift;
    if (shift != 0) word |= uint64_t{bytes[at + 8]} << (64 - shift);
    return word;
}

}  // namespace

void bytePrint(const CCombinedValue *value, int64_t lo, int64_t bits) {
    nullPtrChk(pFC_Output, "outFC", nullptr);
    FileChannel &out = *pFC_Output;
    FileChannel *listing = pFC_Ascii;
    if (listing) listing->putText("0x");
    const CTapField *direct = dataField(value);
    const int64_t dataBase = value ? value->parts[0].bits : 0;
    const int64_t dataEnd = value ? dataBase + value->parts[1].bits : 0;
    // Words of up to 8 bytes, most significant first; the first word takes
    // the odd bytes so that the rest are whole.
    int64_t remaining = (bits + 7) / 8;
    while (remaining > 0) {
        int take = static_cast<int>((remaining - 1) % 8 + 1);
        int64_t first = remaining - take;  // lowest byte of this word, counted from the least significant
        uint64_t word = 0;
        const int64_t at = lo + 8 * first;
        if (direct && at >= dataBase && at + 64 <= dataEnd)
            word = fieldWord(*direct, at - dataBase);
        else if (value)
            word = value->getWord(at);
        int64_t valid = bits - 8 * first;
        if (valid < 64) word &= (uint64_t{1} << valid) - 1;
        // The word's take bytes, most significant first.
        uint8_t bytes[8];
        storeBig64(bytes, word << (64 - 8 * take));
        std::memcpy(out.outputSpace(8), bytes, 8);
        out.advance(static_cast<size_t>(take));
        if (listing) {
            unsigned char *text = listing->outputSpace(16);
            for (int j = 0; j < take; ++j) std::memcpy(text + 2 * j, &kHexPairs[2 * size_t{bytes[j]}], 2);
            listing->advance(2 * static_cast<size_t>(take));
        }
        remaining -= take;
    }
}

void qsvfHeaderTrailer(int isTrailer) {
    if (isTrailer == 0) {
        listFormat("QREPEAT 0x%02X\n", static_cast<unsigned>(lQrepeatVal));
        writeOpcode(qsvf::QREPEAT);
        binWrite(static_cast<uint64_t>(lQrepeatVal), 2);
    } else {
        listText("QCOMPLETE\n");
        writeOpcode(qsvf::QCOMPLETE);
    }
}

namespace {

// Where the player rests after a scan of the kind (1 instruction), with
// or without the run-test count after it.
void restAfterScan(int instruction, bool withCount) {
    const int pause = instruction ? qsvf::STATE_IRPAUSE : qsvf::STATE_DRPAUSE;
    giPlayerState = withCount && lTckRunCount > 0 ? qsvf::STATE_IDLE
                    : giPlayerEndPause[instruction] ? pause
                                                    : qsvf::STATE_IDLE;
}

// A scan that ends in a pause state and runs a run-test count sends the
// player on to Run-Test/Idle; the SVF stays in the pause state unless the
// scan's own RUNTEST (kind 0) waits in Run-Test/Idle too.
void warnPauseCount(int instruction, int kind) {
    if (iQsvfExt != 1 || giUseQwait == 1 || !giPlayerEndPause[instruction] || lTckRunCount <= 0 || !pFC_Input)
        return;
    const CTapObj &tap = *pGlobTapData;
    if (kind == 0 && tap.runState == qsvf::STATE_IDLE && tap.runEndState == qsvf::STATE_IDLE) return;
    warnOptionLoss(LOSS_PAUSE_COUNT, *pFC_Input);
}

void writeRunTestZero() {
    listFormat("QRUNTEST 0x%08d\n", 0);
    writeOpcode(qsvf::QRUNTEST);
    binWrite(0, 8);
    lTckRunCount = 0;
}

// The run-test reset before a scan written because some command other than
// RUNTEST arrived.
void runTestReset(int kind) {
    if (kind == 1 && iRunTestFlag == 0 && lTckRunCount != 0) writeRunTestZero();
}

void writeSdrSize(int64_t size) {
    listFormat("QSDRSIZE 0x%08llX\n", static_cast<unsigned long long>(size));
    writeOpcode(qsvf::QSDRSIZE);
    binWrite(static_cast<uint64_t>(size), 8);
    lSdrSize = size;
}

void writeEmptyScan() {
    listText("QSDRSIZE 00000000\nQSDR\n");
    writeOpcode(qsvf::QSDRSIZE);
    binWrite(0, 8);
    writeOpcode(qsvf::QSDR);
    lSdrSize = 0;
    restAfterScan(0, true);
}

// QTDOMASK with bits lo .. lo+bits-1 of a mask (all zero for none); the
// caller ends the listing line.
void writeTdoMask(const CCombinedValue *mask, int64_t lo, int64_t bits) {
    listText("QTDOMASK ");
    writeOpcode(qsvf::QTDOMASK);
    bytePrint(mask, lo, bits);
    lSdrMaskSize = bits;
}

// Whether the player's standing mask is bits lo .. lo+bits-1 of a mask: the
// same length and the same bits (a zero mask stands when pSdrMask is none).
bool maskStands(const CCombinedValue &mask, int64_t lo, int64_t bits) {
    if (lSdrMaskSize != bits) return false;
    for (int64_t at = 0; at < bits; at += 64) {
        uint64_t part = mask.getWord(lo + at), standing = pSdrMask ? pSdrMask->getWord(at) : 0;
        if (bits - at < 64) {
            const uint64_t keep = (uint64_t{1} << (bits - at)) - 1;
            part &= keep;
            standing &= keep;
        }
        if (part != standing) return false;
    }
    return true;
}

// Bits lo .. lo+bits-1 of a value, as a value of their own.
std::unique_ptr<CCombinedValue> valuePart(const CCombinedValue &value, int64_t lo, int64_t bits) {
    auto field = std::make_shared<CTapField>(bits);
    std::vector<uint8_t> &bytes = field->pData;
    bytes.resize(static_cast<size_t>((bits + 63) / 64 * 8));
    for (int64_t at = 0; at < bits; at += 64) storeLittle64(bytes.data() + at / 8, value.getWord(lo + at));
    field->finishValueBytes(field->lDigitCount);
    auto part = std::make_unique<CCombinedValue>();
    part->lBits = bits;
    part->parts[1] = {std::move(field), bits, 1};
    return part;
}

// A split scan with TDO: every piece is compared under the standing mask,
// so the piece of bits lo .. lo+bits-1 is preceded by a QTDOMASK with its
// part of the MASK unless that part already stands.  The written part is
// then the remembered mask, as the player holds it after the scan.
void writePieceMask(const CCombinedValue *mask, int64_t lo, int64_t bits, bool newLine) {
    if (!mask || maskStands(*mask, lo, bits)) return;
    if (newLine) listText("\n");
    writeTdoMask(mask, lo, bits);
    if (!newLine) listText("\n");
    pSdrMask = valuePart(*mask, lo, bits);
}

void writeSplitSdr(const CCombinedValue &tdi, const CCombinedValue *tdo, const CCombinedValue *mask, int64_t total) {
    const int64_t record = lFpgaRecSize;
    writeSdrSize(record);
    writePieceMask(mask, 0, record, false);
    if (lTckRunCount != 0) writeRunTestZero();
    if (record % 4 != 0) fatalError("Rec size must be multiple of 4");
    const uint8_t first = tdo ? qsvf::QSDRTDOB : qsvf::QSDRB;
    const uint8_t middle = tdo ? qsvf::QSDRTDOC : qsvf::QSDRC;
    const uint8_t last = tdo ? qsvf::QSDRTDOE : qsvf::QSDRE;
    auto piece = [&](int64_t lo, int64_t bits) {
        bytePrint(&tdi, lo, bits);
        if (tdo) {
            listText(" ");
            bytePrint(tdo, lo, bits);
        }
    };
    auto opcode = [&](uint8_t code, bool newLine) {
        std::string text = newLine ? "\n" : "";
        text += qsvf::kOpcodes[code].mnemonic;
        text += ' ';
        listText(text);
        writeOpcode(code);
    };
    opcode(first, false);
    int64_t rest = total - record;
    while (rest > 0) {
        piece(total - rest - record, record);
        if (rest <= record) {
            if (rest != record) {
                listFormat("\nQSDRSIZE 0x%08llX", static_cast<unsigned long long>(rest));
                writeOpcode(qsvf::QSDRSIZE);
                binWrite(static_cast<uint64_t>(rest), 8);
                lSdrSize = rest;
            }
            writePieceMask(mask, total - rest, rest, true);
            opcode(last, true);
        } else {
            writePieceMask(mask, total - rest, record, true);
            opcode(middle, true);
        }
        rest -= record;
    }
    piece(total - (record + rest), record + rest);
    listText("\n");
    restAfterScan(0, false);
}

}  // namespace

// The count of a wait that no scan of its own can carry, run by an empty
// data scan: QRUNTEST (unless the player holds the count already),
// QSDRSIZE 0 and QSDR.  Only -qwait writes QWAIT (from the RUNTEST
// handler); the players of the other modes know no such record.
void writeCountOnEmptyScan(int64_t count) {
    if (count != lTckRunCount) {
        listFormat("QRUNTEST 0x%08llX\n", static_cast<unsigned long long>(count) & 0xFFFFFFFFull);
        writeOpcode(qsvf::QRUNTEST);
        binWrite(static_cast<uint64_t>(count), 8);
        lTckRunCount = count;
    }
    writeEmptyScan();
}

void writeWaitAfterScan(int64_t count) {
    // Nothing to wait, or the scan already waited the count the player
    // holds (no run-test reset stands before an in-order SIR).
    if (count == 0 || count == lTckRunCount) return;
    writeCountOnEmptyScan(count);
}

void writeWaitWhereItStands(int64_t count) {
    // An empty scan of no clocks would do nothing.
    if (count != 0) writeCountOnEmptyScan(count);
}

void writeSirRecord(int kind) {
    ScanPatterns scan = sirPatterns();
    int64_t total = scan.totalBits();
    CCombinedValue tdi = combinedTdi(scan, "pCL0");
    if (total <= qsvf::kMaxQsirBits) {
        listFormat("QSIR 0x%02X ", static_cast<unsigned>(total));
        writeOpcode(qsvf::QSIR);
        binWrite(static_cast<uint64_t>(total), 2);
    } else {
        listFormat("QSIR2 0x%04X ", static_cast<unsigned>(total));
        writeOpcode(qsvf::QSIR2);
        binWrite(static_cast<uint64_t>(total), 4);
    }
    bytePrint(&tdi, 0, total);
    listText("\n");
    warnPauseCount(1, kind);
    restAfterScan(1, true);
}

void writeSir(int kind) {
    if (iSirFlag != 1 || iInOrder == 1) return;
    sirPatterns();
    runTestReset(kind);
    writeSirRecord(kind);
    iSirFlag = 0;
    if (iV2Compatibility == 1 && lTckRunCount != 0) writeEmptyScan();
}

void writeSdr(int kind) {
    if (iSdrFlag != 1) return;
    ScanPatterns scan = sdrPatterns();
    const int64_t total = scan.totalBits();
    const bool split = iFpgaFormat == 1 && total > lFpgaRecSize;
    const bool testTdo = iSkipTdoTest == 0 && scan.data->pTdo != nullptr;
    const int64_t sizeBefore = lSdrSize;
    if (!split && total != lSdrSize) writeSdrSize(total);
    std::optional<CCombinedValue> mask;
    if (testTdo) mask = combinedMask(scan);
    if (!split) {
        if (!testTdo) {
            // With no mask remembered, the zero mask written last stands;
            // it serves when it has this scan's length (a split scan sets
            // the DR length without writing a mask).
            if (!(pSdrMask == nullptr && total == sizeBefore && total == lSdrMaskSize)) {
                pSdrMask.reset();
                writeTdoMask(nullptr, 0, total);
                listText("\n");
            }
        } else {
            if (!compareHexData(*mask, pSdrMask.get(), mask->digitCount())) {
                if (pSdrMask)
                    *pSdrMask = std::move(*mask);
                else
                    pSdrMask = std::make_unique<CCombinedValue>(std::move(*mask));
                writeTdoMask(pSdrMask.get(), 0, total);
                listText("\n");
            }
        }
    }
    CCombinedValue tdi = combinedTdi(scan, "pCL");
    std::optional<CCombinedValue> tdo;
    if (testTdo) tdo = combinedTdo(scan);
    giSplitSdrWritten = split ? 1 : 0;
    if (split) {
        writeSplitSdr(tdi, tdo ? &*tdo : nullptr, mask ? &*mask : nullptr, total);
    } else {
        runTestReset(kind);
        bool plain = iOptUseQSDR == 1 && !testTdo;
        listText(plain ? "QSDR " : "QSDRTDO ");
        writeOpcode(plain ? qsvf::QSDR : qsvf::QSDRTDO);
        bytePrint(&tdi, 0, total);
        if (!plain) {
            listText(" ");
            bytePrint(tdo ? &*tdo : nullptr, 0, total);
        }
        listText("\n");
        warnPauseCount(0, kind);
        restAfterScan(0, true);
    }
    iSdrFlag = 0;
}

}  // namespace svf

// Header and trailer combination: the combined-value view with its 64-bit
// word access, the SMASK step, and the per-command combination step.
#include "combine.h"

#include "diagnostics.h"
#include "file_channel.h"
#include "prog_state.h"
#include "qsvf_writer.h"

namespace svf {

uint64_t CCombinedValue::getWord(int64_t lo) const {
    // Nearly every word of a long scan lies inside its data: one fetch, at
    // whatever bit offset the header puts the data.
    const Part &data = parts[1];
    const int64_t dataBase = parts[0].bits;
    if (data.field && lo >= dataBase && lo + 64 <= dataBase + data.bits) {
        const uint64_t word = data.field->getBits(lo - dataBase, 64);
        return pAndMask ? word & pAndMask->getWord(lo) : word;
    }
    uint64_t word = 0;
    int64_t base = 0;
    for (const Part &part : parts) {
        if (part.bits > 0) {
            int64_t start = std::max(lo, base);
            int64_t end = std::min(lo + 64, base + part.bits);
            if (start < end) {
                int count = static_cast<int>(end - start);
                uint64_t bits;
                if (part.field)
                    bits = part.field->getBits(start - base, count);
                else
                    bits = part.fill ? (count == 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1) : 0;
                word |= bits << (start - lo);
            }
        }
        base += part.bits;
    }
    if (pAndMask) word &= pAndMask->getWord(lo);
    return word;
}

std::string CCombinedValue::hexDigits() const {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(static_cast<size_t>(digitCount()));
    for (int64_t d = digitCount() - 1; d >= 0; --d) text += kDigits[getWord(4 * d) & 0xF];
    return text;
}

CCombinedValue consolidateData(FieldPtr trailer, FieldPtr data, FieldPtr header, int64_t trailerBits,
                               int64_t dataBits, int64_t headerBits, int defaultBit, int64_t &digitCount) {
    CCombinedValue value;
    value.lBits = trailerBits + dataBits + headerBits;
    if (value.lBits < 1) fatalError("consD[0]");
    if (dataBits == 0) fatalError("pData=Null");
    value.parts[0] = {std::move(header), headerBits, defaultBit};
    value.parts[1] = {std::move(data), dataBits, 1};
    value.parts[2] = {std::move(trailer), trailerBits, defaultBit};
    digitCount = value.digitCount();
    return value;
}

namespace {
// The field that is the whole value (no header, trailer or SMASK), or none.
const CTapField *wholeField(const CCombinedValue &value) {
    const CCombinedValue::Part &data = value.parts[1];
    if (value.pAndMask || value.parts[0].bits != 0 || value.parts[2].bits != 0 || !data.field ||
        data.field->lBitLen != data.bits)
        return nullptr;
    return data.field.get();
}
}  // namespace

int compareHexData(const CCombinedValue &newMask, const CCombinedValue *oldMask, int64_t digitCount) {
    if (!oldMask || oldMask->digitCount() != digitCount || newMask.digitCount() != digitCount) return 0;
    // A field's bytes hold no bit above its length and no zero byte at the
    // top, so two whole-field values are equal when their bytes are.
    const CTapField *newField = wholeField(newMask), *oldField = wholeField(*oldMask);
    if (newField && oldField) return newField->pData == oldField->pData ? 1 : 0;
    int64_t bits = 4 * digitCount;
    for (int64_t lo = 0; lo < bits; lo += 64) {
        uint64_t a = newMask.getWord(lo), b = oldMask->getWord(lo);
        if (bits - lo < 64) {
            uint64_t keep = (uint64_t{1} << (bits - lo)) - 1;
            a &= keep;
            b &= keep;
        }
        if (a != b) return 0;
    }
    return 1;
}

ScanPatterns sdrPatterns() {
    nullPtrChk(pGlobTapData.get(), "pTapData", nullptr);
    return {&pGlobTapData->sdr, &pGlobTapData->hdr, &pGlobTapData->tdr};
}

ScanPatterns sirPatterns() {
    nullPtrChk(pGlobTapData.get(), "pTapInstr", nullptr);
    return {&pGlobTapData->sir, &pGlobTapData->hir, &pGlobTapData->tir};
}

CCombinedValue combinedTdi(const ScanPatterns &scan, const char *checkTag) {
    int64_t digits = 0;
    CCombinedValue tdi = consolidateData(scan.trailer->pTdi, scan.data->pTdi, scan.header->pTdi,
                                         scan.trailer->lLength, scan.data->lLength, scan.header->lLength, 1, digits);
    if (scan.data->pSmask) {
        int64_t maskDigits = 0;
        auto smask = std::make_shared<CCombinedValue>(
            consolidateData(scan.trailer->pSmask, scan.data->pSmask, scan.header->pSmask, scan.trailer->lLength,
                            scan.data->lLength, scan.header->lLength, 1, maskDigits));
        if (maskDigits != digits)
            fatalError(strFormat("%s[%lld=%lld]", checkTag, static_cast<long long>(digits),
                                 static_cast<long long>(maskDigits)));
        tdi.pAndMask = std::move(smask);
    }
    return tdi;
}

CCombinedValue combinedTdo(const ScanPatterns &scan) {
    int64_t digits = 0;
    return consolidateData(scan.trailer->pTdo, scan.data->pTdo, scan.header->pTdo, scan.trailer->lLength,
                           scan.data->lLength, scan.header->lLength, 0, digits);
}

CCombinedValue combinedMask(const ScanPatterns &scan) {
    int64_t digits = 0;
    return consolidateData(scan.trailer->pMask, scan.data->pMask, scan.header->pMask, scan.trailer->lLength,
                           scan.data->lLength, scan.header->lLength, 0, digits);
}

void combineHeaderDataTrailer(int isSdr) {
    ScanPatterns scan = isSdr ? sdrPatterns() : sirPatterns();
    int64_t total = scan.totalBits();
    // Lengths that do not fit their record field are refused, never written
    // truncated: an instruction scan has a 2-byte length, a data scan a
    // 4-byte QSDRSIZE.
    if (!isSdr && total > qsvf::kMaxQsir2Bits)
        limitError("SIR length", std::to_string(total), qsvf::kMaxQsir2Bits, pFC_Input);
    if (isSdr && total > int64_t{UINT32_MAX}) limitError("SDR length", std::to_string(total), UINT32_MAX, pFC_Input);
    // The checks of joining the values (the same for TDI, SMASK, TDO and
    // MASK, which share the lengths); the values themselves are joined when
    // the scan is written.
    if (total < 1) fatalError("consD[0]");
    if (scan.data->lLength == 0) fatalError("pData=Null");
    if (isSdr) return;
    if (iInOrder == 1) {
        writeSirRecord();
        giInOrderSirWritten = 1;
    }
}

void doDataShift(std::string_view command) {
    writeSir(1);
    writeSdr(1);
    if (command == "hir" || command == "hdr" || command == "tir" || command == "tdr") {
        statusMsg("Header/Trailer info combined with SIR/SDR", MSG_NL_BEFORE, 1, 0);
    } else if (command == "sir" || command == "sdr") {
        bool isSdr = command == "sdr";
        (isSdr ? iSdrFlag : iSirFlag) = 1;
        combineHeaderDataTrailer(isSdr ? 1 : 0);
    } else {
        fatalError(strFormat("SVF cmd [%s]?", std::string(command).c_str()));
    }
}

}  // namespace svf

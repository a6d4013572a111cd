// Scan data: field storage and bit access, the pattern reuse rules, and the
// reader of a scan command's operands, readTapData, which hands each
// parenthesised value to readSvfHexData.  How the digits of a value become
// the bytes of its field is in hex_digits.cpp.
#include "tap_data.h"

#include <algorithm>
#include <string_view>

#include "byte_order.h"
#include "diagnostics.h"
#include "file_channel.h"
#include "hex_digits.h"
#include "svf_lexer.h"

namespace svf {

// ---- CTapField ------------------------------------------------------------

int CTapField::getTapDataChar(int64_t position, int logical) const {
    rangeCheck(1, position, 0, lDigitCount - 1, logical ? "gtdc" : "Hgtdc", SEV_ERROR);
    int64_t d = logical ? position : (position - lRotOffset + lDigitCount) % lDigitCount;
    size_t byte = static_cast<size_t>(d / 2);
    if (byte >= pData.size()) return 0;
    return (d & 1) ? pData[byte] >> 4 : pData[byte] & 0x0F;
}

int CTapField::getTapBit(int64_t bit) const {
    rangeCheck(1, bit, 0, lBitLen - 1, "gtb", SEV_ERROR);
    size_t byte = static_cast<size_t>(bit / 8);
    return byte < pData.size() ? (pData[byte] >> (bit % 8)) & 1 : 0;
}

uint64_t CTapField::getBits(int64_t offset, int count) const {
    size_t size = pData.size();
    size_t byte = static_cast<size_t>(offset >> 3);
    if (byte >= size) return 0;
    int shift = static_cast<int>(offset & 7);
    uint64_t word = 0;
    if (byte + 8 <= size) {
        word = loadLittle64(pData.data() + byte);
    } else {
        for (size_t i = size; i-- > byte;) word = (word << 8) | pData[i];
    }
    uint64_t result = word >> shift;
    if (shift != 0 && count > 64 - shift && byte + 8 < size) result |= uint64_t{pData[byte + 8]} << (64 - shift);
    if (count < 64) result &= (uint64_t{1} << count) - 1;
    return result;
}

bool CTapField::hasOneBit() const {
    return std::any_of(pData.begin(), pData.end(), [](uint8_t b) { return b != 0; });
}

// ---- CTapPattern ----------------------------------------------------------

int CTapPattern::setPattern(int64_t length, FieldPtr tdi, FieldPtr tdo, FieldPtr mask, FieldPtr smask) {
    if (length == 0) {
        pTdi.reset();
        pTdo.reset();
        pMask.reset();
        pSmask.reset();
        lLength = 0;
        return 0;
    }
    if (length != lLength) {
        if (!tdi) {
            warning("TDI data required");
            return 1;
        }
        pTdi = std::move(tdi);
        pSmask = std::move(smask);
        pMask = std::move(mask);
    } else {
        if (tdi) pTdi = std::move(tdi);
        if (smask) pSmask = std::move(smask);
        if (mask) pMask = std::move(mask);
    }
    pTdo = std::move(tdo);
    lLength = length;
    return 0;
}

int64_t CTapPattern::getPattern(FieldPtr *tdi, FieldPtr *tdo, FieldPtr *mask, FieldPtr *smask) const {
    if (tdi) *tdi = pTdi;
    if (tdo) *tdo = pTdo;
    if (mask) *mask = pMask;
    if (smask) *smask = pSmask;
    return lLength;
}

// ---- Reading the operands -------------------------------------------------
int64_t readTapData(FileChannel &channel, int isScan, FieldPtr &tdi, FieldPtr &tdo, FieldPtr &mask,
                    FieldPtr &smask) {
    int64_t length = lGetLong(kPositiveOnly, channel);
    if (length < 1) {
        if (isScan) fatalError("Data length must be > 0", &channel);
        do {
            lexNeed(channel, ";");
        } while (!tokenIs(channel, ";"));
        return 0;
    }
    static constexpr std::string_view kKeywords[4] = {"tdi", "tdo", "mask", "smask"};
    FieldPtr *slots[4] = {&tdi, &tdo, &mask, &smask};
    bool given[4] = {false, false, false, false};
    lexNeed(channel, ";");
    while (!tokenIs(channel, ";")) {
        int which = -1;
        for (int i = 0; i < 4; ++i)
            if (tokenIs(channel, kKeywords[i])) which = i;
        if (which < 0) {
            if (channel.iTokenType == TOK_WORD)
                fatalError(strFormat("Invalid SDR format [%s]", channel.sToken), &channel);
            break;
        }
        if (given[which]) break;
        given[which] = true;
        *slots[which] = readSvfHexData(length, channel);
        lexNeed(channel, ";");
    }
    if (!tokenIs(channel, ";"))
        fatalError(strFormat("Unknown token or %s already specified", channel.sToken), &channel);
    if (mask && tdo && !mask->hasOneBit()) tdo.reset();
    return length;
}

}  // namespace svf

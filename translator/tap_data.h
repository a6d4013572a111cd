// The translator's scan data: CTapField (one hexadecimal value of a given
// bit length), CTapPattern (the TDI, TDO, MASK and SMASK of one command kind
// with the SVF reuse rules), CTapObj (the one scan object of a run, with the
// TAP, timing and parallel I/O settings), and the reader of a scan command's
// operands (readTapData; each value is read by readSvfHexData, hex_digits.h).
//
// A field keeps the digits that the SVF text actually gave, two to a byte,
// as the little-endian bytes of the value; digits the text left out are 0
// and take no storage.  So a field is never larger than its text, however
// long its declared length, and its bits can be fetched 64 at a time.
#ifndef SVF_TAP_DATA_H
#define SVF_TAP_DATA_H

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "qsvf_format.h"

namespace svf {

class FileChannel;

using TapState = qsvf::TapStateCode;

class CTapField {
public:
    explicit CTapField(int64_t bits) { initTapField(bits); }
    void initTapField(int64_t bits) {
        lBitLen = bits;
        lDigitCount = (bits + 3) / 4;
        lByteCount = (bits + 7) / 8;
        lRotOffset = 0;
        pData.clear();
    }

    int64_t lBitLen = 0;     // SVF length of the value
    int64_t lDigitCount = 0; // ceil(bits / 4)
    int64_t lByteCount = 0;  // ceil(bits / 8)
    int64_t lRotOffset = 0;  // physical digit position of the least significant digit
    // Value bytes, least significant first; bytes past the end are 0.
    std::vector<uint8_t> pData;

    // Digit at a physical position (logical 0) or logical position (1).
    int getTapDataChar(int64_t position, int logical) const;
    int getTapBit(int64_t bit) const;
    // Bits offset .. offset+count-1 (count 1..64) as a number; 0 past the end.
    uint64_t getBits(int64_t offset, int count) const;
    bool hasOneBit() const;

    // Fills the field from digits in text order (most significant first):
    // the last lDigitCount of them count, with missing leading digits 0.
    // Bits above the length in the top digit are cleared.  This and
    // finishValueBytes are with the reader of values, in hex_digits.cpp.
    void setDigits(const uint8_t *digits, int64_t count);
    // Completes pData, which holds the value's little-endian bytes as read
    // from `digits` digits.
    void finishValueBytes(int64_t digits);
    // Storage up to this size stays with a field for the next value read.
    static constexpr size_t kKeptStorage = size_t{64} << 10;
};

using FieldPtr = std::shared_ptr<const CTapField>;

class CTapPattern {
public:
    FieldPtr pTdi, pTdo, pMask, pSmask;
    int64_t lLength = 0;  // 0: no pattern

    // Keeps a command's values under the reuse rules; 1 when TDI is missing
    // at a new length.
    int setPattern(int64_t length, FieldPtr tdi, FieldPtr tdo, FieldPtr mask, FieldPtr smask);
    int64_t getPattern(FieldPtr *tdi, FieldPtr *tdo, FieldPtr *mask, FieldPtr *smask) const;
};

// One pin of the parallel I/O map.
enum PioDirection { PIO_IN = 0, PIO_OUT = 1, PIO_INOUT = 2 };
struct PioPin {
    int direction;
    std::string name;
};

class CTapObj {
public:
    TapState runState = qsvf::STATE_IDLE;
    TapState runEndState = qsvf::STATE_IDLE;
    TapState drEndState = qsvf::STATE_IDLE;
    TapState irEndState = qsvf::STATE_IDLE;
    TapState currentState = qsvf::STATE_RESET;
    float frequency = -1.0f;
    double frequencyExact = -1.0;  // the same in double precision, for time-to-count conversion
    float runCount = -1.0f;
    float minTime = -1.0f;
    float maxTime = -1.0f;
    int trstMode = 0;
    // The pin map (in the order written) with a name index, so that long
    // maps are checked and looked up in linear time.
    std::vector<PioPin> pioMap;
    std::unordered_set<std::string> pioNames;
    // Steps (state, TMS) of the most recent STATE command.
    std::vector<std::pair<uint8_t, uint8_t>> transitions;
    CTapPattern hdr, tdr, hir, tir, sdr, sir;
};

// Reads the rest of a SIR, SDR, HIR, HDR, TIR or TDR command through its ";"
// and returns its length.
int64_t readTapData(FileChannel &channel, int isScan, FieldPtr &tdi, FieldPtr &tdo, FieldPtr &mask,
                    FieldPtr &smask);

}  // namespace svf

#endif  // SVF_TAP_DATA_H

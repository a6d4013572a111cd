// Header and trailer combination.  A scan's combined value joins trailer
// (most significant bits), the command's own data and header (least
// significant bits, shifted first) into one bit vector per operand.  The
// combined value is a view over the fields it joins: its bits are produced
// 64 at a time when a record is written, so a huge scan is never copied.
// Also the step after every scan, header and trailer command (doDataShift)
// and the work at the scan command itself (combineHeaderDataTrailer).
#ifndef SVF_COMBINE_H
#define SVF_COMBINE_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tap_data.h"

namespace svf {

class CCombinedValue {
public:
    struct Part {
        FieldPtr field;   // none: every bit is the fill bit
        int64_t bits = 0;
        int fill = 0;
    };
    Part parts[3];        // header (least significant), data, trailer
    int64_t lBits = 0;    // total length N
    std::shared_ptr<const CCombinedValue> pAndMask;  // SMASK applied to a TDI

    // Bits lo .. lo+63 of the value (0 at and above N).
    uint64_t getWord(int64_t lo) const;
    int64_t digitCount() const { return (lBits + 3) / 4; }
    // The value as lowercase hexadecimal digits, most significant first.
    std::string hexDigits() const;
};

// Joins trailer, data and header; the fill bit of an absent header or
// trailer value is defaultBit, that of an absent data value 1.
CCombinedValue consolidateData(FieldPtr trailer, FieldPtr data, FieldPtr header, int64_t trailerBits,
                               int64_t dataBits, int64_t headerBits, int defaultBit, int64_t &digitCount);

// 1 when the old mask exists and its digits equal those of the new one.
int compareHexData(const CCombinedValue &newMask, const CCombinedValue *oldMask, int64_t digitCount);

// The operands of the scan kind with its header and trailer.
struct ScanPatterns {
    const CTapPattern *data;
    const CTapPattern *header;
    const CTapPattern *trailer;
    int64_t totalBits() const { return data->lLength + header->lLength + trailer->lLength; }
};
ScanPatterns sdrPatterns();
ScanPatterns sirPatterns();

// Combined TDI with the data SMASK applied; checkTag names the internal
// digit-count check.
CCombinedValue combinedTdi(const ScanPatterns &scan, const char *checkTag);
CCombinedValue combinedTdo(const ScanPatterns &scan);
CCombinedValue combinedMask(const ScanPatterns &scan);

void combineHeaderDataTrailer(int isSdr);
void doDataShift(std::string_view command);

}  // namespace svf

#endif  // SVF_COMBINE_H

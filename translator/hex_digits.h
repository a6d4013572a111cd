// Hexadecimal scan values: the reader of one parenthesised value, which packs
// its digits into the value bytes of a CTapField as it reads them
// (hex_digits.cpp).
#ifndef SVF_HEX_DIGITS_H
#define SVF_HEX_DIGITS_H

#include <cstdint>
#include <memory>

#include "tap_data.h"

namespace svf {

// Reads one parenthesised hexadecimal value of the given length.
std::shared_ptr<CTapField> readSvfHexData(int64_t bits, FileChannel &channel);

}  // namespace svf

#endif  // SVF_HEX_DIGITS_H

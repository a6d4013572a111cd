// Byte-level record writer of svf2qsvf96.  Every record goes to the output
// file in the order it is written, through a large buffer; without a file
// (unit tests) the bytes stay in memory.  Integer fields are big-endian;
// vectors are written from the hex text of the SVF with WriteHexBytes, the
// rule the stream format defines for a vector of n bits in ceil(n/8) bytes.
#ifndef SVF2QSVF96_RECORD_WRITER_H
#define SVF2QSVF96_RECORD_WRITER_H

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "qsvf_format.h"

namespace svf96 {

// Value of each character as a hex digit (either case), -1 for any other.
constexpr std::array<int8_t, 256> makeHexDigitTable() {
    std::array<int8_t, 256> table{};
    for (auto &v : table) v = -1;
    for (int c = 0; c < 10; ++c) table['0' + c] = static_cast<int8_t>(c);
    for (int c = 0; c < 6; ++c) {
        table['a' + c] = static_cast<int8_t>(10 + c);
        table['A' + c] = static_cast<int8_t>(10 + c);
    }
    return table;
}
inline constexpr std::array<int8_t, 256> kHexDigitValue = makeHexDigitTable();

inline int HexDigitValue(char digit) { return kHexDigitValue[static_cast<unsigned char>(digit)]; }

class RecordWriter {
public:
    RecordWriter(std::FILE *output, std::string outputName);
    RecordWriter(const RecordWriter &) = delete;
    RecordWriter &operator=(const RecordWriter &) = delete;

    void WriteOpcode(qsvf::Opcode op) { put(static_cast<uint8_t>(op)); }
    // n bytes of value, most significant first; bytes beyond the fourth are 0.
    void WriteBigEndian(long long value, unsigned n);
    // Zero bytes until the text fits n bytes, then the digits two to a byte
    // (an odd count puts the first digit alone in the first byte).  A text of
    // more than 2n digits is written in full.
    void WriteHexBytes(std::string_view text, size_t n);
    void WriteZeroBytes(size_t n);

    // Writes the buffer to the file; a failure ends the run with the write
    // error message (naming the system's reason) and status 1.
    void Flush();

    // Everything written when there is no output file.
    const std::vector<uint8_t> &bytes() const { return buffer_; }

private:
    void put(uint8_t byte) {
        buffer_.push_back(byte);
        if (output_ && buffer_.size() >= kFlushSize) Flush();
    }
    void flushIfFull() {
        if (output_ && buffer_.size() >= kFlushSize) Flush();
    }

    static constexpr size_t kFlushSize = size_t(1) << 20;
    std::FILE *output_;
    std::string outputName_;
    std::vector<uint8_t> buffer_;
};

}  // namespace svf96

#endif  // SVF2QSVF96_RECORD_WRITER_H

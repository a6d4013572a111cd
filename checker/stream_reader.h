// qsvfcheck's QSVF record reader: one record at a time from a file read in
// blocks, each with the byte offset of its opcode.  Operands are read by the
// operand plans of qsvf_format.h; the reader keeps the layout state they
// need (the current DR length and the width of QSDRINC data fields).  Every
// length read from the stream is checked against the bytes left in the file
// before anything is allocated for it.
#ifndef QSVFCHECK_STREAM_READER_H
#define QSVFCHECK_STREAM_READER_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bit_vector.h"
#include "file_blocks.h"

namespace qsvfcheck {

struct Record {
    uint64_t offset = 0;  // of the opcode byte
    uint8_t opcode = 0;
    std::vector<uint64_t> integers;  // integer and length operands, and the QSDRINC count, in order
    std::vector<BitVector> vectors;  // vector operands in order
    std::vector<BitVector> fields;   // QSDRINC data fields
    std::string text;                // QCOMMENT text without its 0 byte
};

class StreamReader {
public:
    // Opens the file; one that cannot be opened or is not a regular file is
    // an InputError.
    explicit StreamReader(std::string fileName);
    StreamReader(const StreamReader &) = delete;
    StreamReader &operator=(const StreamReader &) = delete;

    // Reads the next record; false when no byte is left.  A record that is
    // cut off or has an unknown opcode is an InputError naming the offset.
    bool read(Record &record);

    uint64_t size() const { return m_blocks.size(); }
    uint64_t offset() const { return m_offset; }
    const std::string &fileName() const { return m_fileName; }
    [[noreturn]] void fail(uint64_t offset, const std::string &message) const;

private:
    bool fill();
    uint8_t byte(uint64_t recordOffset);
    uint64_t integer(unsigned bytes, uint64_t recordOffset);
    void vector(uint64_t bits, uint64_t recordOffset, BitVector &value);

    std::string m_fileName;
    FileBlocks m_blocks;
    uint64_t m_offset = 0;  // of the next byte
    const uint8_t *m_pos = nullptr;
    const uint8_t *m_end = nullptr;
    std::optional<uint64_t> m_drLength;   // set by QSDRSIZE
    std::optional<uint64_t> m_fieldBits;  // 1 bits of the last QSETSDRMASKS data mask
};

}  // namespace qsvfcheck

#endif  // QSVFCHECK_STREAM_READER_H

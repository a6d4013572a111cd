// QSVF record reader: opcode lookup, operand plans, bounded vector reads.
#include "stream_reader.h"

#include <algorithm>
#include <utility>

#include "input_error.h"
#include "qsvf_format.h"

namespace qsvfcheck {

namespace {

std::string hexByte(unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[(value >> 4) & 15] + digits[value & 15];
}

}  // namespace

StreamReader::StreamReader(std::string fileName) : m_fileName(std::move(fileName)), m_blocks(m_fileName) {}

void StreamReader::fail(uint64_t offset, const std::string &message) const {
    throw InputError(m_fileName + ": byte " + std::to_string(offset) + ": " + message);
}

bool StreamReader::fill() { return m_pos != m_end || m_blocks.next(m_pos, m_end); }

uint8_t StreamReader::byte(uint64_t recordOffset) {
    if (!fill()) fail(recordOffset, "record cut off by the end of the file");
    ++m_offset;
    return *m_pos++;
}

uint64_t StreamReader::integer(unsigned bytes, uint64_t recordOffset) {
    uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i) value = value << 8 | byte(recordOffset);
    return value;
}

// A vector of `bits` bits: ceil(bits/8) bytes, most significant first.  The
// bytes are gathered 8 to a word, which is stored when its lowest byte
// arrives; whole words are taken in one step.
void StreamReader::vector(uint64_t bits, uint64_t recordOffset, BitVector &value) {
    const uint64_t bytes = qsvf::vectorBytes(bits);
    if (bytes > size() - m_offset)
        fail(recordOffset, "vector of " + std::to_string(bits) + " bits needs " + std::to_string(bytes) +
                               " bytes, the file has " + std::to_string(size() - m_offset) + " left");
    value.assignZero(bits);
    uint64_t *words = value.words().data();
    uint64_t left = bytes, gathered = 0;
    while (left > 0) {
        if (!fill()) fail(recordOffset, "record cut off by the end of the file");
        const uint8_t *start = m_pos;
        const uint8_t *end = m_pos + std::min<uint64_t>(left, static_cast<uint64_t>(m_end - m_pos));
        while (m_pos != end) {
            if ((left & 7) == 0 && end - m_pos >= 8) {
                uint64_t word = 0;
                for (unsigned i = 0; i < 8; ++i) word = word << 8 | m_pos[i];
                m_pos += 8;
                left -= 8;
                words[left >> 3] = word;
                continue;
            }
            gathered = gathered << 8 | *m_pos++;
            if ((--left & 7) == 0) {
                words[left >> 3] = gathered;
                gathered = 0;
            }
        }
        m_offset += static_cast<uint64_t>(m_pos - start);
    }
    // Unused high bits of the first byte are not part of the value.
    value.resize(bits);
}

bool StreamReader::read(Record &record) {
    if (!fill()) return false;
    record.offset = m_offset;
    record.opcode = byte(m_offset);
    // The vectors of the last record are reused, storage and all.
    size_t vectors = 0, fields = 0;
    const auto nextVector = [&record, &vectors]() -> BitVector & {
        if (vectors == record.vectors.size()) record.vectors.emplace_back();
        return record.vectors[vectors++];
    };
    record.integers.clear();
    record.text.clear();
    const qsvf::OpcodeInfo *info = qsvf::findOpcode(record.opcode);
    if (!info) fail(record.offset, "unknown opcode " + hexByte(record.opcode));
    uint64_t irLength = 0;
    for (qsvf::Operand operand : info->operands) {
        switch (operand) {
        case qsvf::Operand::None: break;
        case qsvf::Operand::Byte: record.integers.push_back(integer(1, record.offset)); break;
        case qsvf::Operand::Word: record.integers.push_back(integer(2, record.offset)); break;
        case qsvf::Operand::Long: record.integers.push_back(integer(4, record.offset)); break;
        case qsvf::Operand::IrLength1:
        case qsvf::Operand::IrLength2:
            irLength = integer(operand == qsvf::Operand::IrLength1 ? 1 : 2, record.offset);
            record.integers.push_back(irLength);
            break;
        case qsvf::Operand::IrVector: vector(irLength, record.offset, nextVector()); break;
        case qsvf::Operand::DrVector:
            if (!m_drLength) fail(record.offset, std::string(info->mnemonic) + " before any QSDRSIZE");
            vector(*m_drLength, record.offset, nextVector());
            break;
        case qsvf::Operand::DrLength:
            m_drLength = integer(4, record.offset);
            record.integers.push_back(*m_drLength);
            break;
        case qsvf::Operand::IncFields: {
            if (!m_fieldBits) fail(record.offset, "QSDRINC before any QSETSDRMASKS");
            const uint64_t count = integer(1, record.offset);
            record.integers.push_back(count);
            for (; fields < count; ++fields) {
                if (fields == record.fields.size()) record.fields.emplace_back();
                vector(*m_fieldBits, record.offset, record.fields[fields]);
            }
            break;
        }
        case qsvf::Operand::Text:
            for (uint8_t c = byte(record.offset); c != 0; c = byte(record.offset)) record.text += static_cast<char>(c);
            break;
        }
    }
    record.vectors.resize(vectors);
    record.fields.resize(fields);
    if (record.opcode == qsvf::QSETSDRMASKS) m_fieldBits = record.vectors[1].count();
    return true;
}

}  // namespace qsvfcheck

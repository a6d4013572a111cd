// qsvf2ascii: reads a QSVF stream and lists it as text, one line per record
// as a rule: the record's mnemonic, then its operands as "0x" and two
// lower-case hexadecimal digits per byte, each operand followed by a blank.
// Input and output are streamed in blocks, so memory does not grow with the
// file and no length field ever sizes an allocation.
#ifndef QSVF2ASCII_H
#define QSVF2ASCII_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// Block reader over an open file or over bytes in memory.
class QsvfReader {
public:
    explicit QsvfReader(FILE *file);
    QsvfReader(const uint8_t *data, size_t size);

    // The next byte (0..255), or -1 at the end of the input.
    int next() {
        if (m_pos == m_end && !refill()) return -1;
        return *m_pos++;
    }
    // Makes at least one byte available unless the input is at its end.
    bool fill() { return m_pos != m_end || refill(); }
    const uint8_t *data() const { return m_pos; }
    size_t available() const { return static_cast<size_t>(m_end - m_pos); }
    void skip(size_t count) { m_pos += count; }
    // Reading stopped on an error of the file rather than at its end.
    bool failed() const { return m_failed; }

private:
    bool refill();

    FILE *m_pFile = nullptr;
    std::unique_ptr<uint8_t[]> m_block;
    const uint8_t *m_pos = nullptr;
    const uint8_t *m_end = nullptr;
    bool m_failed = false;
};

// Buffered text output to an open file; without a file the text is counted
// and dropped (the fuzzer lists into nothing).
class ListingWriter {
public:
    explicit ListingWriter(FILE *file);
    ~ListingWriter() { flush(); }
    ListingWriter(const ListingWriter &) = delete;
    ListingWriter &operator=(const ListingWriter &) = delete;

    void text(const char *data, size_t size);
    void text(const char *data);
    // "0x" is not written here: count bytes as two lower-case digits each.
    void hexBytes(const uint8_t *data, size_t count);
    void flush();
    // A write to the file failed (nothing more is written after it), and
    // the system's error number of that failure.
    bool failed() const { return m_failed; }
    int errorNumber() const { return m_error; }
    uint64_t written() const { return m_written + m_used; }

private:
    static constexpr size_t kSize = 1 << 18;
    FILE *m_pFile;
    std::unique_ptr<char[]> m_buffer;
    size_t m_used = 0;
    uint64_t m_written = 0;
    bool m_failed = false;
    int m_error = 0;
};

// How the record loop ended.
enum class DumpEnd {
    EndOfInput,     // listed to the end of the input
    UnknownOpcode,  // "Unknown command" written, listing stopped
    Incomplete,     // a record was cut off by the end of the input
    NoDrLength,     // a vector record came before any QSDRSIZE
};

// Lists every record of the input until its end, an unknown opcode, a cut
// off record or a vector record without a DR length.
DumpEnd dumpRecords(QsvfReader &input, ListingWriter &output);

// The whole program run; returns the exit status: 0 when the input was
// listed to its end, else 1.
int runQsvf2ascii(int argc, char **argv);

#endif  // QSVF2ASCII_H

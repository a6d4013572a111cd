// Byte-level record writer of svf2qsvf96 (see record_writer.h).

#include "record_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "session.h"

namespace svf96 {

RecordWriter::RecordWriter(std::FILE *output, std::string outputName)
    : output_(output), outputName_(std::move(outputName)) {
    buffer_.reserve(output_ ? kFlushSize + 4096 : 4096);
}

void RecordWriter::WriteBigEndian(long long value, unsigned n) {
    const auto bits = static_cast<unsigned long long>(value);
    for (unsigned k = n; k-- > 0;) put(k < 4 ? static_cast<uint8_t>((bits >> (8 * k)) & 0xFF) : 0);
}

void RecordWriter::WriteZeroBytes(size_t n) {
    while (n > 0) {
        const size_t chunk = std::min(n, kFlushSize);
        buffer_.insert(buffer_.end(), chunk, 0);
        n -= chunk;
        flushIfFull();
    }
}

void RecordWriter::WriteHexBytes(std::string_view text, size_t n) {
    const size_t digits = text.size();
    const size_t textBytes = (digits + 1) / 2;
    if (textBytes < n) WriteZeroBytes(n - textBytes);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text.data());
    const unsigned char *end = p + digits;
    // Work through the text in slices so that the buffer stays bounded.
    size_t i = 0;
    if (digits & 1) {
        put(static_cast<uint8_t>(kHexDigitValue[*p] & 0x0F));
        i = 1;
    }
    while (p + i < end) {
        const size_t pairs = std::min<size_t>((digits - i) / 2, kFlushSize);
        const size_t old = buffer_.size();
        buffer_.resize(old + pairs);
        uint8_t *out = buffer_.data() + old;
        const unsigned char *q = p + i;
        for (size_t k = 0; k < pairs; ++k, q += 2)
            out[k] = static_cast<uint8_t>(((kHexDigitValue[q[0]] & 0x0F) << 4) | (kHexDigitValue[q[1]] & 0x0F));
        i += 2 * pairs;
        flushIfFull();
    }
}

void RecordWriter::Flush() {
    if (!output_ || buffer_.empty()) return;
    const bool ok = std::fwrite(buffer_.data(), 1, buffer_.size(), output_) == buffer_.size();
    buffer_.clear();
    if (!ok) {
        const int error = errno != 0 ? errno : EIO;
        std::fprintf(stderr, "ERROR: Unable to write to output file %s: %s.\n", outputName_.c_str(),
                     std::strerror(error));
        output_ = nullptr;  // nothing more is written after a failure
        exitProgram(1);
    }
}

}  // namespace svf96

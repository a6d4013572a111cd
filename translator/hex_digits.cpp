// Hexadecimal scan values and the packing of their digits into the value
// bytes of a CTapField (the layout is described in tap_data.h), SSE2 and
// scalar: CTapField::setDigits and finishValueBytes, and readSvfHexData,
// which reads the digits of one value between "(" and ")" and packs them,
// two to a byte, as it reads them.  It walks the input buffer directly, runs
// of digits 16 characters at a time where SSE2 is there and one table lookup
// per character elsewhere, because the scan values of FPGA files run to tens
// of millions of digits; a short value written as one run before its ")", as
// most values of a CPLD file are, is converted in one pass from its least
// significant digit.
#include "hex_digits.h"

#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "byte_order.h"
#include "diagnostics.h"
#include "file_channel.h"
#include "prog_state.h"
#include "svf_lexer.h"

namespace svf {

// ---- Value bytes of a field -----------------------------------------------

void CTapField::setDigits(const uint8_t *digits, int64_t count) {
    int64_t kept = std::min(count, lDigitCount);
    const uint8_t *last = digits + count - 1;  // least significant digit
    pData.assign(static_cast<size_t>((kept + 1) / 2), 0);
    for (int64_t d = 0; d < kept; ++d) {
        uint8_t digit = last[-d];
        pData[static_cast<size_t>(d / 2)] |= static_cast<uint8_t>((d & 1) ? digit << 4 : digit);
    }
    int64_t usedBits = static_cast<int64_t>(pData.size()) * 8;
    if (usedBits > lBitLen && !pData.empty()) {
        size_t top = static_cast<size_t>(lBitLen / 8);
        if (top < pData.size()) {
            pData[top] &= static_cast<uint8_t>((1u << (lBitLen % 8)) - 1);
            pData.resize(top + (pData[top] != 0 ? 1 : 0));
        }
    }
    while (!pData.empty() && pData.back() == 0) pData.pop_back();
    lRotOffset = lDigitCount > 0 ? (lDigitCount - kept) % lDigitCount : 0;
}

void CTapField::finishValueBytes(int64_t digits) {
    if (static_cast<int64_t>(pData.size()) * 8 > lBitLen) {
        size_t top = static_cast<size_t>(lBitLen / 8);
        if (top < pData.size()) {
            pData[top] &= static_cast<uint8_t>((1u << (lBitLen % 8)) - 1);
            pData.resize(top + 1);
        }
    }
    while (!pData.empty() && pData.back() == 0) pData.pop_back();
    // Large storage reserved for more digits than the text gave is returned;
    // small storage is kept for the next value read into the field.
    if (pData.capacity() > kKeptStorage && pData.capacity() - pData.size() > pData.size() / 8 + 64)
        pData.shrink_to_fit();
    int64_t kept = std::min(digits, lDigitCount);
    lRotOffset = lDigitCount > 0 ? (lDigitCount - kept) % lDigitCount : 0;
}

// ---- Reading a value ------------------------------------------------------

namespace {

// Character classes of the scan-data reader.
enum : uint8_t { HEX_SPACE = 16, HEX_NEWLINE = 17, HEX_CLOSE = 18, HEX_OTHER = 19 };

constexpr std::array<uint8_t, 256> makeHexClass() {
    std::array<uint8_t, 256> table{};
    for (auto &entry : table) entry = HEX_OTHER;
    for (int c = '0'; c <= '9'; ++c) table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) table[static_cast<size_t>(c)] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c : {' ', '\t', '\v', '\f', '\r'}) table[static_cast<size_t>(c)] = HEX_SPACE;
    table['\n'] = HEX_NEWLINE;
    table[')'] = HEX_CLOSE;
    return table;
}
constexpr std::array<uint8_t, 256> kHexClass = makeHexClass();

constexpr int64_t kProgressStep = 200000;

// The digits of a value in text order, two to a byte (first digit in the
// high nibble), turned in place into the value's little-endian bytes: the
// bytes reversed, then, after an odd number of digits, every byte made of
// the nibbles that straddle it and the next.  Eight bytes per step.
void textToValueBytes(uint8_t *bytes, size_t n, bool oddDigits) {
    size_t front = 0, back = n;
    for (; back - front >= 16; front += 8, back -= 8) {
        uint64_t low = loadBig64(bytes + front), high = loadBig64(bytes + back - 8);
        storeLittle64(bytes + front, high);
        storeLittle64(bytes + back - 8, low);
    }
    std::reverse(bytes + front, bytes + back);
    if (!oddDigits) return;
    size_t i = 0;
    for (; i + 9 <= n; i += 8)
        storeLittle64(bytes + i, (loadLittle64(bytes + i) >> 4) | uint64_t{bytes[i + 8]} << 60);
    for (; i < n; ++i) bytes[i] = static_cast<uint8_t>((bytes[i] >> 4) | (i + 1 < n ? bytes[i + 1] << 4 : 0));
}

#if defined(__SSE2__)
// The digit values of 16 characters, with the mask of those that are
// hexadecimal digits; the value of any other character is unspecified.
inline __m128i digitValues(const unsigned char *text, unsigned &digitMask) {
    __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
    __m128i decimal = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
    __m128i isDecimal = _mm_cmpeq_epi8(_mm_min_epu8(decimal, _mm_set1_epi8(9)), decimal);
    __m128i letter = _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
    digitMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(isDecimal, isLetter)));
    return _mm_or_si128(_mm_and_si128(isDecimal, decimal),
                        _mm_andnot_si128(isDecimal, _mm_add_epi8(letter, _mm_set1_epi8(10))));
}

// Each 16-bit lane of two digit values (the first in its low byte) as the
// byte first * 16 + second; a lane past a run may hold any byte, so both
// digits are masked.
inline __m128i digitPairs(__m128i values) {
    return _mm_or_si128(_mm_and_si128(_mm_slli_epi16(values, 4), _mm_set1_epi16(0x00F0)),
                        _mm_and_si128(_mm_srli_epi16(values, 8), _mm_set1_epi16(0x000F)));
}
#endif

// Collects the digits of one value.  Until the value's digit count is
// reached the digits are packed two to a byte in text order (high nibble
// first), which reversed is the value's own little-endian byte layout; the
// storage is reserved from what is left of the input and committed as it
// fills, so it never moves for a file read to its end.  A text with more
// digits than the length needs (rare) continues in a circular buffer of one
// digit per byte, overwriting the oldest digits.
class DigitCollector {
public:
    DigitCollector(CTapField &field, FileChannel &channel)
        : packed(field.pData), count(field.lDigitCount), channel(channel) {
        packed.clear();
        int64_t expected = count;
        int64_t remaining = channel.remainingInput();
        if (remaining >= 0) expected = std::min(expected, remaining);
        packed.reserve(static_cast<size_t>((std::min<int64_t>(expected, int64_t{1} << 40) + 1) / 2) + kSlack);
    }
    bool packing() const { return !wrapped && read < count; }
    // Appends a digit while packing.
    void pack(uint8_t digit) {
        size_t byte = static_cast<size_t>(read >> 1);
        ensureRoom(byte);
        packed[byte] = (read & 1) ? static_cast<uint8_t>((packed[byte] & 0xF0) | digit) : static_cast<uint8_t>(digit << 4);
        ++read;
    }
    // Packs the run of digits at the front of text[0 .. size), as far as the
    // value takes digits; returns the bytes taken.  With SSE2 (every x86-64)
    // 16 characters are classified and converted at once; elsewhere the
    // character loop of the caller does the work.
    size_t packRun(const unsigned char *text, size_t size) {
        size_t taken = 0;
#if defined(__SSE2__)
        // 32 digits to 16 bytes while whole blocks are digits.
        while (!(read & 1) && size - taken >= 32 && count - read >= 32) {
            unsigned first, second;
            __m128i a = digitValues(text + taken, first), b = digitValues(text + taken + 16, second);
            if ((first & second) != 0xFFFF) break;
            size_t byte = static_cast<size_t>(read >> 1);
            ensureRoom(byte);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(packed.data() + byte),
                             _mm_packus_epi16(digitPairs(a), digitPairs(b)));
            read += 32;
            taken += 32;
        }
        // Then a block at a time: the digits at its front, as many as the
        // value takes; behind a pending high nibble 15, so that 16 nibbles
        // are stored.
        while (size - taken >= 16 && packing()) {
            unsigned digitMask;
            __m128i values = digitValues(text + taken, digitMask);
            int64_t n = std::countr_one(digitMask);
            n = std::min({n, count - read, int64_t{(read & 1) ? 15 : 16}});
            if (n == 0) break;
            size_t byte = static_cast<size_t>(read >> 1);
            ensureRoom(byte);
            uint8_t *out = packed.data() + byte;
            if (read & 1) values = _mm_or_si128(_mm_slli_si128(values, 1), _mm_cvtsi32_si128(*out >> 4));
            __m128i pairs = digitPairs(values);
            _mm_storel_epi64(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(pairs, pairs));
            read += n;
            taken += static_cast<size_t>(n);
            if (n < 15) break;
        }
#else
        (void)text;
        (void)size;
#endif
        return taken;
    }
    void add(uint8_t digit) {
        if (packing()) {
            pack(digit);
            return;
        }
        if (!wrapped) {
            ring.resize(static_cast<size_t>(count));
            for (int64_t i = 0; i < count; ++i)
                ring[static_cast<size_t>(i)] = (i & 1) ? packed[static_cast<size_t>(i / 2)] & 0x0F
                                                        : packed[static_cast<size_t>(i / 2)] >> 4;
            std::vector<uint8_t>().swap(packed);
            wrapped = true;
        }
        uint8_t &slot = ring[static_cast<size_t>(read % count)];
        if (slot != 0) warning("Ignoring excess MSB chars in field", &channel);
        slot = digit;
        ++read;
    }
    // Physical position the next digit goes to, less one: the reader's p.
    int64_t position() const { return count - 1 - ((read - 1) % count) - 1; }
    int64_t total() const { return read; }
    // The most significant digit of the value when the text filled it.
    int leadingDigit() const {
        if (wrapped) return ring[static_cast<size_t>(read % count)];
        return read == count && read > 0 ? packed.front() >> 4 : 0;
    }
    void storeInto(CTapField &field) {
        if (wrapped) {
            std::rotate(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(read % count), ring.end());
            field.setDigits(ring.data(), static_cast<int64_t>(ring.size()));
            return;
        }
        packed.resize(static_cast<size_t>((read + 1) / 2));
        textToValueBytes(packed.data(), packed.size(), (read & 1) != 0);
        field.finishValueBytes(read);
    }

private:
    // Room for a 16-byte store at the byte: the storage is committed in
    // steps within what was reserved.
    static constexpr size_t kSlack = 16;
    void ensureRoom(size_t byte) {
        if (byte + kSlack <= packed.size()) return;
        size_t step = std::min(packed.capacity(), packed.size() + (size_t{1} << 16));
        packed.resize(std::max(byte + kSlack, step));
    }
    std::vector<uint8_t> &packed;  // the storage of the field read
    int64_t count;
    int64_t read = 0;
    bool wrapped = false;
    std::vector<uint8_t> ring;
    FileChannel &channel;
};

[[noreturn]] void missingClose(FileChannel &channel) { fatalError("Token [)] not found", &channel); }

// Fields are recycled: one that no pattern or written value holds any more
// (only the pool does) takes the next value read, with its storage, so that
// the short scans of a CPLD file cost no allocation.  Storage beyond
// kKeptStorage is not kept (see finishValueBytes).
class FieldPool {
public:
    std::shared_ptr<CTapField> take(int64_t bits) {
        for (std::shared_ptr<CTapField> &field : fields) {
            if (field.use_count() == 1) {
                field->initTapField(bits);
                if (field->pData.capacity() > CTapField::kKeptStorage) std::vector<uint8_t>().swap(field->pData);
                return field;
            }
        }
        auto field = std::make_shared<CTapField>(bits);
        if (fields.size() < kPoolSize) fields.push_back(field);
        return field;
    }

private:
    static constexpr size_t kPoolSize = 32;
    std::vector<std::shared_ptr<CTapField>> fields;
};
FieldPool fieldPool;

// The warning about bits above the length in the leading digit of a value
// whose text gave all its digits.
void checkLeadingDigit(int64_t bits, int top, FileChannel &channel) {
    int64_t rest = bits % 4;
    if (rest != 0 && (top >> rest) != 0)
        warning(strFormat("1's in %lld MSB bits of leading hex char (%X) will be ignored",
                          static_cast<long long>(4 - rest), top),
                &channel);
}

// The number of hexadecimal digits at the front of text[0 .. size), looked
// at up to limit + 1 characters.
size_t digitRun(const unsigned char *text, size_t size, size_t limit) {
    size_t n = 0;
#if defined(__SSE2__)
    while (size - n >= 16 && n <= limit) {
        unsigned digitMask;
        digitValues(text + n, digitMask);
        if (digitMask != 0xFFFF) return n + static_cast<size_t>(std::countr_one(digitMask));
        n += 16;
    }
#endif
    while (n < size && n <= limit && kHexClass[text[n]] < 16) ++n;
    return n;
}

// A short value written as one run of digits directly followed by ")" in
// the input buffer, as most values of a CPLD file are: read in one pass
// from its least significant digit.  Returns false, having taken nothing,
// for any other value.
constexpr size_t kShortValueDigits = 128;
bool readShortValue(CTapField &field, FileChannel &channel) {
    if (channel.iCharState != kStateNormal) return false;
    const unsigned char *data = channel.bufferData();
    size_t &pos = channel.bufferPos();
    const size_t len = channel.bufferLen();
    // The block reader below looks at up to 15 characters before the value:
    // a value at the very start of the buffer is read by the general reader.
    if (pos < 16) return false;
    const size_t n = digitRun(data + pos, len - pos, kShortValueDigits);
    if (n == 0 || n > kShortValueDigits || static_cast<int64_t>(n) > field.lDigitCount || pos + n >= len ||
        data[pos + n] != ')')
        return false;
    std::vector<uint8_t> &bytes = field.pData;
#if defined(__SSE2__)
    // Blocks of 16 characters from the last digit backwards, each giving 8
    // bytes of the value; in the first block the characters before the
    // value (there are 16 in the buffer, see below) count as zeros.
    uint8_t value[kShortValueDigits / 2 + 8];
    const size_t blocks = (n + 15) / 16;
    const __m128i lanes = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    for (size_t block = 0; block < blocks; ++block) {
        const size_t start = pos + n - 16 * (block + 1);  // pos >= 16
        unsigned digitMask;
        __m128i values = digitValues(data + start, digitMask);
        if (start < pos) {
            __m128i inValue = _mm_cmpgt_epi8(lanes, _mm_set1_epi8(static_cast<char>(pos - start - 1)));
            values = _mm_and_si128(values, inValue);
        }
        __m128i pairs = digitPairs(values);
        uint8_t textOrder[8];
        _mm_storel_epi64(reinterpret_cast<__m128i *>(textOrder), _mm_packus_epi16(pairs, pairs));
        storeLittle64(value + 8 * block, loadBig64(textOrder));
    }
    bytes.assign(value, value + (n + 1) / 2);
#else
    const unsigned char *last = data + pos + n - 1;  // least significant digit
    bytes.resize((n + 1) / 2);
    size_t byte = 0;
    for (; 2 * byte + 1 < n; ++byte)
        bytes[byte] = static_cast<uint8_t>(kHexClass[last[-2 * static_cast<std::ptrdiff_t>(byte)]] |
                                           kHexClass[last[-2 * static_cast<std::ptrdiff_t>(byte) - 1]] << 4);
    if (n & 1) bytes[byte] = kHexClass[data[pos]];
#endif
    pos += n + 1;
    channel.iCurChar = ')';
    if (static_cast<int64_t>(n) == field.lDigitCount)
        checkLeadingDigit(field.lBitLen, kHexClass[data[pos - n - 1]], channel);
    field.finishValueBytes(static_cast<int64_t>(n));
    return true;
}
}  // namespace

std::shared_ptr<CTapField> readSvfHexData(int64_t bits, FileChannel &channel) {
    lexNeed(channel, "(");
    if (!tokenIs(channel, "(")) fatalError("Token [(] not found", &channel);
    std::shared_ptr<CTapField> field = fieldPool.take(bits);
    bool progress = iDbg_StatusUpdate == 1;
    if (!progress && !(FileChannel::srcStoring() && channel.lSrcLineLen < 69) && readShortValue(*field, channel))
        return field;
    DigitCollector collector(*field, channel);
    bool progressShown = false;

    // One character of the value; returns true at the closing parenthesis.
    auto handle = [&](int c) -> bool {
        uint8_t cls = kHexClass[static_cast<size_t>(c)];
        if (cls < 16) {
            collector.add(cls);
            if (progress) {
                int64_t p = collector.position();
                if (p > 0 && p % kProgressStep == 0) {
                    statusMsg(strFormat("*** Reading hex char #%8lld", static_cast<long long>(p)), MSG_PROGRESS, 1, 0);
                    progressShown = true;
                }
            }
            return false;
        }
        if (cls == HEX_SPACE || cls == HEX_NEWLINE) return false;
        if (cls == HEX_CLOSE) return true;
        fatalError(strFormat("Invalid SVF data [%c]", c), &channel);
    };

    bool done = false;
    if (channel.iCharState != kStateNormal) {
        getFChanChar(channel, 0);
        done = handle(channel.iCurChar);
    }
    while (!done) {
        if (progress || (FileChannel::srcStoring() && channel.lSrcLineLen < 69)) {
            // Slow path: the command text is still being stored for the echo,
            // or progress is shown.
            getFChanChar(channel, 0);
            if (channel.atEof()) missingClose(channel);
            done = handle(channel.iCurChar);
            continue;
        }
        const unsigned char *data = channel.bufferData();
        size_t &pos = channel.bufferPos();
        size_t len = channel.bufferLen();
        while (pos < len) {
            if (collector.packing()) {
                pos += collector.packRun(data + pos, len - pos);
                if (pos == len) break;
            }
            unsigned char c = data[pos++];
            uint8_t cls = kHexClass[c];
            if (cls < 16) {
                if (collector.packing())
                    collector.pack(cls);
                else
                    collector.add(cls);
                continue;
            }
            if (cls == HEX_SPACE) continue;
            if (cls == HEX_NEWLINE) {
                ++channel.lLineNum;
                continue;
            }
            channel.iCurChar = c;
            if (cls == HEX_CLOSE) {
                done = true;
                break;
            }
            fatalError(strFormat("Invalid SVF data [%c]", c), &channel);
        }
        if (!done && !channel.refill()) {
            channel.markEof();
            missingClose(channel);
        }
    }
    if (progressShown) statusMsg("", MSG_CLEAR_AFTER, 1, 0);

    if (collector.total() >= field->lDigitCount) checkLeadingDigit(bits, collector.leadingDigit(), channel);
    collector.storeInto(*field);
    return field;
}

}  // namespace svf

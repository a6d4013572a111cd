// The hexadecimal values of qsvfcheck's SVF reader: the digits between "("
// and ")" read character by character (digits in either case and white
// space, line ends included) into the bits of a value, runs of 16 digits
// taken in one step eight characters at a time.
#include "svf_reader.h"

#include <array>
#include <bit>
#include <cstring>

namespace qsvfcheck {

namespace {

// What a character means inside a hexadecimal value: its digit value, or one
// of these classes.
constexpr int8_t kHexSpace = -1, kHexNewline = -2, kHexClose = -3, kHexInvalid = -4;

constexpr std::array<int8_t, 256> makeHexClasses() {
    std::array<int8_t, 256> classes{};
    for (auto &entry : classes) entry = kHexInvalid;
    for (int c = '0'; c <= '9'; ++c) classes[c] = static_cast<int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) classes[c] = static_cast<int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) classes[c] = static_cast<int8_t>(c - 'A' + 10);
    classes[' '] = classes['\t'] = classes['\r'] = classes['\v'] = classes['\f'] = kHexSpace;
    classes['\n'] = kHexNewline;
    classes[')'] = kHexClose;
    return classes;
}
constexpr std::array<int8_t, 256> kHexClasses = makeHexClasses();

// Eight characters as a 32-bit number of eight hexadecimal digits, the first
// character most significant; false when one of them is not a digit.  The
// eight are tested and converted side by side in one 64-bit word, a byte
// each (the test of a byte against k: its value with the top bit set, minus
// k, has the top bit set when the value is at least k).
inline bool eightDigits(const unsigned char *text, uint32_t &value) {
    uint64_t x = 0;
    std::memcpy(&x, text, 8);
    if constexpr (std::endian::native == std::endian::big) {
        uint64_t swapped = 0;  // the first character in the low byte
        for (unsigned i = 0; i < 8; ++i) swapped |= ((x >> (56 - 8 * i)) & 0xFF) << (8 * i);
        x = swapped;
    }
    constexpr uint64_t ones = 0x0101010101010101u, high = ones * 0x80;
    if (x & high) return false;
    const auto atLeast = [](uint64_t bytes, unsigned k) { return ((bytes | high) - ones * k) & high; };
    const uint64_t lower = x | ones * 0x20;  // A-F as a-f
    const uint64_t digit = atLeast(x, '0') & ~atLeast(x, '9' + 1);
    const uint64_t letter = atLeast(lower, 'a') & ~atLeast(lower, 'f' + 1);
    if ((digit | letter) != high) return false;
    const uint64_t nibbles = (x & ones * 0x0F) + (letter >> 7) * 9;
    // Pairs of nibbles into bytes, first nibble high, then the four bytes in
    // reading order into one number.
    const uint64_t pairs = (nibbles & 0x000F000F000F000Fu) << 4 | ((nibbles >> 8) & 0x000F000F000F000Fu);
    const uint64_t quads = (pairs | pairs >> 8) & 0x0000FFFF0000FFFFu;
    const uint32_t packed = static_cast<uint32_t>(quads | quads >> 16);
    value = (packed & 0xFFu) << 24 | (packed & 0xFF00u) << 8 | (packed >> 8 & 0xFF00u) | packed >> 24;
    return true;
}

}  // namespace

// Reads the digits after "(" through ")".  The value is the last ceil(bits/4)
// digits written (missing leading digits are 0, surplus leading digits are
// dropped), and bits at or above `bits` in the top digit are ignored.  The
// digits go into a ring of that many digits from the top down, so the file is
// read once and nothing grows; the ring is turned at the end when the count
// of digits was not exactly right.  Digits are gathered 16 to a word, most
// significant first, and each word is stored when its lowest digit arrives;
// runs of 16 digits are taken in one step.
std::shared_ptr<const BitVector> SvfReader::readHexValue(uint64_t bits, bool keep) {
    const uint64_t digits = (bits + 3) / 4;
    BitVector value(keep ? digits * 4 : 0);
    uint64_t *words = value.words().data();
    uint64_t position = digits;  // the next digit goes just below it
    uint64_t gathered = 0;       // the digits of the word being filled
    bool wrapped = false;        // more digits came than the value holds
    const long startLine = m_line;
    for (;;) {
        if (m_pos == m_end && !refill()) fail(startLine, "the file ends inside a hexadecimal value");
        const unsigned char *at = m_pos;
        int8_t digit = 0;
        for (;;) {
            // Sixteen digits in a row, far enough above the bottom of the
            // ring not to turn it: they complete the word being filled (which
            // needs `missing` more digits) and begin the next one.
            while (m_end - at >= 16 && position >= 16) {
                uint32_t high = 0, low = 0;
                if (!eightDigits(at, high) || !eightDigits(at + 8, low)) break;
                const uint64_t chunk = static_cast<uint64_t>(high) << 32 | low;
                at += 16;
                const unsigned missing = static_cast<unsigned>(position & 15);
                if (missing == 0) {
                    if (keep) words[(position >> 4) - 1] = chunk;
                } else {
                    if (keep) words[position >> 4] = gathered << (4 * missing) | chunk >> (64 - 4 * missing);
                    gathered = chunk & ((uint64_t{1} << (64 - 4 * missing)) - 1);
                }
                position -= 16;
            }
            // One digit at a time up to the next character that is not one.
            for (; at != m_end && (digit = kHexClasses[*at]) >= 0; ++at) {
                if (position == 0) {
                    position = digits;
                    wrapped = true;
                }
                --position;
                gathered = gathered << 4 | static_cast<uint64_t>(digit);
                if ((position & 15) == 0) {
                    if (keep) words[position >> 4] = gathered;
                    gathered = 0;
                }
            }
            if (at == m_end) break;
            if (digit == kHexNewline)
                ++m_line;
            else if (digit != kHexSpace)
                break;
            ++at;
        }
        m_pos = at;
        if (at == m_end) continue;
        const unsigned char c = *m_pos++;
        if (digit == kHexClose) break;
        std::string shown = c >= 32 && c < 127
                                ? std::string(1, static_cast<char>(c))
                                : "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
        fail(m_line, "invalid character '" + shown + "' in hexadecimal data");
    }
    if (!keep) return nullptr;
    // The digits gathered for a word not filled down to its lowest digit.
    if ((position & 15) != 0) {
        const unsigned shift = static_cast<unsigned>(position & 15) * 4;
        uint64_t &word = words[position >> 4];
        word = (word & ((uint64_t{1} << shift) - 1)) | gathered << shift;
    }
    // The last digit read is the least significant one.
    if (position != 0) {
        const uint64_t low = 4 * position, high = 4 * (digits - position);
        if (!wrapped) {
            copyBits(value, 0, value, low, high);
            value.fill(high, low, false);
        } else {
            BitVector turned(digits * 4);
            copyBits(turned, 0, value, low, high);
            copyBits(turned, high, value, 0, low);
            value = std::move(turned);
        }
    }
    value.resize(bits);
    return std::make_shared<const BitVector>(std::move(value));
}

}  // namespace qsvfcheck

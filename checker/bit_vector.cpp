// Packed bit vectors: word-wise copy, compare, count, add and deposit.
#include "bit_vector.h"

#include <algorithm>
#include <bit>

namespace qsvfcheck {

namespace {

uint64_t lowMask(unsigned count) { return count >= 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1; }

uint64_t wordCount(uint64_t bits) { return (bits + 63) / 64; }

// 1 bits of a word, without relying on a population-count instruction.
unsigned bitCount(uint64_t word) {
    word -= (word >> 1) & 0x5555555555555555u;
    word = (word & 0x3333333333333333u) + ((word >> 2) & 0x3333333333333333u);
    word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<unsigned>((word * 0x0101010101010101u) >> 56);
}

}  // namespace

BitVector::BitVector(uint64_t bits, bool value) : m_size(bits), m_words(wordCount(bits), value ? ~uint64_t{0} : 0) {
    clearTail();
}

void BitVector::clearTail() {
    if (m_size & 63) m_words.back() &= lowMask(m_size & 63);
}

void BitVector::setBit(uint64_t index, bool value) {
    const uint64_t flag = uint64_t{1} << (index & 63);
    if (value)
        m_words[index >> 6] |= flag;
    else
        m_words[index >> 6] &= ~flag;
}

uint64_t BitVector::bits(uint64_t first, unsigned count) const {
    if (count == 0 || first >= m_size) return 0;
    const uint64_t word = first >> 6;
    const unsigned shift = first & 63;
    uint64_t value = m_words[word] >> shift;
    if (shift != 0 && word + 1 < m_words.size()) value |= m_words[word + 1] << (64 - shift);
    return value & lowMask(count);
}

void BitVector::setBits(uint64_t first, unsigned count, uint64_t value) {
    if (count == 0) return;
    value &= lowMask(count);
    const uint64_t word = first >> 6;
    const unsigned shift = first & 63;
    const unsigned inFirst = std::min<unsigned>(count, 64 - shift);
    m_words[word] = (m_words[word] & ~(lowMask(inFirst) << shift)) | (value << shift);
    if (inFirst < count) {
        const unsigned rest = count - inFirst;
        m_words[word + 1] = (m_words[word + 1] & ~lowMask(rest)) | (value >> inFirst);
    }
}

void BitVector::fill(uint64_t first, uint64_t count, bool value) {
    const uint64_t pattern = value ? ~uint64_t{0} : 0;
    while (count > 0) {
        const unsigned step = static_cast<unsigned>(std::min<uint64_t>(count, 64 - (first & 63)));
        setBits(first, step, pattern);
        first += step;
        count -= step;
    }
}

void BitVector::assignZero(uint64_t bits) {
    m_size = bits;
    m_words.assign(wordCount(bits), 0);
}

void BitVector::resize(uint64_t bits) {
    m_words.resize(wordCount(bits), 0);
    m_size = bits;
    clearTail();
}

uint64_t BitVector::count() const {
    uint64_t total = 0;
    for (uint64_t word : m_words) total += bitCount(word);
    return total;
}

bool BitVector::none() const {
    return std::all_of(m_words.begin(), m_words.end(), [](uint64_t word) { return word == 0; });
}

void BitVector::add(const BitVector &other) {
    unsigned carry = 0;
    for (size_t i = 0; i < m_words.size(); ++i) {
        const uint64_t addend = i < other.m_words.size() ? other.m_words[i] : 0;
        const uint64_t partial = m_words[i] + addend;
        const unsigned carryOut = partial < addend;
        m_words[i] = partial + carry;
        carry = carryOut | (m_words[i] < partial);
    }
    clearTail();
}

std::string BitVector::hex() const {
    static const char digits[] = "0123456789abcdef";
    const uint64_t bytes = (m_size + 7) / 8;
    std::string text;
    text.reserve(2 + 2 * bytes);
    text += "0x";
    for (uint64_t byte = bytes; byte-- > 0;) {
        const unsigned value = static_cast<unsigned>(bits(byte * 8, 8));
        text += digits[value >> 4];
        text += digits[value & 15];
    }
    return text;
}

void copyBits(BitVector &to, uint64_t toFirst, const BitVector &from, uint64_t fromFirst, uint64_t count) {
    // Whole words when both ends are at word starts (the pieces of a split
    // scan usually are).
    if ((toFirst & 63) == 0 && (fromFirst & 63) == 0 && count >= 64) {
        const uint64_t whole = count / 64;
        std::copy_n(from.words().begin() + static_cast<std::ptrdiff_t>(fromFirst / 64), whole,
                    to.words().begin() + static_cast<std::ptrdiff_t>(toFirst / 64));
        toFirst += 64 * whole;
        fromFirst += 64 * whole;
        count -= 64 * whole;
    }
    while (count > 0) {
        const unsigned step = static_cast<unsigned>(std::min<uint64_t>(count, 64 - (toFirst & 63)));
        to.setBits(toFirst, step, from.bits(fromFirst, step));
        toFirst += step;
        fromFirst += step;
        count -= step;
    }
}

std::optional<uint64_t> firstDifference(const BitVector &a, const BitVector &b, const BitVector *mask, uint64_t limit) {
    const auto word = [](const BitVector &vector, uint64_t index) {
        return index < vector.words().size() ? vector.words()[index] : 0;
    };
    const uint64_t words = wordCount(limit);
    for (uint64_t i = 0; i < words; ++i) {
        uint64_t differ = word(a, i) ^ word(b, i);
        if (mask) differ &= word(*mask, i);
        const uint64_t remaining = limit - 64 * i;
        if (remaining < 64) differ &= lowMask(static_cast<unsigned>(remaining));
        if (differ != 0) return 64 * i + static_cast<uint64_t>(std::countr_zero(differ));
    }
    return std::nullopt;
}

uint64_t countBoth(const BitVector &a, const BitVector &b, uint64_t limit) {
    const uint64_t words = std::min<uint64_t>({wordCount(limit), a.words().size(), b.words().size()});
    uint64_t total = 0;
    for (uint64_t i = 0; i < words; ++i) {
        uint64_t both = a.words()[i] & b.words()[i];
        if (i + 1 == wordCount(limit) && (limit & 63)) both &= lowMask(limit & 63);
        total += bitCount(both);
    }
    return total;
}

void depositBits(BitVector &target, const BitVector &mask, const BitVector &field) {
    uint64_t next = 0;  // index of the next field bit
    const uint64_t words = std::min<uint64_t>(mask.words().size(), target.words().size());
    for (uint64_t i = 0; i < words; ++i) {
        for (uint64_t rest = mask.words()[i]; rest != 0; rest &= rest - 1) {
            const uint64_t position = 64 * i + static_cast<uint64_t>(std::countr_zero(rest));
            if (position < target.size()) target.setBit(position, next < field.size() && field.bit(next));
            ++next;
        }
    }
}

}  // namespace qsvfcheck

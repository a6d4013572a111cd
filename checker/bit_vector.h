// Packed bit vectors for qsvfcheck: the scan values, masks and expected TDO
// values of both sides of a check.  Bit 0 is the first bit shifted (the least
// significant bit of an SVF hexadecimal value and of a QSVF vector); bits are
// held 64 to a word, and bits at or above the size are always 0, so that
// whole words can be compared, masked and counted.
#ifndef QSVFCHECK_BIT_VECTOR_H
#define QSVFCHECK_BIT_VECTOR_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qsvfcheck {

class BitVector {
public:
    BitVector() = default;
    // A vector of the given size, every bit 0 (or every bit 1).
    explicit BitVector(uint64_t bits, bool value = false);

    uint64_t size() const { return m_size; }
    // A bit; bits at or above the size read as 0.
    bool bit(uint64_t index) const { return index < m_size && ((m_words[index >> 6] >> (index & 63)) & 1); }
    void setBit(uint64_t index, bool value);
    // Sets `count` bits from `first` on to `value`.
    void fill(uint64_t first, uint64_t count, bool value);
    // Up to 64 bits from `first` on, as the low bits of the result; bits
    // beyond the size read as 0.
    uint64_t bits(uint64_t first, unsigned count) const;
    // Writes the low `count` (at most 64) bits of `value` from `first` on.
    void setBits(uint64_t first, unsigned count, uint64_t value);

    // Makes the vector `bits` bits of 0, keeping the storage it has.
    void assignZero(uint64_t bits);
    // Changes the size; new bits are 0, bits cut off are dropped.
    void resize(uint64_t bits);
    // Number of 1 bits.
    uint64_t count() const;
    bool none() const;

    // Adds `other` as a binary number, modulo 2 to the power of the size.
    void add(const BitVector &other);

    // The value as "0x" and two lower-case hexadecimal digits per byte of
    // its QSVF vector (ceil(size / 8) bytes), most significant byte first.
    std::string hex() const;

    const std::vector<uint64_t> &words() const { return m_words; }
    std::vector<uint64_t> &words() { return m_words; }

    bool operator==(const BitVector &other) const = default;

private:
    void clearTail();

    uint64_t m_size = 0;
    std::vector<uint64_t> m_words;
};

// Copies `count` bits of `from`, starting at `fromFirst`, into `to` at `toFirst`.
void copyBits(BitVector &to, uint64_t toFirst, const BitVector &from, uint64_t fromFirst, uint64_t count);

// The lowest bit index below `limit` at which `a` and `b` differ where `mask`
// is 1 (where every bit counts when mask is null).  Bits beyond a vector's
// size read as 0.
std::optional<uint64_t> firstDifference(const BitVector &a, const BitVector &b, const BitVector *mask, uint64_t limit);

// Number of bits below `limit` that are 1 in both vectors.
uint64_t countBoth(const BitVector &a, const BitVector &b, uint64_t limit);

// Puts the low bits of `field` into the positions where `mask` is 1, the
// lowest field bit into the lowest mask position, and clears the other mask
// positions of `target` (a bit deposit).
void depositBits(BitVector &target, const BitVector &mask, const BitVector &field);

}  // namespace qsvfcheck

#endif  // QSVFCHECK_BIT_VECTOR_H

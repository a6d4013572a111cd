// A growable set of bits: setting a bit beyond the end grows the set to hold
// it, while testing or clearing beyond the end changes nothing.  Bit n is bit
// n mod 8 of byte n div 8 of the storage.
#ifndef LMR_UTIL_BITSET_H
#define LMR_UTIL_BITSET_H

#include <cstddef>
#include <vector>

class BitSet {
public:
    // The largest size a set may grow to (2^32 bits, 512 MiB of storage).
    // Setting a bit at or beyond it ends the process through the hard exit
    // with a message instead of asking for storage without bound.
    static constexpr std::size_t MaxBits = std::size_t(1) << 32;

    BitSet() = default;
    BitSet(const BitSet &other) = default;
    // A set of bits.size() bits holding the given values.
    explicit BitSet(const std::vector<bool> &bits);
    BitSet &operator=(const BitSet &other) = default;

    // Grows to n + 1 bits when needed, then sets bit n.
    void set(std::size_t n);
    // Grows to to + 1 bits when needed, then sets bits from..to inclusive
    // (none when from > to).
    void set(std::size_t from, std::size_t to);
    // All bits 0; the size stays.
    void clear();
    // Clears bit n when it is inside the set.
    void clear(std::size_t n);
    // 1 when n is inside the set and its bit is set.
    unsigned char test(std::size_t n) const;
    // Number of set bits; only the argument 1 is supported, anything else is
    // an internal error.
    std::size_t count(int value) const;

    // Size in bits.
    std::size_t size() const { return bitCount; }
    // The storage, ceil(size / 8) bytes; bits past the size are 0.
    const std::vector<unsigned char> &bytes() const { return storage; }

    bool operator==(const BitSet &other) const {
        return bitCount == other.bitCount && storage == other.storage;
    }
    bool operator!=(const BitSet &other) const { return !(*this == other); }

private:
    void growTo(std::size_t newBitCount);

    std::vector<unsigned char> storage;
    std::size_t bitCount = 0;
};

#endif

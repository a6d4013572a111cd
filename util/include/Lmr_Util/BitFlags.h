// A word of 32 flags with the set operations the design tools use on
// attribute flags.
#ifndef LMR_UTIL_BITFLAGS_H
#define LMR_UTIL_BITFLAGS_H

#include <ostream>

class String;

class BitFlags {
public:
    BitFlags() : word(0) {}
    // Only the low 32 bits are kept: the word holds 32 flags.
    BitFlags(unsigned long value) : word(value & Mask) {}
    BitFlags(const BitFlags &other) = default;
    // Bit (i mod 32) is set for every position i whose character is not '0'.
    explicit BitFlags(const String &text);
    BitFlags &operator=(const BitFlags &other) = default;

    // 1 when any bit is set.
    operator unsigned char() const { return word != 0; }

    bool operator==(const BitFlags &other) const { return word == other.word; }
    bool operator!=(const BitFlags &other) const { return word != other.word; }
    BitFlags operator~() const { return BitFlags(~word & Mask); }
    BitFlags operator&(const BitFlags &other) const { return BitFlags(word & other.word); }
    BitFlags operator|(const BitFlags &other) const { return BitFlags(word | other.word); }
    BitFlags &operator&=(const BitFlags &other) {
        word &= other.word;
        return *this;
    }
    BitFlags &operator|=(const BitFlags &other) {
        word |= other.word;
        return *this;
    }
    // 1 when every bit set here is also set in other.
    unsigned char operator<=(const BitFlags &other) const { return (word & ~other.word) == 0; }

    // 1 when any bit of mask is set.
    unsigned char test(const BitFlags &mask) const { return (word & mask.word) != 0; }
    void set(const BitFlags &mask) { word |= mask.word; }
    void clear(const BitFlags &mask) { word &= ~mask.word; }
    void swap(const BitFlags &mask) { word ^= mask.word; }
    void clear() { word = 0; }

    unsigned long RetWord() const { return word; }

    // Writes the word in decimal.
    void Dump(std::ostream &os) const;

private:
    static constexpr unsigned long Mask = 0xFFFFFFFFul;
    unsigned long word;
};

#endif

// The growable bit set.  Storage is a byte vector kept exactly
// ceil(size / 8) bytes long, with the bits past the size always 0, so that
// counting and comparing can work on whole bytes.
#include <Lmr_Util/BitSet.h>

#include <bit>
#include <new>

#include "PropertyInternal.h"

BitSet::BitSet(const std::vector<bool> &bits) {
    growTo(bits.size());
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i])
            storage[i >> 3] |= static_cast<unsigned char>(1u << (i & 7));
}

void BitSet::growTo(std::size_t newBitCount) {
    if (newBitCount <= bitCount)
        return;
    if (newBitCount > MaxBits)
        LmrUtilOutOfMemory("BitSet: bit position beyond the largest bit set (4294967296 bits)");
    // Storage that cannot be had ends the run with a clear message instead
    // of an exception escaping into the caller.
    try {
        storage.resize(newBitCount / 8 + (newBitCount % 8 != 0), 0);
    } catch (const std::bad_alloc &) {
        LmrUtilOutOfMemory("BitSet: out of memory for the bit set");
    }
    bitCount = newBitCount;
}

void BitSet::set(std::size_t n) {
    if (n >= MaxBits)
        LmrUtilOutOfMemory("BitSet: bit position beyond the largest bit set (4294967296 bits)");
    growTo(n + 1);
    storage[n >> 3] |= static_cast<unsigned char>(1u << (n & 7));
}

void BitSet::set(std::size_t from, std::size_t to) {
    if (to >= MaxBits)
        LmrUtilOutOfMemory("BitSet: bit position beyond the largest bit set (4294967296 bits)");
    growTo(to + 1);
    if (from > to)
        return;
    std::size_t firstByte = from >> 3;
    std::size_t lastByte = to >> 3;
    unsigned char headMask = static_cast<unsigned char>(0xFFu << (from & 7));
    unsigned char tailMask = static_cast<unsigned char>(0xFFu >> (7 - (to & 7)));
    if (firstByte == lastByte) {
        storage[firstByte] |= static_cast<unsigned char>(headMask & tailMask);
        return;
    }
    storage[firstByte] |= headMask;
    for (std::size_t i = firstByte + 1; i < lastByte; ++i)
        storage[i] = 0xFF;
    storage[lastByte] |= tailMask;
}

void BitSet::clear() {
    for (unsigned char &byte : storage)
        byte = 0;
}

void BitSet::clear(std::size_t n) {
    if (n < bitCount)
        storage[n >> 3] &= static_cast<unsigned char>(~(1u << (n & 7)));
}

unsigned char BitSet::test(std::size_t n) const {
    if (n >= bitCount)
        return 0;
    return (storage[n >> 3] >> (n & 7)) & 1u;
}

std::size_t BitSet::count(int value) const {
    if (value != 1)
        __EPLD_Assert("BitSet.cpp", __LINE__);
    std::size_t total = 0;
    for (unsigned char byte : storage)
        total += static_cast<std::size_t>(std::popcount(byte));
    return total;
}

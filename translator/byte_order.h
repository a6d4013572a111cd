// Byte-order helpers of the scan data paths: 64-bit loads and stores of a
// fixed byte order from unaligned memory, so that value bytes (least
// significant first) and record bytes (most significant first) can be moved
// eight at a time on any host.
#ifndef SVF_BYTE_ORDER_H
#define SVF_BYTE_ORDER_H

#include <bit>
#include <cstdint>
#include <cstring>

namespace svf {

inline uint64_t byteSwap64(uint64_t v) {
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_bswap64(v);
#else
    v = ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
    v = ((v & 0x0000FFFF0000FFFFull) << 16) | ((v >> 16) & 0x0000FFFF0000FFFFull);
    return (v << 32) | (v >> 32);
#endif
}

// The eight bytes at p as a number, the first byte least significant.
inline uint64_t loadLittle64(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return std::endian::native == std::endian::little ? v : byteSwap64(v);
}

// The eight bytes at p as a number, the first byte most significant.
inline uint64_t loadBig64(const uint8_t *p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return std::endian::native == std::endian::big ? v : byteSwap64(v);
}

inline void storeLittle64(uint8_t *p, uint64_t v) {
    if (std::endian::native != std::endian::little) v = byteSwap64(v);
    std::memcpy(p, &v, 8);
}

inline void storeBig64(uint8_t *p, uint64_t v) {
    if (std::endian::native != std::endian::big) v = byteSwap64(v);
    std::memcpy(p, &v, 8);
}

}  // namespace svf

#endif  // SVF_BYTE_ORDER_H

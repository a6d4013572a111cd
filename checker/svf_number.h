// Exact decimal numbers of SVF timing commands (RUNTEST counts and times,
// FREQUENCY): the digits as written and a power of ten, so that a time times
// a frequency gives an exact clock count (1E-3 SEC at 1E6 HZ is 1000 clocks,
// never 999 or 1001 as binary floating point could make it).
#ifndef QSVFCHECK_SVF_NUMBER_H
#define QSVFCHECK_SVF_NUMBER_H

#include <cstdint>
#include <string>
#include <string_view>

namespace qsvfcheck {

class Decimal {
public:
    Decimal() = default;
    // digits: decimal digits only (may be empty for 0); the value is
    // digits x 10^exponent.
    Decimal(std::string_view digits, int64_t exponent);

    bool isZero() const { return m_digits.empty(); }
    Decimal times(const Decimal &other) const;
    // The value rounded down or up to a whole number; values above the
    // largest 64-bit number give that number.
    uint64_t floor() const;
    uint64_t ceil() const;

private:
    uint64_t whole(bool roundUp) const;

    std::string m_digits;  // most significant first, no leading zeros
    int64_t m_exponent = 0;
};

}  // namespace qsvfcheck

#endif  // QSVFCHECK_SVF_NUMBER_H

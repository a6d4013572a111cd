// Exact decimal numbers: schoolbook multiplication of digit strings and
// rounding to whole clock counts.
#include "svf_number.h"

#include <limits>
#include <vector>

namespace qsvfcheck {

Decimal::Decimal(std::string_view digits, int64_t exponent) : m_exponent(exponent) {
    size_t first = 0;
    while (first < digits.size() && digits[first] == '0') ++first;
    m_digits.assign(digits.substr(first));
    // Trailing zeros move into the exponent, which keeps products short.
    while (!m_digits.empty() && m_digits.back() == '0') {
        m_digits.pop_back();
        ++m_exponent;
    }
    if (m_digits.empty()) m_exponent = 0;
}

Decimal Decimal::times(const Decimal &other) const {
    if (isZero() || other.isZero()) return {};
    std::vector<unsigned> product(m_digits.size() + other.m_digits.size(), 0);
    for (size_t i = m_digits.size(); i-- > 0;)
        for (size_t j = other.m_digits.size(); j-- > 0;) {
            unsigned &cell = product[i + j + 1];
            cell += static_cast<unsigned>(m_digits[i] - '0') * static_cast<unsigned>(other.m_digits[j] - '0');
            product[i + j] += cell / 10;
            cell %= 10;
        }
    std::string digits;
    for (unsigned digit : product) digits += static_cast<char>('0' + digit);
    return Decimal(digits, m_exponent + other.m_exponent);
}

uint64_t Decimal::whole(bool roundUp) const {
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    if (isZero()) return 0;
    const int64_t length = static_cast<int64_t>(m_digits.size());
    // Digits before the decimal point: all of them and m_exponent zeros, or
    // the first length + exponent of them.
    const int64_t integerDigits = length + m_exponent;
    if (integerDigits > 20) return kMax;
    uint64_t value = 0;
    for (int64_t i = 0; i < integerDigits; ++i) {
        const unsigned digit = i < length ? static_cast<unsigned>(m_digits[static_cast<size_t>(i)] - '0') : 0;
        if (value > (kMax - digit) / 10) return kMax;
        value = value * 10 + digit;
    }
    // Digits are stored without trailing zeros, so any digit after the point
    // makes a fraction.
    const bool fraction = integerDigits < length;
    if (roundUp && fraction) return value == kMax ? kMax : value + 1;
    return value;
}

uint64_t Decimal::floor() const { return whole(false); }
uint64_t Decimal::ceil() const { return whole(true); }

}  // namespace qsvfcheck

// Tokenizer of svf2qsvf96: the words of a statement (separated by line
// feed, blank, tab and comma; ";" is a word of its own), keyword
// comparison, operand values between parentheses, decimal numbers, and the
// check that an operand value fits its scan length.

#include <climits>
#include <string>

#include <Lmr_Util/String.h>

#include "record_writer.h"
#include "svf_reader.h"

namespace svf96 {

namespace {
bool isSeparator(char c) { return c == '\n' || c == ' ' || c == '\t' || c == ','; }
}  // namespace

bool SvfReader::NextToken(std::string_view &token) {
    const std::string &text = statement();
    size_t start = tokenEnd_;
    while (start < text.size() && isSeparator(text[start])) ++start;
    if (start >= text.size()) {
        tokenEnd_ = text.size();
        return false;
    }
    size_t end = start;
    while (end < text.size() && !isSeparator(text[end])) ++end;
    tokenEnd_ = end;
    token = std::string_view(text.data() + start, end - start);
    return true;
}

bool IsKeyword(std::string_view token, const char *keyword) {
    if (token.size() != std::char_traits<char>::length(keyword)) return false;
    const String word(std::string{token});
    return word.contains(keyword, 0) == 1;
}

std::string_view StripParens(std::string_view token) {
    if (token.size() > static_cast<size_t>(INT_MAX)) return {};
    const String word(std::string{token});
    const int open = word.index("(", 0);
    if (open < 0) return {};
    const int close = word.index(")", open + 1);
    if (close < 0) return {};
    return token.substr(static_cast<size_t>(open) + 1, static_cast<size_t>(close - open - 1));
}

long ReadDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<long>(-value);
    return static_cast<long>(value > INT_MAX ? INT_MAX : value);
}

bool FitValueToLength(std::string &value, long lengthBits) {
    for (char c : value)
        if (HexDigitValue(c) < 0) return false;
    const size_t allowed = static_cast<size_t>((lengthBits + 3) / 4);
    size_t excess = 0;
    while (value.size() - excess > allowed && value[excess] == '0') ++excess;
    if (value.size() - excess > allowed) return false;
    if (excess) value.erase(0, excess);
    const unsigned topBits = static_cast<unsigned>(lengthBits % 4);
    if (topBits != 0 && value.size() == allowed && HexDigitValue(value[0]) >= (1 << topBits)) return false;
    return true;
}

}  // namespace svf96

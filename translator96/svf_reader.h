// SVF statement reader of svf2qsvf96.  A statement is gathered from whole
// lines, joined without separators, up to a line holding ";", a comment line
// or an empty line; comment and blank statements are passed over.  The last
// three statements stay in a history so that scan gathering can look one
// statement ahead and give back up to two.  NextToken (tokenizer.cpp) walks
// the words of the statement now delivered.
#ifndef SVF2QSVF96_SVF_READER_H
#define SVF2QSVF96_SVF_READER_H

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace svf96 {

// Whole lines of a file, read through a large buffer.  A line is returned
// without its line feed and without a carriage return before it, so CR LF
// files read like LF files; a last line without a line feed is a line too.
class LineSource {
public:
    explicit LineSource(std::FILE *input) : input_(input), buffer_(size_t(1) << 20) {}
    // Appends the next line to text; false at the end of the file.
    bool AppendLine(std::string &text);

private:
    bool refill();

    std::FILE *input_;
    std::vector<char> buffer_;
    size_t position_ = 0;
    size_t end_ = 0;
    bool atEnd_ = false;
};

class SvfReader {
public:
    explicit SvfReader(std::FILE *input) : source_(input) {}

    // True at the end of the input, false when a statement is delivered.
    bool ReadStatement();
    // The next ReadStatement delivers the current statement again (at most
    // two statements can be given back).
    void UngetStatement();
    // The next word of the current statement; false when there is none.
    bool NextToken(std::string_view &token);

    long statementCount() const { return statementCount_; }
    const std::string &statement() const { return history_[static_cast<size_t>(currentSlot_)]; }

private:
    LineSource source_;
    std::array<std::string, 3> history_;
    size_t writeSlot_ = 0;
    int currentSlot_ = -1;
    int pushedBack_ = 0;
    size_t tokenEnd_ = 0;  // scan position of the next NextToken
    long statementCount_ = 0;
};

// Word and value helpers of the tokenizer (tokenizer.cpp).

// Exact, case-sensitive keyword comparison.
bool IsKeyword(std::string_view token, const char *keyword);
// The text after the first "(" up to the first ")" after it; empty when
// either is missing.
std::string_view StripParens(std::string_view token);
// Leading blanks, an optional sign and the digits up to the first
// non-digit; no digits give 0.  Values beyond the int range are held at its
// ends.
long ReadDecimal(std::string_view text);

// Checks an operand value for a scan of lengthBits bits and brings it to
// its shortest form: every character must be a hex digit, excess leading
// zero digits are dropped, and no 1 bit may lie at or above lengthBits.
// False when the value does not fit (a value longer than its length).
bool FitValueToLength(std::string &value, long lengthBits);

}  // namespace svf96

#endif  // SVF2QSVF96_SVF_READER_H

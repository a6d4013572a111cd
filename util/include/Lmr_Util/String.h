// String: a small value class over std::string with position-aware search and
// cutting operations.  Positions are 0-based character indexes; searches are
// case-sensitive.  Substring results are SubString views into the String,
// valid while the String lives and is not changed otherwise.  Regular
// expressions (Regexp) use the ECMAScript grammar.
#ifndef LMR_UTIL_STRING_H
#define LMR_UTIL_STRING_H

#include <cstddef>
#include <regex>
#include <string>

class String;

// A compiled regular expression for the searches of String.
class Regexp {
public:
    explicit Regexp(const char *pattern);
    explicit Regexp(const std::string &pattern);
    const std::regex &expression() const { return expression_; }
    const std::string &pattern() const { return pattern_; }

private:
    std::string pattern_;
    std::regex expression_;
};

// A view of part of a String.  A null view (a search that found nothing) has
// length 0.  Assigning text to a view replaces that part of its String.
class SubString {
public:
    std::size_t length() const { return length_; }
    std::size_t start() const { return start_; }
    bool isNull() const { return owner_ == nullptr; }
    std::string str() const;
    SubString &operator=(const char *text);
    SubString &operator=(const std::string &text);
    bool operator==(const char *text) const { return str() == (text ? text : ""); }

private:
    friend class String;
    SubString(std::string *owner, std::size_t start, std::size_t length)
        : owner_(owner), start_(start), length_(length) {}
    std::string *owner_;
    std::size_t start_;
    std::size_t length_;
};

class String {
public:
    String() = default;
    String(char c) : text_(1, c) {}
    String(const char *text) : text_(text ? text : "") {}
    String(const std::string &text) : text_(text) {}
    String(const SubString &part) : text_(part.str()) {}
    String(const String &) = default;
    String(String &&) noexcept = default;
    String &operator=(const String &) = default;
    String &operator=(String &&) noexcept = default;
    ~String() = default;

    const char *chars() const { return text_.c_str(); }
    char elem(std::size_t i) const { return text_[i]; }
    std::size_t length() const { return text_.size(); }
    bool isNull() const { return text_.empty(); }
    const std::string &str() const { return text_; }
    std::string &str() { return text_; }
    operator const char *() const { return text_.c_str(); }

    // Turns a..z to A..Z in place.
    void upcase();

    // Substring of len characters from pos (std::out_of_range past the end).
    SubString at(std::size_t pos, std::size_t len);
    const SubString at(std::size_t pos, std::size_t len) const;
    // The first pos characters (std::out_of_range past the end).
    SubString before(std::size_t pos) const;
    SubString before(int pos) const { return before(static_cast<std::size_t>(pos < 0 ? 0 : pos)); }
    // The part before an occurrence of text: for pos >= 0 the first occurrence
    // at or after pos, for pos < 0 the last one; a null view when none.
    SubString before(const char *text, int pos) const;
    SubString before(const Regexp &re, int pos) const;
    // The part after the end of the first occurrence of text (empty when
    // text does not occur or nothing follows it).
    SubString after(const char *text) const;
    // The part from pos + 1 to the end (empty when pos + 1 is not inside).
    SubString after(int pos) const;

    // 1 when it occurs anywhere, else 0.
    int contains(char c) const;
    int contains(const char *text) const;
    int contains(const String &text) const { return contains(text.chars()); }
    // 1 when the expression matches a non-empty part.
    int contains(const Regexp &re) const;
    // pos >= 0: 1 when text occurs starting exactly at pos; pos < 0: 1 when
    // text ends the string.
    int contains(const char *text, int pos) const;
    int contains(const String &text, int pos) const { return contains(text.chars(), pos); }

    // pos >= 0: the first occurrence at or after pos; pos < 0: the last
    // occurrence; -1 when none.
    int index(const char *text, int pos = 0) const;
    int index(const String &text, int pos = 0) const { return index(text.chars(), pos); }
    int index(char c, int pos = 0) const;
    int index(const Regexp &re, int pos = 0) const;

    // pos >= 0: 1 when text occurs at pos and runs exactly to the end.
    // pos < 0 counts from the end: text must be the last -pos characters.
    int matches(const char *text, int pos = 0) const;

    String &operator+=(const String &other) { text_ += other.text_; return *this; }
    String &operator+=(const char *text) { text_ += text ? text : ""; return *this; }
    String &operator+=(char c) { text_ += c; return *this; }

    friend bool operator==(const String &a, const String &b) { return a.text_ == b.text_; }
    friend bool operator==(const String &a, const char *b) { return a.text_ == (b ? b : ""); }
    friend bool operator<(const String &a, const String &b) { return a.text_ < b.text_; }
    friend String operator+(const String &a, const String &b) { return String(a.text_ + b.text_); }

private:
    // Start of the regular-expression match for a search (see before/index);
    // sets *matchLength.  std::string::npos when none.
    std::size_t findRegexp(const Regexp &re, int pos, std::size_t *matchLength) const;
    SubString view(std::size_t start, std::size_t length) const;

    std::string text_;
};

#endif

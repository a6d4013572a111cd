// TokenStream: a line-oriented word reader over a text or an input stream.
// Words are separated by line feed, space, tab, comma and carriage return;
// the end of the text also ends a word.  getword cuts the buffer in place
// (the separator after a word becomes the end mark) and returns a pointer
// into it, valid until the next getline or restoreline.
#ifndef LMR_UTIL_TOKENSTREAM_H
#define LMR_UTIL_TOKENSTREAM_H

#include <istream>
#include <memory>
#include <string>
#include <vector>

class TokenStream {
public:
    // Number of entries of the value table filled by getvalues.
    static constexpr int ValueTableSize = 1024;

    explicit TokenStream(const char *text);
    explicit TokenStream(std::istream &file);
    // Copies share one buffer; the last copy alive releases it.
    TokenStream(const TokenStream &) = default;
    TokenStream &operator=(const TokenStream &) = default;
    ~TokenStream() = default;

    // Reads the next line of the stream (without its line feed) into a fresh
    // buffer, upper-cased when upcase is non-zero.  Returns non-zero when no
    // line was left to read (the stream is at its end), else 0.
    short getline(int upcase = 0);
    // Undoes the cuts of getword, so that the line reads again from its
    // first word.
    void restoreline();

    // The next word, upper-cased in place when upcase is non-zero; null at
    // the end of the buffer.
    char *getword(int upcase = 0);
    // Skips n - 1 words and returns the n-th (null for n < 1 or past the end).
    char *getnword(int n);
    // Reads words until one equals key, then returns the word after it.
    char *getkname(const char *key);
    // getkname, then the word as a number, truncated; -1 when there is no
    // word or it does not start with a number.
    short getknumber(const char *key);
    // The next word as a number, truncated; -1 when missing or no number.
    short getnumber();
    // Collects the numbers after key ... subKey (each times 10, truncated)
    // until a stop word or the end; returns the value table (count entries).
    short *getvalues(const char *key, const char *subKey, const char *const *stopWords, int stopCount,
                     int &count);

    const std::string &currentLine() const { return line_; }

private:
    void setBuffer(const std::string &text);
    char *bufferData() { return buffer_ ? buffer_->data() : nullptr; }

    std::shared_ptr<std::vector<char>> buffer_;
    std::string line_;
    std::istream *file_ = nullptr;
    // Positions in the buffer; int, so that lines longer than 32767
    // characters read correctly.
    int tokenStart_ = 0;
    int tokenEnd_ = -1;
};

#endif

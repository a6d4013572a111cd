// TokenStream: words of a line read in place, cut at the separators, with the
// keyed look-ups of names, numbers and delay-value lists.
#include <Lmr_Util/ConsoleReport.h>
#include <Lmr_Util/TokenStream.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool isSeparator(char c)
{
    return c == '\n' || c == ' ' || c == '\t' || c == ',' || c == '\r';
}

void upcaseText(char *text)
{
    for (char *p = text; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
}

// The word as a floating-point number; false when it does not start with one.
bool readNumber(const char *word, double &value)
{
    if (!word)
        return false;
    char *end = nullptr;
    value = std::strtod(word, &end);
    return end != word && std::isfinite(value);
}

// Truncation into a short, held to its range.
short truncatedShort(double value)
{
    if (value >= 32767.0)
        return 32767;
    if (value <= -32768.0)
        return -32768;
    return static_cast<short>(value);
}

// The value table of getvalues, shared by every call of the library.
short valueTable[TokenStream::ValueTableSize];

} // namespace

TokenStream::TokenStream(const char *text)
{
    // The text is also kept as the current line, so that restoreline can
    // undo the cuts of a text stream too.
    line_ = text ? text : "";
    setBuffer(line_);
}

TokenStream::TokenStream(std::istream &file) : file_(&file) {}

void TokenStream::setBuffer(const std::string &text)
{
    buffer_ = std::make_shared<std::vector<char>>(text.begin(), text.end());
    buffer_->push_back('\0');
    tokenStart_ = 0;
    tokenEnd_ = -1;
}

short TokenStream::getline(int upcase)
{
    if (!file_)
        return 1;
    std::string next;
    if (!std::getline(*file_, next))
        return 1;
    line_ = next;
    setBuffer(line_);
    if (upcase)
        upcaseText(bufferData());
    return 0;
}

void TokenStream::restoreline()
{
    tokenEnd_ = -1;
    tokenStart_ = 0;
    char *buffer = bufferData();
    if (!buffer)
        return;
    std::size_t length = std::min(line_.size(), buffer_->size() - 1);
    for (std::size_t i = 0; i < length; ++i)
        if (buffer[i] == '\0')
            buffer[i] = ' ';
    buffer[length] = '\0';
}

char *TokenStream::getword(int upcase)
{
    char *buffer = bufferData();
    if (!buffer)
        return nullptr;
    int size = static_cast<int>(buffer_->size()) - 1;
    int pos = tokenEnd_ + 1;
    while (pos < size && isSeparator(buffer[pos]))
        ++pos;
    if (pos >= size || buffer[pos] == '\0')
        return nullptr;
    tokenStart_ = pos;
    int end = pos;
    while (end < size && buffer[end] != '\0' && !isSeparator(buffer[end]))
        ++end;
    if (end < size && buffer[end] != '\0') {
        buffer[end] = '\0';
        tokenEnd_ = end;
    } else {
        // The word runs to the end of the buffer: token end stays on its
        // last character.
        tokenEnd_ = end - 1;
    }
    char *word = buffer + tokenStart_;
    if (upcase)
        upcaseText(word);
    return word;
}

char *TokenStream::getnword(int n)
{
    if (n < 1)
        return nullptr;
    for (int skipped = 1; skipped < n; ++skipped)
        if (!getword())
            return nullptr;
    return getword();
}

char *TokenStream::getkname(const char *key)
{
    if (!key)
        return nullptr;
    for (char *word = getword(); word; word = getword())
        if (std::strcmp(word, key) == 0)
            return getword();
    return nullptr;
}

short TokenStream::getknumber(const char *key)
{
    double value = 0;
    if (!readNumber(getkname(key), value))
        return -1;
    return truncatedShort(value);
}

short TokenStream::getnumber()
{
    double value = 0;
    if (!readNumber(getword(), value))
        return -1;
    return truncatedShort(value);
}

short *TokenStream::getvalues(const char *key, const char *subKey, const char *const *stopWords, int stopCount,
                              int &count)
{
    enum { Searching, KeySeen, ReadingValues } state = Searching;
    count = 0;
    for (char *word = getword(); word; word = getword()) {
        if (key && std::strcmp(word, key) == 0) {
            state = KeySeen;
            continue;
        }
        if (subKey && std::strcmp(word, subKey) == 0) {
            if (state == KeySeen) {
                state = ReadingValues;
                continue;
            }
            count = 0;
            break;
        }
        bool stop = false;
        for (int i = 0; i < stopCount && stopWords && !stop; ++i)
            stop = stopWords[i] && std::strcmp(word, stopWords[i]) == 0;
        if (stop)
            break;
        if (state != ReadingValues)
            continue;
        double value = 0;
        if (!readNumber(word, value))
            HGerr(700, 'F', "Invalid delay number in delay type", key, key ? key : "", word);
        if (count >= ValueTableSize) {
            // More values than the table holds: a fatal error rather than
            // a silently shortened list.
            HGerr(0, 'F', "Too many delay numbers in delay type", key);
            break;
        }
        valueTable[count++] = truncatedShort(value * 10.0);
    }
    return valueTable;
}

// The SVF lexer over an input FileChannel: characters with line counting and
// a one-character push-back, comments, tokens with a one-token push-back (the
// common ones taken straight from the input buffer, 16 characters at a time
// where SSE2 is there), integers, token search, the number test and the
// QCOMMENT echo of the command text.
#include "svf_lexer.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "diagnostics.h"
#include "prog_state.h"
#include "qsvf_format.h"

namespace svf {

namespace {
void copyToken(char *target, const char *source, size_t length) {
    std::memcpy(target, source, length);
    target[length] = '\0';
}

// Character classes of the token scanner: characters that continue a word,
// characters that continue a number, the white space that is skipped
// between tokens without the line-end rule (every space character but CR),
// the characters that start a word (and make a number a word), digits, and
// the punctuation that is a token of its own (not a comment start).
enum : uint8_t {
    CONTINUES_WORD = 1,
    CONTINUES_NUMBER = 2,
    PLAIN_SPACE = 4,
    STARTS_WORD = 8,
    DIGIT = 16,
    SINGLE_PUNCT = 32
};
constexpr std::array<uint8_t, 256> makeScanClass() {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        uint8_t bits = 0;
        if (isAsciiAlpha(c) || isAsciiDigit(c) || c == '_') bits |= CONTINUES_WORD;
        if (!isAsciiSpace(c) && !(isAsciiPunct(c) && c != '_')) bits |= CONTINUES_NUMBER;
        if (isAsciiSpace(c) && c != '\r') bits |= PLAIN_SPACE;
        if (isAsciiAlpha(c) || c == '_') bits |= STARTS_WORD;
        if (isAsciiDigit(c)) bits |= DIGIT;
        if (isAsciiPunct(c) && c != '!' && c != '/' && c != '_') bits |= SINGLE_PUNCT;
        table[static_cast<size_t>(c)] = bits;
    }
    return table;
}
constexpr std::array<uint8_t, 256> kScanClass = makeScanClass();

// Takes the characters of class `what` that follow in the input buffer into
// the token, as the character reader would one at a time (they are never
// CR or a line feed), up to `limit` characters in the token; the character
// after them is left to the reader.  Returns the new token length.
size_t takeBuffered(FileChannel &channel, uint8_t what, size_t n, size_t limit, bool &sawLetter) {
    if (channel.iCharState != kStateNormal) return n;
    const unsigned char *data = channel.bufferData();
    size_t &pos = channel.bufferPos();
    const size_t len = channel.bufferLen();
    const bool storing = FileChannel::srcStoring();
    while (pos < len && n < limit) {
        unsigned char c = data[pos];
        if (!(kScanClass[c] & what)) break;
        ++pos;
        channel.sToken[n++] = static_cast<char>(c);
        if (isAsciiAlpha(c) || c == '_') sawLetter = true;
        if (storing) channel.storeSrcChar(c);
        channel.iCurChar = c;
    }
    return n;
}
}  // namespace

void getFChanCharSlow(FileChannel &channel, int skipWhite) {
    if (!channel.pFile) nullPtrChk(nullptr, "GetFChanChar", nullptr);
    if (channel.iCharState != kStateNormal) {
        channel.iCharState = kStateNormal;
        return;
    }
    for (;;) {
        if (channel.atEof()) fatalError("EOF_CH");
        int c = channel.readByte();
        if (c < 0) {
            channel.iCurChar = ' ';
            return;
        }
        if (c == '\r' && channel.peekByte() == '\n') c = channel.readByte();
        channel.iCurChar = c;
        channel.storeSrcChar(c);
        if (c == '\n') ++channel.lLineNum;
        if (!skipWhite || !isAsciiSpace(c)) return;
    }
}

void skipComments(FileChannel &channel, const char * /*marker*/) {
    do {
        getFChanChar(channel, 0);
    } while (channel.iCurChar != '\n' || channel.atEof());
    writeSvfSrc(channel, 1);
}

void getNum(int firstChar, FileChannel &channel) {
    size_t n = 0;
    bool isWord = false;
    channel.sToken[n++] = static_cast<char>(firstChar);
    for (;;) {
        n = takeBuffered(channel, CONTINUES_NUMBER, n, 29, isWord);
        getFChanChar(channel, 0);
        if (channel.atEof()) break;
        int c = channel.iCurChar;
        if (isAsciiSpace(c) || (isAsciiPunct(c) && c != '_')) {
            channel.iCharState = kStatePushedBack;
            break;
        }
        if (isAsciiAlpha(c) || c == '_') isWord = true;
        if (n >= 29) {
            channel.sToken[n] = '\0';
            fatalError(strFormat("number exceeds [%d] digits", 30), &channel);
        }
        channel.sToken[n++] = static_cast<char>(c);
    }
    channel.sToken[n] = '\0';
    channel.lTokenLen = n;
    channel.iTokenType = isWord ? TOK_WORD : TOK_NUMBER;
}

void getToken(FileChannel &channel) {
    if (channel.atEof()) return;
    getFChanChar(channel, 0);
    int c = channel.iCurChar;
    char *token = channel.sToken;
    if (isAsciiAlpha(c) || c == '_') {
        size_t n = 0;
        bool letters = true;
        token[n++] = static_cast<char>(c);
        for (;;) {
            n = takeBuffered(channel, CONTINUES_WORD, n, 97, letters);
            getFChanChar(channel, 0);
            if (channel.atEof()) break;
            int d = channel.iCurChar;
            if (!(isAsciiAlpha(d) || isAsciiDigit(d) || d == '_')) {
                channel.iCharState = kStatePushedBack;
                break;
            }
            if (n >= 97) {
                token[n] = '\0';
                fatalError(strFormat("token exceeds %d characters", 98), &channel);
            }
            token[n++] = static_cast<char>(d);
        }
        token[n] = '\0';
        channel.lTokenLen = n;
        channel.iTokenType = TOK_WORD;
        return;
    }
    if (isAsciiDigit(c)) {
        getNum(c, channel);
        return;
    }
    if (c == '!') {
        token[0] = '\0';
        channel.lTokenLen = 0;
        channel.iTokenType = TOK_SPACE;
        skipComments(channel, "!");
        return;
    }
    if (c == '/') {
        if (!channel.atEof()) {
            getFChanChar(channel, 0);
            if (!channel.atEof() && channel.iCurChar == '/') {
                token[0] = '\0';
                channel.lTokenLen = 0;
                channel.iTokenType = TOK_SPACE;
                skipComments(channel, "//");
                return;
            }
            if (!channel.atEof()) channel.iCharState = kStatePushedBack;
        }
        token[0] = '/';
        token[1] = '\0';
        channel.lTokenLen = 1;
        channel.iTokenType = TOK_PUNCT;
        return;
    }
    token[0] = static_cast<char>(c);
    token[1] = '\0';
    channel.lTokenLen = 1;
    if (isAsciiPunct(c))
        channel.iTokenType = TOK_PUNCT;
    else if (isAsciiSpace(c))
        channel.iTokenType = TOK_SPACE;
    else
        channel.iTokenType = TOK_OTHER;
}

namespace {
// Skips the white space that follows in the input buffer, as the token loop
// of lex would one character at a time (counting lines, storing it for the
// echo); CR and the end of the buffer are left to the reader.  The space
// tokens skipped would all be overwritten by the token after them.
void skipBufferedSpace(FileChannel &channel) {
    if (channel.iCharState != kStateNormal) {
        // A pushed-back blank would come back as a space token of its own;
        // it was stored and counted when it was read.
        if (!isAsciiSpace(channel.iCurChar)) return;
        channel.iCharState = kStateNormal;
    }
    const unsigned char *data = channel.bufferData();
    size_t &pos = channel.bufferPos();
    const size_t len = channel.bufferLen();
    const bool storing = FileChannel::srcStoring();
    while (pos < len && (kScanClass[data[pos]] & PLAIN_SPACE)) {
        unsigned char c = data[pos++];
        if (storing) channel.storeSrcChar(c);
        if (c == '\n') ++channel.lLineNum;
        channel.iCurChar = c;
    }
}

constexpr std::array<char, 256> makeLower() {
    std::array<char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[static_cast<size_t>(c)] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return table;
}
constexpr std::array<char, 256> kLower = makeLower();

#if defined(__SSE2__)
// The token of `length` (at most 16) characters held in the first lanes of
// `chars`: stored as written, and lowered into the token and its copy.
void storeToken16(FileChannel &channel, __m128i chars, size_t length) {
    __m128i fromUpperA = _mm_sub_epi8(chars, _mm_set1_epi8('A'));
    __m128i isUpper = _mm_cmpeq_epi8(_mm_min_epu8(fromUpperA, _mm_set1_epi8(25)), fromUpperA);
    __m128i lowered = _mm_add_epi8(chars, _mm_and_si128(isUpper, _mm_set1_epi8(0x20)));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(channel.sLastToken), chars);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(channel.sToken), lowered);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(channel.sLcToken), lowered);
    channel.sLastToken[length] = channel.sToken[length] = channel.sLcToken[length] = '\0';
    channel.lTokenLen = length;
}
#endif

// The token text as read into sLastToken, lowered into sToken and sLcToken,
// in one pass (letters after a zero byte keep their case, as in
// strCaseConvert); text may be sToken itself.  `readable`: the bytes that
// may be read at text (at least length).
void storeToken(FileChannel &channel, const char *text, size_t length, size_t readable) {
#if defined(__SSE2__)
    // A token of up to 16 characters without a zero byte, 16 bytes at once;
    // the bytes stored after its end are never read.
    if (length <= 16 && readable >= 16) {
        __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text));
        unsigned zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chars, _mm_setzero_si128())));
        if ((zeros & ((1u << length) - 1)) == 0) {
            storeToken16(channel, chars, length);
            return;
        }
    }
#else
    (void)readable;
#endif
    size_t i = 0;
    for (; i < length && text[i] != '\0'; ++i) {
        char c = text[i];
        channel.sLastToken[i] = c;
        channel.sToken[i] = channel.sLcToken[i] = kLower[static_cast<unsigned char>(c)];
    }
    for (; i < length; ++i) channel.sLastToken[i] = channel.sToken[i] = channel.sLcToken[i] = text[i];
    channel.sLastToken[length] = channel.sToken[length] = channel.sLcToken[length] = '\0';
    channel.lTokenLen = length;
}

// A punctuation character that getToken makes a token of its own (not the
// start of a comment or a word).
bool singlePunct(int c) { return c >= 0 && c < 256 && (kScanClass[static_cast<size_t>(c)] & SINGLE_PUNCT); }

// The common tokens read straight from the input buffer: the white space
// before them, then a word, a number or a punctuation character, when the
// token and the character after a word or number are in the buffer and
// none is a CR.  The channel is left exactly as the character reader leaves
// it (the character after a word or number read and pushed back, lines
// counted); any other case is left to the character reader, before
// anything of the token is taken.  Not while the command text is stored for
// the echo.  Returns true when it read the token.
bool lexBuffered(FileChannel &channel) {
    if (channel.atEof() || FileChannel::srcStoring()) return false;
    channel.bTokenAtEof = false;
    if (channel.iCharState != kStateNormal && !isAsciiSpace(channel.iCurChar)) {
        // The character after the previous token.
        int c = channel.iCurChar;
        if (!singlePunct(c)) return false;
        channel.iCharState = kStateNormal;
        char text = static_cast<char>(c);
        storeToken(channel, &text, 1, 1);
        channel.iTokenType = TOK_PUNCT;
        return true;
    }
    // The white space before the token (a pushed-back blank was read
    // already and is skipped with it).
    channel.iCharState = kStateNormal;
    const unsigned char *data = channel.bufferData();
    size_t &pos = channel.bufferPos();
    const size_t len = channel.bufferLen();
    if (pos < len && (kScanClass[data[pos]] & PLAIN_SPACE)) {
        size_t at = pos;
        long lines = 0;
        do {
            lines += data[at] == '\n';
            ++at;
        } while (at < len && (kScanClass[data[at]] & PLAIN_SPACE));
        channel.iCurChar = data[at - 1];
        channel.lLineNum += lines;
        pos = at;
    }
    if (pos >= len) return false;
    const unsigned char first = data[pos];
    const uint8_t firstClass = kScanClass[first];
    uint8_t what;
    size_t limit;
    if (firstClass & STARTS_WORD) {
        what = CONTINUES_WORD;
        limit = 97;
    } else if (firstClass & DIGIT) {
        what = CONTINUES_NUMBER;
        limit = 29;
    } else if (firstClass & SINGLE_PUNCT) {
        ++pos;
        channel.iCurChar = first;
        char text = static_cast<char>(first);
        storeToken(channel, &text, 1, 1);
        channel.iTokenType = TOK_PUNCT;
        return true;
    } else {
        return false;
    }
    size_t end = pos + 1;
    bool isWord = what == CONTINUES_WORD;
    bool stored = false;
#if defined(__SSE2__)
    if (len - pos > 16) {
        // Up to 15 letters, digits and underscores and the character after
        // them in one block: the run found, classified and lowered at once.
        // A number may also go on with other characters than these; then
        // the run is taken below.
        __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + pos));
        __m128i fromA = _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
        __m128i isLetter = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(fromA, _mm_set1_epi8(25)), fromA),
                                        _mm_cmpeq_epi8(chars, _mm_set1_epi8('_')));
        __m128i fromZero = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
        __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(fromZero, _mm_set1_epi8(9)), fromZero);
        auto letters = static_cast<unsigned>(_mm_movemask_epi8(isLetter));
        auto wordChars = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(isLetter, isDigit)));
        auto run = static_cast<size_t>(std::countr_one(wordChars));
        if (run < 16 && !(kScanClass[data[pos + run]] & what)) {
            end = pos + run;
            if (data[end] == '\r') return false;
            isWord = isWord || (letters & ((1u << run) - 1)) != 0;
            storeToken16(channel, chars, run);
            stored = true;
        }
    }
#endif
    if (!stored) {
        while (end < len && (kScanClass[data[end]] & what)) ++end;
        if (end >= len || end - pos > limit || data[end] == '\r') return false;
        for (size_t i = pos + 1; !isWord && i < end; ++i) isWord = (kScanClass[data[i]] & STARTS_WORD) != 0;
        storeToken(channel, reinterpret_cast<const char *>(data + pos), end - pos, len - pos);
    }
    channel.iTokenType = isWord ? TOK_WORD : TOK_NUMBER;
    const unsigned char next = data[end];
    pos = end + 1;
    channel.iCurChar = next;
    if (next == '\n') ++channel.lLineNum;
    channel.iCharState = kStatePushedBack;
    return true;
}
}  // namespace

void lex(FileChannel &channel, int keepSpace) {
    if (channel.iTokenState != kStateNormal) {
        channel.iTokenState = kStateNormal;
        return;
    }
    if (keepSpace != 1 && lexBuffered(channel)) return;
    for (;;) {
        channel.bTokenAtEof = false;
        if (channel.atEof()) return;
        if (keepSpace != 1) skipBufferedSpace(channel);
        getToken(channel);
        if (channel.atEof()) {
            copyToken(channel.sLastToken, channel.sToken, channel.lTokenLen);
            // The input may end right after a word or number: "RUNTEST 10 TCK"
            // without a line end has read TCK, and the command still needs
            // its ";" rather than the TCK that is there.
            if (channel.iTokenType != TOK_SPACE && channel.lTokenLen > 0) {
                strCaseConvert(channel.sToken, channel.lTokenLen, 0);
                copyToken(channel.sLcToken, channel.sToken, channel.lTokenLen);
                channel.bTokenAtEof = true;
            }
            return;
        }
        if (channel.iTokenType == TOK_SPACE) {
            copyToken(channel.sLastToken, channel.sToken, channel.lTokenLen);
            if (keepSpace == 1) return;
            continue;
        }
        storeToken(channel, channel.sToken, channel.lTokenLen, sizeof channel.sToken);
        return;
    }
}

void lexNeed(FileChannel &channel, const char *expected) {
    bool pushedBack = channel.iTokenState != kStateNormal;
    lex(channel, 0);
    if (!pushedBack && !channel.tokenRead()) fatalError(strFormat("Token [%s] not found", expected), &channel);
}

long tokenToLong(const char *text, FileChannel *lineChannel) {
    // Values are read into 32-bit variables: a longer digit string is
    // refused instead of being wrapped around.
    int64_t value = 0;
    for (const char *p = text; isAsciiDigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX) limitError("Number", text, INT32_MAX, lineChannel);
    }
    return static_cast<long>(value);
}

long lGetLong(int mode, FileChannel &channel) {
    lexNeed(channel, ";");
    bool negative = false;
    if (std::strcmp(channel.sToken, "-") == 0) {
        negative = true;
        if (mode == kPositiveOnly) fatalError("Expected positive number", &channel);
        lexNeed(channel, ";");
    }
    if (channel.iTokenType != TOK_NUMBER) fatalError("Number expected", &channel);
    long value = tokenToLong(channel.sToken, &channel);
    return negative ? -value : value;
}

void strSearch(const char *target, int skipAllowed, FileChannel &channel) {
    if (skipAllowed == 0) {
        lexNeed(channel, target);
        if (std::strcmp(channel.sToken, target) != 0)
            fatalError(strFormat("Token [%s] not found", target), &channel);
        return;
    }
    // Skipping stops at the end of the input; the dispatcher then ends.
    for (;;) {
        lex(channel, 0);
        if (channel.atEof() || std::strcmp(channel.sToken, target) == 0) return;
    }
}

int testIsNum(const char *text, int integerOnly) {
    if (!isAsciiDigit(text[0])) return 0;
    for (const char *p = text + 1; *p; ++p) {
        int c = static_cast<unsigned char>(*p);
        if (isAsciiDigit(c)) continue;
        if (!isAsciiAlpha(c)) return 0;
        if (integerOnly == 1 || (c != 'e' && c != 'E')) return 0;
        for (++p; *p; ++p)
            if (!isAsciiDigit(static_cast<unsigned char>(*p))) return 0;
        return 1;
    }
    return 1;
}

void strCaseConvert(char *text, size_t maxLength, int toUpper) {
    for (size_t i = 0; i < maxLength && text[i]; ++i) {
        char c = text[i];
        if (toUpper && c >= 'a' && c <= 'z') text[i] = static_cast<char>(c - 'a' + 'A');
        if (!toUpper && c >= 'A' && c <= 'Z') text[i] = static_cast<char>(c - 'A' + 'a');
    }
}

void writeSvfSrc(FileChannel &channel, int reset) {
    if (channel.lSrcLineLen == 0 || iOptPrintSrc < 1 || iOptPrintSrc > 3) return;
    auto text = std::string_view(channel.sSrcLine, static_cast<size_t>(channel.lSrcLineLen));
    if (pFC_Ascii) {
        pFC_Ascii->putText("QCOMMENT ");
        pFC_Ascii->putText(text);
        pFC_Ascii->putByte('\n');
    }
    if (pFC_Output) {
        pFC_Output->putByte(qsvf::QCOMMENT);
        pFC_Output->putText(text);
        pFC_Output->putByte(0);
    }
    if (reset == 1) channel.resetSrcLineBuf();
}

}  // namespace svf

// The SVF lexer.  It reads an input FileChannel: it counts lines, groups
// characters into tokens, skips white space and comments, offers a
// one-character and a one-token push-back, and collects the raw text of the
// current command for the QCOMMENT echo.  A CR directly before a LF is
// dropped when read, so CR LF input reads exactly like LF input.  Its state
// lives in the channel (file_channel.h).
#ifndef SVF_SVF_LEXER_H
#define SVF_SVF_LEXER_H

#include <cstddef>
#include <string_view>

#include "file_channel.h"

namespace svf {

// Mode of lGetLong that admits only positive numbers.
inline constexpr int kPositiveOnly = 21;

void getFChanCharSlow(FileChannel &channel, int skipWhite);
// Reads the next character into iCurChar (counting lines, storing it for
// the echo); the common case is inline, the rest in getFChanCharSlow.
inline void getFChanChar(FileChannel &channel, int skipWhite) {
    if (channel.iCharState == kStateNormal) {
        int c = channel.peekBuffered();
        if (c >= 0 && c != '\r' && !(skipWhite && (c == ' ' || (c >= 9 && c <= 13)))) {
            channel.skipBuffered();
            channel.iCurChar = c;
            channel.storeSrcChar(c);
            if (c == '\n') ++channel.lLineNum;
            return;
        }
    }
    getFChanCharSlow(channel, skipWhite);
}
void skipComments(FileChannel &channel, const char *marker);
void getToken(FileChannel &channel);
void getNum(int firstChar, FileChannel &channel);
void lex(FileChannel &channel, int keepSpace);
// lex inside a command: the end of the input there means the command can
// never be completed, which is the fatal "Token [%s] not found" with the
// token that was expected.
void lexNeed(FileChannel &channel, const char *expected);
long lGetLong(int mode, FileChannel &channel);
void strSearch(const char *target, int skipAllowed, FileChannel &channel);
int testIsNum(const char *text, int integerOnly);
void strCaseConvert(char *text, size_t maxLength, int toUpper);
void writeSvfSrc(FileChannel &channel, int reset);

// Decimal text of a token to a 32-bit value; larger values are refused.
long tokenToLong(const char *text, FileChannel *lineChannel);

// The current token is the text: compared at the token's own length (a
// token never equals a keyword or punctuation through a zero byte).
inline bool tokenIs(const FileChannel &channel, std::string_view text) {
    return std::string_view(channel.sToken, channel.lTokenLen) == text;
}

// Character classes of the POSIX locale for 7-bit ASCII.
constexpr bool isAsciiAlpha(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool isAsciiDigit(int c) { return c >= '0' && c <= '9'; }
constexpr bool isAsciiSpace(int c) { return c == ' ' || (c >= 9 && c <= 13); }
constexpr bool isAsciiPunct(int c) { return c > 32 && c < 127 && !isAsciiAlpha(c) && !isAsciiDigit(c); }

}  // namespace svf

#endif  // SVF_SVF_LEXER_H

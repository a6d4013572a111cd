// File channels and the SVF lexer: buffered reading and writing, character
// reading with line counting and push-back, tokens, integers, token search,
// the number test and the QCOMMENT echo of the command text.
#include "file_channel.h"

#include <cstring>

#include <sys/stat.h>

#include "diagnostics.h"
#include "prog_state.h"
#include "qsvf_format.h"

namespace svf {

namespace {
constexpr size_t kBufferSize = size_t{1} << 20;

void copyToken(char *target, const char *source, size_t length) {
    std::memcpy(target, source, length);
    target[length] = '\0';
}
}  // namespace

FileChannel::FileChannel(std::string name) : sName(std::move(name)) { resetChannel(); }

FileChannel::~FileChannel() {
    if (pFile) {
        flush();
        std::fclose(pFile);
        pFile = nullptr;
    }
}

void FileChannel::resetChannel() {
    sLastToken[0] = sToken[0] = sLcToken[0] = '\0';
    lTokenLen = 0;
    resetSrcLineBuf();
    lLineNum = 1;
    iCurChar = 0;
    lWarnCount = lErrCount = 0;
    iTokenState = iCharState = kStateNormal;
}

void FileChannel::resetSrcLineBuf() {
    std::memset(sSrcLine, 0, sizeof sSrcLine);
    lSrcLineLen = 0;
}


void FileChannel::ensureBuffer() {
    if (!buf) {
        buf.reset(new unsigned char[kBufferSize]);
        cap = kBufferSize;
    }
}

bool FileChannel::refill() {
    if (!pFile || bEof) return false;
    if (lInputSize == -2) {
        struct stat info {};
        lInputSize = (fstat(fileno(pFile), &info) == 0 && S_ISREG(info.st_mode)) ? info.st_size : -1;
    }
    ensureBuffer();
    pos = 0;
    len = std::fread(buf.get(), 1, cap, pFile);
    lConsumed += static_cast<int64_t>(len);
    return len > 0;
}

void FileChannel::flush() {
    ensureBuffer();
    if (len > 0 && pFile) std::fwrite(buf.get(), 1, len, pFile);
    len = 0;
}

void FileChannel::putBytes(const void *data, size_t count) {
    const auto *bytes = static_cast<const unsigned char *>(data);
    ensureBuffer();
    while (count > 0) {
        if (len == cap) flush();
        size_t take = std::min(count, cap - len);
        std::memcpy(buf.get() + len, bytes, take);
        len += take;
        bytes += take;
        count -= take;
    }
}

void makeChannel(FileChannel *&channel, const std::string &name) { channel = new FileChannel(name); }

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
        token[n++] = static_cast<char>(c);
        for (;;) {
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

void lex(FileChannel &channel, int keepSpace) {
    if (channel.iTokenState != kStateNormal) {
        channel.iTokenState = kStateNormal;
        return;
    }
    for (;;) {
        channel.bTokenAtEof = false;
        if (channel.atEof()) return;
        getToken(channel);
        copyToken(channel.sLastToken, channel.sToken, channel.lTokenLen);
        if (channel.atEof()) {
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
        if (channel.iTokenType == TOK_SPACE && keepSpace == 1) return;
        if (channel.iTokenType != TOK_SPACE) {
            strCaseConvert(channel.sToken, channel.lTokenLen, 0);
            copyToken(channel.sLcToken, channel.sToken, channel.lTokenLen);
            return;
        }
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

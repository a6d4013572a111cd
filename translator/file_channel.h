// File channels.  Every file svf2qsvf touches (SVF input, QSVF output, log,
// text listing) is a FileChannel with its own large buffer; a regular input
// file is read through windows of the file mapped into memory instead, and a
// file that changes while it is read ends the run.  The stream and the
// listing are written under a temporary name and replace their targets only
// when the run commits them; every write is checked.  An input channel also
// holds the state of the SVF lexer that reads it (svf_lexer.h): the current
// token, the line number, the push-back states and the text of the current
// command kept for the echo.
#ifndef SVF_FILE_CHANNEL_H
#define SVF_FILE_CHANNEL_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "prog_state.h"
#include "qsvf_output_file.h"

namespace svf {

enum TokenType { TOK_NUMBER = 4, TOK_WORD = 5, TOK_PUNCT = 7, TOK_SPACE = 8, TOK_OTHER = 9 };

// Push-back states of iTokenState and iCharState.
inline constexpr int kStateNormal = 2;
inline constexpr int kStatePushedBack = 3;

class FileChannel {
public:
    explicit FileChannel(std::string name);
    ~FileChannel();
    FileChannel(const FileChannel &) = delete;
    FileChannel &operator=(const FileChannel &) = delete;

    std::FILE *pFile = nullptr;
    std::string sName;
    char sLastToken[100];
    char sToken[100];
    char sLcToken[100];
    char sSrcLine[70];
    long lLineNum = 1;
    long lSrcLineLen = 0;
    int iCurChar = 0;
    int iTokenState = kStateNormal;
    int iCharState = kStateNormal;
    int iTokenType = TOK_SPACE;
    size_t lTokenLen = 0;  // length of sToken as read
    long lWarnCount = 0;
    long lErrCount = 0;
    FileChannel *pNext = nullptr;

    void resetChannel();
    void resetSrcLineBuf();
    void storeSrcChar(int ch) {
        if (lSrcLineLen < 69 && srcStoring()) sSrcLine[lSrcLineLen++] = static_cast<char>(ch);
    }
    static bool srcStoring() { return iOptPrintSrc == 2 || iOptPrintSrc == 3; }

    // The end-of-file flag: set by the first read that finds no byte.
    bool atEof() const { return bEof; }
    // A word or number that ends at the last byte of the input is read
    // together with the end of the input; it is still a token.
    bool bTokenAtEof = false;
    // The last lex() delivered a token (not just the end of the input).
    bool tokenRead() const { return !bEof || bTokenAtEof; }

    // Raw byte input through the buffer; -1 at the end (sets the flag).
    int readByte() {
        if (pos == len && !refill()) {
            bEof = true;
            return -1;
        }
        return in[pos++];
    }
    // The next byte without consuming it; -1 at the end (flag untouched).
    int peekByte() {
        if (pos == len && !refill()) return -1;
        return in[pos];
    }
    // The next buffered byte without refilling, or -1.
    int peekBuffered() const { return pos < len ? in[pos] : -1; }
    void skipBuffered() { ++pos; }
    // Direct access to the buffered input for the scan-data reader.
    const unsigned char *bufferData() const { return in; }
    size_t &bufferPos() { return pos; }
    size_t bufferLen() const { return len; }
    bool refill();
    // Ends the run with "input changed while reading" when the input file
    // was cut short under its window, or its size or time of change is not
    // what it was when reading began.
    void checkInputUnchanged();
    // Whether an input window lost its pages since the last call.
    static bool consumeInputCutShort();
    void markEof() { bEof = true; }
    // A regular input file is read through windows of this size.
    static constexpr int64_t kInputWindow = int64_t{4} << 20;
    // Bytes of the input not read yet, or -1 when the size is unknown.
    int64_t remainingInput() const {
        return lInputSize < 0 ? -1 : lInputSize - lConsumed + static_cast<int64_t>(len - pos);
    }

    // Buffered output.  A write that fails ends the run with the error
    // "cannot write"; after it the channel drops what it is given.
    void putByte(uint8_t byte) {
        if (len == cap) flush();
        buf[len++] = byte;
    }
    void putBytes(const void *data, size_t count);
    void putText(std::string_view text) { putBytes(text.data(), text.size()); }
    // Room for count bytes (at most kOutputRoom) at the end of the buffer:
    // the caller writes them there and then calls advance with the number
    // written, so that a record is built in place.
    static constexpr size_t kOutputRoom = 4096;
    unsigned char *outputSpace(size_t count) {
        if (cap - len < count) flush();
        return buf.get() + len;
    }
    void advance(size_t count) { len += count; }
    void flush();

    // The stream or listing: opened under a temporary name beside the
    // target (a special file directly); false when it cannot be opened.
    bool openOutput();
    // Writes out the buffer and renames the file over its target; a failure
    // ends the run with the error "cannot write" and the target untouched.
    void commitOutput();
    // Writes out the buffer of a file written as the run goes (the log),
    // and, with close, closes it; a failure ends the run.
    void finishFile(bool close);
    // A write to this file failed: nothing more is written to it.
    bool bWriteFailed = false;

private:
    void ensureBuffer();
    bool writeBuffer();
    void writeFailure(int error);
    qsvf::OutputFile oOutput;
    bool mapWindow();
    void unmapWindow();
    std::unique_ptr<unsigned char[]> buf;
    // Input: the bytes being read, in buf or in a window of the file mapped
    // into memory (a regular file is read through windows, without a copy).
    const unsigned char *in = nullptr;
    void *pWindow = nullptr;
    size_t lWindowLen = 0;
    bool bInput = false;
    bool bMapFailed = false;
    bool bStreamAtConsumed = true;  // the stream's position is lConsumed
    size_t pos = 0;
    size_t len = 0;
    size_t cap = 0;
    bool bEof = false;
    int64_t lInputSize = -2;  // -2: not looked up yet; -1: unknown
    int64_t lConsumed = 0;    // bytes read from the file into the buffer so far
    struct timespec tInputModified {};  // time of change when reading began
};

void makeChannel(FileChannel *&channel, const std::string &name);
}  // namespace svf

#endif  // SVF_FILE_CHANNEL_H

// File channels: every file svf2qsvf reads or writes goes through one.  The
// input is read through a large buffer or, for a regular file, through
// windows of the file mapped into memory, guarded against the file being cut
// short under them (SIGBUS) and checked for changes while it is read; the
// outputs are written through the buffer, every write checked, the stream and
// the listing under a temporary name until the run commits them.  The lexer
// that reads an input channel's characters is in svf_lexer.cpp.
#include "file_channel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#if defined(__unix__) || defined(__APPLE__)
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#define SVF_MAPPED_INPUT 1
#endif

#include "diagnostics.h"

namespace svf {

namespace {
constexpr size_t kBufferSize = size_t{1} << 20;
// Input windows of a regular file: a multiple of any page size.
constexpr int64_t kWindowSize = FileChannel::kInputWindow;

#if defined(SVF_MAPPED_INPUT)
// A regular input is read through windows of the file mapped into memory.
// When another process cuts the file short while a window is mapped, the
// pages past the new end fault with SIGBUS.  While a window is mapped the
// handler below takes those faults: it maps zero pages over the rest of the
// window and notes that the input changed, and the reader reports "input
// changed while reading" at its next look at the file (the next window, the
// end of the input, any diagnostic), before anything of the run is renamed
// into place.  Any other SIGBUS gets the handling it had before.
volatile sig_atomic_t gInputCutShort = 0;
char *volatile gWindowBegin = nullptr;
char *volatile gWindowEnd = nullptr;
uintptr_t gPageMask = 0;
struct sigaction gPreviousBusAction;

void onBusError(int signal, siginfo_t *info, void * /*context*/) {
    char *address = static_cast<char *>(info->si_addr);
    char *begin = gWindowBegin, *end = gWindowEnd;
    if (info->si_code > 0 && begin && address >= begin && address < end) {
        auto *page = reinterpret_cast<char *>(reinterpret_cast<uintptr_t>(address) & ~gPageMask);
        if (mmap(page, static_cast<size_t>(end - page), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            gInputCutShort = 1;
            return;
        }
    }
    // A fault returns to the instruction, which faults again under the
    // handling restored here; a signal sent by a process is sent again.
    sigaction(SIGBUS, &gPreviousBusAction, nullptr);
    if (info->si_code <= 0) raise(signal);
}

// The handler is installed while any window is mapped (one is read at a
// time: the window mapped last is the one watched).
int gMappedWindows = 0;

void watchWindow(void *window, size_t length) {
    gWindowBegin = static_cast<char *>(window);
    gWindowEnd = static_cast<char *>(window) + length;
    if (gMappedWindows++ > 0) return;
    gPageMask = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)) - 1;
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &gPreviousBusAction);
}

void unwatchWindow(void *window) {
    if (gWindowBegin == window) {
        gWindowBegin = nullptr;
        gWindowEnd = nullptr;
    }
    if (--gMappedWindows == 0) sigaction(SIGBUS, &gPreviousBusAction, nullptr);
}
#endif
}  // namespace

FileChannel::FileChannel(std::string name) : sName(std::move(name)) { resetChannel(); }

FileChannel::~FileChannel() {
    unmapWindow();
    if (oOutput.isOpen()) {
        // A stream or listing the run did not commit: the target stays as
        // it was.
        oOutput.discard();
    } else if (pFile) {
        if (!bInput && !bWriteFailed) writeBuffer();
        std::fclose(pFile);
    }
    pFile = nullptr;
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
        if (lInputSize >= 0) tInputModified = info.st_mtim;
        bInput = true;
    }
    checkInputUnchanged();
    pos = 0;
    if (mapWindow()) return true;
    // A stream that is not a regular file, or a window that could not be
    // mapped.
#if defined(SVF_MAPPED_INPUT)
    if (!bStreamAtConsumed) {
        bStreamAtConsumed = fseeko(pFile, static_cast<off_t>(lConsumed), SEEK_SET) == 0;
        if (!bStreamAtConsumed) return false;
    }
#endif
    ensureBuffer();
    in = buf.get();
    len = std::fread(buf.get(), 1, cap, pFile);
    lConsumed += static_cast<int64_t>(len);
    if (len == 0 && lInputSize >= 0 && lConsumed != lInputSize) inputChangedError(sName);
    return len > 0;
}

void FileChannel::checkInputUnchanged() {
    if (consumeInputCutShort()) inputChangedError(sName);
    if (lInputSize < 0 || !pFile) return;
    // A regular file keeps its size and time of change while it is read.
    struct stat info {};
    if (fstat(fileno(pFile), &info) != 0 || info.st_size != lInputSize ||
        info.st_mtim.tv_sec != tInputModified.tv_sec || info.st_mtim.tv_nsec != tInputModified.tv_nsec)
        inputChangedError(sName);
}

bool FileChannel::consumeInputCutShort() {
#if defined(SVF_MAPPED_INPUT)
    if (gInputCutShort) {
        gInputCutShort = 0;
        return true;
    }
#endif
    return false;
}

bool FileChannel::mapWindow() {
    unmapWindow();
#if defined(SVF_MAPPED_INPUT)
    if (bMapFailed || lInputSize <= lConsumed) return false;
    size_t length = static_cast<size_t>(std::min(kWindowSize, lInputSize - lConsumed));
    int flags = MAP_PRIVATE;
#if defined(MAP_POPULATE)
    flags |= MAP_POPULATE;
#endif
    void *window = mmap(nullptr, length, PROT_READ, flags, fileno(pFile), static_cast<off_t>(lConsumed));
    if (window == MAP_FAILED) {
        bMapFailed = true;  // the rest is read through the stream
        return false;
    }
    watchWindow(window, length);
    pWindow = window;
    lWindowLen = length;
    in = static_cast<const unsigned char *>(window);
    len = length;
    lConsumed += static_cast<int64_t>(length);
    bStreamAtConsumed = false;
    return true;
#else
    return false;
#endif
}

void FileChannel::unmapWindow() {
#if defined(SVF_MAPPED_INPUT)
    if (pWindow) {
        unwatchWindow(pWindow);
        munmap(pWindow, lWindowLen);
    }
#endif
    pWindow = nullptr;
    lWindowLen = 0;
}

bool FileChannel::writeBuffer() {
    const size_t count = len;
    len = 0;
    if (count == 0 || !pFile || bWriteFailed) return true;
    if (oOutput.isOpen() ? oOutput.write(buf.get(), count) : std::fwrite(buf.get(), 1, count, pFile) == count)
        return true;
    bWriteFailed = true;
    return false;
}

void FileChannel::writeFailure(int error) {
    bWriteFailed = true;
    len = 0;
    writeError(sName, error != 0 ? error : EIO);
}

void FileChannel::flush() {
    if (bInput) return;  // the buffer holds input (or a window of it)
    ensureBuffer();
    if (!writeBuffer()) writeFailure(oOutput.isOpen() ? oOutput.errorNumber() : errno);
}

bool FileChannel::openOutput() {
    if (!oOutput.open(sName)) return false;
    pFile = oOutput.stream();
    return true;
}

void FileChannel::commitOutput() {
    flush();
    pFile = nullptr;
    if (!oOutput.commit()) writeFailure(oOutput.errorNumber());
}

void FileChannel::finishFile(bool close) {
    flush();
    if (!pFile) return;
    if (std::fflush(pFile) != 0 || std::ferror(pFile)) writeFailure(errno);
    if (!close) return;
    std::FILE *file = pFile;
    pFile = nullptr;
    if (std::fclose(file) != 0) writeFailure(errno);
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

}  // namespace svf

// Files in blocks: mapped windows where the system has them, else reads.
#include "file_blocks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "input_error.h"

#include <sys/stat.h>

#if __has_include(<sys/mman.h>)
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#define QSVFCHECK_MAPPED_FILES 1
#endif

namespace qsvfcheck {

namespace {

// Mapped windows are a multiple of any page size; read blocks are smaller.
constexpr size_t kWindowBytes = size_t{8} << 20;
constexpr size_t kReadBytes = size_t{1} << 20;

// The file of the first window that was cut short under the reader.
std::string g_changedFile;

#ifdef QSVFCHECK_MAPPED_FILES
// A file cut short by another process while a window of it is mapped makes
// the pages past its new end fault with SIGBUS.  While windows are mapped,
// the handler below takes those faults: it maps zero pages over the rest of
// the window and marks it, and the run reports "input changed while
// reading" for that file instead of anything read from the zero bytes.
// Any other SIGBUS gets the handling it had before.
constexpr int kWatchedWindows = 4;
char *volatile g_windowBegin[kWatchedWindows];
char *volatile g_windowEnd[kWatchedWindows];
volatile sig_atomic_t g_windowCutShort[kWatchedWindows];
int g_watchedCount = 0;
uintptr_t g_pageMask = 0;
struct sigaction g_previousBusAction;

void onBusError(int signal, siginfo_t *info, void * /*context*/) {
    char *address = static_cast<char *>(info->si_addr);
    for (int i = 0; info->si_code > 0 && i < kWatchedWindows; ++i) {
        char *begin = g_windowBegin[i], *end = g_windowEnd[i];
        if (!begin || address < begin || address >= end) continue;
        auto *page = reinterpret_cast<char *>(reinterpret_cast<uintptr_t>(address) & ~g_pageMask);
        if (mmap(page, static_cast<size_t>(end - page), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
            MAP_FAILED)
            break;
        g_windowCutShort[i] = 1;
        return;
    }
    // A fault returns to the instruction, which faults again under the
    // handling restored here; a signal sent by a process is sent again.
    sigaction(SIGBUS, &g_previousBusAction, nullptr);
    if (info->si_code <= 0) raise(signal);
}

// The slot of the window now watched, or -1 when all slots are taken (the
// window is then not mapped).
int watchWindow(void *window, size_t bytes) {
    for (int i = 0; i < kWatchedWindows; ++i) {
        if (g_windowBegin[i]) continue;
        if (g_watchedCount++ == 0) {
            g_pageMask = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)) - 1;
            struct sigaction action {};
            action.sa_sigaction = onBusError;
            action.sa_flags = SA_SIGINFO;
            sigemptyset(&action.sa_mask);
            sigaction(SIGBUS, &action, &g_previousBusAction);
        }
        g_windowCutShort[i] = 0;
        g_windowEnd[i] = static_cast<char *>(window) + bytes;
        g_windowBegin[i] = static_cast<char *>(window);
        return i;
    }
    return -1;
}

// Stops watching the slot; true when its window was cut short.
bool unwatchWindow(int slot) {
    g_windowBegin[slot] = nullptr;
    g_windowEnd[slot] = nullptr;
    const bool cutShort = g_windowCutShort[slot] != 0;
    g_windowCutShort[slot] = 0;
    if (--g_watchedCount == 0) sigaction(SIGBUS, &g_previousBusAction, nullptr);
    return cutShort;
}
#endif

}  // namespace

std::string FileBlocks::takeInputChange() {
    std::string message;
    if (!g_changedFile.empty()) message = g_changedFile + ": input changed while reading";
    g_changedFile.clear();
    return message;
}

void FileBlocks::checkNoInputChanged() {
    if (std::string message = takeInputChange(); !message.empty()) throw InputError(message);
}

void FileBlocks::inputChanged() {
    g_changedFile.clear();
    throw InputError(m_fileName + ": input changed while reading");
}

bool FileBlocks::unchanged() const {
    // A regular file keeps its size and time of change while it is read.
    struct stat info {};
    return fstat(fileno(m_file), &info) == 0 && static_cast<uint64_t>(info.st_size) == m_size &&
           info.st_mtim.tv_sec == m_modified.tv_sec && info.st_mtim.tv_nsec == m_modified.tv_nsec;
}

FileBlocks::FileBlocks(const std::string &fileName) : m_fileName(fileName) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(m_fileName, error)) {
        const bool exists = std::filesystem::exists(m_fileName, error);
        throw InputError(m_fileName + (exists ? ": cannot read: not a regular file" : ": cannot open: no such file"));
    }
    m_file = std::fopen(m_fileName.c_str(), "rb");
    if (!m_file) throw InputError(m_fileName + ": cannot open: " + std::strerror(errno));
    struct stat info {};
    if (fstat(fileno(m_file), &info) != 0) throw InputError(m_fileName + ": cannot read its size: " + std::strerror(errno));
    m_size = static_cast<uint64_t>(info.st_size);
    m_modified = info.st_mtim;
}

FileBlocks::~FileBlocks() {
    release();
    if (m_file) {
        // Zero bytes read past the new end of a file cut short inside its
        // last page fault nowhere: the file itself tells.
        if (g_changedFile.empty() && !unchanged()) g_changedFile = m_fileName;
        std::fclose(m_file);
    }
}

void FileBlocks::release() {
#ifdef QSVFCHECK_MAPPED_FILES
    if (m_window) {
        if (unwatchWindow(m_slot) && g_changedFile.empty()) g_changedFile = m_fileName;
        munmap(m_window, m_windowBytes);
    }
#endif
    m_window = nullptr;
}

bool FileBlocks::next(const uint8_t *&begin, const uint8_t *&end) {
    release();
    checkNoInputChanged();
    if (!unchanged()) inputChanged();
#ifdef QSVFCHECK_MAPPED_FILES
    if (m_mapping) {
        if (m_offset >= m_size) return false;
        m_windowBytes = static_cast<size_t>(std::min<uint64_t>(kWindowBytes, m_size - m_offset));
        void *window =
            mmap(nullptr, m_windowBytes, PROT_READ, MAP_PRIVATE, fileno(m_file), static_cast<off_t>(m_offset));
        if (window != MAP_FAILED && (m_slot = watchWindow(window, m_windowBytes)) < 0) munmap(window, m_windowBytes);
        if (window != MAP_FAILED && m_slot >= 0) {
            m_window = window;
            begin = static_cast<const uint8_t *>(window);
            end = begin + m_windowBytes;
            m_offset += m_windowBytes;
            return true;
        }
        // Read from here on.
        m_mapping = false;
        if (std::fseek(m_file, static_cast<long>(m_offset), SEEK_SET) != 0)
            throw InputError(m_fileName + ": cannot read: " + std::strerror(errno));
    }
#endif
    m_mapping = false;
    if (!m_buffer) m_buffer.reset(new uint8_t[kReadBytes]);
    const size_t got = std::fread(m_buffer.get(), 1, kReadBytes, m_file);
    if (got == 0) {
        if (std::ferror(m_file)) throw InputError(m_fileName + ": cannot read: " + std::strerror(errno));
        if (m_offset != m_size) inputChanged();
        return false;
    }
    m_offset += got;
    begin = m_buffer.get();
    end = begin + got;
    return true;
}

}  // namespace qsvfcheck

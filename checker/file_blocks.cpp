// Files in blocks: mapped windows where the system has them, else reads.
#include "file_blocks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "input_error.h"

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#define QSVFCHECK_MAPPED_FILES 1
#endif

namespace qsvfcheck {

namespace {

// Mapped windows are a multiple of any page size; read blocks are smaller.
constexpr size_t kWindowBytes = size_t{8} << 20;
constexpr size_t kReadBytes = size_t{1} << 20;

}  // namespace

FileBlocks::FileBlocks(const std::string &fileName) : m_fileName(fileName) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(m_fileName, error)) {
        const bool exists = std::filesystem::exists(m_fileName, error);
        throw InputError(m_fileName + (exists ? ": cannot read: not a regular file" : ": cannot open: no such file"));
    }
    m_file = std::fopen(m_fileName.c_str(), "rb");
    if (!m_file) throw InputError(m_fileName + ": cannot open: " + std::strerror(errno));
    m_size = std::filesystem::file_size(m_fileName, error);
    if (error) throw InputError(m_fileName + ": cannot read its size: " + error.message());
}

FileBlocks::~FileBlocks() {
    release();
    if (m_file) std::fclose(m_file);
}

void FileBlocks::release() {
#ifdef QSVFCHECK_MAPPED_FILES
    if (m_window) munmap(m_window, m_windowBytes);
#endif
    m_window = nullptr;
}

bool FileBlocks::next(const uint8_t *&begin, const uint8_t *&end) {
    release();
#ifdef QSVFCHECK_MAPPED_FILES
    if (m_mapping) {
        if (m_offset >= m_size) return false;
        m_windowBytes = static_cast<size_t>(std::min<uint64_t>(kWindowBytes, m_size - m_offset));
        void *window =
            mmap(nullptr, m_windowBytes, PROT_READ, MAP_PRIVATE, fileno(m_file), static_cast<off_t>(m_offset));
        if (window != MAP_FAILED) {
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
        return false;
    }
    m_offset += got;
    begin = m_buffer.get();
    end = begin + got;
    return true;
}

}  // namespace qsvfcheck

// Files read in blocks for qsvfcheck's two readers.  Where the system can map
// files into memory, each block is a window of the file mapped in place (no
// copy through a buffer, and the window is released before the next one is
// mapped, so memory does not grow with the file); elsewhere a block is read
// into a buffer.  A file that changes while it is read (cut short, grown,
// written) is the InputError "input changed while reading", never a signal.
#ifndef QSVFCHECK_FILE_BLOCKS_H
#define QSVFCHECK_FILE_BLOCKS_H

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

namespace qsvfcheck {

class FileBlocks {
public:
    // Opens the file; one that cannot be opened or is not a regular file is
    // an InputError.
    explicit FileBlocks(const std::string &fileName);
    ~FileBlocks();
    FileBlocks(const FileBlocks &) = delete;
    FileBlocks &operator=(const FileBlocks &) = delete;

    // The next block of the file, valid until the next call; false at the
    // end of the file.  A read error is an InputError.
    bool next(const uint8_t *&begin, const uint8_t *&end);
    uint64_t size() const { return m_size; }

    // The message "<file>: input changed while reading" for a file whose
    // mapped window was cut short since the last call, or an empty text;
    // checkNoInputChanged throws it as an InputError.
    static std::string takeInputChange();
    static void checkNoInputChanged();

private:
    void release();
    bool unchanged() const;
    [[noreturn]] void inputChanged();

    std::string m_fileName;
    std::FILE *m_file = nullptr;
    uint64_t m_size = 0;
    uint64_t m_offset = 0;  // of the next block
    void *m_window = nullptr;
    size_t m_windowBytes = 0;
    int m_slot = -1;         // of the mapped window in the SIGBUS handler's list
    bool m_mapping = true;  // mapping is tried until it fails once
    struct timespec m_modified {};  // time of change when the file was opened
    std::unique_ptr<uint8_t[]> m_buffer;
};

}  // namespace qsvfcheck

#endif  // QSVFCHECK_FILE_BLOCKS_H

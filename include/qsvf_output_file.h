// The output files of the translators, the merger and the dumper: a file
// that a run replaces only when it has written all of it.  A regular file,
// or a name that does not exist yet, is written under a temporary name in
// the target's own folder (".<name>.XXXXXX") and renamed over the target
// when the run commits it; any other end of the run (an error, a refused
// overwrite, an exception that unwinds past the owner) removes the
// temporary file and leaves the target as it was, absent or the old file
// byte for byte.  The new file keeps the old file's permission bits (a new
// one gets those the umask allows).  A file that cannot be renamed over (a
// terminal, /dev/null, a FIFO, a device, /dev/stdout and the other names
// of an open descriptor) is opened and written directly.  Every write,
// flush, close and the rename are checked; a failure keeps the system's
// error number so that the program can say why.
#ifndef QSVF_OUTPUT_FILE_H
#define QSVF_OUTPUT_FILE_H

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qsvf {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Opens the output named `name`; false, with the reason in
    // errorNumber(), when it cannot be written.
    bool open(const std::string &name) {
        discard();
        m_name = name;
        m_error = 0;
        struct stat info {};
        const bool exists = ::stat(name.c_str(), &info) == 0;
        if ((exists && !S_ISREG(info.st_mode)) || namesDescriptor(name)) return openDirect();
        std::string target = name;
        struct stat link {};
        if (::lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            // Through a symbolic link the file it names is replaced, not the
            // link; a link to nothing yet is written through directly.
            char *resolved = exists ? ::realpath(name.c_str(), nullptr) : nullptr;
            if (!resolved) return openDirect();
            target = resolved;
            std::free(resolved);
        }
        // A file the user may not write is not replaced behind the user's back.
        if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return fail(errno);
        const size_t slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
        std::string temporary = folder + "." + base.substr(0, 200) + ".XXXXXX";
        const int fd = ::mkstemp(temporary.data());
        if (fd < 0) return fail(errno);
        if (::fchmod(fd, exists ? (info.st_mode & 07777) : (0666 & ~currentUmask())) != 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            return fail(error);
        }
        // The old file's owner and group are kept where the system allows it.
        if (exists && (info.st_uid != ::geteuid() || info.st_gid != ::getegid()) &&
            ::fchown(fd, info.st_uid, info.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), info.st_gid) != 0) {
            // Then the new file belongs to the user who wrote it.
        }
        m_file = ::fdopen(fd, "wb");
        if (!m_file) {
            const int error = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            return fail(error);
        }
        m_target = target;
        m_temporary = temporary;
        return true;
    }

    bool isOpen() const { return m_file != nullptr; }
    std::FILE *stream() const { return m_file; }
    const std::string &name() const { return m_name; }
    // Written directly (a special file) rather than renamed into place.
    bool isDirect() const { return m_file && m_temporary.empty(); }

    // Writes count bytes; false after any failure, and nothing is written
    // after the first one.
    bool write(const void *data, size_t count) {
        if (!m_file || m_error != 0) return false;
        if (count > 0 && std::fwrite(data, 1, count, m_file) != count) return fail(errno);
        return true;
    }

    // Flushes and closes the file and, when it was written under a
    // temporary name, renames it over the target.  False, with the reason
    // in errorNumber(), when any step fails; the temporary file is then
    // removed and the target is as it was.
    bool commit() {
        if (!m_file) return m_error == 0;
        std::FILE *file = m_file;
        m_file = nullptr;
        int error = m_error;
        if (std::fflush(file) != 0 && error == 0) error = errno;
        if (std::ferror(file) && error == 0) error = EIO;
        if (std::fclose(file) != 0 && error == 0) error = errno;
        if (error == 0 && !m_temporary.empty() && std::rename(m_temporary.c_str(), m_target.c_str()) != 0)
            error = errno;
        if (error != 0) {
            removeTemporary();
            return fail(error);
        }
        m_temporary.clear();
        return true;
    }

    // Closes the file and removes the temporary one: the target is left as
    // it was.  A special file written directly keeps what it was given.
    void discard() {
        if (m_file) std::fclose(m_file);
        m_file = nullptr;
        removeTemporary();
    }

    // The system's error number of the failure (0 when there was none).
    int errorNumber() const { return m_error; }
    std::string reason() const { return std::strerror(m_error != 0 ? m_error : EIO); }

private:
    bool openDirect() {
        m_file = std::fopen(m_name.c_str(), "wb");
        return m_file ? true : fail(errno);
    }

    bool fail(int error) {
        if (m_error == 0) m_error = error != 0 ? error : EIO;
        return false;
    }

    void removeTemporary() {
        if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
        m_temporary.clear();
    }

    // A name of an open descriptor (/dev/stdout, /dev/fd/1, /proc/self/fd/1)
    // may lead to a regular file, but the descriptor is what the user
    // means: it is written, not a file renamed over the place it names.
    static bool namesDescriptor(const std::string &name) {
        char link[PATH_MAX];
        const ssize_t length = ::readlink(name.c_str(), link, sizeof link - 1);
        if (length > 0 && std::string(link, static_cast<size_t>(length)).rfind("/proc/", 0) == 0) return true;
        const size_t slash = name.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
        char *resolved = ::realpath(folder.c_str(), nullptr);
        const bool inProc = resolved && std::string(resolved).rfind("/proc/", 0) == 0;
        std::free(resolved);
        return inProc;
    }

    static mode_t currentUmask() {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        return mask;
    }

    std::string m_name, m_target, m_temporary;
    std::FILE *m_file = nullptr;
    int m_error = 0;
};

}  // namespace qsvf

#endif  // QSVF_OUTPUT_FILE_H

// The database file of the frame store: one header of 228 bytes, then every
// frame in handle order as a 12-byte entry followed by its data.
//
// Every word of the file is a 32-bit word in the byte order of the machine
// that wrote it (a file moves only between machines of the same order).  The
// header and the entries are built and taken apart word by word, never by
// copying an in-memory structure: the slot and the entries hold pointers,
// which are 64 bits wide here.  Pointer words are written as 0.
//
// Writing goes to "<base>.$$$" and replaces "<base>.vm6" by a rename only
// after every byte was written and flushed, so a failed save leaves the old
// database as it was.  Reading checks every count against the bytes that are
// left in the file before it allocates anything.
#include "vm_internal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vm_detail {
namespace {

// Header layout: byte offsets of the words.
constexpr int H_NAME = 0;         // name pointer (ignored)
constexpr int H_ATTR = 4;         // attribute word (ignored)
constexpr int H_TABLE = 8;        // table pointer (ignored)
constexpr int H_CREATED = 12;
constexpr int H_OPENED = 16;      // ignored
constexpr int H_LAST_WRITE = 20;
constexpr int H_VERSION = 24;
constexpr int H_RELEASE = 28;
constexpr int H_TOTAL = 32;
constexpr int H_DIRECTORIES = 36; // 16 x {table pointer, used, capacity}
static_assert(H_DIRECTORIES + VM_DIRECTORIES * 12 == VM_HEADER_SIZE);

constexpr int PIECE = 4096;       // largest data piece of one write
constexpr int SMALL_FRAME = 511;  // first read: frames up to this size go to the pool

void put_word(unsigned char *at, std::uint32_t value)
{
    std::memcpy(at, &value, 4);  // machine byte order
}

std::uint32_t get_word(const unsigned char *at)
{
    std::uint32_t value;
    std::memcpy(&value, at, 4);
    return value;
}

// One write of the database file, flushed at once; false on any failure.
bool write_piece(std::FILE *f, const void *data, std::size_t size)
{
    vm_write_function write = store().write ? store().write : &std::fwrite;
    if (write(data, 1, size, f) != size)
        return false;
    return std::fflush(f) == 0;
}

int fail_write(std::FILE *f, const std::string &temp, int number)
{
    std::fclose(f);
    std::remove(temp.c_str());
    return vm_error_code(number);
}

// Every damaged-file stop ends with status 2, the status of a bad header:
// the file cannot be used, whatever part of it is wrong.
[[noreturn]] void damaged(const FileSlot &slot, const char *note, int status)
{
    write_note(slot.base, note);
    stop(status);
}

}  // namespace
}  // namespace vm_detail

using namespace vm_detail;

int vm_write_file(const char *name, int keep)
{
    FileSlot *f = current_slot();
    if (!f)
        return vm_error_code(2010);
    if (name && *name)
        f->base = name;
    const std::string temp = f->base + ".$$$";
    const std::string data = f->base + ".vm6";

    std::FILE *out = std::fopen(temp.c_str(), "wb");
    if (!out) {
        print("%s: %s\n", temp.c_str(), std::strerror(errno));
        return vm_error_code(2010);
    }
    f->last_write = static_cast<std::uint32_t>(std::time(nullptr));
    f->version = VM_VERSION;
    f->release = VM_RELEASE;

    unsigned char header[VM_HEADER_SIZE] = {};
    put_word(header + H_NAME, 0);
    put_word(header + H_ATTR, f->attr);
    put_word(header + H_TABLE, 0);
    put_word(header + H_CREATED, f->created);
    put_word(header + H_OPENED, f->opened);
    put_word(header + H_LAST_WRITE, f->last_write);
    put_word(header + H_VERSION, f->version);
    put_word(header + H_RELEASE, f->release);
    put_word(header + H_TOTAL, f->total);
    for (int d = 0; d < VM_DIRECTORIES; ++d) {
        unsigned char *at = header + H_DIRECTORIES + d * 12;
        put_word(at, 0);
        put_word(at + 4, static_cast<std::uint32_t>(f->dirs[d].used));
        put_word(at + 8, static_cast<std::uint32_t>(f->dirs[d].capacity));
    }
    if (!write_piece(out, header, sizeof header))
        return fail_write(out, temp, 2016);

    for (std::uint32_t n = 0; n < f->total; ++n) {
        const Directory &dir = f->dirs[n / VM_FRAMES_PER_DIRECTORY];
        const int index = static_cast<int>(n % VM_FRAMES_PER_DIRECTORY);
        // A released directory inside the count is written as empty frames.
        const FrameEntry blank;
        const FrameEntry &e = (dir.table && index < dir.used) ? dir.table[index] : blank;
        const std::uint32_t size = e.data ? e.size : 0;
        unsigned char entry[VM_ENTRY_SIZE];
        put_word(entry, e.flags & ~VM_FLAG_POOL);
        put_word(entry + 4, size);
        put_word(entry + 8, 0);
        if (!write_piece(out, entry, sizeof entry))
            return fail_write(out, temp, 2021);
        for (std::uint32_t done = 0; done < size;) {
            const std::uint32_t piece = std::min<std::uint32_t>(PIECE, size - done);
            const bool last = done + piece == size;
            if (!write_piece(out, e.data + done, piece))
                return fail_write(out, temp, last ? 2017 : 2021);
            done += piece;
        }
    }
    if (std::fclose(out) != 0) {
        std::remove(temp.c_str());
        return vm_error_code(2017);
    }
    // rename() replaces the old database in one step; removing it first would
    // leave a moment with no database at all.
    if (std::rename(temp.c_str(), data.c_str()) != 0) {
        print("%s: %s\n", data.c_str(), std::strerror(errno));
        std::remove(temp.c_str());
        return vm_error_code(2010);
    }
    if (!keep)
        vm_reset_environ();
    return 0;
}

int vm_read_file(int slot)
{
    Store &s = store();
    FileSlot *f = open_slot(slot);
    if (!f)
        return vm_error_code(1);
    const std::string name = f->base + ".vm6";
    std::FILE *in = std::fopen(name.c_str(), "rb");
    if (!in) {
        print("\nvmF%d:%s,Cannot open file\n", 2010, name.c_str());
        write_note(f->base, "Cannot open file");
        return vm_error_code(1);
    }
    // The file's size bounds every count taken from it.
    long file_size = -1;
    if (std::fseek(in, 0, SEEK_END) == 0)
        file_size = std::ftell(in);
    std::rewind(in);
    struct Closer {
        std::FILE *f;
        ~Closer() { std::fclose(f); }
    } closer{in};

    unsigned char header[VM_HEADER_SIZE];
    if (file_size < VM_HEADER_SIZE || std::fread(header, 1, sizeof header, in) != sizeof header) {
        print("\nvmF%d:%s,Invalid file header\nPlease ensure you have enough disk space and "
              "write-access to the files in this directory\n",
              2011, name.c_str());
        damaged(*f, "Invalid file header.", 2);
    }
    const std::uint32_t version = get_word(header + H_VERSION);
    if (version != VM_VERSION) {
        print("Expecting Database Version %d and found %d.\nPlease regenerate the vm6 file with the "
              "latest software.\n",
              static_cast<int>(VM_VERSION), static_cast<int>(version));
        if (version != 3)
            print("Do NOT try to run UNIX-programs on pc-databases and vice versa.");
        print("\nvmF%d:%s,Invalid file version\n", 2019, name.c_str());
        damaged(*f, "Invalid file version.", 2);
    }
    const std::uint32_t release = get_word(header + H_RELEASE);
    if (release != VM_RELEASE) {
        print("Expecting Database Release %d and found %d\n", static_cast<int>(VM_RELEASE),
              static_cast<int>(release));
        print("\nvmF%d:%s,Invalid file release\n", 2020, name.c_str());
        damaged(*f, "Invalid file release.", 2);
    }
    const std::uint32_t total = get_word(header + H_TOTAL);

    release_frames(*f);
    const bool first_read = !s.read_done;
    s.read_done = true;
    if (first_read && !s.read_pool.active) {
        s.read_pool.active = true;
        s.read_pool.frame_mode = false;
        s.read_pool.block_size = VM_SEGMENT_PTR_BLOCK;
    }
    long left = file_size - VM_HEADER_SIZE;
    for (std::uint32_t n = 0; n < total; ++n) {
        if (n >= static_cast<std::uint32_t>(VM_FRAMES_PER_DIRECTORY) * VM_DIRECTORIES)
            append_entry(*f, FrameEntry{});  // refuses the seventeenth directory and stops
        unsigned char raw[VM_ENTRY_SIZE];
        if (left < VM_ENTRY_SIZE || std::fread(raw, 1, sizeof raw, in) != sizeof raw) {
            print("\nvmF%d:%s,Cannot read frame header #%d!\n", 2013, name.c_str(), static_cast<int>(n));
            damaged(*f, "Cannot read frame header.", 2);
        }
        left -= VM_ENTRY_SIZE;
        FrameEntry e;
        e.flags = get_word(raw) & ~VM_FLAG_POOL;
        e.size = get_word(raw + 4);
        if (n == 0 && e.size != VM_ENVIRONMENT_SIZE) {
            print("\nvmF%d:%s,Invalid database! frame %d size=%d should be %d!\n", 2023, name.c_str(), 0,
                  static_cast<int>(e.size), VM_ENVIRONMENT_SIZE);
            damaged(*f, "Invalid database.", 2);
        }
        if (e.size > 0) {
            // Never allocate more than the file can still deliver.
            if (static_cast<long>(e.size) > left) {
                print("\nvmF%d:%s,Cannot read data for frame number %d!\n", 2012, name.c_str(),
                      static_cast<int>(n));
                damaged(*f, "Cannot read data for frame.", 2);
            }
            if (first_read && e.size <= SMALL_FRAME) {
                e.data = carve(s.read_pool, static_cast<int>(e.size) + 1, nullptr, nullptr);
                if (e.data)
                    e.flags |= VM_FLAG_POOL;
            }
            if (!e.data)
                e.data = static_cast<unsigned char *>(std::malloc(e.size));
            if (!e.data) {
                print("\nvmF%d:%s,Cannot read data for frame number %d!\n", 2012, name.c_str(),
                      static_cast<int>(n));
                damaged(*f, "Cannot read data for frame.", 2);
            }
            const bool got = std::fread(e.data, 1, e.size, in) == e.size;
            if (!got) {
                if (!(e.flags & VM_FLAG_POOL))
                    std::free(e.data);
                print("\nvmF%d:%s,Cannot read data for frame number %d!\n", 2012, name.c_str(),
                      static_cast<int>(n));
                damaged(*f, "Cannot read data for frame.", 2);
            }
            left -= e.size;
        }
        append_entry(*f, e);
    }
    f->created = get_word(header + H_CREATED);
    f->last_write = get_word(header + H_LAST_WRITE);
    f->version = version;
    f->release = release;
    f->total = total;
    f->opened = static_cast<std::uint32_t>(std::time(nullptr));
    return 0;
}

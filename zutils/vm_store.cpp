// The frame store: eight file slots of sixteen directories of 4000 frames,
// frame allocation and look-up by handle, and file selection with the
// exchange of the environment record.  The segment pools that carve small
// pieces from larger blocks are in vm_segments.cpp; the database file itself
// is read and written in vm_database.cpp.
#include "vm_internal.h"

#include <Lmr_Zutils/pt_msg.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vm_detail {

Store &store()
{
    static Store instance;
    return instance;
}

FileSlot *open_slot(int slot)
{
    Store &s = store();
    if (slot < 0 || slot >= VM_FILES || !(s.slots[slot].attr & VM_ATTR_IN_USE))
        return nullptr;
    return &s.slots[slot];
}

FileSlot *current_slot()
{
    return open_slot(store().current);
}

FrameEntry *entry_of(FileSlot &slot, int handle)
{
    if (handle < 0)
        return nullptr;
    const int directory = handle >> 12;
    const int index = handle & 0xfff;
    // Slot numbers 4000 to 4095 fit the handle's bits but name no frame.
    if (directory >= VM_DIRECTORIES || index >= VM_FRAMES_PER_DIRECTORY)
        return nullptr;
    if (static_cast<std::uint32_t>(index + VM_FRAMES_PER_DIRECTORY * directory) >= slot.total)
        return nullptr;
    Directory &dir = slot.dirs[directory];
    if (!dir.table || index >= dir.used)
        return nullptr;
    return &dir.table[index];
}

int append_entry(FileSlot &slot, const FrameEntry &entry)
{
    for (int d = 0; d < VM_DIRECTORIES; ++d) {
        Directory &dir = slot.dirs[d];
        if (dir.table && dir.used >= dir.capacity)
            continue;
        if (!dir.table) {
            dir.table = std::make_unique<FrameEntry[]>(VM_FRAMES_PER_DIRECTORY);
            dir.capacity = VM_FRAMES_PER_DIRECTORY;
            dir.used = 0;
        }
        const int index = dir.used++;
        dir.table[index] = entry;
        ++slot.total;
        return (d << 12) | index;
    }
    // The entry's data is the caller's new block: it goes with the stop.
    if (!(entry.flags & VM_FLAG_POOL))
        std::free(entry.data);
    print("\nvmF%d:All frame directories are full!\n", 2005);
    write_note(slot.base, "All frame directories are full.");
    stop(9);
}

void release_frames(FileSlot &slot)
{
    for (Directory &dir : slot.dirs) {
        if (dir.table) {
            for (int i = 0; i < dir.used; ++i) {
                FrameEntry &e = dir.table[i];
                if (!(e.flags & VM_FLAG_POOL))
                    std::free(e.data);
                e = FrameEntry{};
            }
        }
        dir.table.reset();
        dir.used = 0;
        dir.capacity = 0;
    }
    slot.total = 0;
}

void print(const char *format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fflush(stdout);
}

void stop(int status)
{
    pt_terminate(status);
}

void report(int number)
{
    pt_err(vm_error_code(number));
}

void report(int number, int a, int b)
{
    pt_err(vm_error_code(number), a, b);
}

void write_note(const std::string &base, const char *text)
{
    const std::string name = base + ".lo1";
    if (std::FILE *f = std::fopen(name.c_str(), "w")) {
        std::fprintf(f, "Internal error:%s\n", text);
        std::fclose(f);
    }
}

}  // namespace vm_detail

using namespace vm_detail;

int vm_error_code(int number)
{
    return (7 << 24) | (2 << 16) | number;
}

void vm_init()
{
    Store &s = store();
    for (FileSlot &slot : s.slots) {
        release_frames(slot);
        slot = FileSlot{};
    }
    release_pool(s.pool);
    release_pool(s.read_pool);
    s.settings = Settings{};
    s.current = -1;
    s.read_done = false;
    s.environment = nullptr;
    s.environment_slot = -1;
    // The write hook is a test fixture's; it survives vm_init on purpose.
}

int vm_open_file(const char *name)
{
    Store &s = store();
    if (!name || !*name) {
        print("\nvmF%d:No filename specified!\n", 2009);
        return -1;
    }
    for (int i = 0; i < s.settings.files; ++i) {
        FileSlot &slot = s.slots[i];
        if (slot.attr & VM_ATTR_IN_USE)
            continue;
        slot = FileSlot{};
        slot.base = name;
        slot.attr = VM_ATTR_IN_USE | s.settings.default_flags;
        const auto now = static_cast<std::uint32_t>(std::time(nullptr));
        slot.created = now;
        slot.opened = now;
        if (s.current < 0)
            s.current = i;
        return i;
    }
    print("\nvmF%d:%s,Cannot open more than %d files!\n", 2022, name, s.settings.files);
    return -1;
}

void vm_close_file(int slot)
{
    Store &s = store();
    FileSlot *f = open_slot(slot);
    if (!f)
        return;
    if (s.pool.frame_mode && s.pool.slot == slot)
        release_pool(s.pool);
    release_frames(*f);
    *f = FileSlot{};
    if (s.current == slot)
        s.current = -1;
    if (s.environment_slot == slot)
        s.environment_slot = -1;
}

int vm_select_file(int slot)
{
    Store &s = store();
    const int previous = s.current;
    FileSlot *next = open_slot(slot);
    if (!next)
        return previous;
    FileSlot *old = open_slot(previous);
    if (s.environment && old && old != next) {
        FrameEntry *from = entry_of(*old, 0);
        FrameEntry *to = entry_of(*next, 0);
        if (from && to && from->size == VM_ENVIRONMENT_SIZE && to->size == VM_ENVIRONMENT_SIZE &&
            from->data && to->data) {
            // The first member points to the run-time part of this process:
            // it stays as it is, whatever the new file's record holds.
            void *runtime;
            std::memcpy(&runtime, s.environment, sizeof runtime);
            std::memcpy(from->data, s.environment, VM_ENVIRONMENT_SIZE);
            std::memcpy(s.environment, to->data, VM_ENVIRONMENT_SIZE);
            std::memcpy(s.environment, &runtime, sizeof runtime);
            s.environment_slot = slot;
        }
    }
    s.current = slot;
    return previous;
}

int vm_current_file()
{
    return store().current;
}

long vm_last_write()
{
    FileSlot *f = current_slot();
    return f ? static_cast<long>(f->last_write) : 0;
}

void vm_set_attr(unsigned bits)
{
    if (FileSlot *f = current_slot())
        f->attr |= bits;
}

void vm_clear_attr(unsigned bits)
{
    // The in-use bit belongs to the store, not to its callers.
    if (FileSlot *f = current_slot())
        f->attr &= ~(bits & ~VM_ATTR_IN_USE);
}

unsigned vm_get_attr()
{
    FileSlot *f = current_slot();
    return f ? f->attr : 0;
}

int vm_frame_count(int slot)
{
    FileSlot *f = open_slot(slot);
    return f ? static_cast<int>(f->total) : -1;
}

const char *vm_base_name(int slot)
{
    FileSlot *f = open_slot(slot);
    return f ? f->base.c_str() : nullptr;
}

static std::string file_name(int slot, const char *extension)
{
    FileSlot *f = open_slot(slot);
    return f ? f->base + "." + extension : std::string();
}

std::string vm_data(int slot) { return file_name(slot, "vm6"); }
std::string vm_temp(int slot) { return file_name(slot, "$$$"); }
std::string vm_back(int slot) { return file_name(slot, "vmb"); }

int vm_malloc(long size)
{
    Store &s = store();
    FileSlot *f = current_slot();
    if (size <= 0 || !f)
        return -1;
    if (size > 0x7fffffffL)
        return -1;
    FrameEntry entry;
    entry.flags = f->attr;
    entry.size = static_cast<std::uint32_t>(size);
    entry.data = static_cast<unsigned char *>(std::malloc(size));
    if (!entry.data)
        return -1;
    std::memset(entry.data, (s.settings.default_flags & VM_SETTING_FILL) ? s.settings.fill : 0, size);
    return append_entry(*f, entry);
}

void *vm_realloc(int handle, long size)
{
    FileSlot *f = current_slot();
    FrameEntry *e = f ? entry_of(*f, handle) : nullptr;
    if (!e) {
        if (handle != -1)
            report(2006);
        return nullptr;
    }
    if (size <= 0) {
        if (!(e->flags & VM_FLAG_POOL))
            std::free(e->data);
        e->data = nullptr;
        e->size = 0;
        e->flags &= ~VM_FLAG_POOL;
        return nullptr;
    }
    if (size > 0x7fffffffL)
        return nullptr;
    if (e->flags & VM_FLAG_POOL) {
        auto *fresh = static_cast<unsigned char *>(std::calloc(1, size));
        if (!fresh)
            return nullptr;
        std::memcpy(fresh, e->data, std::min<long>(size, e->size));
        e->data = fresh;
        e->flags &= ~VM_FLAG_POOL;
    } else {
        void *grown = std::realloc(e->data, size);
        if (!grown)
            return nullptr;
        e->data = static_cast<unsigned char *>(grown);
        // Bytes beyond the old size start as zero, like a new frame.
        if (size > static_cast<long>(e->size))
            std::memset(e->data + e->size, 0, size - e->size);
    }
    e->size = static_cast<std::uint32_t>(size);
    return e->data;
}

void *vm_frame_ptr(int handle)
{
    FileSlot *f = current_slot();
    FrameEntry *e = f ? entry_of(*f, handle) : nullptr;
    return e ? e->data : nullptr;
}

void *vm_get_frame(int handle)
{
    if (handle == -1)
        return nullptr;
    FileSlot *f = current_slot();
    FrameEntry *e = f ? entry_of(*f, handle) : nullptr;
    if (!e) {
        report(2006);
        return nullptr;
    }
    if (e->size == 0) {
        report(2007);
        return nullptr;
    }
    if (!e->data) {
        report(2008);
        return nullptr;
    }
    return e->data;
}

long vm_frame_size(int handle)
{
    FileSlot *f = current_slot();
    FrameEntry *e = f ? entry_of(*f, handle) : nullptr;
    return e ? static_cast<long>(e->size) : 0;
}

unsigned vm_frame_flags(int handle)
{
    FileSlot *f = current_slot();
    FrameEntry *e = f ? entry_of(*f, handle) : nullptr;
    return e ? e->flags : 0;
}

bool vm_frame_exists(int handle)
{
    FileSlot *f = current_slot();
    return f && entry_of(*f, handle) != nullptr;
}

int vm_fiddup(int slot, int handle)
{
    if (handle == -1)
        return -1;
    FileSlot *from = open_slot(slot);
    FrameEntry *e = from ? entry_of(*from, handle) : nullptr;
    if (!e) {
        report(2006);
        return -1;
    }
    if (e->size == 0 || !e->data)
        return -1;
    // Copy first: the new frame may land in the same file and move nothing,
    // but the source entry pointer must not be used after the append.
    const std::uint32_t size = e->size;
    std::vector<unsigned char> copy(e->data, e->data + size);
    const int fresh = vm_malloc(size);
    if (fresh < 0)
        return -1;
    std::memcpy(vm_frame_ptr(fresh), copy.data(), size);
    return fresh;
}

void vm_free_page(int directory)
{
    FileSlot *f = current_slot();
    if (!f || directory < 0 || directory >= VM_DIRECTORIES)
        return;
    Directory &dir = f->dirs[directory];
    if (!dir.table)
        return;
    for (int i = 0; i < dir.used; ++i) {
        FrameEntry &e = dir.table[i];
        if (!(e.flags & VM_FLAG_POOL))
            std::free(e.data);
    }
    f->total -= static_cast<std::uint32_t>(dir.used);
    dir.table.reset();
    dir.used = 0;
    dir.capacity = 0;
}

void vm_reset_environ()
{
    for (int d = VM_DIRECTORIES - 1; d >= 1; --d)
        vm_free_page(d);
}

void vm_set_environment_record(void *record, int slot)
{
    store().environment = record;
    store().environment_slot = record ? slot : -1;
}

int vm_environment_file()
{
    return store().environment ? store().environment_slot : -1;
}

int vm_use_file(int slot)
{
    Store &s = store();
    const int previous = s.current;
    if (open_slot(slot))
        s.current = slot;
    return previous;
}

void vm_set_write_function(vm_write_function function)
{
    store().write = function;
}

// Private state of the frame store, shared by vm_store.cpp (frames, pools,
// file slots) and vm_database.cpp (the database file reader and writer).
#pragma once

#include <Lmr_Zutils/vm_store.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vm_detail {

struct FrameEntry {
    std::uint32_t flags = 0;
    std::uint32_t size = 0;
    unsigned char *data = nullptr;
};

struct Directory {
    std::unique_ptr<FrameEntry[]> table;  // VM_FRAMES_PER_DIRECTORY entries
    int used = 0;
    int capacity = 0;
};

struct FileSlot {
    std::string base;
    std::uint32_t attr = 0;
    std::uint32_t created = 0;
    std::uint32_t opened = 0;
    std::uint32_t last_write = 0;
    std::uint32_t version = VM_VERSION;
    std::uint32_t release = VM_RELEASE;
    std::uint32_t total = 0;
    Directory dirs[VM_DIRECTORIES];
};

struct Settings {
    int frames_per_directory = VM_FRAMES_PER_DIRECTORY;
    unsigned default_flags = 0x8000;
    unsigned char fill = 0;
    int files = VM_FILES;
    int directories = VM_DIRECTORIES;
};

// One block of a segment pool.  In pointer mode `data` is a heap block and
// `handle` is -1; in frame mode `handle` is the block's frame in `slot`.
struct PoolBlock {
    unsigned char *data = nullptr;
    int handle = -1;
    int used = 0;
};

struct Pool {
    bool active = false;
    bool frame_mode = false;
    int block_size = VM_SEGMENT_PTR_BLOCK;
    int slot = -1;                 // frame mode: file owning the blocks
    int list_handle = -1;          // frame mode: the frame listing the blocks
    std::vector<PoolBlock> blocks; // pointer mode: grows by 5 entries
};

struct Store {
    Settings settings;
    FileSlot slots[VM_FILES];
    int current = -1;
    bool read_done = false;        // a database was already read in this run
    Pool pool;                     // the callers' pool (vm_seg_*)
    Pool read_pool;                // pointer-mode pool of small frames read from files
    void *environment = nullptr;   // record exchanged by vm_select_file
    int environment_slot = -1;     // file whose frame 0 the record stands for
    vm_write_function write = nullptr;
};

Store &store();
FileSlot *current_slot();
FileSlot *open_slot(int slot);

// Entry of a handle in a slot, or nullptr when the handle is not valid.
FrameEntry *entry_of(FileSlot &slot, int handle);

// Appends a frame entry to a slot (creating its directory if needed); stops
// the process when all directories are full, releasing the entry's data
// first.  Returns the new handle.
int append_entry(FileSlot &slot, const FrameEntry &entry);

// Releases every frame and directory of a slot (keeps the slot itself).
void release_frames(FileSlot &slot);

// Carves a piece from a pool (pointer or frame mode); nullptr on failure.
unsigned char *carve(Pool &pool, int size, int *handle, int *offset);
void release_pool(Pool &pool);

// Console output of the store's own texts.
void print(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Writes the one-line note "Internal error:<text>" into <base>.lo1.
void write_note(const std::string &base, const char *text);

// Ends the process through the library's single exit path.
[[noreturn]] void stop(int status);

// Reports a store message of component 7 through the message service.
void report(int number);
void report(int number, int a, int b);

}  // namespace vm_detail

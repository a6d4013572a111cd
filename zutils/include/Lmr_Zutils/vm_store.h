// The frame store of the design tools: numbered, individually allocated
// blocks ("frames") addressed by handle, kept per open database file and
// saved to / reloaded from one database file in a single piece.
//
// A handle holds the directory index in bits 12 and up and the slot index
// within the directory in bits 0 to 11; -1 is "no frame".  Up to eight files
// may be open; all frame operations act on the current one.  Frame 0 of every
// file holds the 800-byte environment record of the tool start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Store geometry and flags.
inline constexpr int VM_FRAMES_PER_DIRECTORY = 4000;
inline constexpr int VM_DIRECTORIES = 16;
inline constexpr int VM_FILES = 8;
inline constexpr unsigned VM_ATTR_IN_USE = 0x2000;     // slot attribute: slot in use
inline constexpr unsigned VM_ATTR_ENVIRONMENT = 0x8000; // set while the environment is created
inline constexpr unsigned VM_FLAG_POOL = 0x200;        // frame data lies in a segment pool
inline constexpr unsigned VM_SETTING_FILL = 0x4000;     // settings: fill new frames with the fill byte
inline constexpr int VM_ENVIRONMENT_SIZE = 800;         // size of frame 0
inline constexpr int VM_HEADER_SIZE = 228;              // database file header
inline constexpr int VM_ENTRY_SIZE = 12;                // database frame entry
inline constexpr std::uint32_t VM_VERSION = 4;
inline constexpr std::uint32_t VM_RELEASE = 0;
inline constexpr int VM_SEGMENT_PTR_BLOCK = 8192;       // pointer-mode pool block
inline constexpr char VM_SEGMENT_MARKER[] = "END OF LAST SEGMENT IN FRAME";
inline constexpr int VM_SEGMENT_MARKER_SIZE = 29;       // including the terminator

// Message codes of the store (component 7, type error).
int vm_error_code(int number);

// Settings and files.
void vm_init();
int vm_open_file(const char *name);
void vm_close_file(int slot);
int vm_read_file(int slot);
int vm_write_file(const char *name, int keep);
int vm_select_file(int slot);      // returns the previously current slot
int vm_current_file();
long vm_last_write();
void vm_set_attr(unsigned bits);
void vm_clear_attr(unsigned bits);
unsigned vm_get_attr();
int vm_frame_count(int slot);      // total frames of an open file (-1 when closed)
const char *vm_base_name(int slot);
std::string vm_data(int slot);     // "<base>.vm6"
std::string vm_temp(int slot);     // "<base>.$$$"
std::string vm_back(int slot);     // "<base>.vmb"

// Frames of the current file.
int vm_malloc(long size);
void *vm_realloc(int handle, long size);
void *vm_get_frame(int handle);    // reports bad handles, empty frames
void *vm_frame_ptr(int handle);    // the same without any report
long vm_frame_size(int handle);    // 0 for -1 or a bad handle
unsigned vm_frame_flags(int handle);
bool vm_frame_exists(int handle);  // the handle names a frame of the current file
int vm_fiddup(int slot, int handle);

// Segment pools.
int vm_seg_init(int size);
int vm_seg_init_ptr_mode();
void *vm_seg(int size);
void *vm_seg_ref(int size, int *handle, int *offset);
void vm_seg_exit();

// Releasing directories after a save.
void vm_free_page(int directory);
void vm_reset_environ();

// The environment record that vm_select_file saves into the old file's frame
// 0 and loads from the new one's (800 bytes; its first member, a pointer to
// the run-time part, keeps its value across a switch).  nullptr: no record.
// `slot` is the file whose frame 0 the record currently stands for.
void vm_set_environment_record(void *record, int slot);
int vm_environment_file();       // file whose record is loaded (-1: none)
int vm_use_file(int slot);       // makes a file current without the exchange

// Writes to the database file go through this function (fwrite by default);
// a test replaces it to make a chosen write fail.  nullptr restores fwrite.
using vm_write_function = std::size_t (*)(const void *data, std::size_t size, std::size_t count,
                                          std::FILE *stream);
void vm_set_write_function(vm_write_function function);

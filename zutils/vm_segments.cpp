// The frame store's segment pools: small pieces carved from larger blocks,
// either frames of the current file (whose list of blocks is kept in an array
// frame of its own) or plain memory, and released together.
#include "vm_internal.h"

#include <Lmr_Zutils/pt_msg.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vm_detail {

namespace {

unsigned char *block_bytes(Pool &pool, PoolBlock &block)
{
    if (!pool.frame_mode)
        return block.data;
    FileSlot *slot = open_slot(pool.slot);
    if (!slot)
        return nullptr;
    FrameEntry *e = entry_of(*slot, block.handle);
    return e ? e->data : nullptr;
}

// Writes the frame-mode block list into its array frame: {handle, used} pairs.
void store_block_list(Pool &pool)
{
    if (!pool.frame_mode)
        return;
    FileSlot *slot = open_slot(pool.slot);
    if (!slot)
        return;
    FrameEntry *list = entry_of(*slot, pool.list_handle);
    if (!list)
        return;
    const std::size_t bytes = pool.blocks.size() * 2 * sizeof(std::int32_t);
    if (list->size < bytes) {
        void *grown = std::realloc(list->data, bytes);
        if (!grown)
            return;
        list->data = static_cast<unsigned char *>(grown);
        list->size = static_cast<std::uint32_t>(bytes);
    }
    for (std::size_t i = 0; i < pool.blocks.size(); ++i) {
        const std::int32_t pair[2] = {pool.blocks[i].handle, pool.blocks[i].used};
        std::memcpy(list->data + i * sizeof pair, pair, sizeof pair);
    }
}

bool open_block(Pool &pool)
{
    PoolBlock block;
    if (pool.frame_mode) {
        FileSlot *slot = open_slot(pool.slot);
        if (!slot)
            return false;
        FrameEntry entry;
        entry.flags = slot->attr;
        entry.size = static_cast<std::uint32_t>(pool.block_size);
        entry.data = static_cast<unsigned char *>(std::calloc(1, pool.block_size));
        if (!entry.data)
            return false;
        block.handle = append_entry(*slot, entry);
        std::memcpy(entry.data, VM_SEGMENT_MARKER, VM_SEGMENT_MARKER_SIZE);
    } else {
        block.data = static_cast<unsigned char *>(std::calloc(1, pool.block_size));
        if (!block.data)
            return false;
        std::memcpy(block.data, VM_SEGMENT_MARKER, VM_SEGMENT_MARKER_SIZE);
    }
    if (pool.blocks.size() == pool.blocks.capacity())
        pool.blocks.reserve(pool.blocks.size() + 5);
    pool.blocks.push_back(block);
    store_block_list(pool);
    return true;
}

}  // namespace

unsigned char *carve(Pool &pool, int size, int *handle, int *offset)
{
    if (size <= 0 || !pool.active)
        return nullptr;
    if (!pool.blocks.empty()) {
        PoolBlock &block = pool.blocks.back();
        unsigned char *bytes = block_bytes(pool, block);
        if (!bytes || block.used + VM_SEGMENT_MARKER_SIZE > pool.block_size ||
            std::memcmp(bytes + block.used, VM_SEGMENT_MARKER, VM_SEGMENT_MARKER_SIZE) != 0) {
            report(2030, block.handle, block.used);
            return nullptr;
        }
    }
    const long rounded = (static_cast<long>(size) + 3) / 4 * 4;
    if (rounded + 30 > pool.block_size) {
        report(2031);
        return nullptr;
    }
    if (pool.blocks.empty() || pool.block_size - pool.blocks.back().used < rounded + 30) {
        if (!open_block(pool)) {
            report(2031);
            return nullptr;
        }
    }
    PoolBlock &block = pool.blocks.back();
    unsigned char *bytes = block_bytes(pool, block);
    if (!bytes) {
        report(2031);
        return nullptr;
    }
    unsigned char *piece = bytes + block.used;
    std::memset(piece, 0, rounded);
    std::memcpy(piece + rounded, VM_SEGMENT_MARKER, VM_SEGMENT_MARKER_SIZE);
    if (handle)
        *handle = block.handle;
    if (offset)
        *offset = block.used;
    block.used += static_cast<int>(rounded);
    store_block_list(pool);
    return piece;
}

void release_pool(Pool &pool)
{
    if (!pool.frame_mode) {
        for (PoolBlock &b : pool.blocks)
            std::free(b.data);
    } else if (FileSlot *slot = open_slot(pool.slot)) {
        // The blocks are frames: give their data back but keep the handles.
        for (PoolBlock &b : pool.blocks) {
            if (FrameEntry *e = entry_of(*slot, b.handle)) {
                std::free(e->data);
                e->data = nullptr;
                e->size = 0;
            }
        }
        if (FrameEntry *list = entry_of(*slot, pool.list_handle)) {
            std::free(list->data);
            list->data = nullptr;
            list->size = 0;
        }
    }
    pool = Pool{};
}

}  // namespace vm_detail

using namespace vm_detail;

int vm_seg_init(int size)
{
    Store &s = store();
    release_pool(s.pool);
    if (size <= VM_SEGMENT_MARKER_SIZE || !current_slot())
        return -1;
    s.pool.active = true;
    s.pool.frame_mode = true;
    s.pool.block_size = size;
    s.pool.slot = s.current;
    s.pool.list_handle = vm_malloc(2 * sizeof(std::int32_t));
    return 0;
}

int vm_seg_init_ptr_mode()
{
    Store &s = store();
    release_pool(s.pool);
    s.pool.active = true;
    s.pool.frame_mode = false;
    s.pool.block_size = VM_SEGMENT_PTR_BLOCK;
    return 0;
}

void *vm_seg_ref(int size, int *handle, int *offset)
{
    return carve(store().pool, size, handle, offset);
}

void *vm_seg(int size)
{
    return carve(store().pool, size, nullptr, nullptr);
}

void vm_seg_exit()
{
    release_pool(store().pool);
}

// Record arrays of the design database: a header (element size, capacity,
// count, frame of the elements, key) whose elements live in one frame of the
// frame store, the growth rule that adds about 40 per cent at a time, and the
// keyed lists whose elements are array headers themselves.
#include <Lmr_Zutils/db_array.h>
#include <Lmr_Zutils/vm_store.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <numeric>
#include <vector>

namespace {
int last_status = 0;

int set_status(int number)
{
    last_status = number ? db_status(number) : 0;
    return last_status;
}

// Growth step from the current capacity: 40 per cent, rounded, at least 1.
int growth_step(int capacity)
{
    const long a = capacity;
    const long step = a < 100 ? (a * 40 + 50) / 100 : (a + 50) / 100 * 40;
    return static_cast<int>(std::max(step, 1L));
}

unsigned char *elements(const DB_ARRAY *header)
{
    if (header->fid == -1)
        return nullptr;
    return static_cast<unsigned char *>(vm_frame_ptr(header->fid));
}
}  // namespace

int db_status(int number)
{
    return (2 << 24) | (2 << 16) | number;
}

int db_last_status()
{
    return last_status;
}

int db_realloc_array(DB_ARRAY *header, int capacity)
{
    if (!header)
        return set_status(68);
    if (capacity < 0 || header->size < 0)
        return set_status(71);
    const long bytes = static_cast<long>(capacity) * header->size;
    if (header->fid != -1) {
        if (!vm_frame_exists(header->fid))
            return set_status(70);
        if (capacity == 0 || bytes == 0) {
            vm_realloc(header->fid, 0);
            header->fid = -1;
        } else if (!vm_realloc(header->fid, bytes)) {
            return set_status(71);
        }
    } else if (capacity != 0 && bytes != 0) {
        const int fid = vm_malloc(bytes);
        if (fid == -1)
            return set_status(69);
        header->fid = fid;
    }
    header->alloc = capacity;
    return set_status(0);
}

int db_add_array_element(DB_ARRAY *header, const void *record, int *index)
{
    if (!header)
        return set_status(68);
    if (header->count >= header->alloc) {
        int capacity = header->alloc;
        while (capacity <= header->count)
            capacity += growth_step(capacity);
        if (const int status = db_realloc_array(header, capacity))
            return status;
    }
    unsigned char *base = elements(header);
    if (record && base && header->size > 0)
        std::memcpy(base + static_cast<long>(header->count) * header->size, record, header->size);
    if (index)
        *index = header->count;
    ++header->count;
    return set_status(0);
}

int db_remove_array_element(DB_ARRAY *header, int index)
{
    if (!header)
        return set_status(68);
    if (index < 0 || index >= header->count)
        return set_status(21);
    if (header->count == 1) {
        if (const int status = db_realloc_array(header, 0))
            return status;
        header->count = 0;
        return set_status(0);
    }
    if (unsigned char *base = elements(header)) {
        const long size = header->size;
        std::memmove(base + index * size, base + (index + 1) * size, (header->count - index - 1) * size);
    }
    --header->count;
    return set_status(0);
}

int db_shrink_array(DB_ARRAY *header)
{
    if (!header)
        return set_status(68);
    if (header->alloc < header->count)
        return set_status(77);
    if (header->alloc == header->count)
        return set_status(0);
    return db_realloc_array(header, header->count);
}

int db_sort_and_clean_array(DB_ARRAY *header, int (*compare)(const void *, const void *))
{
    if (!header)
        return set_status(68);
    if (header->alloc < header->count)
        return set_status(77);
    if (header->count < 2 || !compare)
        return set_status(0);
    unsigned char *base = elements(header);
    if (!base)
        return set_status(0);
    const long size = header->size;
    std::vector<int> order;
    std::vector<unsigned char> sorted;
    try {
        order.resize(header->count);
        sorted.resize(static_cast<std::size_t>(header->count) * size);
    } catch (const std::bad_alloc &) {
        return set_status(92);
    }
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return compare(base + a * size, base + b * size) < 0; });
    int kept = 0;
    for (int i : order) {
        const unsigned char *element = base + i * size;
        if (kept > 0 && compare(sorted.data() + (kept - 1) * size, element) == 0)
            continue;
        std::memcpy(sorted.data() + kept * size, element, size);
        ++kept;
    }
    std::memcpy(base, sorted.data(), kept * size);
    header->count = kept;
    return set_status(0);
}

void *db_array_element(const DB_ARRAY *header, int index)
{
    if (!header || index < 0 || index >= header->count)
        return nullptr;
    unsigned char *base = elements(header);
    return base ? base + static_cast<long>(index) * header->size : nullptr;
}

DB_ARRAY *db_get_array_hdr(const DB_ARRAY *list, int key)
{
    if (!list) {
        set_status(30);
        return nullptr;
    }
    if (list->count == 0) {
        set_status(31);
        return nullptr;
    }
    // A keyed list holds whole headers; anything smaller cannot be one.
    if (list->size < static_cast<int>(sizeof(DB_ARRAY))) {
        set_status(30);
        return nullptr;
    }
    for (int i = 0; i < list->count; ++i) {
        auto *header = static_cast<DB_ARRAY *>(db_array_element(list, i));
        if (header && header->key == key) {
            set_status(0);
            return header;
        }
    }
    set_status(32);
    return nullptr;
}

int db_get_array(const DB_ARRAY *list, int key, int *count, void **found)
{
    if (!list || !count || !found)
        return set_status(30);
    DB_ARRAY *header = db_get_array_hdr(list, key);
    if (!header)
        return last_status;
    *count = header->count;
    void *data = elements(header);
    *found = data ? data : const_cast<char *>("(null)");
    return set_status(0);
}

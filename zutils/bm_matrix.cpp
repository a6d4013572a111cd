// Bit matrices of the design database.  The matrix record (columns, rows,
// frame of the bits) sits in a frame of its own; every row takes
// (columns - 1) / 8 + 1 bytes and bit (c, r) is bit 7 - c % 8 of byte
// c / 8 + r * row size: most significant bit first.
#include <Lmr_Zutils/db_array.h>
#include <Lmr_Zutils/vm_store.h>

#include <cstring>
#include <vector>

namespace {

inline int bit_of(const unsigned char *bits, int row_size, int column, int row)
{
    return (bits[column / 8 + static_cast<long>(row) * row_size] >> (7 - column % 8)) & 1;
}

inline void put_bit(unsigned char *bits, int row_size, int column, int row, int value)
{
    unsigned char &byte = bits[column / 8 + static_cast<long>(row) * row_size];
    const unsigned char mask = static_cast<unsigned char>(0x80 >> (column % 8));
    byte = value ? (byte | mask) : (byte & ~mask);
}

// The bits of a matrix, or nullptr when its frame is missing or too small.
unsigned char *bits_of(const DB_BITMAP &m)
{
    const long need = static_cast<long>(db_bitmap_row_size(m.columns)) * m.rows;
    if (need == 0 || vm_frame_size(m.fid) < need)
        return nullptr;
    return static_cast<unsigned char *>(vm_frame_ptr(m.fid));
}

// Replaces the bits of a matrix by a new frame of `columns` x `rows`;
// source(c, r) tells which old bit a new one takes (-1: a zero bit).
template <typename Source>
int rebuild(DB_BITMAP &m, int columns, int rows, Source source, int failure)
{
    // A matrix without rows (or columns) has no bits frame: it reads as zero.
    const bool empty = static_cast<long>(db_bitmap_row_size(m.columns)) * m.rows == 0;
    const unsigned char *old = empty ? nullptr : bits_of(m);
    if (!old && !empty)
        return db_status(failure);
    const int old_row = db_bitmap_row_size(m.columns);
    const int row_size = db_bitmap_row_size(columns);
    const long bytes = static_cast<long>(row_size) * rows;
    std::vector<unsigned char> fresh(bytes > 0 ? bytes : 1, 0);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            int oc = c, orow = r;
            source(c, r, oc, orow);
            if (old && oc >= 0 && orow >= 0 && bit_of(old, old_row, oc, orow))
                put_bit(fresh.data(), row_size, c, r, 1);
        }
    }
    int fid = -1;
    if (bytes > 0) {
        fid = vm_malloc(bytes);
        if (fid == -1)
            return db_status(failure);
        std::memcpy(vm_frame_ptr(fid), fresh.data(), bytes);
    }
    // The old bits are released; their handle stays in the file, empty.
    // (Frames never move when others are allocated, so `m` is still valid.)
    if (m.fid != -1)
        vm_realloc(m.fid, 0);
    m.fid = fid;
    m.columns = columns;
    m.rows = rows;
    return 0;
}

int change_columns(int matrix, int position, int n)
{
    DB_BITMAP *m = db_bitmap(matrix);
    if (!m)
        return db_status(24);
    if (position < 0 || position > m->columns || (n >= 0 && position == m->columns))
        return db_status(25);
    // Removing more columns than lie at and after the position, or adding so
    // many that the count overflows, is refused like a bad position.
    if (n > m->columns - position || (n < 0 && -static_cast<long>(n) > 0x7fffffffL - m->columns))
        return db_status(25);
    const int columns = m->columns - n;
    // Added columns (n < 0) start as zero; the ones after them take the old
    // columns from the position on.
    return rebuild(
        *m, columns, m->rows,
        [&](int c, int, int &oc, int &) {
            if (c < position)
                oc = c;
            else if (n < 0 && c < position - n)
                oc = -1;
            else
                oc = c + n;
        },
        25);
}

int change_rows(int matrix, int position, int n)
{
    DB_BITMAP *m = db_bitmap(matrix);
    if (!m)
        return db_status(24);
    const bool adding = n < 0;
    if (position < 0 || position > m->rows || (!adding && position == m->rows))
        return db_status(25);
    if (n > m->rows - position || (adding && -static_cast<long>(n) > 0x7fffffffL - m->rows))
        return db_status(25);
    const int rows = m->rows - n;
    return rebuild(
        *m, m->columns, rows,
        [&](int, int r, int &, int &orow) {
            if (r < position)
                orow = r;
            else if (adding && r < position - n)
                orow = -1;
            else
                orow = r + n;
        },
        25);
}

}  // namespace

int db_bitmap_row_size(int columns)
{
    // Truncating division: 0 columns still take one byte.
    return (columns - 1) / 8 + 1;
}

DB_BITMAP *db_bitmap(int matrix)
{
    if (matrix == -1 || vm_frame_size(matrix) < static_cast<long>(sizeof(DB_BITMAP)))
        return nullptr;
    return static_cast<DB_BITMAP *>(vm_frame_ptr(matrix));
}

int db_bit_map_alloc(int columns, int rows, const unsigned char *initial, int *matrix)
{
    if (!matrix || columns < 0 || rows < 0 || (columns == 0 && rows == 0))
        return db_status(21);
    *matrix = -1;
    const int record = vm_malloc(sizeof(DB_BITMAP));
    if (record == -1)
        return db_status(22);
    const long bytes = static_cast<long>(db_bitmap_row_size(columns)) * rows;
    const int fid = bytes > 0 ? vm_malloc(bytes) : -1;
    if (fid == -1) {
        vm_realloc(record, 0);
        return db_status(23);
    }
    auto *m = static_cast<DB_BITMAP *>(vm_frame_ptr(record));
    m->columns = columns;
    m->rows = rows;
    m->fid = fid;
    auto *bits = static_cast<unsigned char *>(vm_frame_ptr(fid));
    std::memset(bits, 0, bytes);
    if (initial)
        std::memcpy(bits, initial, bytes);
    *matrix = record;
    return 0;
}

int db_bit_set(int matrix, int column, int row, int value)
{
    DB_BITMAP *m = db_bitmap(matrix);
    if (!m)
        return db_status(27);
    if (column < 0 || column >= m->columns)
        return db_status(28);
    if (row < 0 || row >= m->rows)
        return db_status(29);
    unsigned char *bits = bits_of(*m);
    if (!bits)
        return db_status(27);
    put_bit(bits, db_bitmap_row_size(m->columns), column, row, value != 0);
    return 0;
}

int db_bit_get(int matrix, int column, int row, int *value)
{
    DB_BITMAP *m = db_bitmap(matrix);
    if (!m || !value)
        return db_status(24);
    if (column < 0 || column >= m->columns)
        return db_status(25);
    if (row < 0 || row >= m->rows)
        return db_status(26);
    const unsigned char *bits = bits_of(*m);
    if (!bits)
        return db_status(24);
    *value = bit_of(bits, db_bitmap_row_size(m->columns), column, row);
    return 0;
}

int db_bitmap_remove_columns(int matrix, int position, int n)
{
    return change_columns(matrix, position, n);
}

int db_bitmap_add_columns(int matrix, int position, int n)
{
    if (n == -0x7fffffff - 1)
        return db_status(25);
    return change_columns(matrix, position, -n);
}

int db_bitmap_remove_rows(int matrix, int position, int n)
{
    return change_rows(matrix, position, n);
}

int db_bitmap_add_rows(int matrix, int position, int n)
{
    if (n == -0x7fffffff - 1)
        return db_status(25);
    return change_rows(matrix, position, -n);
}

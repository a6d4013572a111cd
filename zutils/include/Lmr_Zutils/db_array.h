// The design database's three storage primitives on top of the frame store:
// growable arrays of fixed-size records, rectangular bit matrices and stored
// names (a text in a frame of its own).  All of them hold frame handles, never
// pointers, so a design saved with the frame store reloads intact.
//
// Each operation returns 0 or a message code of the database component
// (component 2, type error); db_status() builds such a code from its number.
#pragma once

#include <cstdint>

struct DB_ARRAY {
    std::int32_t size = 0;   // element size in bytes
    std::int32_t alloc = 0;  // capacity in elements
    std::int32_t count = 0;  // elements in use
    std::int32_t fid = -1;   // frame of the elements, -1 when none
    std::int32_t key = 0;    // key when the header sits in a keyed list
};

struct DB_BITMAP {
    std::int32_t columns = 0;  // bits per row
    std::int32_t rows = 0;
    std::int32_t fid = -1;     // frame of the bits
};

int db_status(int number);
int db_last_status();

// Bytes of one bit-matrix row: (columns - 1) / 8 + 1, at least 1.
int db_bitmap_row_size(int columns);

// Arrays.
int db_realloc_array(DB_ARRAY *header, int capacity);
int db_add_array_element(DB_ARRAY *header, const void *record, int *index);
int db_remove_array_element(DB_ARRAY *header, int index);
int db_shrink_array(DB_ARRAY *header);
int db_sort_and_clean_array(DB_ARRAY *header, int (*compare)(const void *, const void *));
void *db_array_element(const DB_ARRAY *header, int index);  // nullptr outside 0..count-1
int db_get_array(const DB_ARRAY *list, int key, int *count, void **elements);
DB_ARRAY *db_get_array_hdr(const DB_ARRAY *list, int key);

// Bit matrices.  A matrix is the handle of a frame holding its DB_BITMAP.
int db_bit_map_alloc(int columns, int rows, const unsigned char *initial, int *matrix);
int db_bit_set(int matrix, int column, int row, int value);
int db_bit_get(int matrix, int column, int row, int *value);
int db_bitmap_remove_columns(int matrix, int position, int n);
int db_bitmap_add_columns(int matrix, int position, int n);
int db_bitmap_remove_rows(int matrix, int position, int n);
int db_bitmap_add_rows(int matrix, int position, int n);
DB_BITMAP *db_bitmap(int matrix);  // the matrix record, nullptr when missing

// Stored names.
int db_create_object(int *id, const void *bytes, long length);
int db_str2fid(const char *text);
const char *db_fid2str(int id);  // the stored text, nullptr for -1 or a bad id
int db_fiddup(int id);
int db_descendant_fid(int id);
void db_reset_descendant_counter();

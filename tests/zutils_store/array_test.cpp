// Record arrays, bit matrices and stored names on the frame store.
#include "store_fixture.h"

#include <Lmr_Zutils/db_array.h>

namespace {
constexpr int code(int number) { return (2 << 24) | (2 << 16) | number; }

int compare_ints(const void *a, const void *b)
{
    const int x = *static_cast<const int *>(a), y = *static_cast<const int *>(b);
    return (x > y) - (x < y);
}

std::vector<int> ints_of(const DB_ARRAY &a)
{
    std::vector<int> v;
    for (int i = 0; i < a.count; ++i)
        v.push_back(*static_cast<int *>(db_array_element(&a, i)));
    return v;
}

// Row r of a matrix as text of 0 and 1.
std::string row_text(int m, int row)
{
    std::string s;
    for (int c = 0; c < db_bitmap(m)->columns; ++c) {
        int v = -1;
        EXPECT_EQ(db_bit_get(m, c, row, &v), 0);
        s += static_cast<char>('0' + v);
    }
    return s;
}

void set_row(int m, int row, const char *bits)
{
    for (int c = 0; bits[c]; ++c)
        ASSERT_EQ(db_bit_set(m, c, row, bits[c] == '1'), 0);
}
}  // namespace

class ArrayTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        vm_open_file(base("arrays").c_str());
        db_reset_descendant_counter();
    }
};

TEST_F(ArrayTest, GrowthSequenceFromEmpty)
{
    DB_ARRAY a;
    a.size = sizeof(int);
    std::vector<int> capacities;
    for (int i = 0; i < 313; ++i) {
        int index = -1;
        ASSERT_EQ(db_add_array_element(&a, &i, &index), 0);
        ASSERT_EQ(index, i);
        if (capacities.empty() || capacities.back() != a.alloc)
            capacities.push_back(a.alloc);
    }
    const std::vector<int> expected = {1, 2, 3, 4, 6, 8, 11, 15, 21, 29, 41, 57, 80, 112, 152, 232, 312, 432};
    EXPECT_EQ(capacities, expected);
    EXPECT_EQ(vm_frame_size(a.fid), 432 * 4);
    EXPECT_EQ(*static_cast<int *>(db_array_element(&a, 312)), 312);
}

TEST_F(ArrayTest, RemoveShrinkAndTheirErrors)
{
    DB_ARRAY a;
    a.size = sizeof(int);
    for (int v : {10, 20, 30, 40})
        db_add_array_element(&a, &v, nullptr);
    EXPECT_EQ(db_remove_array_element(&a, 4), code(21));
    EXPECT_EQ(db_remove_array_element(&a, -1), code(21));
    EXPECT_EQ(db_remove_array_element(&a, 1), 0);
    EXPECT_EQ(ints_of(a), (std::vector<int>{10, 30, 40}));
    EXPECT_EQ(a.alloc, 4);  // removal keeps the capacity
    EXPECT_EQ(db_shrink_array(&a), 0);
    EXPECT_EQ(a.alloc, 3);
    EXPECT_EQ(vm_frame_size(a.fid), 12);
    a.count = 5;
    EXPECT_EQ(db_shrink_array(&a), code(77));
    EXPECT_EQ(db_sort_and_clean_array(&a, compare_ints), code(77));
    a.count = 3;
    EXPECT_EQ(db_realloc_array(nullptr, 3), code(68));
    EXPECT_EQ(db_add_array_element(nullptr, nullptr, nullptr), code(68));

    DB_ARRAY one;
    one.size = sizeof(int);
    const int v = 5;
    db_add_array_element(&one, &v, nullptr);
    EXPECT_EQ(db_remove_array_element(&one, 0), 0);
    EXPECT_EQ(one.count, 0);
    EXPECT_EQ(one.alloc, 0);
    EXPECT_EQ(one.fid, -1);

    DB_ARRAY lost;
    lost.size = 4;
    lost.fid = 999;
    EXPECT_EQ(db_realloc_array(&lost, 2), code(70));
}

TEST_F(ArrayTest, SortAndCleanKeepsTheFirstOfEqualElements)
{
    DB_ARRAY a;
    a.size = sizeof(int);
    for (int v : {3, 1, 3, 2})
        db_add_array_element(&a, &v, nullptr);
    EXPECT_EQ(db_sort_and_clean_array(&a, compare_ints), 0);
    EXPECT_EQ(ints_of(a), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(a.alloc, 4);

    // Keyed on the first int: the first of two equal keys stays.
    struct Pair {
        int key, tag;
    };
    DB_ARRAY p;
    p.size = sizeof(Pair);
    for (Pair e : {Pair{2, 1}, Pair{1, 2}, Pair{2, 3}, Pair{1, 4}})
        db_add_array_element(&p, &e, nullptr);
    db_sort_and_clean_array(&p, compare_ints);
    ASSERT_EQ(p.count, 2);
    EXPECT_EQ(static_cast<Pair *>(db_array_element(&p, 0))->tag, 2);
    EXPECT_EQ(static_cast<Pair *>(db_array_element(&p, 1))->tag, 1);
}

TEST_F(ArrayTest, KeyedListOfArrays)
{
    DB_ARRAY list;
    list.size = sizeof(DB_ARRAY);
    int count = -1;
    void *found = nullptr;
    EXPECT_EQ(db_get_array(nullptr, 1, &count, &found), code(30));
    EXPECT_EQ(db_get_array(&list, 1, &count, &found), code(31));

    DB_ARRAY empty;
    empty.key = 7;
    DB_ARRAY full;
    full.key = 9;
    full.size = 1;
    db_add_array_element(&full, "x", nullptr);
    db_add_array_element(&full, "y", nullptr);
    db_add_array_element(&list, &empty, nullptr);
    db_add_array_element(&list, &full, nullptr);

    EXPECT_EQ(db_get_array(&list, 9, &count, &found), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(static_cast<char *>(found)[1], 'y');
    EXPECT_EQ(db_get_array(&list, 7, &count, &found), 0);
    EXPECT_EQ(count, 0);
    EXPECT_STREQ(static_cast<char *>(found), "(null)");
    EXPECT_EQ(db_get_array(&list, 8, &count, &found), code(32));
    EXPECT_EQ(db_get_array_hdr(&list, 8), nullptr);
    EXPECT_EQ(db_last_status(), code(32));
    EXPECT_EQ(db_get_array_hdr(&list, 9)->count, 2);
}

TEST_F(ArrayTest, BitMatrixRowSizeAndMostSignificantBitFirst)
{
    EXPECT_EQ(db_bitmap_row_size(0), 1);
    EXPECT_EQ(db_bitmap_row_size(8), 1);
    EXPECT_EQ(db_bitmap_row_size(9), 2);
    EXPECT_EQ(db_bitmap_row_size(17), 3);
    int m = -1;
    ASSERT_EQ(db_bit_map_alloc(9, 3, nullptr, &m), 0);
    ASSERT_EQ(db_bit_set(m, 8, 0, 1), 0);
    ASSERT_EQ(db_bit_set(m, 0, 2, 1), 0);
    ASSERT_EQ(db_bit_set(m, 2, 1, 1), 0);
    const DB_BITMAP *rec = db_bitmap(m);
    ASSERT_EQ(vm_frame_size(rec->fid), 6);
    const auto *bits = static_cast<unsigned char *>(vm_get_frame(rec->fid));
    const unsigned char expected[6] = {0x00, 0x80, 0x20, 0x00, 0x80, 0x00};
    EXPECT_EQ(std::memcmp(bits, expected, 6), 0);
    ASSERT_EQ(db_bit_set(m, 8, 0, 0), 0);
    EXPECT_EQ(bits[1], 0x00);

    const unsigned char initial[2] = {0xa5, 0x01};
    int n = -1;
    ASSERT_EQ(db_bit_map_alloc(16, 1, initial, &n), 0);
    EXPECT_EQ(row_text(n, 0), "1010010100000001");
}

TEST_F(ArrayTest, BitMatrixArgumentChecks)
{
    int m = -1, v = 0;
    EXPECT_EQ(db_bit_map_alloc(0, 0, nullptr, &m), code(21));
    ASSERT_EQ(db_bit_map_alloc(4, 2, nullptr, &m), 0);
    EXPECT_EQ(db_bit_set(-1, 0, 0, 1), code(27));
    EXPECT_EQ(db_bit_set(m, 4, 0, 1), code(28));
    EXPECT_EQ(db_bit_set(m, -1, 0, 1), code(28));
    EXPECT_EQ(db_bit_set(m, 0, 2, 1), code(29));
    EXPECT_EQ(db_bit_get(-1, 0, 0, &v), code(24));
    EXPECT_EQ(db_bit_get(m, 4, 0, &v), code(25));
    EXPECT_EQ(db_bit_get(m, 0, 2, &v), code(26));
    EXPECT_EQ(db_bitmap_remove_columns(-1, 0, 1), code(24));
    EXPECT_EQ(db_bitmap_remove_columns(m, 4, 1), code(25));  // equal to the count
    EXPECT_EQ(db_bitmap_remove_columns(m, -1, 1), code(25));
    EXPECT_EQ(db_bitmap_remove_columns(m, 3, 2), code(25));  // only one column left there
    EXPECT_EQ(db_bitmap_remove_rows(m, 2, 1), code(25));
    EXPECT_EQ(db_bitmap_add_columns(m, 5, 1), code(25));
    EXPECT_EQ(db_bitmap(m)->columns, 4);  // refused calls change nothing
}

TEST_F(ArrayTest, BitMatrixColumnsAndRowsRemovedAndAdded)
{
    int m = -1;
    ASSERT_EQ(db_bit_map_alloc(10, 3, nullptr, &m), 0);
    set_row(m, 0, "1100110011");
    set_row(m, 1, "0101010101");
    set_row(m, 2, "1111100000");
    const int old_bits = db_bitmap(m)->fid;

    // Columns 3 and 4 go.
    ASSERT_EQ(db_bitmap_remove_columns(m, 3, 2), 0);
    EXPECT_EQ(db_bitmap(m)->columns, 8);
    EXPECT_EQ(row_text(m, 0), "11010011");
    EXPECT_EQ(row_text(m, 1), "01010101");
    EXPECT_EQ(row_text(m, 2), "11100000");
    EXPECT_EQ(vm_frame_size(old_bits), 0);  // the old bits frame is released
    EXPECT_EQ(vm_frame_size(db_bitmap(m)->fid), 3);

    // Two zero columns at 1, and one at the end.
    ASSERT_EQ(db_bitmap_add_columns(m, 1, 2), 0);
    EXPECT_EQ(row_text(m, 0), "1001010011");
    ASSERT_EQ(db_bitmap_add_columns(m, 10, 1), 0);
    EXPECT_EQ(row_text(m, 2), "10011000000");

    // Row 1 goes; a zero row comes in at 0.
    ASSERT_EQ(db_bitmap_remove_rows(m, 1, 1), 0);
    EXPECT_EQ(db_bitmap(m)->rows, 2);
    EXPECT_EQ(row_text(m, 1), "10011000000");
    ASSERT_EQ(db_bitmap_add_rows(m, 0, 1), 0);
    EXPECT_EQ(row_text(m, 0), "00000000000");
    EXPECT_EQ(row_text(m, 1), "10010100110");
}

TEST_F(ArrayTest, StoredAndDescendantNames)
{
    EXPECT_EQ(db_create_object(nullptr, "x", 1), code(73));
    int id = 5;
    EXPECT_EQ(db_create_object(&id, nullptr, 0), 0);
    EXPECT_EQ(id, -1);
    EXPECT_EQ(db_create_object(&id, nullptr, 6), 0);
    EXPECT_EQ(vm_frame_size(id), 6);
    EXPECT_EQ(db_fid2str(id), std::string());  // zeroed: an empty text

    EXPECT_EQ(db_str2fid(nullptr), -1);
    const int name = db_str2fid("CLK");
    EXPECT_EQ(vm_frame_size(name), 4);
    EXPECT_STREQ(db_fid2str(name), "CLK");
    const int copy = db_fiddup(name);
    EXPECT_NE(copy, name);
    EXPECT_STREQ(db_fid2str(copy), "CLK");
    EXPECT_EQ(db_fiddup(-1), -1);

    EXPECT_EQ(db_descendant_fid(-1), -1);
    EXPECT_STREQ(db_fid2str(db_descendant_fid(name)), "_CLK.1");
    EXPECT_STREQ(db_fid2str(db_descendant_fid(copy)), "_CLK.2");

    // Bytes without a terminator are an object, not a text.
    int raw = -1;
    db_create_object(&raw, "abc", 3);
    EXPECT_EQ(db_fid2str(raw), nullptr);
}

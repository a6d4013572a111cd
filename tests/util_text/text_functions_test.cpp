// The free text helpers: suffixes, cuts, bounded copies, decimal text, the
// hash and its table sizes, and the quicksort.
#include <Lmr_Util/TextFunctions.h>
#include <Lmr_Zutils/pt_msg.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(StripSuffix, EachSuffixOnceInTableOrder)
{
    String a("Q1.REG.XOR");
    StripSuffix(a);
    EXPECT_STREQ(a.chars(), "Q1");
    String b("A.Q.Q");
    StripSuffix(b);
    EXPECT_STREQ(b.chars(), "A.Q");
    String c("X.MCY");
    StripSuffix(c);
    EXPECT_STREQ(c.chars(), "XY");
    String d("plain");
    StripSuffix(d);
    EXPECT_STREQ(d.chars(), "plain");
    String e("n.SI.ALU.FFB");
    StripSuffix(e);
    EXPECT_STREQ(e.chars(), "n");
}

TEST(RetRealSignalName, PartBeforeTheFirstDot)
{
    EXPECT_STREQ(RetRealSignalName(String("clk.Q.REG")).chars(), "clk");
    EXPECT_STREQ(RetRealSignalName(String("clk")).chars(), "clk");
    EXPECT_STREQ(RetRealSignalName(String(".x")).chars(), "");
}

TEST(CutSuffix, GivenCharacterOrCommaOrBackslash)
{
    char a[] = "bus\\3,x";
    EXPECT_EQ(CutSuffix(a, 0), '\\');
    EXPECT_STREQ(a, "bus");
    char b[] = "a,b\\c";
    EXPECT_EQ(CutSuffix(b, 0), ',');
    EXPECT_STREQ(b, "a");
    char c[] = "net.Q";
    EXPECT_EQ(CutSuffix(c, '.'), '.');
    EXPECT_STREQ(c, "net");
    char d[] = "net";
    EXPECT_EQ(CutSuffix(d, '.'), 0);
    EXPECT_STREQ(d, "net");
    EXPECT_EQ(CutSuffix(nullptr, '.'), 0);
}

TEST(HGstrcut, PrefixOfAtMostFourCharacters)
{
    char dst[16];
    EXPECT_STREQ(HGstrcut(dst, "ab_cd", '_'), "ab");
    EXPECT_STREQ(HGstrcut(dst, "abcd_e", '_'), "abcd");
    EXPECT_STREQ(HGstrcut(dst, "abcde_f", '_'), "NULL");
    EXPECT_STREQ(HGstrcut(dst, "_x", '_'), "");
    EXPECT_STREQ(HGstrcut(dst, "ab", '_'), "NULL");
}

TEST(Iota, Decimal)
{
    EXPECT_STREQ(Iota(0).chars(), "0");
    EXPECT_STREQ(Iota(-42).chars(), "-42");
    EXPECT_STREQ(Iota(2147483647L).chars(), "2147483647");
}

TEST(Hash, TimesThirtyOneOverSignedBytes)
{
    EXPECT_EQ(Hash(""), 0u);
    EXPECT_EQ(Hash("a"), 97u);
    EXPECT_EQ(Hash("ab"), 97u * 31u + 98u);
    // 0xff is -1 as a signed byte.
    EXPECT_EQ(Hash("\xff"), 4294967295u);
    EXPECT_EQ(Hash("a\xff"), 97u * 31u - 1u);
    // Wraps modulo 2^32: "zzzzzzz" = 122 * (31^6 + ... + 1) mod 2^32.
    unsigned expected = 0;
    for (int i = 0; i < 7; ++i)
        expected = expected * 31u + 122u;
    EXPECT_EQ(Hash("zzzzzzz"), expected);
    EXPECT_EQ(Hash("zzzzzzz"), 215481018u);
}

TEST(PrimeAbove, TableEntries)
{
    EXPECT_EQ(PrimeAbove(0), 7ul);
    EXPECT_EQ(PrimeAbove(7), 7ul);
    EXPECT_EQ(PrimeAbove(8), 13ul);
    EXPECT_EQ(PrimeAbove(1000), 1259ul);
    EXPECT_EQ(PrimeAbove(1550477), 1550477ul);
    EXPECT_EQ(PrimeAbove(1550478), 1550478ul);
    EXPECT_EQ(PrimeAbove(2000000), 2000000ul);
}

int compareInts(const void *a, const void *b)
{
    int x = *static_cast<const int *>(a);
    int y = *static_cast<const int *>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

std::vector<int> sorted(std::vector<int> values)
{
    if (!values.empty())
        qsort_ptr(reinterpret_cast<void **>(values.data()), static_cast<int>(values.size()), sizeof(int), compareInts);
    return values;
}

TEST(QsortPtr, SmallCases)
{
    EXPECT_EQ(sorted({}), std::vector<int>{});
    EXPECT_EQ(sorted({5}), std::vector<int>{5});
    EXPECT_EQ(sorted({2, 1}), (std::vector<int>{1, 2}));
    EXPECT_EQ(sorted({3, 3, 3}), (std::vector<int>{3, 3, 3}));
    EXPECT_EQ(sorted({3, 1, 2, 3, 1}), (std::vector<int>{1, 1, 2, 3, 3}));
    EXPECT_EQ(sorted({9, 8, 7, 6, 5, 4, 3, 2, 1, 0}), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(QsortPtr, GeneratedArraysSortLikeTheStandardSort)
{
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        std::size_t size = random() % 200;
        int range = 1 + static_cast<int>(random() % 50);
        std::vector<int> values(size);
        for (int &v : values)
            v = static_cast<int>(random() % static_cast<unsigned>(range)) - range / 2;
        std::vector<int> expected = values;
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(sorted(values), expected) << "round " << round;
    }
}

TEST(QsortPtr, LargeOrderedInputDoesNotExhaustTheStack)
{
    // Ordered input is the sort's worst case: quadratic time, and a part of
    // one element less at every step. 40,000 elements keep the run short
    // while a recursion on the larger part would still go 40,000 calls deep.
    std::vector<int> ascending(40000);
    for (std::size_t i = 0; i < ascending.size(); ++i)
        ascending[i] = static_cast<int>(i);
    std::vector<int> descending(ascending.rbegin(), ascending.rend());
    EXPECT_EQ(sorted(descending), ascending);
}

struct Record {
    char name[24];
    int key;
};

int compareRecords(const void *a, const void *b)
{
    return std::strcmp(static_cast<const Record *>(a)->name, static_cast<const Record *>(b)->name);
}

TEST(QsortPtr, ElementsWiderThanAPointer)
{
    std::vector<Record> records = {{"delta", 4}, {"alpha", 1}, {"charlie", 3}, {"bravo", 2}};
    qsort_ptr(reinterpret_cast<void **>(records.data()), 4, sizeof(Record), compareRecords);
    EXPECT_STREQ(records[0].name, "alpha");
    EXPECT_EQ(records[1].key, 2);
    EXPECT_EQ(records[2].key, 3);
    EXPECT_STREQ(records[3].name, "delta");
}

TEST(HGstrcpy, CopiesWhatFitsAndEndsOnANameTooLong)
{
    char dst[6];
    HGstrcpy(dst, "abcde", 6);
    EXPECT_STREQ(dst, "abcde");
    pt_reset_messages();
    pt_exit_hook_t previous = pt_set_exit_hook(pt_throw_exit_request);
    testing::internal::CaptureStdout();
    try {
        HGstrcpy(dst, "abcdef", 6);
        ADD_FAILURE() << "HGstrcpy returned";
    } catch (const pt_exit_request &request) {
        EXPECT_EQ(request.status, 2);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[ERROR]:hi701 - abcdef is too long as a name.\n");
    pt_set_exit_hook(previous);
    pt_reset_messages();
}

} // namespace

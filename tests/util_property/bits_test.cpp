// The flag word, the growable bit set and the index-and-id pair.
#include <Lmr_Util/BitFlags.h>
#include <Lmr_Util/BitSet.h>
#include <Lmr_Util/IndexAndType.h>
#include <Lmr_Util/String.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

std::string dumped(const BitFlags &flags) {
    std::ostringstream os;
    flags.Dump(os);
    return os.str();
}

} // namespace

TEST(BitFlags, FromText) {
    EXPECT_EQ(BitFlags(String("1010")).RetWord(), 5ul);
    EXPECT_EQ(BitFlags(String("")).RetWord(), 0ul);
    // Any character other than '0' sets its bit.
    EXPECT_EQ(BitFlags(String("0x0Z")).RetWord(), 0xAul);
    // Position 32 wraps to bit 0, position 33 to bit 1.
    std::string text(34, '0');
    text[33] = '1';
    EXPECT_EQ(BitFlags(String(text.c_str())).RetWord(), 2ul);
    text[31] = '1';
    EXPECT_EQ(BitFlags(String(text.c_str())).RetWord(), 0x80000002ul);
}

TEST(BitFlags, Operations) {
    BitFlags a(0x0Cul), b(0x0Aul);
    EXPECT_EQ((a & b).RetWord(), 0x08ul);
    EXPECT_EQ((a | b).RetWord(), 0x0Eul);
    EXPECT_EQ((~a).RetWord(), 0xFFFFFFF3ul);
    EXPECT_TRUE(a == BitFlags(12ul));
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(a != BitFlags(12ul));

    BitFlags c = a;
    c &= b;
    EXPECT_EQ(c.RetWord(), 0x08ul);
    c |= BitFlags(1ul);
    EXPECT_EQ(c.RetWord(), 0x09ul);

    EXPECT_EQ(BitFlags(0x08ul) <= a, 1);
    EXPECT_EQ(a <= BitFlags(0x08ul), 0);
    EXPECT_EQ(BitFlags() <= BitFlags(), 1);

    EXPECT_EQ(a.test(0x04ul), 1);
    EXPECT_EQ(a.test(0x13ul), 0);
    EXPECT_EQ(a.test(BitFlags()), 0);

    BitFlags d;
    EXPECT_EQ(static_cast<unsigned char>(d), 0);
    d.set(0x11ul);
    EXPECT_EQ(d.RetWord(), 0x11ul);
    EXPECT_EQ(static_cast<unsigned char>(d), 1);
    d.swap(0x03ul);
    EXPECT_EQ(d.RetWord(), 0x12ul);
    d.clear(0x02ul);
    EXPECT_EQ(d.RetWord(), 0x10ul);
    d.clear();
    EXPECT_EQ(d.RetWord(), 0ul);
}

TEST(BitFlags, DumpIsDecimalAndWordIs32Bits) {
    EXPECT_EQ(dumped(BitFlags(1234ul)), "1234");
    EXPECT_EQ(dumped(~BitFlags()), "4294967295");
    EXPECT_EQ(dumped(BitFlags()), "0");
}

TEST(BitSet, SetRangeOnEmptySet) {
    BitSet set;
    set.set(3, 5);
    EXPECT_EQ(set.size(), 6u);
    for (std::size_t n = 0; n < 6; ++n)
        EXPECT_EQ(set.test(n), n >= 3 ? 1 : 0) << n;
    EXPECT_EQ(set.test(100), 0);
    EXPECT_EQ(set.size(), 6u);
    ASSERT_EQ(set.bytes().size(), 1u);
    EXPECT_EQ(set.bytes()[0], 0x38);
}

TEST(BitSet, RangesAcrossBytes) {
    BitSet set;
    set.set(6, 17);
    EXPECT_EQ(set.size(), 18u);
    ASSERT_EQ(set.bytes().size(), 3u);
    EXPECT_EQ(set.bytes()[0], 0xC0);
    EXPECT_EQ(set.bytes()[1], 0xFF);
    EXPECT_EQ(set.bytes()[2], 0x03);
    EXPECT_EQ(set.count(1), 12u);

    // A range inside the set does not change its size.
    set.set(0, 0);
    EXPECT_EQ(set.size(), 18u);
    EXPECT_EQ(set.bytes()[0], 0xC1);

    // from > to sets nothing but still makes room for bit to.
    BitSet empty;
    empty.set(9, 4);
    EXPECT_EQ(empty.size(), 5u);
    EXPECT_EQ(empty.count(1), 0u);
}

TEST(BitSet, SetClearTestCount) {
    BitSet set;
    set.set(0);
    set.set(9);
    EXPECT_EQ(set.size(), 10u);
    EXPECT_EQ(set.bytes()[1], 0x02);
    EXPECT_EQ(set.count(1), 2u);
    set.clear(9);
    EXPECT_EQ(set.test(9), 0);
    EXPECT_EQ(set.size(), 10u);
    // Clearing and testing far beyond the end change nothing.
    set.clear(1000000000);
    EXPECT_EQ(set.test(static_cast<std::size_t>(-1)), 0);
    EXPECT_EQ(set.size(), 10u);
    set.set(7);
    set.clear();
    EXPECT_EQ(set.count(1), 0u);
    EXPECT_EQ(set.size(), 10u);
}

TEST(BitSet, CopiesAndBitVectors) {
    BitSet a(std::vector<bool>{true, false, true, true, false, false, false, false, true});
    EXPECT_EQ(a.size(), 9u);
    EXPECT_EQ(a.bytes()[0], 0x0D);
    EXPECT_EQ(a.bytes()[1], 0x01);
    BitSet b(a);
    b.set(20);
    EXPECT_EQ(a.size(), 9u);
    EXPECT_EQ(b.size(), 21u);
    EXPECT_NE(a, b);
    b = a;
    EXPECT_EQ(a, b);
}

TEST(BitSet, BadCountArgumentIsInternalError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    BitSet set;
    set.set(2);
    EXPECT_EXIT(set.count(0), testing::ExitedWithCode(2), "Unexpected error detected\\.");
}

TEST(BitSet, PositionsBeyondTheLargestSetEndWithMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    BitSet set;
    const char *message = "BitSet: bit position beyond the largest bit set \\(4294967296 bits\\)";
    EXPECT_EXIT(set.set(static_cast<std::size_t>(-1)), testing::ExitedWithCode(2), message);
    EXPECT_EXIT(set.set(0, static_cast<std::size_t>(-2)), testing::ExitedWithCode(2), message);
    EXPECT_EXIT(set.set(std::size_t(1) << 32), testing::ExitedWithCode(2), message);
    // Testing and clearing there stay harmless.
    set.clear(std::size_t(1) << 40);
    EXPECT_EQ(set.test(std::size_t(1) << 40), 0);
    EXPECT_EQ(set.size(), 0u);
}

TEST(IndexAndType, MembersCompareAndDump) {
    IndexAndType a(3, -7), b(3, 7), c(a);
    EXPECT_EQ(a.RetIndex(), 3);
    EXPECT_EQ(a.RetId(), -7);
    EXPECT_TRUE(a == c);
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(IndexAndType(4, -7) == a);
    std::ostringstream os;
    a.Dump(os);
    EXPECT_EQ(os.str(), "3 | -7");
}

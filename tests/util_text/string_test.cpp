// String: construction, the position-aware searches and the cutting views.
#include <Lmr_Util/String.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(String, Construction)
{
    EXPECT_STREQ(String().chars(), "");
    EXPECT_STREQ(String('x').chars(), "x");
    EXPECT_STREQ(String("abc").chars(), "abc");
    EXPECT_STREQ(String(static_cast<const char *>(nullptr)).chars(), "");
    EXPECT_STREQ(String(std::string("std")).chars(), "std");
    String original("copy");
    String copy(original);
    copy.upcase();
    EXPECT_STREQ(original.chars(), "copy");
    EXPECT_STREQ(copy.chars(), "COPY");
    String fromView(String("net.REG").after("."));
    EXPECT_STREQ(fromView.chars(), "REG");
    String assigned;
    assigned = original;
    EXPECT_EQ(assigned, "copy");
    EXPECT_EQ(String("a1b").elem(1), '1');
}

TEST(String, UpcaseTouchesLettersOnly)
{
    String s("sdr 12;x_y");
    s.upcase();
    EXPECT_STREQ(s.chars(), "SDR 12;X_Y");
}

TEST(String, ContainsAtPosition)
{
    EXPECT_EQ(String("SDR").contains("SDR", 0), 1);
    EXPECT_EQ(String("SDRX").contains("SDR", 0), 1);
    EXPECT_EQ(String("ASDR").contains("SDR", 0), 0);
    EXPECT_EQ(String("ASDR").contains("SDR", 1), 1);
    EXPECT_EQ(String("ASDR").contains("SDR", 2), 0);
    EXPECT_EQ(String("SD").contains("SDR", 0), 0);
    EXPECT_EQ(String("SDR").contains("SDR", 9), 0);
    // A negative position asks for a suffix.
    EXPECT_EQ(String("ENDDR").contains("DR", -1), 1);
    EXPECT_EQ(String("ENDDRX").contains("DR", -1), 0);
    EXPECT_EQ(String("R").contains("DR", -1), 0);
}

TEST(String, ContainsAnywhere)
{
    String s("HDR 8 TDI (ff);");
    EXPECT_EQ(s.contains('('), 1);
    EXPECT_EQ(s.contains('#'), 0);
    EXPECT_EQ(s.contains("TDI"), 1);
    EXPECT_EQ(s.contains("TDO"), 0);
    EXPECT_EQ(s.contains(String("(ff)")), 1);
    EXPECT_EQ(s.contains(Regexp("[0-9]+")), 1);
    EXPECT_EQ(s.contains(Regexp("x*")), 0); // only empty matches
}

TEST(String, IndexWithPosition)
{
    String banana("banana");
    EXPECT_EQ(banana.index("a", 0), 1);
    EXPECT_EQ(banana.index("a", 2), 3);
    EXPECT_EQ(banana.index("a", -1), 5);
    EXPECT_EQ(banana.index("a", 6), -1);
    EXPECT_EQ(banana.index("a", 60), -1);
    EXPECT_EQ(banana.index("nan", 0), 2);
    EXPECT_EQ(banana.index("x", 0), -1);
    EXPECT_EQ(banana.index("x", -1), -1);
    EXPECT_EQ(banana.index('n', 3), 4);
    EXPECT_EQ(banana.index(Regexp("an+"), 0), 1);
    EXPECT_EQ(banana.index(Regexp("an+"), 2), 3);
    EXPECT_EQ(banana.index(Regexp("an+"), -1), 3);
    EXPECT_EQ(banana.index(Regexp("^b"), 1), -1);
}

TEST(String, BeforeAndAfter)
{
    String name("net.REG");
    EXPECT_EQ(name.after(".").str(), "REG");
    EXPECT_EQ(String("net.").after(".").str(), "");
    EXPECT_EQ(String("net").after(".").length(), 0u);
    EXPECT_EQ(name.after(2).str(), ".REG");
    EXPECT_EQ(name.after(6).str(), "");
    EXPECT_EQ(name.after(-1).str(), "net.REG");
    EXPECT_EQ(name.before(3).str(), "net");
    EXPECT_THROW(name.before(8), std::out_of_range);
    String path("a.b.c");
    EXPECT_EQ(path.before(".", 0).str(), "a");
    EXPECT_EQ(path.before(".", 2).str(), "a.b");
    EXPECT_EQ(path.before(".", -1).str(), "a.b");
    EXPECT_TRUE(path.before("#", 0).isNull());
    EXPECT_EQ(path.before(Regexp("\\.[c]"), 0).str(), "a.b");
}

TEST(String, AtViewsAndReplacement)
{
    String s("TDI (00ff)");
    EXPECT_EQ(s.at(5, 4).str(), "00ff");
    EXPECT_THROW(s.at(8, 5), std::out_of_range);
    s.at(5, 4) = "1";
    EXPECT_STREQ(s.chars(), "TDI (1)");
    const String constant("xyz");
    EXPECT_EQ(constant.at(1, 2).str(), "yz");
}

TEST(String, Matches)
{
    String s("SDRSIZE");
    EXPECT_EQ(s.matches("SIZE", 3), 1);
    EXPECT_EQ(s.matches("SIZ", 3), 0);
    EXPECT_EQ(s.matches("SDRSIZE", 0), 1);
    EXPECT_EQ(s.matches("DRSIZE", 0), 0);
    EXPECT_EQ(s.matches("SIZE", -4), 1);
    EXPECT_EQ(s.matches("SIZE", -5), 0);
    EXPECT_EQ(s.matches("X", 20), 0);
}

} // namespace

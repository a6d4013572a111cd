// TokenStream: words cut in place, line reading and restoring, the keyed
// look-ups of names and numbers, and the delay-value lists.
#include <Lmr_Util/TokenStream.h>
#include <Lmr_Zutils/pt_msg.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

TEST(TokenStream, WordsAreCutAtEverySeparator)
{
    TokenStream ts("  alpha,beta\tgamma\r\ndelta  ");
    EXPECT_STREQ(ts.getword(), "alpha");
    EXPECT_STREQ(ts.getword(), "beta");
    EXPECT_STREQ(ts.getword(1), "GAMMA");
    EXPECT_STREQ(ts.getword(), "delta");
    EXPECT_EQ(ts.getword(), nullptr);
    EXPECT_EQ(ts.getword(), nullptr);
}

TEST(TokenStream, LastWordRunsToTheEnd)
{
    TokenStream ts("one two");
    EXPECT_STREQ(ts.getword(), "one");
    EXPECT_STREQ(ts.getword(), "two");
    EXPECT_EQ(ts.getword(), nullptr);
    EXPECT_EQ(TokenStream("").getword(), nullptr);
    EXPECT_EQ(TokenStream(" ,\t").getword(), nullptr);
}

TEST(TokenStream, RestoreLineReadsFromTheFirstWordAgain)
{
    TokenStream ts("a b,c");
    EXPECT_STREQ(ts.getword(), "a");
    EXPECT_STREQ(ts.getword(), "b");
    ts.restoreline();
    EXPECT_STREQ(ts.getword(), "a");
    EXPECT_STREQ(ts.getword(), "b");
    // The comma was cut and became a space: "c" still follows.
    EXPECT_STREQ(ts.getword(), "c");
    EXPECT_EQ(ts.getword(), nullptr);
}

TEST(TokenStream, LinesOfAStream)
{
    std::istringstream in("first line\nsecond Line\r\nlast");
    TokenStream ts(in);
    EXPECT_EQ(ts.getword(), nullptr);
    EXPECT_EQ(ts.getline(), 0);
    EXPECT_EQ(ts.currentLine(), "first line");
    EXPECT_STREQ(ts.getword(), "first");
    EXPECT_EQ(ts.getline(1), 0);
    EXPECT_STREQ(ts.getword(), "SECOND");
    EXPECT_STREQ(ts.getword(), "LINE");
    EXPECT_EQ(ts.getword(), nullptr);
    // The last line has no line feed and is read all the same.
    EXPECT_EQ(ts.getline(), 0);
    EXPECT_STREQ(ts.getword(), "last");
    EXPECT_NE(ts.getline(), 0);
    EXPECT_NE(TokenStream("text").getline(), 0);
}

TEST(TokenStream, NthWordAndKeyedNames)
{
    EXPECT_STREQ(TokenStream("a b c d").getnword(3), "c");
    EXPECT_STREQ(TokenStream("a b c d").getnword(1), "a");
    EXPECT_EQ(TokenStream("a b").getnword(3), nullptr);
    EXPECT_EQ(TokenStream("a b").getnword(0), nullptr);
    EXPECT_STREQ(TokenStream("PIN P1 NAME clk").getkname("NAME"), "clk");
    EXPECT_EQ(TokenStream("PIN P1 NAME").getkname("NAME"), nullptr);
    EXPECT_EQ(TokenStream("PIN P1 NAMES x").getkname("NAME"), nullptr);
}

TEST(TokenStream, Numbers)
{
    EXPECT_EQ(TokenStream("DELAY 12.7 ns").getknumber("DELAY"), 12);
    EXPECT_EQ(TokenStream("DELAY ns").getknumber("DELAY"), -1);
    EXPECT_EQ(TokenStream("DELAY").getknumber("DELAY"), -1);
    EXPECT_EQ(TokenStream("-3.9").getnumber(), -3);
    EXPECT_EQ(TokenStream("7x").getnumber(), 7);
    EXPECT_EQ(TokenStream("x7").getnumber(), -1);
    EXPECT_EQ(TokenStream("").getnumber(), -1);
    // Beyond the range of the result: held to it.
    EXPECT_EQ(TokenStream("1e9").getnumber(), 32767);
}

TEST(TokenStream, CopiesShareTheBuffer)
{
    TokenStream first("one two three");
    EXPECT_STREQ(first.getword(), "one");
    TokenStream second(first);
    EXPECT_STREQ(second.getword(), "two");
    {
        TokenStream third("other");
        third = second;
        EXPECT_STREQ(third.getword(), "three");
    }
    // The copies are gone; the shared buffer is still there for first.
    EXPECT_STREQ(first.getword(), "two");
}

TEST(TokenStream, LongLinesReadPast32767Characters)
{
    std::string line(40000, 'x');
    line += " tail";
    TokenStream ts(line.c_str());
    EXPECT_EQ(std::string(ts.getword()).size(), 40000u);
    EXPECT_STREQ(ts.getword(), "tail");
}

TEST(TokenStream, DelayValues)
{
    const char *stops[] = {"END", "STOP"};
    int count = -1;
    TokenStream ts("PRE 9 DELAY x TPD 1.5 2 3.25 END 4");
    short *values = ts.getvalues("DELAY", "TPD", stops, 2, count);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(values[0], 15);
    EXPECT_EQ(values[1], 20);
    EXPECT_EQ(values[2], 32);

    // The sub key without the key first: nothing.
    TokenStream early("TPD 1 2");
    early.getvalues("DELAY", "TPD", stops, 2, count);
    EXPECT_EQ(count, 0);

    TokenStream none("DELAY TPD");
    none.getvalues("DELAY", "TPD", stops, 2, count);
    EXPECT_EQ(count, 0);
}

class TokenStreamFatal : public ::testing::Test {
protected:
    void SetUp() override
    {
        pt_reset_messages();
        previous_ = pt_set_exit_hook(pt_throw_exit_request);
    }
    void TearDown() override
    {
        pt_set_exit_hook(previous_);
        pt_reset_messages();
    }
    pt_exit_hook_t previous_ = nullptr;
};

TEST_F(TokenStreamFatal, ANonNumberIsAFatalError)
{
    int count = 0;
    TokenStream ts("DELAY TPD 1 abc");
    testing::internal::CaptureStdout();
    try {
        ts.getvalues("DELAY", "TPD", nullptr, 0, count);
        FAIL() << "getvalues returned";
    } catch (const pt_exit_request &request) {
        EXPECT_EQ(request.status, 2);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[ERROR]:hi700 - Invalid delay number in delay type DELAY: abc\n");
}

TEST_F(TokenStreamFatal, MoreValuesThanTheTableHoldsIsAFatalError)
{
    std::string text = "DELAY TPD";
    for (int i = 0; i < TokenStream::ValueTableSize + 1; ++i)
        text += " 1";
    TokenStream ts(text.c_str());
    int count = 0;
    testing::internal::CaptureStderr();
    try {
        ts.getvalues("DELAY", "TPD", nullptr, 0, count);
        FAIL() << "getvalues returned";
    } catch (const pt_exit_request &request) {
        EXPECT_EQ(request.status, 2);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Fatal: Too many delay numbers in delay type DELAY.\n");
    EXPECT_EQ(count, TokenStream::ValueTableSize);
}

} // namespace

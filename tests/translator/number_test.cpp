// getFloat, the SVF number reader: integers, reals assembled from the
// lexer's tokens (1.5E-3 arrives as 1 . 5e - 3), and its error messages.
#include "runtest.h"
#include "translator_fixture.h"

using namespace svf;

namespace {
struct Reading {
    int kind;
    double value;
    std::string after;  // the token delivered next
};
}  // namespace

class NumberTest : public TranslatorTest {
protected:
    Reading read(const std::string &text) {
        FileChannel &in = input(text + " ;");
        float real = 0;
        long integer = 0;
        double exact = 0;
        int kind = getFloat(in, kPositiveRequired, &real, &integer, &exact);
        Reading reading{kind, kind == FLOAT_INTEGER ? static_cast<double>(integer) : static_cast<double>(real), ""};
        if (kind == FLOAT_NONE) in.iTokenState = kStatePushedBack;
        lex(in, 0);
        reading.after = in.sToken;
        delete pFC_Input;
        pFC_Input = nullptr;
        return reading;
    }
    std::string fails(const std::string &text) {
        FileChannel &in = input(text + " ;");
        return expectFatal([&] {
            float real = 0;
            long integer = 0;
            getFloat(in, kPositiveRequired, &real, &integer);
        });
    }
};

TEST_F(NumberTest, IntegersAndRealsInEveryAcceptedForm) {
    Reading r = read("100 TCK");
    EXPECT_EQ(r.kind, FLOAT_INTEGER);
    EXPECT_EQ(r.value, 100);
    EXPECT_EQ(r.after, "tck");

    r = read("1.5 TCK");
    EXPECT_EQ(r.kind, FLOAT_REAL);
    EXPECT_EQ(r.value, 1.5);
    EXPECT_EQ(r.after, "tck");

    r = read("1E3 TCK");
    EXPECT_EQ(r.kind, FLOAT_REAL);
    EXPECT_EQ(r.value, 1000);

    r = read("1.0E+3 TCK");
    EXPECT_EQ(r.kind, FLOAT_REAL);
    EXPECT_EQ(r.value, 1000);
    EXPECT_EQ(r.after, "tck");

    r = read("1.00E-02 SEC");
    EXPECT_EQ(r.kind, FLOAT_REAL);
    EXPECT_FLOAT_EQ(static_cast<float>(r.value), 0.01f);
    EXPECT_EQ(r.after, "sec");

    r = read("+2.5e1 HZ");
    EXPECT_EQ(r.value, 25);
}

TEST_F(NumberTest, NoNumberLeavesTheTokenForTheCaller) {
    Reading r = read("; x");
    EXPECT_EQ(r.kind, FLOAT_NONE);
    EXPECT_EQ(r.after, ";");
    r = read("ENDSTATE IDLE");
    EXPECT_EQ(r.kind, FLOAT_NONE);
    EXPECT_EQ(r.after, "endstate");
}

TEST_F(NumberTest, RealWithoutExponentNeedsAWordAfterIt) {
    EXPECT_NE(fails("2.5;").find("\nError  : Exponent sign ?\n[in.svf: line 1]:[;]"), std::string::npos);
}

TEST_F(NumberTest, NegativeNumbersAreRefusedWithTheMessageOfTheirForm) {
    EXPECT_NE(fails("-5 TCK").find("Error  : Positive number required"), std::string::npos);
    EXPECT_NE(fails("-1e3 TCK").find("Error  : Positive number expected"), std::string::npos);
    EXPECT_NE(fails("-1.5 TCK").find("Error  : Expected a positive number"), std::string::npos);
}

TEST_F(NumberTest, MalformedRealsAreRefused) {
    const char *syntax = "Error  : Incorrect real number syntax (use digits[.digits][e[+|-]digits])";
    EXPECT_NE(fails("1.x5 TCK").find(syntax), std::string::npos);
    EXPECT_NE(fails("1.;").find(syntax), std::string::npos);
    EXPECT_NE(fails("1e + x").find("Error  : Number expected"), std::string::npos);
}

// The SVF lexer: token classes and lowering, the one-token and
// one-character push-back, both comment forms, the length limits, line
// counting (also with CR LF line ends), the number test and lGetLong.
#include <cstring>

#include "diagnostics.h"
#include "translator_fixture.h"

using namespace svf;

namespace {
struct Token {
    std::string text;
    int type;
    long line;
};
Token next(FileChannel &channel) {
    lex(channel, 0);
    return {channel.sToken, channel.iTokenType, channel.lLineNum};
}
}  // namespace

TEST_F(TranslatorTest, LexerLowersWordsAndKeepsTheWrittenCaseForDiagnostics) {
    FileChannel &in = input("SdR 8TDI TDI(0F);");
    Token t = next(in);
    EXPECT_EQ(t.text, "sdr");
    EXPECT_EQ(t.type, TOK_WORD);
    EXPECT_STREQ(in.sLastToken, "SdR");
    EXPECT_STREQ(in.sLcToken, "sdr");
    t = next(in);
    EXPECT_EQ(t.text, "8tdi");  // a number token holding a letter is a word
    EXPECT_EQ(t.type, TOK_WORD);
    EXPECT_EQ(next(in).text, "tdi");
    t = next(in);
    EXPECT_EQ(t.text, "(");
    EXPECT_EQ(t.type, TOK_PUNCT);
}

TEST_F(TranslatorTest, LexerPushBackDeliversTheSameTokenOnce) {
    FileChannel &in = input("RUNTEST 100 TCK;");
    EXPECT_EQ(next(in).text, "runtest");
    Token count = next(in);
    EXPECT_EQ(count.text, "100");
    EXPECT_EQ(count.type, TOK_NUMBER);
    in.iTokenState = kStatePushedBack;
    EXPECT_EQ(next(in).text, "100");
    EXPECT_EQ(next(in).text, "tck");  // the character after 100 was pushed back, not lost
    EXPECT_EQ(next(in).text, ";");
}

TEST_F(TranslatorTest, LexerSkipsBothCommentFormsAndSplitsASingleSlash) {
    FileChannel &in = input("! first comment\n// second\nSIR /x;\n");
    Token t = next(in);
    EXPECT_EQ(t.text, "sir");
    EXPECT_EQ(t.line, 3);
    EXPECT_EQ(next(in).text, "/");
    EXPECT_EQ(next(in).text, "x");  // the character after the slash starts the next token
    EXPECT_EQ(next(in).text, ";");
}

TEST_F(TranslatorTest, CommentOnTheLastLineWithoutLineFeedIsFatal) {
    FileChannel &in = input("SIR 8 TDI (00);\n! no line end");
    std::string out = expectFatal([&] {
        for (int i = 0; i < 20; ++i) lex(in, 0);
    });
    EXPECT_EQ(out, "\nError  : EOF_CH");
}

TEST_F(TranslatorTest, WordOf97CharactersPassesAnd98IsFatal) {
    std::string word97(97, 'a');
    FileChannel &in = input(word97 + " " + std::string(98, 'b') + ";");
    EXPECT_EQ(next(in).text, word97);
    std::string out = expectFatal([&] { lex(in, 0); });
    EXPECT_NE(out.find("\nError  : token exceeds 98 characters\n[in.svf: line 1]:["), std::string::npos) << out;
}

TEST_F(TranslatorTest, NumberOf29DigitsPassesAnd30IsFatal) {
    std::string digits29(29, '1');
    FileChannel &in = input(digits29 + " " + std::string(30, '2') + ";");
    Token t = next(in);
    EXPECT_EQ(t.text, digits29);
    EXPECT_EQ(t.type, TOK_NUMBER);
    std::string out = expectFatal([&] { lex(in, 0); });
    EXPECT_NE(out.find("Error  : number exceeds [30] digits"), std::string::npos) << out;
}

TEST_F(TranslatorTest, LineNumbersCountTheLineFeedThatEndsAToken) {
    FileChannel &in = input("a\nb\n\nc");
    EXPECT_EQ(next(in).line, 2);  // the line feed after "a" is already read
    EXPECT_EQ(next(in).line, 3);
    Token last = next(in);
    EXPECT_EQ(last.text, "c");
    EXPECT_EQ(last.line, 4);
    EXPECT_TRUE(in.atEof());
}

TEST_F(TranslatorTest, CrLfInputReadsLikeLfInput) {
    iOptPrintSrc = 2;
    auto readAll = [&](const std::string &text, const std::string &name) {
        FileChannel &in = input(text, name);
        std::vector<Token> tokens;
        for (int i = 0; i < 4; ++i) tokens.push_back(next(in));
        delete pFC_Input;
        pFC_Input = nullptr;
        return tokens;
    };
    std::vector<Token> lf = readAll("SIR\n8\n;\n! note\nX", "lf.svf");
    std::vector<uint8_t> lfEcho = outputBytes();
    std::vector<Token> crlf = readAll("SIR\r\n8\r\n;\r\n! note\r\nX", "crlf.svf");
    std::vector<uint8_t> both = outputBytes();
    for (size_t i = 0; i < lf.size(); ++i) {
        EXPECT_EQ(crlf[i].text, lf[i].text);
        EXPECT_EQ(crlf[i].line, lf[i].line);
    }
    EXPECT_EQ(lf[1].line, 3);
    EXPECT_EQ(lf[3].text, "x");  // a token ended by the end of the input is still a token
    EXPECT_EQ(lf[3].line, 5);
    // The comment echo (QCOMMENT, the text read so far, 0) holds no CR.
    std::string expectedEcho = std::string("\x16") + "SIR\n8\n;\n! note\n" + std::string(1, '\0');
    EXPECT_EQ(std::string(lfEcho.begin(), lfEcho.end()), expectedEcho);
    EXPECT_EQ(std::string(both.begin(), both.end()), expectedEcho + expectedEcho);
}

TEST_F(TranslatorTest, SourceEchoKeepsAtMost69Characters) {
    iOptPrintSrc = 2;
    std::string longCommand = "SDR 8 TDI (00) " + std::string(100, ' ') + ";";
    FileChannel &in = input(longCommand);
    while (!in.atEof() && std::strcmp(in.sToken, ";") != 0) lex(in, 0);
    EXPECT_EQ(in.lSrcLineLen, 69);
    writeSvfSrc(in, 1);
    std::vector<uint8_t> bytes = outputBytes();
    ASSERT_EQ(bytes.size(), 71u);
    EXPECT_EQ(bytes[0], 22);  // QCOMMENT
    EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 16), "SDR 8 TDI (00) ");
    EXPECT_EQ(bytes[70], 0);
    EXPECT_EQ(in.lSrcLineLen, 0);
}

TEST_F(TranslatorTest, SourceEchoIsOffForPrintLevelsZeroAndOne) {
    iOptPrintSrc = 1;
    FileChannel &in = input("! comment\nSIR;");
    lex(in, 0);
    writeSvfSrc(in, 1);
    EXPECT_TRUE(outputBytes().empty());
}

TEST(TestIsNum, AcceptsDigitsWithAnOptionalExponentLetter) {
    EXPECT_EQ(testIsNum("123", 0), 1);
    EXPECT_EQ(testIsNum("12e5", 0), 1);
    EXPECT_EQ(testIsNum("12E", 0), 1);
    EXPECT_EQ(testIsNum("12.5", 0), 0);
    EXPECT_EQ(testIsNum("1e-5", 0), 0);
    EXPECT_EQ(testIsNum("x1", 0), 0);
    EXPECT_EQ(testIsNum("1e5e", 0), 0);
    EXPECT_EQ(testIsNum("12e5", 1), 0);
    EXPECT_EQ(testIsNum("123", 1), 1);
}

TEST_F(TranslatorTest, GetLongReadsSignedNumbers) {
    FileChannel &in = input("-5 42 ");
    EXPECT_EQ(lGetLong(0, in), -5);
    EXPECT_EQ(lGetLong(kPositiveOnly, in), 42);
}

TEST_F(TranslatorTest, GetLongRefusesASignInPositiveMode) {
    FileChannel &in = input("-5 ;");
    std::string out = expectFatal([&] { lGetLong(kPositiveOnly, in); });
    EXPECT_EQ(out, "\nError  : Expected positive number\n[in.svf: line 1]:[-]");
}

TEST_F(TranslatorTest, GetLongRefusesAWord) {
    FileChannel &in = input("abc ;");
    std::string out = expectFatal([&] { lGetLong(0, in); });
    EXPECT_EQ(out, "\nError  : Number expected\n[in.svf: line 1]:[abc]");
}

TEST_F(TranslatorTest, GetLongRefusesNumbersBeyond32Bits) {
    FileChannel &in = input("2147483647 2147483648 ;");
    EXPECT_EQ(lGetLong(0, in), 2147483647);
    std::string out = expectFatal([&] { lGetLong(0, in); });
    EXPECT_NE(out.find("Error  : Number [2147483648] exceeds limit [2147483647]"), std::string::npos) << out;
}

TEST_F(TranslatorTest, SkippingSearchStopsAtTheEndOfTheInput) {
    FileChannel &in = input("a b c");
    strSearch(";", 1, in);
    EXPECT_TRUE(in.atEof());
}

TEST_F(TranslatorTest, DemandedTokenAtTheEndOfTheInputIsNotFound) {
    FileChannel &in = input("STATE IDLE");
    lex(in, 0);
    lex(in, 0);
    std::string out = expectFatal([&] { strSearch(";", 0, in); });
    EXPECT_NE(out.find("Error  : Token [;] not found"), std::string::npos) << out;
}

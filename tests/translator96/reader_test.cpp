// Statement reader and tokenizer of svf2qsvf96: statement gathering over
// lines, comments, the history with push-back, CR LF input, the words of a
// statement and the value and number rules.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "session.h"
#include "svf_reader.h"

namespace svf96 {
namespace {

// A reader over an in-memory text.
class ReaderOn {
public:
    explicit ReaderOn(const std::string &text) : text_(text) {
        file_ = text_.empty() ? std::tmpfile() : fmemopen(text_.data(), text_.size(), "r");
        reader_ = std::make_unique<SvfReader>(file_);
    }
    ~ReaderOn() { std::fclose(file_); }
    SvfReader &operator*() { return *reader_; }
    SvfReader *operator->() { return reader_.get(); }

    // The words of the next statement, or {"<end>"} at the end.
    std::vector<std::string> nextWords() {
        if (reader_->ReadStatement()) return {"<end>"};
        std::vector<std::string> words;
        std::string_view token;
        while (reader_->NextToken(token)) words.emplace_back(token);
        return words;
    }

private:
    std::string text_;
    std::FILE *file_;
    std::unique_ptr<SvfReader> reader_;
};

using Words = std::vector<std::string>;

TEST(Reader, StatementsEndAtSemicolonEmptyLineOrComment) {
    ReaderOn reader(
        "SIR 8 TDI (01)\n"
        "  SMASK (ff) ;\n"  // lines are joined, the blanks keep the words apart
        "TRST OFF\n"
        "\n"               // an empty line ends a statement
        "// comment\n"
        "\t! indented comment\n"
        "STATE,IDLE\t;\n");
    EXPECT_EQ(reader.nextWords(), (Words{"SIR", "8", "TDI", "(01)", "SMASK", "(ff)", ";"}));
    EXPECT_EQ(reader.nextWords(), (Words{"TRST", "OFF"}));
    EXPECT_EQ(reader.nextWords(), (Words{"STATE", "IDLE", ";"}));
    EXPECT_EQ(reader.nextWords(), (Words{"<end>"}));
}

TEST(Reader, LinesJoinWithoutSeparator) {
    ReaderOn reader("SDR 16 TDI (1a\n58) SMASK\n(ffff) ;\n");
    // The value spans the lines; the keyword at a line end runs into the next word.
    EXPECT_EQ(reader.nextWords(), (Words{"SDR", "16", "TDI", "(1a58)", "SMASK(ffff)", ";"}));
}

TEST(Reader, CarriageReturnLineEndsReadLikeLineFeeds) {
    ReaderOn crlf("SIR 8 TDI (01) SMASK (ff) ;\r\n\r\nSDR 8 TDI (a5)\r\n SMASK (ff) ;\r\n");
    ReaderOn lf("SIR 8 TDI (01) SMASK (ff) ;\n\nSDR 8 TDI (a5)\n SMASK (ff) ;\n");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(crlf.nextWords(), lf.nextWords()) << "statement " << i;
    ReaderOn one("SDR 8 TDI (a5)\r\n SMASK (ff) ;\r\n");
    ASSERT_FALSE(one->ReadStatement());
    EXPECT_EQ(one->statement(), "SDR 8 TDI (a5) SMASK (ff) ;");
}

TEST(Reader, HistoryGivesBackUpToTwoStatements) {
    ReaderOn reader("A 1 ;\nB 2 ;\nC 3 ;\nD 4 ;\n");
    EXPECT_EQ(reader.nextWords(), (Words{"A", "1", ";"}));
    EXPECT_EQ(reader.nextWords(), (Words{"B", "2", ";"}));
    EXPECT_EQ(reader->statementCount(), 2);
    reader->UngetStatement();
    EXPECT_EQ(reader->statementCount(), 1);
    EXPECT_EQ(reader.nextWords(), (Words{"B", "2", ";"}));
    EXPECT_EQ(reader.nextWords(), (Words{"C", "3", ";"}));
    reader->UngetStatement();
    reader->UngetStatement();
    EXPECT_EQ(reader->statementCount(), 1);
    EXPECT_EQ(reader.nextWords(), (Words{"B", "2", ";"}));  // words are read again from the start
    EXPECT_EQ(reader.nextWords(), (Words{"C", "3", ";"}));
    EXPECT_EQ(reader.nextWords(), (Words{"D", "4", ";"}));
    EXPECT_EQ(reader.nextWords(), (Words{"<end>"}));
    EXPECT_EQ(reader->statementCount(), 5);
}

TEST(Reader, FirstStatementCanBeGivenBack) {
    ReaderOn reader("A ;\nB ;\n");
    EXPECT_EQ(reader.nextWords(), (Words{"A", ";"}));
    reader->UngetStatement();
    EXPECT_EQ(reader.nextWords(), (Words{"A", ";"}));
    EXPECT_EQ(reader.nextWords(), (Words{"B", ";"}));
}

TEST(Reader, CommentsOnlyOrEmptyInputEndAtOnce) {
    ReaderOn comments("// one\n! two\n\n   \n");
    EXPECT_EQ(comments.nextWords(), (Words{"<end>"}));
    ReaderOn empty("");
    EXPECT_EQ(empty.nextWords(), (Words{"<end>"}));
}

TEST(Reader, LastLineWithoutLineFeedIsRead) {
    ReaderOn reader("A ;\nB 2 ;");
    EXPECT_EQ(reader.nextWords(), (Words{"A", ";"}));
    EXPECT_EQ(reader.nextWords(), (Words{"B", "2", ";"}));
    EXPECT_EQ(reader.nextWords(), (Words{"<end>"}));
}

int exitStatusOf(ReaderOn &reader, int statements) {
    try {
        for (int i = 0; i < statements; ++i) reader->ReadStatement();
    } catch (const ExitRequest &request) {
        return request.status;
    }
    return 0;
}

TEST(Reader, SecondStatementOnALineIsASyntaxError) {
    ReaderOn reader("A ;\nB ; C ;\n");
    EXPECT_EQ(exitStatusOf(reader, 3), 1);
    ReaderOn comment("A ; // trailing words\nB ; ! more\n");
    EXPECT_EQ(exitStatusOf(comment, 3), 0);
}

TEST(Reader, StatementCutOffByTheEndIsASyntaxError) {
    ReaderOn cut("A ;\nSDR 8 TDI (a5)\n SMASK");
    EXPECT_EQ(exitStatusOf(cut, 3), 1);
    ReaderOn trailingBlanks("A ;\n  \t");
    EXPECT_EQ(exitStatusOf(trailingBlanks, 3), 0);
}

TEST(Tokenizer, KeywordsAreExactAndCaseSensitive) {
    EXPECT_TRUE(IsKeyword("SDR", "SDR"));
    EXPECT_FALSE(IsKeyword("SDRX", "SDR"));
    EXPECT_FALSE(IsKeyword("ASDR", "SDR"));
    EXPECT_FALSE(IsKeyword("sdr", "SDR"));
    EXPECT_FALSE(IsKeyword("", "SDR"));
    EXPECT_TRUE(IsKeyword(";", ";"));
}

TEST(Tokenizer, ValueIsTheTextBetweenTheParentheses) {
    EXPECT_EQ(StripParens("(a5)"), "a5");
    EXPECT_EQ(StripParens("(a5);"), "a5");
    EXPECT_EQ(StripParens("x(ab)cd)"), "ab");
    EXPECT_EQ(StripParens("()"), "");
    EXPECT_EQ(StripParens("(a5"), "");
    EXPECT_EQ(StripParens("a5)"), "");
    EXPECT_EQ(StripParens("("), "");
}

TEST(Tokenizer, DecimalNumbersReadLikeAtoi) {
    EXPECT_EQ(ReadDecimal("128"), 128);
    EXPECT_EQ(ReadDecimal("  42x"), 42);
    EXPECT_EQ(ReadDecimal("+7"), 7);
    EXPECT_EQ(ReadDecimal("-3"), -3);
    EXPECT_EQ(ReadDecimal("TCK"), 0);
    EXPECT_EQ(ReadDecimal(""), 0);
    EXPECT_EQ(ReadDecimal("1E6"), 1);
    EXPECT_EQ(ReadDecimal("99999999999999999999"), 2147483647);
    EXPECT_EQ(ReadDecimal("-99999999999999999999"), -2147483648L);
}

TEST(Tokenizer, ValuesMustFitTheirLength) {
    std::string value = "00a5";
    EXPECT_TRUE(FitValueToLength(value, 8));
    EXPECT_EQ(value, "a5");  // excess zero digits are dropped
    value = "1a5";
    EXPECT_FALSE(FitValueToLength(value, 8));
    value = "1f";  // 5 bits: the top digit holds one bit
    EXPECT_TRUE(FitValueToLength(value, 5));
    value = "3f";
    EXPECT_FALSE(FitValueToLength(value, 5));
    value = "A5";
    EXPECT_TRUE(FitValueToLength(value, 8));
    EXPECT_EQ(value, "A5");  // case is kept
    value = "a 5";
    EXPECT_FALSE(FitValueToLength(value, 8));
    value = "g0";
    EXPECT_FALSE(FitValueToLength(value, 8));
    value = "";
    EXPECT_TRUE(FitValueToLength(value, 8));
    value = "0";
    EXPECT_TRUE(FitValueToLength(value, 0));
    EXPECT_EQ(value, "");
    value = "1";
    EXPECT_FALSE(FitValueToLength(value, 0));
}

}  // namespace
}  // namespace svf96

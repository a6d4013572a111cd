// The lexer of qsvfcheck's SVF reader: characters from the file's blocks with
// line counting, tokens with a one-token push-back, and the expectations of
// a word or punctuation that the commands state.
//
// Lexical rules: white space separates tokens; "!" and "//" start a comment
// that runs to the end of the line; a word starts with a letter or "_"; a
// token that starts with a digit is a number, or a word when it holds a
// letter (1E6); every other printable character is a token of its own.
// Keywords, state names and units are compared in lower case.
#include "svf_reader.h"

#include <cctype>
#include <utility>

#include "svf_characters.h"

namespace qsvfcheck {

namespace {

// Longest token accepted; far above any real keyword, number or state name.
constexpr size_t kMaxTokenChars = 256;

}  // namespace

bool SvfReader::refill() { return m_blocks.next(m_pos, m_end); }

int SvfReader::get() {
    if (m_pos == m_end && !refill()) return -1;
    const int c = *m_pos++;
    if (c == '\n') ++m_line;
    return c;
}

int SvfReader::peek() {
    if (m_pos == m_end && !refill()) return -1;
    return *m_pos;
}

SvfReader::Token SvfReader::lex() {
    for (;;) {
        int c = get();
        if (c < 0) return {TokenKind::End, "", m_line};
        if (isSpace(c)) continue;
        if (c == '!' || (c == '/' && peek() == '/')) {
            while (c >= 0 && c != '\n') c = get();
            continue;
        }
        Token token{TokenKind::Other, std::string(1, static_cast<char>(c)), m_line};
        if (isLetter(c) || c == '_' || isDigit(c)) {
            bool letters = !isDigit(c);
            for (int n = peek(); isLetter(n) || isDigit(n) || n == '_'; n = peek()) {
                letters = letters || !isDigit(n);
                token.text += static_cast<char>(get());
                if (token.text.size() > kMaxTokenChars) fail(token.line, "token longer than 256 characters");
            }
            token.kind = letters ? TokenKind::Word : TokenKind::Number;
            for (char &ch : token.text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        } else if (isPunct(c)) {
            token.kind = TokenKind::Punct;
        }
        return token;
    }
}

SvfReader::Token SvfReader::nextToken() {
    if (m_pushed) {
        Token token = std::move(*m_pushed);
        m_pushed.reset();
        return token;
    }
    return lex();
}

void SvfReader::expect(const char *text, const char *command) {
    const Token token = nextToken();
    if (token.text != text || token.kind == TokenKind::End || token.kind == TokenKind::Number)
        fail(token.line,
             std::string(command) + ": \"" + text + "\" expected" +
                 (token.kind == TokenKind::End ? " before the end of the file" : ", found \"" + token.text + "\""));
}

std::string SvfReader::expectWord(const char *what) {
    const Token token = nextToken();
    if (token.kind != TokenKind::Word)
        fail(token.line,
             std::string(what) + ": a word expected" +
                 (token.kind == TokenKind::End ? " before the end of the file" : ", found \"" + token.text + "\""));
    return token.text;
}

void SvfReader::skipToSemicolon(const char *command) {
    for (Token token = nextToken(); !token.is(";"); token = nextToken())
        if (token.kind == TokenKind::End)
            fail(token.line, std::string(command) + ": \";\" missing at the end of the file");
}

}  // namespace qsvfcheck

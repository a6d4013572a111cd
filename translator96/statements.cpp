// Statements other than SDR (see statements.h).

#include "statements.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <string>

#include "session.h"

namespace svf96 {

namespace {

// Longest instruction scan a QSIR record can carry.
constexpr long kMaxSirBits = qsvf::kMaxQsirBits;

std::string_view requireToken(Session &session) {
    std::string_view token;
    if (!session.reader.NextToken(token)) syntaxError(session);
    return token;
}

void ignoreStatement(Session &) {}

void doSir(Session &session) {
    const long length = ReadDecimal(requireToken(session));
    if (length < 0) syntaxError(session);
    if (!IsKeyword(requireToken(session), "TDI")) syntaxError(session);
    std::string value(StripParens(requireToken(session)));
    if (!FitValueToLength(value, length)) syntaxError(session);
    if (!IsKeyword(requireToken(session), "SMASK")) syntaxError(session);
    requireToken(session);  // the SMASK value is not used
    // The length goes into one byte; a longer instruction cannot be written.
    if (length > kMaxSirBits) unsupportedStatement(session, "SIR of more than 255 bits");
    RecordWriter &writer = session.writer;
    writer.WriteOpcode(qsvf::QSIR);
    writer.WriteBigEndian(length, 1);
    writer.WriteHexBytes(value, static_cast<size_t>((length + 7) / 8));
}

void doRunTest(Session &session) {
    std::string_view token;
    const long n = session.reader.NextToken(token) ? RunTestClocks(session, token) : 0;
    if (n < 0) syntaxError(session);
    if (n != session.stream.lastRunTest) {
        WriteRunTest(session, n);
        session.stream.lastRunTest = n;
    }
}

struct StatementRule {
    const char *keyword;
    void (*handler)(Session &);
};

constexpr std::array<StatementRule, 6> kStatements = {{
    {"TRST", ignoreStatement},
    {"ENDIR", ignoreStatement},
    {"STATE", ignoreStatement},
    {"ENDDR", ignoreStatement},
    {"SIR", doSir},
    {"RUNTEST", doRunTest},
}};

}  // namespace

long RunTestClocks(Session &session, std::string_view value) {
    std::string_view unit;
    if (session.options.tck <= 0 || !session.reader.NextToken(unit)) return ReadDecimal(value);
    if (!unit.empty() && unit.back() == ';') unit.remove_suffix(1);
    if (!IsKeyword(unit, "SEC")) return ReadDecimal(value);
    const double seconds = std::strtod(std::string(value).c_str(), nullptr);
    // A product of two decimal numbers carries binary rounding error: a
    // whole number of clocks within it gains no clock.
    const double clocks = seconds * session.options.tck;
    const double whole = std::ceil(clocks - clocks * 1e-9);
    if (!(whole >= 0)) syntaxError(session);
    return whole >= 2147483647.0 ? 2147483647L : static_cast<long>(whole);
}

void WriteRunTest(Session &session, long n) {
    RecordWriter &writer = session.writer;
    StreamState &stream = session.stream;
    writer.WriteOpcode(qsvf::QRUNTEST);
    writer.WriteBigEndian(n, 4);
    if (session.options.fpgaMode) return;
    // Before the first scan there is no DR length yet; the filler is then an
    // empty scan behind a QSDRSIZE of 0, so that the wait still happens and
    // the player never meets a vector before its length is known.
    if (stream.lastScanSize < 0) {
        writer.WriteOpcode(qsvf::QSDRSIZE);
        writer.WriteBigEndian(0, 4);
        stream.lastScanSize = 0;
    }
    const size_t bytes = static_cast<size_t>((stream.lastScanSize + 7) / 8);
    writer.WriteOpcode(qsvf::QTDOMASK);
    writer.WriteZeroBytes(bytes);
    writer.WriteOpcode(qsvf::QSDRTDO);
    writer.WriteZeroBytes(bytes);
    writer.WriteZeroBytes(bytes);
    stream.lastTdoMask.assign(2 * bytes, '0');
    stream.lastTdoMaskBits = stream.lastScanSize;
    stream.lastTdoValue = stream.lastTdoMask;
}

void DoOtherStatement(Session &session) {
    std::string_view keyword;
    if (!session.reader.NextToken(keyword)) syntaxError(session);
    for (const StatementRule &rule : kStatements)
        if (IsKeyword(keyword, rule.keyword)) return rule.handler(session);
    unsupportedStatement(session, keyword);
}

}  // namespace svf96

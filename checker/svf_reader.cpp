// qsvfcheck's SVF reader: the commands, scan operands with their persistence
// rules, header and trailer joining, and the clock counts of RUNTEST.  The
// lexer it reads tokens with is in svf_lexer.cpp, the hexadecimal values of
// the operands are read in hex_digits.cpp.
#include "svf_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <utility>

#include "input_error.h"
#include "qsvf_format.h"
#include "svf_characters.h"

namespace qsvfcheck {

namespace {

constexpr uint64_t kMaxLength = 0xFFFFFFFFu;

// The operand keywords of scan commands, in the order of Operands::value.
constexpr std::array<const char *, 4> kOperandNames = {"tdi", "tdo", "mask", "smask"};
enum { kTdi = 0, kTdo = 1, kMask = 2, kSmask = 3 };

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

}  // namespace

SvfReader::SvfReader(std::string fileName, SvfOptions options)
    : m_fileName(std::move(fileName)), m_options(std::move(options)), m_blocks(m_fileName) {
    const ChainPlacement &chain = m_options.chain;
    if (chain.target == 0) return;
    const auto pad = [](Pattern &pattern, uint64_t bits, bool value) {
        if (bits == 0) return;
        pattern.length = bits;
        pattern.tdi = std::make_shared<const BitVector>(bits, value);
    };
    uint64_t headerIr = 0, trailerIr = 0;
    for (uint64_t device = 1; device <= chain.irLengths.size(); ++device) {
        if (device < chain.target) headerIr += chain.irLengths[device - 1];
        if (device > chain.target) trailerIr += chain.irLengths[device - 1];
    }
    pad(m_hir, headerIr, true);
    pad(m_tir, trailerIr, true);
    pad(m_hdr, chain.target - 1, false);
    pad(m_tdr, chain.irLengths.size() - chain.target, false);
}

void SvfReader::fail(long line, const std::string &message) const {
    throw InputError(m_fileName + ":" + std::to_string(line) + ": " + message);
}

bool SvfReader::next(SvfScan &scan) {
    for (;;) {
        Token token = nextToken();
        if (token.kind == TokenKind::End) {
            if (!m_pending) return false;
            scan = std::move(*m_pending);
            m_pending.reset();
            return true;
        }
        if (token.kind != TokenKind::Word) fail(token.line, "SVF command expected, found \"" + token.text + "\"");
        const std::string &keyword = token.text;
        if (keyword == "runtest") {
            const RunTest run = readRunTest();
            // A RUNTEST right after a scan (only RUNTESTs between) asks its
            // wait after that scan; consecutive RUNTESTs add up.
            if (m_pending) {
                m_pending->wait = saturatingAdd(m_pending->wait, run.wait);
                if (m_pending->waitLine == 0) m_pending->waitLine = token.line;
            }
            playRunTest(run, m_pending.has_value(), token.line);
            continue;
        }
        // ENDIR and ENDDR move nothing: a RUNTEST after them still follows
        // the scan before, unless a RUNTEST came between.
        const bool endState = keyword == "endir" || keyword == "enddr";
        if (endState && m_pending && m_pending->waitLine == 0) {
            readEndState(keyword == "endir" ? "ENDIR" : "ENDDR");
            continue;
        }
        // Any other command ends the waits of the scan before it.
        const bool done = m_pending.has_value();
        if (done) {
            scan = std::move(*m_pending);
            m_pending.reset();
        }
        if (keyword == "sir" || keyword == "sdr" || keyword == "hir" || keyword == "hdr" || keyword == "tir" ||
            keyword == "tdr")
            readScanCommand(keyword, token.line);
        else if (keyword == "frequency")
            readFrequency();
        else if (keyword == "state")
            readState();
        else if (endState)
            readEndState(keyword == "endir" ? "ENDIR" : "ENDDR");
        else if (keyword == "trst") {
            if (expectWord("TRST") != "absent") m_notes |= kNoteTrst;
            expect(";", "TRST");
        } else if (keyword == "piomap" || keyword == "pio") {
            if (keyword == "pio") m_notes |= kNotePio;
            skipToSemicolon(keyword == "pio" ? "PIO" : "PIOMAP");
        } else
            fail(token.line, "unknown SVF command \"" + keyword + "\"");
        if (done) return true;
    }
}

// ---------------------------------------------------------------- scans

void SvfReader::readScanCommand(const std::string &keyword, long line) {
    const bool isScan = keyword == "sir" || keyword == "sdr";
    Operands operands = readOperands(keyword, isScan);
    std::string upper = keyword;
    for (char &ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    Pattern &pattern = keyword == "sir"   ? m_sir
                       : keyword == "sdr" ? m_sdr
                       : keyword == "hir" ? m_hir
                       : keyword == "hdr" ? m_hdr
                       : keyword == "tir" ? m_tir
                                          : m_tdr;
    // In a chain the padding stands for the file's header and trailer.
    if (!isScan && m_options.chain.target != 0) return;
    storePattern(pattern, operands, upper, line);
    if (!isScan) return;
    const bool instruction = keyword == "sir";
    if (instruction && pattern.tdo) m_notes |= kNoteSirTdo;
    m_pending = combine(instruction, line);
    m_pending->restsBefore = std::move(m_rests);
    m_rests.clear();
    Rest end;
    end.kind = RestKind::ScanEnd;
    end.instruction = instruction;
    end.state = m_endState[instruction];
    end.line = line;
    m_rests.push_back(end);
    m_tap = end.state;
}

SvfReader::Operands SvfReader::readOperands(const std::string &keyword, bool isScan) {
    Operands operands;
    const Token lengthToken = nextToken();
    if (lengthToken.kind != TokenKind::Number) fail(lengthToken.line, keyword + ": a bit length expected");
    if (lengthToken.text.size() > 10 || std::stoull(lengthToken.text) > kMaxLength)
        fail(lengthToken.line, keyword + ": length " + lengthToken.text + " does not fit in 32 bits");
    operands.length = std::stoull(lengthToken.text);
    if (operands.length == 0) {
        if (isScan) fail(lengthToken.line, keyword + ": length must be above 0");
        skipToSemicolon(keyword.c_str());
        return operands;
    }
    const bool keep = operands.length <= m_options.maxScanBits;
    for (Token token = nextToken(); !token.is(";"); token = nextToken()) {
        if (token.kind == TokenKind::End) fail(token.line, keyword + ": \";\" missing at the end of the file");
        const auto name = std::find_if(kOperandNames.begin(), kOperandNames.end(),
                                       [&](const char *operand) { return token.text == operand; });
        if (token.kind != TokenKind::Word || name == kOperandNames.end())
            fail(token.line, keyword + ": TDI, TDO, MASK, SMASK or \";\" expected, found \"" + token.text + "\"");
        const size_t index = static_cast<size_t>(name - kOperandNames.begin());
        if (operands.given[index]) fail(token.line, keyword + ": " + token.text + " given twice");
        operands.given[index] = true;
        expect("(", keyword.c_str());
        operands.value[index] = readHexValue(operands.length, keep);
    }
    // A MASK without any 1 bit makes the command's TDO meaningless: it is
    // not compared at all, header and trailer bits included.
    if (operands.given[kTdo] && operands.given[kMask] && operands.value[kMask] && operands.value[kMask]->none()) {
        operands.given[kTdo] = false;
        operands.value[kTdo].reset();
    }
    return operands;
}

// The persistence rules: a new length needs TDI and forgets MASK and SMASK;
// at the same length TDI, MASK and SMASK not given are kept; TDO is never
// kept.  Length 0 (header and trailer only) clears the pattern.
void SvfReader::storePattern(Pattern &pattern, Operands &operands, const std::string &keyword, long line) {
    if (operands.length == 0) {
        pattern = Pattern{};
        return;
    }
    const bool newLength = operands.length != pattern.length;
    if (newLength && !operands.given[kTdi])
        fail(line, keyword + ": TDI required (the length changes from " + std::to_string(pattern.length) + " to " +
                       std::to_string(operands.length) + ")");
    const auto update = [&](std::shared_ptr<const BitVector> &field, int index) {
        if (newLength || operands.given[index]) field = std::move(operands.value[index]);
    };
    update(pattern.tdi, kTdi);
    update(pattern.mask, kMask);
    update(pattern.smask, kSmask);
    pattern.tdo = std::move(operands.value[kTdo]);
    pattern.length = operands.length;
    pattern.oversize = operands.length > m_options.maxScanBits;
}

// Joins trailer (most significant bits), data and header (least significant,
// shifted first).  Absent header and trailer values read as: TDI 1, SMASK 1,
// TDO 0, MASK 0; an absent data MASK compares every data bit; without a data
// SMASK no SMASK applies, and without a data TDO nothing is compared.
SvfScan SvfReader::combine(bool instruction, long line) const {
    const Pattern &data = instruction ? m_sir : m_sdr;
    const Pattern &header = instruction ? m_hir : m_hdr;
    const Pattern &trailer = instruction ? m_tir : m_tdr;
    SvfScan scan;
    scan.instruction = instruction;
    scan.line = line;
    scan.length = header.length + data.length + trailer.length;
    if (data.oversize || header.oversize || trailer.oversize || scan.length > m_options.maxScanBits) {
        scan.oversize = true;
        return scan;
    }
    const bool bare = header.length == 0 && trailer.length == 0;
    const auto join = [&](const std::shared_ptr<const BitVector> &headerValue, bool headerDefault,
                          const std::shared_ptr<const BitVector> &dataValue, bool dataDefault,
                          const std::shared_ptr<const BitVector> &trailerValue, bool trailerDefault) {
        if (bare && dataValue) return dataValue;
        auto joined = std::make_shared<BitVector>(scan.length);
        const auto put = [&](const std::shared_ptr<const BitVector> &part, bool fill, uint64_t first, uint64_t count) {
            if (part)
                copyBits(*joined, first, *part, 0, count);
            else
                joined->fill(first, count, fill);
        };
        put(headerValue, headerDefault, 0, header.length);
        put(dataValue, dataDefault, header.length, data.length);
        put(trailerValue, trailerDefault, header.length + data.length, trailer.length);
        return std::shared_ptr<const BitVector>(std::move(joined));
    };
    scan.tdi = join(header.tdi, true, data.tdi, true, trailer.tdi, true);
    if (data.smask) scan.keep = join(header.smask, true, data.smask, true, trailer.smask, true);
    // The stream never compares the TDO of an instruction scan, so neither
    // does the check.
    if (!instruction && !m_options.skipTdo && data.tdo) {
        auto compare = join(header.mask, false, data.mask, true, trailer.mask, false);
        if (!compare->none()) {
            scan.compare = std::move(compare);
            scan.expected = join(header.tdo, false, data.tdo, false, trailer.tdo, false);
        }
    }
    return scan;
}

// ---------------------------------------------------------------- timing

// Numbers: [sign] digits [. digits] [e [sign] digits].  The lexer hands them
// over in pieces (1.00E-02 is the number 1, ".", the word 00e, "-" and the
// number 02), which are joined here.  None when no number starts here.
std::optional<Decimal> SvfReader::readNumber(const char *command) {
    Token token = nextToken();
    const long line = token.line;
    bool negative = false, signed_ = false;
    if (token.is("+") || token.is("-")) {
        negative = token.is("-");
        signed_ = true;
        token = nextToken();
    }
    std::string mantissa;
    if (token.kind == TokenKind::Number) {
        mantissa = token.text;
        Token point = nextToken();
        if (point.is(".")) {
            const Token fraction = nextToken();
            if (fraction.kind == TokenKind::End || !isDigit(static_cast<unsigned char>(fraction.text[0])))
                fail(fraction.line, std::string(command) + ": digits expected after the decimal point");
            mantissa += "." + fraction.text;
        } else {
            pushBack(std::move(point));
        }
    } else if (token.kind == TokenKind::Word && isDigit(static_cast<unsigned char>(token.text[0]))) {
        mantissa = token.text;
    } else {
        if (signed_) fail(line, std::string(command) + ": a number expected after the sign");
        pushBack(std::move(token));
        return std::nullopt;
    }
    std::string digits;
    size_t fractionDigits = 0;
    size_t at = 0;
    while (at < mantissa.size() && isDigit(mantissa[at])) digits += mantissa[at++];
    if (at < mantissa.size() && mantissa[at] == '.') {
        ++at;
        while (at < mantissa.size() && isDigit(mantissa[at])) {
            digits += mantissa[at++];
            ++fractionDigits;
        }
    }
    std::string exponentDigits;
    bool exponentNegative = false;
    if (at < mantissa.size() && mantissa[at] == 'e') {
        ++at;
        while (at < mantissa.size() && isDigit(mantissa[at])) exponentDigits += mantissa[at++];
        if (at == mantissa.size() && exponentDigits.empty()) {
            const Token sign = nextToken();
            if (!sign.is("+") && !sign.is("-"))
                fail(sign.line, std::string(command) + ": exponent sign expected after \"" + mantissa + "\"");
            exponentNegative = sign.is("-");
            const Token exponent = nextToken();
            if (exponent.kind != TokenKind::Number)
                fail(exponent.line, std::string(command) + ": exponent digits expected");
            exponentDigits = exponent.text;
        }
    }
    if (at != mantissa.size()) fail(line, std::string(command) + ": \"" + mantissa + "\" is not a number");
    int64_t exponent = 0;
    const size_t firstDigit = exponentDigits.find_first_not_of('0');
    if (firstDigit != std::string::npos) {
        if (exponentDigits.size() - firstDigit > 6) fail(line, std::string(command) + ": exponent out of range");
        exponent = std::stoll(exponentDigits);
    }
    if (exponentNegative) exponent = -exponent;
    Decimal value(digits, exponent - static_cast<int64_t>(fractionDigits));
    if (negative && !value.isZero()) fail(line, std::string(command) + ": negative number");
    return value;
}

std::string SvfReader::readStateName(const char *command, bool stableOnly) {
    const Token token = nextToken();
    const auto state = qsvf::tapStateFromName(token.text);
    if (token.kind != TokenKind::Word || !state || (stableOnly && !isStableState(*state)))
        fail(token.line,
             std::string(command) + ": \"" + token.text + "\" is not a " + (stableOnly ? "stable " : "") + "TAP state");
    return token.text;
}

// RUNTEST [run_state] count TCK|SCK [min_time SEC [MAXIMUM max_time SEC]] [ENDSTATE end_state];
// RUNTEST [run_state] min_time SEC [MAXIMUM max_time SEC] [ENDSTATE end_state];
// The wait asked is max(count, ceil(min_time x frequency)), the frequency
// being the last FREQUENCY or 1 MHz.  A count is a number of whole clocks.
SvfReader::RunTest SvfReader::readRunTest() {
    RunTest run;
    Token token = nextToken();
    pushBack(token);
    if (token.kind == TokenKind::Word && isLetter(static_cast<unsigned char>(token.text[0])))
        run.runState = *qsvf::tapStateFromName(readStateName("RUNTEST", true));
    const std::optional<Decimal> first = readNumber("RUNTEST");
    if (!first) fail(token.line, "RUNTEST: a count or a time expected");
    const std::string unit = expectWord("RUNTEST");
    uint64_t count = 0;
    std::optional<Decimal> minTime;
    if (unit == "tck" || unit == "sck") {
        count = first->floor();
        minTime = readNumber("RUNTEST");
        if (minTime) expect("sec", "RUNTEST");
    } else if (unit == "sec") {
        minTime = first;
    } else {
        fail(m_line, "RUNTEST: TCK, SCK or SEC expected, found \"" + unit + "\"");
    }
    token = nextToken();
    if (minTime && token.text == "maximum" && token.kind == TokenKind::Word) {
        const std::optional<Decimal> maxTime = readNumber("RUNTEST");
        if (!maxTime) fail(token.line, "RUNTEST: a time expected after MAXIMUM");
        run.maxClocks = maxTime->times(frequency()).floor();
        expect("sec", "RUNTEST");
        token = nextToken();
    }
    if (token.text == "endstate" && token.kind == TokenKind::Word) {
        run.endState = *qsvf::tapStateFromName(readStateName("RUNTEST", true));
        token = nextToken();
    }
    if (!token.is(";")) fail(token.line, "RUNTEST: \";\" expected, found \"" + token.text + "\"");
    run.wait = count;
    if (minTime) run.wait = std::max(run.wait, minTime->times(frequency()).ceil());
    return run;
}

Decimal SvfReader::frequency() const {
    static const Decimal kDefaultFrequency("1", 6);
    if (m_options.tck) return *m_options.tck;
    return m_frequency ? *m_frequency : kDefaultFrequency;
}

// The TAP walks to the run state, waits there and walks to the end state;
// the run state and end state stay for the next RUNTEST, and the end state
// follows a run state given alone.
void SvfReader::playRunTest(const RunTest &run, bool afterScan, long line) {
    if (run.runState) m_runState = *run.runState;
    if (run.endState)
        m_runEnd = *run.endState;
    else if (run.runState)
        m_runEnd = *run.runState;
    walkTo(m_rests, m_tap, m_runState, RestKind::Wait, line);
    Rest &wait = m_rests.back();
    wait.clocks = run.wait;
    wait.maxClocks = run.maxClocks;
    wait.afterScan = afterScan;
    wait.waitsHere = true;
    walkTo(m_rests, m_runState, m_runEnd, RestKind::WaitEnd, line);
    m_rests.back().afterScan = afterScan;
    m_tap = m_runEnd;
}

// FREQUENCY [cycles HZ];  A frequency of 0, or none, means the 1 MHz default.
void SvfReader::readFrequency() {
    const std::optional<Decimal> cycles = readNumber("FREQUENCY");
    if (cycles) {
        expect("hz", "FREQUENCY");
        m_frequency = cycles->isZero() ? std::nullopt : cycles;
    } else {
        m_frequency.reset();
    }
    expect(";", "FREQUENCY");
}

// STATE [path states] stable_state;  The first state may be a stable state
// reached by its path; every further one follows the one before in a step.
void SvfReader::readState() {
    bool moved = false;
    for (Token token = nextToken(); !token.is(";"); token = nextToken()) {
        const std::optional<qsvf::TapStateCode> state = qsvf::tapStateFromName(token.text);
        if (token.kind != TokenKind::Word || !state)
            fail(token.line, "STATE: \"" + token.text + "\" is not a TAP state" +
                                 (token.kind == TokenKind::End ? " (end of the file before \";\")" : ""));
        if ((moved && !isOneStep(m_tap, *state)) || !walkTo(m_rests, m_tap, *state, RestKind::Move, token.line))
            fail(token.line, "STATE: " + token.text + " is not one step from " + std::string(tapStateTitle(m_tap)));
        m_tap = *state;
        moved = true;
    }
    if (!isStableState(m_tap)) fail(m_line, "STATE: the last state must be RESET, IDLE, DRPAUSE or IRPAUSE");
}

void SvfReader::readEndState(const char *command) {
    const std::string name = readStateName(command, true);
    m_endState[command[3] == 'I' ? 1 : 0] = *qsvf::tapStateFromName(name);
    expect(";", command);
}

}  // namespace qsvfcheck

// RUNTEST and FREQUENCY.  getFloat assembles SVF real numbers from the
// lexer's tokens (1.5E-3 arrives as 1 . 5e - 3).  doRunTest reduces one
// RUNTEST, or a run of consecutive ones, to a TCK count: a minimum time is
// turned into clocks at the TCK frequency (1 MHz when none was given), and
// the larger of the clock count and the time decides the wait.
#include "runtest.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "combine.h"
#include "diagnostics.h"
#include "file_channel.h"
#include "prog_state.h"
#include "qsvf_writer.h"
#include "svf_lexer.h"
#include "tap_data.h"
#include "tap_state.h"

namespace svf {

namespace {
const char *kRealSyntax = "Incorrect real number syntax (use digits[.digits][e[+|-]digits])";

// Double to float without the undefined conversion of out-of-range values.
float toFloat(double value) {
    if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

bool isToken(const FileChannel &channel, const char *text) { return std::strcmp(channel.sToken, text) == 0; }

void useDefaultFrequency(FileChannel &channel) {
    note("Frequency not specified, using default TCK = 1 MHz", &channel);
    pGlobTapData->frequency = 1.0e6f;
    pGlobTapData->frequencyExact = 1.0e6;
}

// A wait given as a time: without -tck the warning of every such RUNTEST;
// with -tck one note per run names the clock the times are turned into
// clocks at.
void timeNotInClocks(FileChannel &channel) {
    if (gdPlayerTck <= 0) {
        warning("Delay must be in terms of TCK count", &channel);
    } else if (giTckNoteGiven == 0) {
        giTckNoteGiven = 1;
        note(strFormat("Waits given in seconds are clocked at the player's TCK of %.10g Hz (-tck)", gdPlayerTck),
             &channel);
    }
}

// Clocks needed to wait at least the given time at the given frequency.
// The product of two decimal numbers carries binary rounding error, so a
// wait that is a whole number of clocks within that error gains no clock.
double clocksForTime(double seconds, double frequency) {
    double clocks = seconds * frequency;
    return std::ceil(clocks - clocks * 1e-9);
}
}  // namespace

int getFloat(FileChannel &channel, int mode, float *real, long *integer, double *exact, const char *expected) {
    *real = 0.0f;
    *integer = 0;
    if (exact) *exact = 0.0;
    bool positive = mode == kPositiveRequired;
    lexNeed(channel, expected);
    bool negative = false;
    if (isToken(channel, "+") || isToken(channel, "-")) {
        negative = isToken(channel, "-");
        lexNeed(channel, expected);
    }
    if (isToken(channel, ";")) return FLOAT_NONE;
    bool haveInteger = false;
    long integerPart = 0;
    if (channel.iTokenType == TOK_NUMBER) {
        integerPart = tokenToLong(channel.sToken, &channel);
        lexNeed(channel, expected);
        if (!isToken(channel, ".")) {
            channel.iTokenState = kStatePushedBack;
            long value = negative ? -integerPart : integerPart;
            if (value < 0 && positive) fatalError("Positive number required", &channel);
            *integer = value;
            if (exact) *exact = static_cast<double>(value);
            return FLOAT_INTEGER;
        }
        lexNeed(channel, expected);
        haveInteger = true;
    }
    if (channel.iTokenType != TOK_NUMBER && channel.iTokenType != TOK_WORD) fatalError(kRealSyntax, &channel);
    const char *token = channel.sToken;
    size_t length = std::strlen(token);
    auto numberText = [&]() {
        return haveInteger ? strFormat("%ld.%s", integerPart, token) : std::string(token);
    };
    for (size_t i = 0; i < length; ++i) {
        char c = token[i];
        if (isAsciiDigit(c)) continue;
        if (c == 'e' && i + 1 == length) break;  // the exponent follows as tokens
        if (c == 'e') {
            bool digitsOnly = true;
            for (size_t j = i + 1; j < length; ++j) digitsOnly = digitsOnly && isAsciiDigit(token[j]);
            if (digitsOnly) {
                double value = std::strtod(numberText().c_str(), nullptr);
                if (negative) value = -value;
                if (value < 0 && positive) fatalError("Positive number expected", &channel);
                *real = toFloat(value);
                if (exact) *exact = value;
                return FLOAT_REAL;
            }
        }
        if (haveInteger) fatalError(kRealSyntax, &channel);
        return FLOAT_NONE;
    }
    std::string mantissa = numberText();
    lexNeed(channel, expected);
    char exponentSign = '+';
    long exponent = 0;
    if (channel.iTokenType == TOK_WORD) {
        channel.iTokenState = kStatePushedBack;
    } else {
        if (!isToken(channel, "+") && !isToken(channel, "-")) fatalError("Exponent sign ?", &channel);
        exponentSign = channel.sToken[0];
        lexNeed(channel, expected);
        if (channel.iTokenType != TOK_NUMBER) fatalError("Number expected", &channel);
        exponent = tokenToLong(channel.sToken, &channel);
    }
    std::string text = strFormat("%c%s%c%ld", negative ? '-' : ' ', mantissa.c_str(), exponentSign, exponent);
    double value = std::strtod(text.c_str(), nullptr);
    if (value < 0 && positive) fatalError("Expected a positive number", &channel);
    *real = toFloat(value);
    if (exact) *exact = value;
    return FLOAT_REAL;
}

void doRunTest(FileChannel &channel) {
    CTapObj &tap = *pGlobTapData;
    const bool afterInOrderSir = giInOrderSirWritten == 1;
    giInOrderSirWritten = 0;
    // A RUNTEST that follows a scan gives its count to that scan; one that
    // follows no scan (at the start, after STATE, ENDIR/ENDDR, TRST,
    // FREQUENCY, PIO, a header or trailer) has none to carry it and is
    // written as a wait of its own where it stands.
    const bool followsScan = iSdrFlag == 1 || (iSirFlag == 1 && iInOrder != 1) || afterInOrderSir;
    // Without -qwait every wait goes into the run-test count, which carries
    // no state: the records of the players these modes are written for.
    const bool waitInCount = giUseQwait != 1;
    if (giUseQwait == 1) {
        writeSir(0);
        writeSdr(0);
    }
    tap.runCount = tap.minTime = tap.maxTime = -1.0f;
    // What each merged command asks for: its clock count (with -runmin) and
    // its minimum time, -1 when not given.  The clocks of the commands are
    // summed as they are read; the sum counts only where some command gives
    // a time, and the frequency cannot change within the run of commands
    // (without one the default of 1 MHz is taken after them).
    struct Wait {
        double count;
        double minTime;
    };
    bool anyTime = false;
    double timedTotal = 0;
    // The clock count as read, beside the single-precision run count that
    // the maximum-time check uses: a float holds whole counts only up to
    // 2^24, and a wait written one clock short is a wait the target lacks.
    double exactRunCount = -1.0;
    // The clock that times become clocks at: the board player's (-tck),
    // else the file's FREQUENCY, else 1 MHz.
    const double frequency = gdPlayerTck > 0 ? gdPlayerTck : tap.frequency < 0 ? 1.0e6 : tap.frequencyExact;
    for (;;) {
        Wait wait{-1.0, -1.0};
        // Each command of a run of RUNTESTs sets its own states: a run
        // state given alone is also the end state.
        bool runStateGiven = false, endStateGiven = false;
        lexNeed(channel, ";");
        if (channel.iTokenType == TOK_WORD && !testIsNum(channel.sToken, 0)) {
            tap.runState = checkTapState(TAP_SET_STABLE, channel.sToken, &channel, "invalid run state");
            runStateGiven = true;
        } else {
            channel.iTokenState = kStatePushedBack;
        }
        float real = 0;
        long integer = 0;
        double exact = 0;
        int kind = getFloat(channel, kPositiveRequired, &real, &integer, &exact, "tck");
        if (kind == FLOAT_NONE) fatalError("Unsupported RUNTEST time/count format", &channel);
        float number = kind == FLOAT_INTEGER ? static_cast<float>(integer) : real;
        lexNeed(channel, "tck");
        bool tck = isToken(channel, "tck");
        bool sck = isToken(channel, "sck");
        if (!tck) timeNotInClocks(channel);
        bool readTimes = true;
        if (tck || sck) {
            if (tap.runCount == -1.0f || giUseQwait == 1) {
                tap.runCount = 0.0f;
                exactRunCount = 0.0;
            }
            const double before = exactRunCount;
            tap.runCount += number;
            exactRunCount += exact;
            if (static_cast<double>(lRunMin) > std::trunc(static_cast<double>(tap.runCount)))
                tap.runCount = static_cast<float>(lRunMin);
            if (static_cast<double>(lRunMin) > std::trunc(exactRunCount)) exactRunCount = static_cast<double>(lRunMin);
            wait.count = exactRunCount - before;
            // The time after the count is optional: the input may not end
            // before the ";", but once a number is there it needs its SEC.
            lexNeed(channel, ";");
            channel.iTokenState = kStatePushedBack;
            kind = getFloat(channel, kPositiveRequired, &real, &integer, &exact, "sec");
            if (kind == FLOAT_NONE) {
                channel.iTokenState = kStatePushedBack;
                readTimes = false;
            } else {
                number = kind == FLOAT_INTEGER ? static_cast<float>(integer) : real;
            }
        } else {
            channel.iTokenState = kStatePushedBack;
        }
        bool ended = false;
        if (readTimes) {
            tap.minTime = number;
            wait.minTime = exact;
            strSearch("sec", 0, channel);
            lexNeed(channel, ";");
            if (isToken(channel, ";")) {
                ended = true;
            } else if (isToken(channel, "maximum")) {
                kind = getFloat(channel, kPositiveRequired, &real, &integer, &exact, "sec");
                if (kind == FLOAT_NONE) fatalError("Invalid RUNTEST max spec", &channel);
                tap.maxTime = kind == FLOAT_INTEGER ? static_cast<float>(integer) : real;
                strSearch("sec", 0, channel);
            } else {
                channel.iTokenState = kStatePushedBack;
            }
        }
        if (!ended) {
            lexNeed(channel, ";");
            if (!isToken(channel, ";")) {
                if (!isToken(channel, "endstate")) fatalError("Invalid RUNTEST format", &channel);
                lexNeed(channel, ";");
                if (channel.iTokenType != TOK_WORD) fatalError("Invalid ENDSTATE", &channel);
                tap.runEndState = checkTapState(TAP_SET_STABLE, channel.sToken, &channel, "invalid end state");
                endStateGiven = true;
                strSearch(";", 0, channel);
            }
        }
        if (runStateGiven && !endStateGiven) tap.runEndState = tap.runState;
        if (waitInCount && (tap.runState != qsvf::STATE_IDLE || tap.runEndState != qsvf::STATE_IDLE))
            warnOptionLoss(LOSS_RUN_STATE, channel);
        anyTime = anyTime || wait.minTime >= 0;
        double clocks = wait.count < 0 ? 0 : wait.count;
        if (wait.minTime >= 0) clocks = std::max(clocks, clocksForTime(wait.minTime, frequency));
        timedTotal += clocks;
        // Each wait written as QWAIT keeps its own states: the next RUNTEST
        // is a command of its own.  Without -qwait a run of RUNTESTs is one
        // count.
        if (!waitInCount) break;
        lex(channel, 0);
        if (channel.tokenRead() && isToken(channel, "runtest")) continue;
        channel.iTokenState = kStatePushedBack;
        break;
    }

    if (tap.maxTime >= 0 && tap.minTime > tap.maxTime)
        fatalError(strFormat("Min time (%.2e) > Max time (%.2e)", static_cast<double>(tap.minTime),
                             static_cast<double>(tap.maxTime)),
                   &channel);
    if (tap.runCount >= 0 && tap.maxTime >= 0) {
        if (tap.frequency < 0 && gdPlayerTck <= 0) useDefaultFrequency(channel);
        // The count takes this long at the clock that runs it.
        const float clock = gdPlayerTck > 0 ? static_cast<float>(gdPlayerTck) : tap.frequency;
        float runTime = tap.runCount / clock;
        if (tap.maxTime < runTime)
            fatalError(strFormat("%.2e (Run count %.2e/%.2e Hz) > max (%.2e) sec", static_cast<double>(runTime),
                                 static_cast<double>(tap.runCount), static_cast<double>(clock),
                                 static_cast<double>(tap.maxTime)),
                       &channel);
    }

    // The wait written: counts alone as read; where a minimum time is given
    // the command waits at least that long, so its clocks are the larger of
    // its count and the time at the TCK frequency.
    int64_t count;
    if (!anyTime) {
        if (exactRunCount > static_cast<double>(UINT32_MAX))
            limitError("RUNTEST count", strFormat("%.0f", exactRunCount), UINT32_MAX, &channel);
        count = static_cast<int64_t>(exactRunCount);
    } else {
        if (tap.frequency < 0 && gdPlayerTck <= 0) useDefaultFrequency(channel);
        double total = timedTotal;
        if (static_cast<double>(lRunMin) > total) total = static_cast<double>(lRunMin);
        if (total > static_cast<double>(UINT32_MAX))
            limitError("RUNTEST count", strFormat("%.0f", total), UINT32_MAX, &channel);
        count = static_cast<int64_t>(total);
    }
    if (count > int64_t{UINT32_MAX}) limitError("RUNTEST count", std::to_string(count), UINT32_MAX, &channel);

    if (giUseQwait == 1) {
        listFormat("QWAIT 0x%02X 0x%02X 0x%08llX\n", static_cast<unsigned>(tap.runState),
                           static_cast<unsigned>(tap.runEndState), static_cast<unsigned long long>(count) & 0xFFFFFFFFull);
        writeOpcode(qsvf::QWAIT);
        binWrite(tap.runState, 2);
        binWrite(tap.runEndState, 2);
        binWrite(static_cast<uint64_t>(count), 8);
        giPlayerState = tap.runEndState;
        return;
    }
    if (!followsScan) {
        writeWaitWhereItStands(count);
        // The next scan is not the one this RUNTEST asked its wait after.
        iRunTestFlag = 0;
        return;
    }
    // The scans that cannot carry the count get the wait right after them.
    if (afterInOrderSir) writeWaitAfterScan(count);
    if (count != lTckRunCount) {
        listFormat("QRUNTEST 0x%08llX\n", static_cast<unsigned long long>(count) & 0xFFFFFFFFull);
        writeOpcode(qsvf::QRUNTEST);
        binWrite(static_cast<uint64_t>(count), 8);
        lTckRunCount = count;
        if (iMultipleRunTest == 1) {
            listText("QSDRSIZE 00000000\nQSDR\n");
            writeOpcode(qsvf::QSDRSIZE);
            binWrite(0, 8);
            writeOpcode(qsvf::QSDR);
            lSdrSize = 0;
        }
    }
    const bool sdrPending = iSdrFlag == 1;
    writeSir(0);
    writeSdr(0);
    if (sdrPending && giSplitSdrWritten == 1) writeWaitAfterScan(count);
}

void doFrequency(FileChannel &channel) {
    writeSir(1);
    writeSdr(1);
    float real = 0;
    long integer = 0;
    double exact = 0;
    int kind = getFloat(channel, kPositiveRequired, &real, &integer, &exact, "hz");
    CTapObj &tap = *pGlobTapData;
    if (kind == FLOAT_NONE) {
        if (!isToken(channel, ";")) fatalError("Incorrect FREQUENCY format", &channel);
        channel.iTokenState = kStatePushedBack;
        tap.frequency = -1.0f;
        tap.frequencyExact = -1.0;
    } else {
        tap.frequency = kind == FLOAT_INTEGER ? static_cast<float>(integer) : real;
        tap.frequencyExact = exact;
        if (tap.frequency <= 0) {
            warning("Only positive real numbers allowed; TCK set to system default", &channel);
            tap.frequency = -1.0f;
            tap.frequencyExact = -1.0;
        } else if (gdPlayerTck > tap.frequencyExact) {
            warnOptionLoss(LOSS_TCK_ABOVE_FREQUENCY, channel);
        }
        strSearch("hz", 0, channel);
    }
    strSearch(";", 0, channel);
}

}  // namespace svf

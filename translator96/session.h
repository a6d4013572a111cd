// The state of one svf2qsvf96 run: the options read from the command line,
// the stream state that suppresses redundant records, the record writer and
// the statement reader.  A fresh Session is built at the start of every run,
// so nothing of an earlier in-process run survives.  The one exit path of
// the program (exitProgram, syntaxError) is declared here as well.
#ifndef SVF2QSVF96_SESSION_H
#define SVF2QSVF96_SESSION_H

#include <string>
#include <string_view>

#include "record_writer.h"
#include "svf_reader.h"

namespace svf96 {

// Marker of a remembered mask or value that nothing has set yet; no real
// hex text equals it, so the first comparison always differs.
inline constexpr std::string_view kUnsetText = "@@";

struct Options {
    int repeatValue = 32;
    int recordLength = 128;  // bits, multiple of 8 in 128..1024
    bool compressionEnabled = true;
    bool fpgaMode = false;
    double tck = 0;  // -tck: the board player's TCK in Hz; 0: RUNTEST values are clocks as written
};

// What the records written so far leave in the player.
struct StreamState {
    long lastScanSize = -1;
    long lastRunTest = -1;
    std::string lastTdoMask{kUnsetText};
    long lastTdoMaskBits = -1;  // length of the last QTDOMASK
    std::string lastTdoValue{kUnsetText};
    std::string lastAddressMask{kUnsetText};
    std::string lastDataMask{kUnsetText};
    long pendingRunTest = 0;
};

struct Session {
    Session(const Options &options, std::FILE *input, std::FILE *output, std::string outputName)
        : options(options), writer(output, std::move(outputName)), reader(input) {}

    Options options;
    StreamState stream;
    RecordWriter writer;
    SvfReader reader;
};

// The clocks of a RUNTEST whose value token was just read: the value as
// clocks, or with -tck and a SEC unit after it, the time at the player's
// TCK rounded up.
long RunTestClocks(Session &session, std::string_view value);

// Thrown by exitProgram and caught by runSvf2qsvf96, which returns the status.
struct ExitRequest {
    int status;
};

// Ends the run with the given status (the one way out of the program).
[[noreturn]] void exitProgram(int status);

// "ERROR: Error at or near line N in svf file" on standard error, status 1.
// N is the statement count less one, as the tool has always reported it.
[[noreturn]] void syntaxError(long statementCount);
[[noreturn]] void syntaxError(const Session &session);

// "<word> is not supported." then the syntax error.
[[noreturn]] void unsupportedStatement(const Session &session, std::string_view word);

}  // namespace svf96

#endif  // SVF2QSVF96_SESSION_H

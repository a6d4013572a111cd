// qsvfcheck's own SVF reader.  It reads one SVF file as the translator is
// meant to read it (lexical rules, scan operands and their persistence,
// header and trailer, RUNTEST and FREQUENCY) and hands out its scans one at
// a time: each SIR and SDR joined with its header and trailer bits, the TDI
// bits that count (SMASK), the TDO bits compared and their expected values,
// the wait in clocks that the RUNTEST commands directly after the scan ask
// for, and the stable states the TAP rests in since the scan before (ENDIR,
// ENDDR, STATE and every RUNTEST move it).  The file is read in blocks and one scan is held at a time, so
// memory follows the longest scan, not the file.  The reader's lexer is in
// svf_lexer.cpp, the reading of its hexadecimal values in hex_digits.cpp.
#ifndef QSVFCHECK_SVF_READER_H
#define QSVFCHECK_SVF_READER_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bit_vector.h"
#include "file_blocks.h"
#include "svf_number.h"
#include "tap_model.h"

namespace qsvfcheck {

// One SIR or SDR as the SVF defines it.
struct SvfScan {
    bool instruction = false;
    uint64_t length = 0;  // header + data + trailer bits
    // Longer than any scan the stream can hold: the values were read but not
    // kept, and only the length is known.
    bool oversize = false;
    std::shared_ptr<const BitVector> tdi;
    std::shared_ptr<const BitVector> keep;      // TDI bits that count (SMASK); null: all of them
    std::shared_ptr<const BitVector> compare;   // TDO bits compared; null: none
    std::shared_ptr<const BitVector> expected;  // their expected values (with compare)
    long line = 0;                              // line of the SIR or SDR keyword
    uint64_t wait = 0;                          // clocks asked after the scan
    long waitLine = 0;                          // line of the first RUNTEST asking it, 0 when none
    // Where the SVF rests since the previous scan (its end state first).
    std::vector<Rest> restsBefore;
};

// What the SVF asks that no stream can carry.
enum SvfNote : unsigned { kNoteSirTdo = 1, kNoteTrst = 2, kNotePio = 4 };

// A one-device file placed in a scan chain: the IR lengths of the chain
// from the TDO end and the file's device, 1 at the TDO end (0: no chain).
// Every other device is in BYPASS: its IR all ones in instruction scans,
// one 0 bit in data scans, its TDO not compared; the devices nearer TDO are
// the header, those nearer TDI the trailer, in place of the file's own.
struct ChainPlacement {
    std::vector<uint64_t> irLengths;
    uint64_t target = 0;
};

struct SvfOptions {
    bool skipTdo = false;                      // -s: TDO is not compared
    uint64_t maxScanBits = uint64_t{1} << 32;  // longer scans are oversize
    ChainPlacement chain;
    // The clock that RUNTEST times are turned into clocks at (svf2qsvf
    // -tck); none: the file's FREQUENCY, else 1 MHz.
    std::optional<Decimal> tck;
};

class SvfReader {
public:
    // Opens the file; a file that cannot be opened is an InputError.
    SvfReader(std::string fileName, SvfOptions options);
    SvfReader(const SvfReader &) = delete;
    SvfReader &operator=(const SvfReader &) = delete;

    // The next scan and the wait asked after it; false at the end of the
    // file.  Invalid SVF is an InputError naming the file and line.
    bool next(SvfScan &scan);

    const std::string &fileName() const { return m_fileName; }
    long line() const { return m_line; }
    // After the end: where the SVF rests after its last scan.
    std::vector<Rest> &tail() { return m_rests; }
    TapState state() const { return m_tap; }
    unsigned notes() const { return m_notes; }

private:
    enum class TokenKind { End, Number, Word, Punct, Other };
    struct Token {
        TokenKind kind = TokenKind::End;
        std::string text;  // words in lower case
        long line = 0;
        bool is(const char *punct) const { return kind == TokenKind::Punct && text == punct; }
    };
    // The operands of one command kind, kept from one command to the next.
    struct Pattern {
        uint64_t length = 0;
        bool oversize = false;
        std::shared_ptr<const BitVector> tdi, tdo, mask, smask;
    };
    struct Operands {
        uint64_t length = 0;
        bool given[4] = {false, false, false, false};  // TDI, TDO, MASK, SMASK
        std::shared_ptr<const BitVector> value[4];
    };

    // Characters and tokens.
    int get();
    int peek();
    bool refill();
    Token lex();
    Token nextToken();
    void pushBack(Token token) { m_pushed = std::move(token); }
    [[noreturn]] void fail(long line, const std::string &message) const;
    void expect(const char *text, const char *command);
    std::string expectWord(const char *what);

    // Commands.
    void readScanCommand(const std::string &keyword, long line);
    Operands readOperands(const std::string &keyword, bool isScan);
    std::shared_ptr<const BitVector> readHexValue(uint64_t bits, bool keep);
    void storePattern(Pattern &pattern, Operands &operands, const std::string &keyword, long line);
    SvfScan combine(bool instruction, long line) const;
    struct RunTest {
        uint64_t wait = 0;
        std::optional<TapState> runState, endState;
        std::optional<uint64_t> maxClocks;
    };
    RunTest readRunTest();
    void playRunTest(const RunTest &run, bool afterScan, long line);
    void readFrequency();
    void readState();
    void readEndState(const char *command);
    void skipToSemicolon(const char *command);
    std::optional<Decimal> readNumber(const char *command);
    std::string readStateName(const char *command, bool stableOnly);
    Decimal frequency() const;

    std::string m_fileName;
    SvfOptions m_options;
    FileBlocks m_blocks;
    const unsigned char *m_pos = nullptr;
    const unsigned char *m_end = nullptr;
    long m_line = 1;
    std::optional<Token> m_pushed;

    Pattern m_sir, m_sdr, m_hir, m_hdr, m_tir, m_tdr;
    std::optional<Decimal> m_frequency;  // none: the 1 MHz default
    std::optional<SvfScan> m_pending;    // a scan whose waits may still follow

    // The TAP as the SVF moves it.
    TapState m_tap = qsvf::STATE_RESET;
    TapState m_endState[2] = {qsvf::STATE_IDLE, qsvf::STATE_IDLE};  // DR, IR
    TapState m_runState = qsvf::STATE_IDLE, m_runEnd = qsvf::STATE_IDLE;
    std::vector<Rest> m_rests;
    unsigned m_notes = 0;
};

}  // namespace qsvfcheck

#endif  // QSVFCHECK_SVF_READER_H

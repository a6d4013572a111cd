// QSVF stream format: the one definition of the binary command stream that
// the translators write, the merger joins and the dumper lists.
//
// A stream is a bare sequence of records: one opcode byte, then operands in
// the order of the opcode table below.  Integers are unsigned big-endian of
// 1, 2 or 4 bytes.  A vector of n bits takes ceil(n/8) bytes, written as a
// big-endian number (bit 0, the first bit shifted, is the low bit of the last
// byte; unused high bits of the first byte are 0).  Vectors without their own
// length field use the current DR length, set by every QSDRSIZE.
//
// A DR scan longer than the FPGA record length is split into pieces: one
// QSDRB (QSDRTDOB), any number of QSDRC (QSDRTDOC) and one QSDRE (QSDRTDOE),
// the first piece the least significant bits; a shorter last piece has its
// QSDRSIZE just before it.  Every TDO piece is compared under the standing
// TDO mask, which has the piece's own length; a QTDOMASK between two pieces
// sets the mask for the pieces after it.
//
// Every program includes this header; nothing else declares an opcode value,
// a mnemonic, a state code or the vector size rule.
#ifndef QSVF_FORMAT_H
#define QSVF_FORMAT_H

/* The values the C player shares with the programs: opcodes, state codes
   and end-state operands, as plain C so that a C99 player can include this
   header too.  The C++ names below take their values from these. */
#define QSVF_QCOMPLETE 0
#define QSVF_QTDOMASK 1
#define QSVF_QSIR 2
#define QSVF_QSDR 3
#define QSVF_QRUNTEST 4
#define QSVF_QRESET 5
#define QSVF_QIDLE 6
#define QSVF_QREPEAT 7
#define QSVF_QSDRSIZE 8
#define QSVF_QSDRTDO 9
#define QSVF_QSETSDRMASKS 10
#define QSVF_QSDRINC 11
#define QSVF_QSDRB 12
#define QSVF_QSDRC 13
#define QSVF_QSDRE 14
#define QSVF_QSDRTDOB 15
#define QSVF_QSDRTDOC 16
#define QSVF_QSDRTDOE 17
#define QSVF_QSTATE 18
#define QSVF_QENDIR 19
#define QSVF_QENDDR 20
#define QSVF_QSIR2 21
#define QSVF_QCOMMENT 22
#define QSVF_QWAIT 23
#define QSVF_OPCODE_COUNT 24
#define QSVF_STATE_RESET 0
#define QSVF_STATE_IDLE 1
#define QSVF_STATE_DRSELECT 2
#define QSVF_STATE_DRCAPTURE 3
#define QSVF_STATE_DRSHIFT 4
#define QSVF_STATE_DREXIT1 5
#define QSVF_STATE_DRPAUSE 6
#define QSVF_STATE_DREXIT2 7
#define QSVF_STATE_DRUPDATE 8
#define QSVF_STATE_IRSELECT 9
#define QSVF_STATE_IRCAPTURE 10
#define QSVF_STATE_IRSHIFT 11
#define QSVF_STATE_IREXIT1 12
#define QSVF_STATE_IRPAUSE 13
#define QSVF_STATE_IREXIT2 14
#define QSVF_STATE_IRUPDATE 15
#define QSVF_STATE_COUNT 16
#define QSVF_END_IDLE 0
#define QSVF_END_PAUSE 1

#ifdef __cplusplus
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qsvf {

enum Opcode : uint8_t {
    QCOMPLETE = QSVF_QCOMPLETE,
    QTDOMASK = QSVF_QTDOMASK,
    QSIR = QSVF_QSIR,
    QSDR = QSVF_QSDR,
    QRUNTEST = QSVF_QRUNTEST,
    QRESET = QSVF_QRESET,  // known to the dumper only; no writer emits it
    QIDLE = QSVF_QIDLE,   // known to the dumper only; no writer emits it
    QREPEAT = QSVF_QREPEAT,
    QSDRSIZE = QSVF_QSDRSIZE,
    QSDRTDO = QSVF_QSDRTDO,
    QSETSDRMASKS = QSVF_QSETSDRMASKS,
    QSDRINC = QSVF_QSDRINC,
    QSDRB = QSVF_QSDRB,
    QSDRC = QSVF_QSDRC,
    QSDRE = QSVF_QSDRE,
    QSDRTDOB = QSVF_QSDRTDOB,
    QSDRTDOC = QSVF_QSDRTDOC,
    QSDRTDOE = QSVF_QSDRTDOE,
    QSTATE = QSVF_QSTATE,
    QENDIR = QSVF_QENDIR,
    QENDDR = QSVF_QENDDR,
    QSIR2 = QSVF_QSIR2,
    QCOMMENT = QSVF_QCOMMENT,
    QWAIT = QSVF_QWAIT,
};

// Number of opcodes in use (0 .. 23); 24 to 255 are unused.
inline constexpr unsigned kOpcodeCount = QSVF_OPCODE_COUNT;

// What one operand of a record is.
enum class Operand : uint8_t {
    None,          // end of the plan
    Byte,          // 1-byte integer
    Word,          // 2-byte integer
    Long,          // 4-byte integer
    IrLength1,     // 1-byte instruction length L, sets the length of the next vector
    IrLength2,     // 2-byte instruction length L, sets the length of the next vector
    IrVector,      // vector of the L bits given by the record's own length field
    DrVector,      // vector of the current DR length
    DrLength,      // 4-byte DR length; sets the current DR length
    IncFields,     // 1-byte count N, then N data fields (QSDRINC)
    Text,          // text bytes up to and including one 0 byte
};

struct OpcodeInfo {
    Opcode value;
    std::string_view mnemonic;
    std::array<Operand, 3> operands;  // in record order, padded with None
};

// The opcode table, indexed by opcode value.
inline constexpr std::array<OpcodeInfo, kOpcodeCount> kOpcodes = {{
    {QCOMPLETE, "QCOMPLETE", {Operand::None, Operand::None, Operand::None}},
    {QTDOMASK, "QTDOMASK", {Operand::DrVector, Operand::None, Operand::None}},
    {QSIR, "QSIR", {Operand::IrLength1, Operand::IrVector, Operand::None}},
    {QSDR, "QSDR", {Operand::DrVector, Operand::None, Operand::None}},
    {QRUNTEST, "QRUNTEST", {Operand::Long, Operand::None, Operand::None}},
    {QRESET, "QRESET", {Operand::None, Operand::None, Operand::None}},
    {QIDLE, "QIDLE", {Operand::None, Operand::None, Operand::None}},
    {QREPEAT, "QREPEAT", {Operand::Byte, Operand::None, Operand::None}},
    {QSDRSIZE, "QSDRSIZE", {Operand::DrLength, Operand::None, Operand::None}},
    {QSDRTDO, "QSDRTDO", {Operand::DrVector, Operand::DrVector, Operand::None}},
    {QSETSDRMASKS, "QSETSDRMASKS", {Operand::DrVector, Operand::DrVector, Operand::None}},
    {QSDRINC, "QSDRINC", {Operand::DrVector, Operand::IncFields, Operand::None}},
    {QSDRB, "QSDRB", {Operand::DrVector, Operand::None, Operand::None}},
    {QSDRC, "QSDRC", {Operand::DrVector, Operand::None, Operand::None}},
    {QSDRE, "QSDRE", {Operand::DrVector, Operand::None, Operand::None}},
    {QSDRTDOB, "QSDRTDOB", {Operand::DrVector, Operand::DrVector, Operand::None}},
    {QSDRTDOC, "QSDRTDOC", {Operand::DrVector, Operand::DrVector, Operand::None}},
    {QSDRTDOE, "QSDRTDOE", {Operand::DrVector, Operand::DrVector, Operand::None}},
    {QSTATE, "QSTATE", {Operand::Byte, Operand::None, Operand::None}},
    {QENDIR, "QENDIR", {Operand::Byte, Operand::None, Operand::None}},
    {QENDDR, "QENDDR", {Operand::Byte, Operand::None, Operand::None}},
    {QSIR2, "QSIR2", {Operand::IrLength2, Operand::IrVector, Operand::None}},
    {QCOMMENT, "QCOMMENT", {Operand::Text, Operand::None, Operand::None}},
    {QWAIT, "QWAIT", {Operand::Byte, Operand::Byte, Operand::Long}},
}};

// The table entry of a byte read from a stream, or none for an unused value.
constexpr const OpcodeInfo *findOpcode(uint8_t value) {
    return value < kOpcodeCount ? &kOpcodes[value] : nullptr;
}

// Bytes taken by a vector of the given number of bits.
constexpr uint64_t vectorBytes(uint64_t bits) { return (bits + 7) / 8; }

// Largest instruction scans of the two record kinds.
inline constexpr uint32_t kMaxQsirBits = 255;
inline constexpr uint32_t kMaxQsir2Bits = 65535;

// The sixteen TAP controller states, by their code in QSTATE and QWAIT.
enum TapStateCode : uint8_t {
    STATE_RESET = QSVF_STATE_RESET,
    STATE_IDLE = QSVF_STATE_IDLE,
    STATE_DRSELECT = QSVF_STATE_DRSELECT,
    STATE_DRCAPTURE = QSVF_STATE_DRCAPTURE,
    STATE_DRSHIFT = QSVF_STATE_DRSHIFT,
    STATE_DREXIT1 = QSVF_STATE_DREXIT1,
    STATE_DRPAUSE = QSVF_STATE_DRPAUSE,
    STATE_DREXIT2 = QSVF_STATE_DREXIT2,
    STATE_DRUPDATE = QSVF_STATE_DRUPDATE,
    STATE_IRSELECT = QSVF_STATE_IRSELECT,
    STATE_IRCAPTURE = QSVF_STATE_IRCAPTURE,
    STATE_IRSHIFT = QSVF_STATE_IRSHIFT,
    STATE_IREXIT1 = QSVF_STATE_IREXIT1,
    STATE_IRPAUSE = QSVF_STATE_IRPAUSE,
    STATE_IREXIT2 = QSVF_STATE_IREXIT2,
    STATE_IRUPDATE = QSVF_STATE_IRUPDATE,
};

inline constexpr unsigned kTapStateCount = QSVF_STATE_COUNT;

// SVF name of each state (lower case), indexed by state code.
inline constexpr std::array<std::string_view, kTapStateCount> kTapStateNames = {
    "reset",   "idle",   "drselect", "drcapture", "drshift",  "drexit1", "drpause", "drexit2",
    "drupdate", "irselect", "ircapture", "irshift", "irexit1", "irpause", "irexit2", "irupdate"};

// The code of a state given by its lower-case SVF name.
constexpr std::optional<TapStateCode> tapStateFromName(std::string_view name) {
    for (unsigned code = 0; code < kTapStateCount; ++code)
        if (kTapStateNames[code] == name) return static_cast<TapStateCode>(code);
    return std::nullopt;
}

// End-state operands of QENDIR and QENDDR.
inline constexpr uint8_t kEndStateIdle = QSVF_END_IDLE;
inline constexpr uint8_t kEndStatePause = QSVF_END_PAUSE;

// What the merger puts between two joined streams: QENDIR idle, QENDDR idle,
// QSTATE reset, QSTATE idle, QRUNTEST 0; with -v2 only QRUNTEST 0.
inline constexpr std::array<uint8_t, 13> kMergeSeparator = {
    QENDIR, kEndStateIdle, QENDDR, kEndStateIdle, QSTATE, STATE_RESET, QSTATE, STATE_IDLE, QRUNTEST, 0, 0, 0, 0};
inline constexpr std::array<uint8_t, 5> kMergeSeparatorV2 = {QRUNTEST, 0, 0, 0, 0};

}  // namespace qsvf

#endif  // __cplusplus

#endif  // QSVF_FORMAT_H

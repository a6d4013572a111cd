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

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace qsvf {

enum Opcode : uint8_t {
    QCOMPLETE = 0,
    QTDOMASK = 1,
    QSIR = 2,
    QSDR = 3,
    QRUNTEST = 4,
    QRESET = 5,  // known to the dumper only; no writer emits it
    QIDLE = 6,   // known to the dumper only; no writer emits it
    QREPEAT = 7,
    QSDRSIZE = 8,
    QSDRTDO = 9,
    QSETSDRMASKS = 10,
    QSDRINC = 11,
    QSDRB = 12,
    QSDRC = 13,
    QSDRE = 14,
    QSDRTDOB = 15,
    QSDRTDOC = 16,
    QSDRTDOE = 17,
    QSTATE = 18,
    QENDIR = 19,
    QENDDR = 20,
    QSIR2 = 21,
    QCOMMENT = 22,
    QWAIT = 23,
};

// Number of opcodes in use (0 .. 23); 24 to 255 are unused.
inline constexpr unsigned kOpcodeCount = 24;

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
    STATE_RESET = 0,
    STATE_IDLE = 1,
    STATE_DRSELECT = 2,
    STATE_DRCAPTURE = 3,
    STATE_DRSHIFT = 4,
    STATE_DREXIT1 = 5,
    STATE_DRPAUSE = 6,
    STATE_DREXIT2 = 7,
    STATE_DRUPDATE = 8,
    STATE_IRSELECT = 9,
    STATE_IRCAPTURE = 10,
    STATE_IRSHIFT = 11,
    STATE_IREXIT1 = 12,
    STATE_IRPAUSE = 13,
    STATE_IREXIT2 = 14,
    STATE_IRUPDATE = 15,
};

inline constexpr unsigned kTapStateCount = 16;

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
inline constexpr uint8_t kEndStateIdle = 0;
inline constexpr uint8_t kEndStatePause = 1;

// What the merger puts between two joined streams: QENDIR idle, QENDDR idle,
// QSTATE reset, QSTATE idle, QRUNTEST 0; with -v2 only QRUNTEST 0.
inline constexpr std::array<uint8_t, 13> kMergeSeparator = {
    QENDIR, kEndStateIdle, QENDDR, kEndStateIdle, QSTATE, STATE_RESET, QSTATE, STATE_IDLE, QRUNTEST, 0, 0, 0, 0};
inline constexpr std::array<uint8_t, 5> kMergeSeparatorV2 = {QRUNTEST, 0, 0, 0, 0};

}  // namespace qsvf

#endif  // QSVF_FORMAT_H

// The QSVF record writer: the byte primitives (binWrite for integers,
// bytePrint for vectors), the writers of the pending SIR and SDR with their
// QSDRSIZE, QTDOMASK and run-test records and the FPGA splitting of long
// scans, and the head and end of the stream.  Each record also becomes one
// line of the text listing when -a is given.
#ifndef SVF_QSVF_WRITER_H
#define SVF_QSVF_WRITER_H

#include <cstdint>
#include <string_view>

namespace svf {

class CCombinedValue;

// Writes value as digits/2 big-endian bytes (digits 2, 4 or 8).
void binWrite(uint64_t value, int digits);
// Writes bits lo .. lo+bits-1 of the value as a vector of ceil(bits/8)
// bytes, and "0x" with two lowercase digits per byte to the listing; a
// missing value writes an all-zero vector.
void bytePrint(const CCombinedValue *value, int64_t lo, int64_t bits);
void listText(std::string_view text);
// printf-style listing text, composed only when the listing is open.
void listFormat(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Opcode byte to the output.
void writeOpcode(uint8_t opcode);

void qsvfHeaderTrailer(int isTrailer);
void writeSir(int kind);
void writeSdr(int kind);
// The wait of a RUNTEST for a scan whose record cannot carry the run-test
// count (a split FPGA scan, a SIR written at once in -inorder mode),
// written right after that scan as QRUNTEST and an empty data scan.
void writeWaitAfterScan(int64_t count);
// The wait of a RUNTEST that follows no scan, written where it stands, the
// same way.
void writeWaitWhereItStands(int64_t count);
// The SIR record itself (QSIR or QSIR2 with its TDI), without the
// run-test reset; used by the pending writer and by the in-order mode (kind
// 1: a count it runs is not its own RUNTEST's).
void writeSirRecord(int kind = 1);

}  // namespace svf

#endif  // SVF_QSVF_WRITER_H

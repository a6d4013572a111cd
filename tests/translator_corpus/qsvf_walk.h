// Record walker for QSVF streams written by svf2qsvf.  It reads a stream with
// the opcode table of qsvf_format.h, checks the layout rules every stream of
// the translator keeps (QREPEAT first, exactly one QCOMPLETE as the last byte,
// a QSDRSIZE before any DR vector, operands inside the file, split scans made
// of one first piece, middle pieces and one last piece, every TDO piece under
// a QTDOMASK of its own length) and counts what it saw.
#ifndef TRANSLATOR_CORPUS_QSVF_WALK_H
#define TRANSLATOR_CORPUS_QSVF_WALK_H

#include <cstdint>
#include <string>
#include <vector>

struct QsvfWalk {
    bool ok = false;
    std::string error;            // first rule broken, with its byte offset
    unsigned repeatCount = 0;     // operand of the leading QREPEAT
    uint64_t irScans = 0;         // QSIR and QSIR2 records
    uint64_t irBits = 0;          // their lengths added up
    uint64_t drScans = 0;         // unsplit QSDR and QSDRTDO records
    uint64_t splitScans = 0;      // split scans (one QSDRB or QSDRTDOB each)
    uint64_t splitTdoPieces = 0;  // QSDRTDOB, QSDRTDOC and QSDRTDOE records
    uint64_t drBits = 0;          // bits of all DR scans, split pieces included
    uint64_t longestUnsplitDr = 0;
    uint64_t records = 0;
    // For every scan in stream order (instruction scans, unsplit and split
    // data scans; a 0-bit data scan is none): the clocks waited after it,
    // the run-test count it carries or, after split pieces, none, plus the
    // QWAIT records and the 0-bit scans that follow it directly.
    std::vector<uint64_t> scanWaits;
};

// Walks the whole stream; ok is false when any rule is broken.
QsvfWalk walkQsvf(const std::vector<uint8_t> &bytes);

#endif

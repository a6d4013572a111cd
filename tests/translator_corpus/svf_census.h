// Counts taken straight from SVF text, without the translator: the scan
// commands and the bits they shift once header and trailer are added.  The
// corpus suite compares them with what the record walker finds in the output.
#ifndef TRANSLATOR_CORPUS_SVF_CENSUS_H
#define TRANSLATOR_CORPUS_SVF_CENSUS_H

#include <cstdint>
#include <string>
#include <vector>

struct SvfCensus {
    uint64_t sirCommands = 0;
    uint64_t sdrCommands = 0;
    uint64_t irBits = 0;          // SIR length + HIR + TIR in force, added up
    uint64_t drBits = 0;          // SDR length + HDR + TDR in force, added up
    uint64_t drLongerThan128 = 0; // SDRs whose total length exceeds 128 bits
    uint64_t commands = 0;
    // For every SIR and SDR in file order: a RUNTEST is the next command.
    std::vector<bool> runTestAfterScan;
};

// Reads SVF text: "!" and "//" start comments outside parentheses, ";" ends
// a command, the first word is the keyword and, for scans, the second token
// the length in bits.
SvfCensus takeSvfCensus(const std::string &text);

#endif

// Seeded random SVF files for the qsvfcheck suite.  The same seed always
// gives the same text, so a failing case can be made again from its seed.
#ifndef QSVFCHECK_TEST_SVF_GENERATOR_H
#define QSVFCHECK_TEST_SVF_GENERATOR_H

#include <cstdint>
#include <string>

enum class SvfDialect {
    // Everything svf2qsvf reads: scans with and without TDO, MASK and SMASK,
    // header and trailer, STATE, ENDIR/ENDDR, TRST, RUNTEST in all its forms,
    // FREQUENCY, comments, CR LF line ends, values split over lines.
    Full,
    // Files whose every scan bit matters and whose every RUNTEST waits at
    // least one clock, after a scan or where it stands: no SMASK, so that
    // any single change to a stream is a change of what it does.
    EveryBitCounts,
    // The narrow dialect of svf2qsvf96: one statement per line, fixed word
    // order, RUNTEST only after SDR groups, runs of address-incrementing
    // scans that it compresses.
    Earlier,
};

std::string generateSvf(uint32_t seed, SvfDialect dialect);

#endif  // QSVFCHECK_TEST_SVF_GENERATOR_H

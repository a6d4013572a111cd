// The command line of qsvfplay: what to play, into which pins, and what to
// show of it.
#ifndef QSVFPLAY_PLAY_OPTIONS_H
#define QSVFPLAY_PLAY_OPTIONS_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qsvfplay {

struct PlayOptions {
    std::string stream;
    std::vector<unsigned> chain;  // IR lengths, the device at TDO first; empty: one device
    unsigned target = 0;          // the device of the chain the stream is for (1 at TDO); 0 any one
    uint64_t failAt = 0;          // the compared scan that reads wrong; 0 none
    std::string vcd;              // Value Change Dump file; empty: none
    double frequency = 1e6;       // TCK in Hz, for the VCD times and the play time
    bool trace = false;
    std::string remote;           // remote_bitbang server; empty: the simulated chain
    uint64_t buffer = 0;          // the player's buffer in bytes, as on a board; 0: as large as the stream needs
    bool quiet = false;           // no progress line on a terminal
};

extern const std::string_view kUsage;

// Reads the arguments after the program name; an error text when the
// command line is wrong.
std::string parseOptions(int argc, const char *const *argv, PlayOptions &options);

}  // namespace qsvfplay

#endif  // QSVFPLAY_PLAY_OPTIONS_H

// qsvfplay's switches, one table row each, and their usage text.
#include "play_options.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace qsvfplay {

const std::string_view kUsage =
    "Usage: qsvfplay [--chain LENGTHS [--target N]] [--fail-at N] [--vcd FILE]\n"
    "                [--frequency HZ] [--trace] [--buffer BYTES] [--quiet]\n"
    "                [--remote-bitbang HOST:PORT|PATH] <stream.qsvf>\n"
    "\n"
    "Plays a QSVF stream the way the board player does, into a simulated TAP chain\n"
    "whose devices answer every compared TDO bit as expected, or into the pins of a\n"
    "remote_bitbang server, and prints what was played.\n"
    "\n"
    "  --chain LENGTHS   IR lengths of the simulated devices, from TDO to TDI,\n"
    "                    separated by commas (default: one device); every device\n"
    "                    but the one a data scan addresses must be in BYPASS\n"
    "  --target N        the stream is for device N of --chain (1 at TDO)\n"
    "  --fail-at N       the Nth compared scan of the simulated chain reads wrong\n"
    "                    (N up to the number of compared scans of the stream)\n"
    "  --vcd FILE        write TCK, TMS, TDI, TDO and TRST as a Value Change Dump\n"
    "  --frequency HZ    TCK frequency of the dump and the play time (default 1e6)\n"
    "  --trace           one line per TAP operation: moves, shifts, waits, and\n"
    "                    on --chain each device's instruction after Update-IR\n"
    "  --buffer BYTES    play with a buffer of exactly this size, as a board does\n"
    "                    (the summary line says what the stream needs)\n"
    "  --quiet           no progress line (shown on a terminal after a second)\n"
    "  --remote-bitbang HOST:PORT|PATH\n"
    "                    play into a remote_bitbang server (TCP, or a unix socket)\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "Exit status: 0 played to QCOMPLETE, 1 a TDO comparison failed after its\n"
    "repeats or a device of --chain was out of BYPASS, 2 the stream cannot be read\n"
    "or is not valid QSVF, or a bad command line.\n";

namespace {

bool readCount(std::string_view text, uint64_t &value) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    value = std::strtoull(std::string(text).c_str(), nullptr, 10);
    return true;
}

std::string setChain(std::string_view text, PlayOptions &options) {
    options.chain.clear();
    for (size_t start = 0;;) {
        const size_t comma = text.find(',', start);
        uint64_t length = 0;
        if (!readCount(text.substr(start, comma - start), length) || length == 0 || length > 65535)
            return "--chain takes IR lengths of 1 to 65535 bits separated by commas";
        options.chain.push_back(static_cast<unsigned>(length));
        if (comma == std::string_view::npos) return "";
        start = comma + 1;
    }
}

std::string setTarget(std::string_view text, PlayOptions &options) {
    uint64_t device = 0;
    if (!readCount(text, device) || device == 0 || device > 65535) return "--target takes a device position from 1";
    options.target = static_cast<unsigned>(device);
    return "";
}

std::string setFailAt(std::string_view text, PlayOptions &options) {
    return readCount(text, options.failAt) && options.failAt > 0 ? "" : "--fail-at takes a scan number from 1";
}

std::string setVcd(std::string_view text, PlayOptions &options) {
    options.vcd = text;
    return text.empty() ? "--vcd takes a file name" : "";
}

std::string setFrequency(std::string_view text, PlayOptions &options) {
    const std::string copy(text);
    char *end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (copy.empty() || *end || errno || !std::isfinite(value) || value <= 0 || value > 1e12)
        return "--frequency takes a TCK frequency in Hz above 0 and up to 1e12";
    options.frequency = value;
    return "";
}

std::string setRemote(std::string_view text, PlayOptions &options) {
    options.remote = text;
    return text.empty() ? "--remote-bitbang takes HOST:PORT or a socket path" : "";
}

std::string setBuffer(std::string_view text, PlayOptions &options) {
    return readCount(text, options.buffer) && options.buffer > 0 && options.buffer <= UINT32_MAX
               ? ""
               : "--buffer takes a size in bytes from 1 to 4294967295";
}

struct Switch {
    std::string_view name;
    std::string (*set)(std::string_view, PlayOptions &);  // null: a flag
    bool PlayOptions::*flag = nullptr;
};

constexpr std::array<Switch, 9> kSwitches = {{
    {"--chain", setChain},
    {"--target", setTarget},
    {"--fail-at", setFailAt},
    {"--vcd", setVcd},
    {"--frequency", setFrequency},
    {"--trace", nullptr, &PlayOptions::trace},
    {"--quiet", nullptr, &PlayOptions::quiet},
    {"--buffer", setBuffer},
    {"--remote-bitbang", setRemote},
}};

}  // namespace

std::string parseOptions(int argc, const char *const *argv, PlayOptions &options) {
    bool switches = true;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const Switch *found = nullptr;
        for (const Switch &s : kSwitches)
            if (switches && arg == s.name) found = &s;
        if (found && !found->set) {
            options.*(found->flag) = true;
        } else if (found) {
            if (i + 1 >= argc) return std::string(arg) + " needs a value";
            if (std::string error = found->set(argv[++i], options); !error.empty()) return error;
        } else if (switches && arg == "--") {
            switches = false;
        } else if (switches && arg.size() > 1 && arg[0] == '-') {
            return "unknown option \"" + std::string(arg) + "\"";
        } else if (!options.stream.empty()) {
            return "only one stream file can be played";
        } else {
            options.stream = arg;
        }
    }
    if (options.stream.empty()) return "no stream file given";
    if (!options.remote.empty() && (!options.chain.empty() || options.failAt))
        return "--chain and --fail-at are for the simulated chain, not for --remote-bitbang";

    if (options.target > options.chain.size()) return "--target takes a device of --chain, from 1 to its count";
    return "";
}

}  // namespace qsvfplay

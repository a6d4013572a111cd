// libFuzzer entry for svf2qsvf.  Each input is one SVF file: it is written to
// a temporary file and translated with -w -i <file> -o <file>.qsvf through the
// in-process entry, so every exit of the program (fatal diagnostics included)
// returns here.  When the first byte is 0x80 or above, its low seven bits
// choose options and the rest of the input is the SVF text:
//   bit 0 -fpga, bit 1 -rlen 64 (with -fpga), bit 2 -v2, bit 3 -extensions,
//   bit 4 -qwait, bit 5 -s -useqsdr, bit 6 -a listing, -qprintsrc 2 and
//   -multiple_runtest.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "svf2qsvf.h"

namespace {

std::string tempBase() {
    static const std::string base = "/tmp/fuzz_svf2qsvf_" + std::to_string(getpid());
    return base;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Diagnostics go to standard output; thousands of them per second would
    // only slow the fuzzer down.
    int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    unsigned options = 0;
    if (size > 0 && data[0] >= 0x80) {
        options = data[0] & 0x7F;
        ++data;
        --size;
    }
    const std::string svf = tempBase() + ".svf", qsvf = tempBase() + ".qsvf", listing = tempBase() + ".txt";
    FILE *file = std::fopen(svf.c_str(), "wb");
    if (!file) return 0;
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);

    std::vector<std::string> args = {"svf2qsvf", "-w"};
    if (options & 0x01) args.push_back("-fpga");
    if ((options & 0x03) == 0x03) args.insert(args.end(), {"-rlen", "64"});
    if (options & 0x04) args.push_back("-v2");
    if (options & 0x08) args.push_back("-extensions");
    if (options & 0x10) args.push_back("-qwait");
    if (options & 0x20) args.insert(args.end(), {"-s", "-useqsdr"});
    if (options & 0x40) args.insert(args.end(), {"-a", listing, "-qprintsrc", "2", "-multiple_runtest"});
    args.insert(args.end(), {"-i", svf, "-o", qsvf});

    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    runSvf2qsvf(static_cast<int>(args.size()), argv.data());
    std::remove(qsvf.c_str());
    std::remove(listing.c_str());
    std::remove(svf.c_str());
    return 0;
}

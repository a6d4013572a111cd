// Fuzz target of svf2qsvf96: the bytes become an SVF file that the whole
// program translates in-process.  A first byte of 0x80 or above picks the
// options: bit 0 -nc, bit 1 -fpga, bit 2 -rlen 136, bit 3 -rlen 1024,
// bit 4 -r 0.  Inputs holding a number of a million or more as a word are
// skipped: a scan length is honoured as given, so such a number only makes
// the run write (and fill with zeros) proportionally large records, which
// is the tool's duty and not a fault worth the fuzzer's time.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "svf2qsvf96.h"

namespace {

bool holdsLargeNumber(const uint8_t *data, size_t size) {
    bool wordStart = true;
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (wordStart) {
            size_t j = i;
            while (j < size && (data[j] == '+' || data[j] == '-' || data[j] == ' ' || data[j] == '\t')) ++j;
            size_t digits = 0;
            while (j < size && data[j] >= '0' && data[j] <= '9') {
                if (digits > 0 || data[j] != '0') ++digits;
                ++j;
            }
            if (digits >= 7) return true;
        }
        wordStart = c == ' ' || c == '\t' || c == ',' || c == '\n' || c == '\r';
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string base = "/tmp/fuzz_svf2qsvf96_" + std::to_string(getpid());
    static const std::string input = base + ".svf", output = base + ".qsvf";
    static bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)quiet;

    std::vector<std::string> args = {"svf2qsvf96"};
    if (size > 0 && data[0] >= 0x80) {
        const uint8_t flags = data[0];
        if (flags & 1) args.push_back("-nc");
        if (flags & 2) args.push_back("-fpga");
        if (flags & 4) args.insert(args.end(), {"-rlen", "136"});
        if (flags & 8) args.insert(args.end(), {"-rlen", "1024"});
        if (flags & 16) args.insert(args.end(), {"-r", "0"});
        ++data;
        --size;
    }
    if (holdsLargeNumber(data, size)) return 0;
    std::FILE *file = std::fopen(input.c_str(), "wb");
    if (!file) return 0;
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
    args.push_back(input);
    args.push_back(output);
    std::vector<char *> argv;
    for (auto &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int status = runSvf2qsvf96(static_cast<int>(args.size()), argv.data());
    if (status != 0 && status != 1) __builtin_trap();  // only these two end a translation
    return 0;
}

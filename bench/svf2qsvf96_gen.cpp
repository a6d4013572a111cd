// Input generator of the svf2qsvf96 benchmarks (deterministic).
//   svf2qsvf96_gen inc  <file>   20,000 SDRs of 2,048 bits in increment runs
//   svf2qsvf96_gen fpga <file>   about 64 MB of 16,384-bit FPGA scans
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

uint64_t state = 0x9e3779b97f4a7c15ULL;
unsigned nextDigit() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<unsigned>(state >> 60);
}
const char kHex[] = "0123456789abcdef";

void incrementFile(std::FILE *out) {
    // Runs of 256 scans: a fixed high part per run, the address at bit 12
    // going up by one, an 8-bit data field at bits 4..11, bit 3 set.
    std::string high(507, '0');
    const std::string smask(512, 'f');
    for (int scan = 0; scan < 20000; ++scan) {
        if (scan % 256 == 0)
            for (char &c : high) c = kHex[nextDigit()];
        const unsigned address = static_cast<unsigned>(scan % 256);
        const unsigned data = nextDigit() * 16 + nextDigit();
        const unsigned lowValue = (address << 12) | (data << 4) | 0x8;
        char lowText[8];
        std::snprintf(lowText, sizeof lowText, "%05x", lowValue);
        const std::string tdi = high + lowText;  // 507 + 5 = 512 digits
        std::fprintf(out, "SDR 2048 TDI (%s) SMASK (%s) ;\n", tdi.c_str(), smask.c_str());
    }
}

void fpgaFile(std::FILE *out) {
    const std::string smask(4096, 'f');
    std::string tdi(4096, '0');
    std::fputs("// generated FPGA configuration\nSIR 8 TDI (a0) SMASK (ff) ;\nRUNTEST 100 TCK ;\n", out);
    for (int scan = 0; scan < 8000; ++scan) {
        for (char &c : tdi) c = kHex[nextDigit()];
        std::fprintf(out, "SDR 16384 TDI (%s) SMASK (%s) ;\n", tdi.c_str(), smask.c_str());
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3 || (std::strcmp(argv[1], "inc") != 0 && std::strcmp(argv[1], "fpga") != 0)) {
        std::fputs("usage: svf2qsvf96_gen inc|fpga <file>\n", stderr);
        return 2;
    }
    std::FILE *out = std::fopen(argv[2], "w");
    if (!out) return 1;
    if (argv[1][0] == 'i') incrementFile(out);
    else fpgaFile(out);
    return std::fclose(out) == 0 ? 0 : 1;
}

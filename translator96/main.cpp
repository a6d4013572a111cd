// svf2qsvf96: translates one SVF file into one QSVF file, compressing
// address-incrementing scan runs and splitting long FPGA scans.
#include <csignal>

#include "svf2qsvf96.h"

int main(int argc, char **argv) {
    // Under a file-size limit a write fails with EFBIG, which the program
    // reports like any other failed write, instead of ending the process
    // with SIGXFSZ halfway through its output.
    std::signal(SIGXFSZ, SIG_IGN);
    return runSvf2qsvf96(argc, argv);
}

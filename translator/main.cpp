// The svf2qsvf program: a thin main around the in-process entry point.
#include <csignal>

#include "svf2qsvf.h"

int main(int argc, char **argv) {
    // Under a file-size limit a write fails with EFBIG, which the program
    // reports like any other failed write, instead of ending the process
    // with SIGXFSZ halfway through its output.
    std::signal(SIGXFSZ, SIG_IGN);
    return runSvf2qsvf(argc, argv);
}

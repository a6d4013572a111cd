// qsvf2ascii program entry: all of the work, and every way out of it, is in
// runQsvf2ascii.
#include <csignal>

#include "qsvf2ascii.h"

int main(int argc, char **argv) {
    // Under a file-size limit a write fails with EFBIG, which the program
    // reports like any other failed write, instead of ending the process
    // with SIGXFSZ halfway through its output.
    std::signal(SIGXFSZ, SIG_IGN);
    return runQsvf2ascii(argc, argv);
}

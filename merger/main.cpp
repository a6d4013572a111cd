// MergeQSVF program entry: all of the work, and every way out of it, is in
// runMergeQSVF.
#include <csignal>

#include "merge_qsvf.h"

int main(int argc, char **argv) {
    // Under a file-size limit a write fails with EFBIG, which the program
    // reports like any other failed write, instead of ending the process
    // with SIGXFSZ halfway through its output.
    std::signal(SIGXFSZ, SIG_IGN);
    return runMergeQSVF(argc, argv);
}

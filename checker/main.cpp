// qsvfcheck program entry: all of the work, and every way out of it, is in
// runQsvfcheck.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "qsvfcheck.h"

int main(int argc, char **argv) {
    // Under a file-size limit a write fails with EFBIG, which the program
    // reports like any other failed write, instead of ending the process
    // with SIGXFSZ halfway through its output.
    std::signal(SIGXFSZ, SIG_IGN);
    int status = runQsvfcheck(argc, argv, std::cout, std::cerr);
    // Standard output is closed where the process ends, so that a failure
    // to write its last bytes is an error too.
    if (std::fclose(stdout) != 0 && status != kCheckInvalid) {
        std::cerr << "qsvfcheck: standard output: cannot write: " << std::strerror(errno) << '\n';
        status = kCheckInvalid;
    }
    return status;
}

// svf2qsvf96: translates one SVF file into one QSVF file, compressing
// address-incrementing scan runs and splitting long FPGA scans.
#include "svf2qsvf96.h"

int main(int argc, char **argv) { return runSvf2qsvf96(argc, argv); }

// The svf2qsvf program: a thin main around the in-process entry point.
#include "svf2qsvf.h"

int main(int argc, char **argv) { return runSvf2qsvf(argc, argv); }

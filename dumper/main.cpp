// qsvf2ascii program entry: all of the work, and every way out of it, is in
// runQsvf2ascii.
#include "qsvf2ascii.h"

int main(int argc, char **argv) { return runQsvf2ascii(argc, argv); }

// qsvfcheck program entry: all of the work, and every way out of it, is in
// runQsvfcheck.
#include <iostream>

#include "qsvfcheck.h"

int main(int argc, char **argv) { return runQsvfcheck(argc, argv, std::cout, std::cerr); }

// qsvfplay program entry: all of the work, and every way out of it, is in
// runQsvfplay.
#include <iostream>

#include "play_run.h"

int main(int argc, char **argv) { return qsvfplay::runQsvfplay(argc, argv, std::cout, std::cerr); }

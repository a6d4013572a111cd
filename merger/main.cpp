// MergeQSVF program entry: all of the work, and every way out of it, is in
// runMergeQSVF.
#include "merge_qsvf.h"

int main(int argc, char **argv) { return runMergeQSVF(argc, argv); }

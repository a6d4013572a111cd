// In-process entry of svf2qsvf96: runs the whole program on an argument
// vector and returns its exit status.  Every run starts from fresh state.
#ifndef SVF2QSVF96_H
#define SVF2QSVF96_H

int runSvf2qsvf96(int argc, char **argv);

#endif  // SVF2QSVF96_H

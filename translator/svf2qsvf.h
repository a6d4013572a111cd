// Entry point of the SVF-to-QSVF translator.  One call runs one whole
// translation in-process, exactly as the program would (argv[0] is the
// program name), and returns the exit status.  Every end of a run (normal
// end, fatal error, refused overwrite, usage display, option error) comes
// back through this function, and all process-wide state is reset at its
// start, so tests and fuzzers may call it many times in one process.
#ifndef SVF2QSVF_H
#define SVF2QSVF_H

int runSvf2qsvf(int argc, char **argv);

#endif  // SVF2QSVF_H

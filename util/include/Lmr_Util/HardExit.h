// The process-wide hard exit of the family's tools.  A tool registers one
// instance of a class derived from Lmr_HardExit; at a hard exit its Cleanup()
// runs, then pt_exit ends the process with the run status (2 after any
// counted error, else 0).
#ifndef LMR_UTIL_HARDEXIT_H
#define LMR_UTIL_HARDEXIT_H

class Lmr_HardExit {
public:
    virtual ~Lmr_HardExit();
    virtual void Cleanup();

    // Runs the registered Cleanup, then ends the process through pt_exit.
    [[noreturn]] static void Exit();

    // The instance whose Cleanup runs at a hard exit, or null.
    static Lmr_HardExit *HardExit;
};

#endif

// The end of a design tool's run: pt_main2 turns the counted errors into the
// run status and finishes the environment; pt_exit does that and ends the
// process.  pt_terminate is the library's one way out of the process, so that
// a test or an in-process caller can replace it by an exception.
#include <Lmr_Zutils/pt_msg.h>

#include <cstdio>
#include <cstdlib>

PT_ENVIRONMENT *Environ = nullptr;
void (*pt_end_environment_hook)(int runStatus) = nullptr;

namespace {
pt_exit_hook_t exitHook = nullptr;
}

int pt_main2(int status)
{
    if (status != 0 && status != -1)
        pt_msg(status);
    int runStatus = (err_get_total(PT_MSG_ERROR) > 0 || status != 0) ? 2 : 0;
    if (pt_end_environment_hook) {
        pt_end_environment_hook(runStatus);
        // The save at the end can fail; its error must not end the run as a success.
        if (err_get_total(PT_MSG_ERROR) > 0)
            runStatus = 2;
    }
    return runStatus;
}

void pt_exit()
{
    pt_terminate(pt_main2(0));
}

pt_exit_hook_t pt_set_exit_hook(pt_exit_hook_t hook)
{
    pt_exit_hook_t previous = exitHook;
    exitHook = hook;
    return previous;
}

void pt_throw_exit_request(int status)
{
    throw pt_exit_request{status};
}

void pt_terminate(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    if (exitHook)
        exitHook(status);
    std::exit(status);
}

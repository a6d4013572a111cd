// The hard exit: the registered clean-up runs, then pt_exit ends the process
// with the run status of the message statistics.
#include <Lmr_Util/HardExit.h>

#include <Lmr_Zutils/pt_msg.h>

Lmr_HardExit *Lmr_HardExit::HardExit = nullptr;

Lmr_HardExit::~Lmr_HardExit() = default;

void Lmr_HardExit::Cleanup() {}

void Lmr_HardExit::Exit()
{
    if (HardExit)
        HardExit->Cleanup();
    pt_exit();
}

#include "host/loop/StopSignal.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t g_bStop = 0;

void OnStopSignal(int)
{
    g_bStop = 1;
}

} // namespace

void CatchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Other threads' system calls (the frame writer's, the audio mixer's) go
    // on as if nothing happened; the second signal gets the default action.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested()
{
    return g_bStop != 0;
}

#include "prompt_exit.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

int endWithin(std::chrono::milliseconds grace, int exitCode)
{
    // Detached: when teardown finishes first, the process ends with this thread asleep.
    std::thread([grace, exitCode] {
        std::this_thread::sleep_for(grace);
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }).detach();
    return exitCode;
}

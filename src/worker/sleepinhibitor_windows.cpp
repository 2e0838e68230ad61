#include "sleepinhibitor.h"

#include <windows.h>

// Windows keeps the execution state per thread, and a thread's state lasts until that thread
// sets another. So the lock is taken and given back on the inhibitor's own thread (the
// program's main thread), never on the threads that write: with units written side by side,
// the writer that ended last would otherwise clear its own state and leave the first one's set.
std::function<void()> SleepInhibitor::takeSystemLock()
{
    if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
        return {};
    }
    return [] { SetThreadExecutionState(ES_CONTINUOUS); };
}

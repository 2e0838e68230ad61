#include "sleepinhibitor.h"

#include <string>

#include <windows.h>

// A power request, not the thread execution state: that is kept per thread and ends with it,
// and the lock is taken on the thread of whichever unit begins first and given back on the
// thread of whichever ends last.
std::function<void()> SleepInhibitor::takeSystemLock()
{
    std::wstring reason =
        tr("A firmware update is being written; switching off now can leave the device unusable.")
            .toStdWString();
    REASON_CONTEXT context{};
    context.Version = POWER_REQUEST_CONTEXT_VERSION;
    context.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
    context.Reason.SimpleReasonString = reason.data();
    const HANDLE request = PowerCreateRequest(&context);
    if (request == INVALID_HANDLE_VALUE) {
        return {};
    }
    if (!PowerSetRequest(request, PowerRequestSystemRequired)) {
        CloseHandle(request);
        return {};
    }
    return [request] {
        PowerClearRequest(request, PowerRequestSystemRequired);
        CloseHandle(request);
    };
}

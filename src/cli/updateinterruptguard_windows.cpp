#include "updateinterruptguard.h"
#include "updateinterruptmessage.h"

#include <atomic>

#include <windows.h>

namespace {

// Read on the thread the console makes for the event.
std::atomic<void (*)()> refusalListener{nullptr};

// Runs on a thread the console makes for the event. Closing the console window, log-off and
// shut-down cannot be refused here: Windows ends the process once the handler returns.
BOOL WINAPI refuseConsoleStop(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), kUpdateInterruptMessage, sizeof kUpdateInterruptMessage - 1,
                  &written, nullptr);
        if (const auto listener = refusalListener.load()) {
            listener();
        }
        return TRUE;
    }
    return FALSE;
}

} // namespace

UpdateInterruptGuard::UpdateInterruptGuard(void (*passOn)())
{
    refusalListener = passOn;
    SetConsoleCtrlHandler(refuseConsoleStop, TRUE);
}

UpdateInterruptGuard::~UpdateInterruptGuard()
{
    SetConsoleCtrlHandler(refuseConsoleStop, FALSE);
    refusalListener = nullptr;
}

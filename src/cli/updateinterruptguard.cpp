#include "updateinterruptguard.h"

#include <QtGlobal>

#include <cstring>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

constexpr char kIgnoredMessage[] = "\nAn update is being written; stopping now would leave the device "
                                   "half-written. It ends by itself.\n";

#ifdef Q_OS_WIN

BOOL WINAPI refuseConsoleStop(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), kIgnoredMessage, sizeof kIgnoredMessage - 1, &written,
                  nullptr);
        return TRUE;
    }
    return FALSE;
}

#else

constexpr int kGuardedSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[sizeof kGuardedSignals / sizeof kGuardedSignals[0]];

void refuseSignal(int)
{
    // Only async-signal-safe calls here.
    const ssize_t ignored = write(STDERR_FILENO, kIgnoredMessage, sizeof kIgnoredMessage - 1);
    static_cast<void>(ignored);
}

#endif

} // namespace

UpdateInterruptGuard::UpdateInterruptGuard()
{
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(refuseConsoleStop, TRUE);
#else
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = refuseSignal;
    sigemptyset(&action.sa_mask);
    // Restarted system calls keep the event loop and the USB library undisturbed.
    action.sa_flags = SA_RESTART;
    for (std::size_t index = 0; index < sizeof kGuardedSignals / sizeof kGuardedSignals[0]; ++index) {
        sigaction(kGuardedSignals[index], &action, &previousActions[index]);
    }
#endif
}

UpdateInterruptGuard::~UpdateInterruptGuard()
{
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(refuseConsoleStop, FALSE);
#else
    for (std::size_t index = 0; index < sizeof kGuardedSignals / sizeof kGuardedSignals[0]; ++index) {
        sigaction(kGuardedSignals[index], &previousActions[index], nullptr);
    }
#endif
}

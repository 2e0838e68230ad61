#include "updateinterruptguard.h"
#include "updateinterruptmessage.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kGuardedSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[sizeof kGuardedSignals / sizeof kGuardedSignals[0]];
// Read by the handler on whichever thread the signal lands.
std::atomic<void (*)()> refusalListener{nullptr};

void refuseSignal(int)
{
    // Only async-signal-safe calls here.
    const ssize_t ignored = write(STDERR_FILENO, kUpdateInterruptMessage, sizeof kUpdateInterruptMessage - 1);
    static_cast<void>(ignored);
    if (const auto listener = refusalListener.load()) {
        listener();
    }
}

} // namespace

UpdateInterruptGuard::UpdateInterruptGuard(void (*passOn)())
{
    refusalListener = passOn;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = refuseSignal;
    sigemptyset(&action.sa_mask);
    // Restarted system calls keep the event loop and the USB library undisturbed.
    action.sa_flags = SA_RESTART;
    for (std::size_t index = 0; index < sizeof kGuardedSignals / sizeof kGuardedSignals[0]; ++index) {
        sigaction(kGuardedSignals[index], &action, &previousActions[index]);
    }
}

UpdateInterruptGuard::~UpdateInterruptGuard()
{
    for (std::size_t index = 0; index < sizeof kGuardedSignals / sizeof kGuardedSignals[0]; ++index) {
        sigaction(kGuardedSignals[index], &previousActions[index], nullptr);
    }
    refusalListener = nullptr;
}

#include "interruptnotifier.h"

#include <QWinEventNotifier>

#include <atomic>

#include <windows.h>

namespace {

// Set from the console's handler thread, waited for by the event loop.
std::atomic<HANDLE> wakeEvent{nullptr};

// Closing the console window, log-off and shut-down cannot be answered here: Windows ends the
// process once the handler returns.
BOOL WINAPI handleConsoleStop(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        InterruptNotifier::notifyFromHandler();
        return TRUE;
    }
    return FALSE;
}

} // namespace

InterruptNotifier::InterruptNotifier(QObject* parent) : QObject(parent)
{
    const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr) {
        return;
    }
    wakeEvent = event;
    auto* notifier = new QWinEventNotifier(event, this);
    connect(notifier, &QWinEventNotifier::activated, this, &InterruptNotifier::interrupted);
    m_wake = notifier;
    SetConsoleCtrlHandler(handleConsoleStop, TRUE);
}

InterruptNotifier::~InterruptNotifier()
{
    if (!m_wake) {
        return;
    }
    SetConsoleCtrlHandler(handleConsoleStop, FALSE);
    delete m_wake;
    CloseHandle(wakeEvent.exchange(nullptr));
}

void InterruptNotifier::notifyFromHandler()
{
    const HANDLE event = wakeEvent;
    if (event != nullptr) {
        SetEvent(event);
    }
}

#include "shutdownblockreason.h"

#include <QWidget>

#include <qt_windows.h>

namespace {

constexpr wchar_t kReason[] =
    L"A firmware update is being written; switching off now can leave the device unusable.";

// The reason belongs to the top-level window, which exists by now: it is shown.
HWND topLevelHandle(QWidget* window)
{
    return reinterpret_cast<HWND>(window->window()->winId());
}

} // namespace

void marlune::holdShutdown(QWidget* window)
{
    ShutdownBlockReasonCreate(topLevelHandle(window), kReason);
}

void marlune::releaseShutdown(QWidget* window)
{
    ShutdownBlockReasonDestroy(topLevelHandle(window));
}

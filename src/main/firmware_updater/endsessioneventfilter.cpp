#include "endsessioneventfilter.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {

constexpr marlune::qtcompat::NativeEventResult kAgreedResult = 1;

} // namespace

EndSessionEventFilter::EndSessionEventFilter(QCoreApplication* application) : m_application(application) {}

EndSessionEventFilter::Action EndSessionEventFilter::actionFor(quint32 message, qintptr lParam)
{
    if (message == kQueryEndSession) {
        return Action::Agree;
    }
    if (message == kEndSession) {
        return lParam != 0 ? Action::AgreeAndQuit : Action::Agree;
    }
    return Action::PassOn;
}

bool EndSessionEventFilter::handleMessage(quint32 message, qintptr lParam,
                                          marlune::qtcompat::NativeEventResult* result)
{
    const Action action = actionFor(message, lParam);
    if (action == Action::PassOn) {
        return false;
    }
    if (result) {
        *result = kAgreedResult;
    }
    if (action == Action::AgreeAndQuit) {
        // exit, not quit: Qt 6's quit first asks the windows to close, and a busy window
        // would refuse; the session ends either way.
        m_application->exit(0);
    }
    return true;
}

bool EndSessionEventFilter::nativeEventFilter(const QByteArray&, void* message,
                                              marlune::qtcompat::NativeEventResult* result)
{
#ifdef Q_OS_WIN
    const MSG* nativeMessage = static_cast<const MSG*>(message);
    return handleMessage(nativeMessage->message, static_cast<qintptr>(nativeMessage->lParam), result);
#else
    Q_UNUSED(message)
    Q_UNUSED(result)
    return false;
#endif
}

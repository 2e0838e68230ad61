#include "endsessioneventfilter.h"

#include <QCoreApplication>

#include <utility>

namespace {

constexpr marlune::qtcompat::NativeEventResult kAgreedResult = 1;
constexpr marlune::qtcompat::NativeEventResult kRefusedResult = 0;

} // namespace

EndSessionEventFilter::EndSessionEventFilter(QCoreApplication* application) : m_application(application) {}

void EndSessionEventFilter::setWriteInProgress(std::function<bool()> writeInProgress)
{
    m_writeInProgress = std::move(writeInProgress);
}

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

EndSessionEventFilter::Action EndSessionEventFilter::actionWhileWriting(quint32 message, quintptr wParam,
                                                                        qintptr lParam)
{
    if (message == kQueryEndSession) {
        return Action::Refuse;
    }
    if (message == kEndSession && wParam == 0) {
        return Action::Agree;
    }
    return actionFor(message, lParam);
}

bool EndSessionEventFilter::handleMessage(quint32 message, quintptr wParam, qintptr lParam,
                                          marlune::qtcompat::NativeEventResult* result)
{
    const bool writing = m_writeInProgress && m_writeInProgress();
    const Action action = writing ? actionWhileWriting(message, wParam, lParam) : actionFor(message, lParam);
    if (action == Action::PassOn) {
        return false;
    }
    if (result) {
        *result = action == Action::Refuse ? kRefusedResult : kAgreedResult;
    }
    if (action == Action::AgreeAndQuit) {
        // exit, not quit: Qt 6's quit first asks the windows to close, and a busy window
        // would refuse; the session ends either way.
        m_application->exit(0);
    }
    return true;
}

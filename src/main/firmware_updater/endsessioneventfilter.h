#pragma once

#include "qtcompat.h"

#include <QAbstractNativeEventFilter>
#include <QtGlobal>

#include <functional>

class QCoreApplication;

// Lets the program take part in a Windows log-off or shut-down: idle, it agrees to the query
// and quits when the session ends. While firmware is being written it refuses the query, so
// that Windows asks the user before cutting the write off (the user may still force it), and
// stays when the session then goes on. Other platforms deliver no such messages; there the
// filter passes everything on.
class EndSessionEventFilter : public QAbstractNativeEventFilter
{
public:
    enum class Action
    {
        PassOn,
        Agree,
        AgreeAndQuit,
        Refuse,
    };

    // Native message numbers of the session-end notifications.
    static constexpr quint32 kQueryEndSession = 0x0011;
    static constexpr quint32 kEndSession = 0x0016;

    explicit EndSessionEventFilter(QCoreApplication* application);

    // Asked at each session-end message; true while firmware is being written.
    void setWriteInProgress(std::function<bool()> writeInProgress);

    // The decision for one native message while nothing is being written. The reason flags
    // in lParam decide whether to quit, not wParam.
    static Action actionFor(quint32 message, qintptr lParam);
    // The decision while firmware is being written: the query is refused, and an end of
    // session that does not happen (wParam 0: someone refused) leaves the program running.
    static Action actionWhileWriting(quint32 message, quintptr wParam, qintptr lParam);

    // Carries out the decision: an agreed message gets the result 1, a refused query 0.
    // Returns whether the message is consumed.
    bool handleMessage(quint32 message, quintptr wParam, qintptr lParam,
                       marlune::qtcompat::NativeEventResult* result);

    // Reads the platform's native message (per-platform source file).
    bool nativeEventFilter(const QByteArray& eventType, void* message,
                           marlune::qtcompat::NativeEventResult* result) override;

private:
    QCoreApplication* m_application;
    std::function<bool()> m_writeInProgress;
};

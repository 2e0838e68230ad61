#pragma once

#include "qtcompat.h"

#include <QAbstractNativeEventFilter>
#include <QtGlobal>

class QCoreApplication;

// Lets the program take part in a Windows log-off or shut-down: it agrees to the query and
// quits when the session ends. It never vetoes, not even while an update runs. Other
// platforms deliver no such messages; there the filter passes everything on.
class EndSessionEventFilter : public QAbstractNativeEventFilter
{
public:
    enum class Action
    {
        PassOn,
        Agree,
        AgreeAndQuit,
    };

    // Native message numbers of the session-end notifications.
    static constexpr quint32 kQueryEndSession = 0x0011;
    static constexpr quint32 kEndSession = 0x0016;

    explicit EndSessionEventFilter(QCoreApplication* application);

    // The decision for one native message. The reason flags in lParam decide whether to
    // quit, not wParam.
    static Action actionFor(quint32 message, qintptr lParam);

    // Carries out actionFor: a consumed message gets the result 1. Returns whether the
    // message is consumed.
    bool handleMessage(quint32 message, qintptr lParam, marlune::qtcompat::NativeEventResult* result);

    bool nativeEventFilter(const QByteArray& eventType, void* message,
                           marlune::qtcompat::NativeEventResult* result) override;

private:
    QCoreApplication* m_application;
};

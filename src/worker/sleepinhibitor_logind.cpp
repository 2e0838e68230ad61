#include "sleepinhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QLoggingCategory>

namespace {

Q_LOGGING_CATEGORY(lcSleepLock, "marlune.sleeplock", QtInfoMsg)

} // namespace

std::function<void()> SleepInhibitor::takeSystemLock()
{
    // Asked on the writer's thread: the lock is a descriptor, which any thread may hold and close.
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return {};
    }
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("shutdown:sleep:handle-lid-switch") << QCoreApplication::applicationName()
            << tr("A firmware update is being written; switching off now can leave the device unusable.")
            << QStringLiteral("block");
    const QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(inhibit, QDBus::Block, kAnswerBoundMs);
    if (!reply.isValid()) {
        // No logind at all is the normal case in a container; one that is there and silent is not.
        if (reply.error().type() == QDBusError::NoReply || reply.error().type() == QDBusError::Timeout) {
            qCWarning(lcSleepLock,
                      "logind did not answer the request for a sleep lock within %d ms; the firmware is "
                      "written without it",
                      kAnswerBoundMs);
        }
        return {};
    }
    // logind holds the lock until every copy of this descriptor is closed.
    QDBusUnixFileDescriptor lock = reply.value();
    return [lock]() mutable { lock = QDBusUnixFileDescriptor(); };
}

#include "sleepinhibitor.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

namespace {

// logind answers at once; a system bus that does not must not hold up the program for long.
constexpr int kLogindAnswerTimeoutMs = 2000;

} // namespace

std::function<void()> SleepInhibitor::takeSystemLock()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return {};
    }
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("shutdown:sleep") << QCoreApplication::applicationName()
            << tr("A firmware update is being written; switching off now can leave the device unusable.")
            << QStringLiteral("block");
    const QDBusReply<QDBusUnixFileDescriptor> reply = bus.call(inhibit, QDBus::Block, kLogindAnswerTimeoutMs);
    if (!reply.isValid()) {
        return {};
    }
    // logind holds the lock until every copy of this descriptor is closed.
    QDBusUnixFileDescriptor lock = reply.value();
    return [lock]() mutable { lock = QDBusUnixFileDescriptor(); };
}

#include "runningwindow.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace {

// The bus gives a name to one connection at a time and frees it when the program ends,
// however it ends: no lock file outlives a crash.
const QString kService = QStringLiteral("com.marlune.FirmwareUpdateTool");
const QString kPath = QStringLiteral("/com/marlune/FirmwareUpdateTool/Window");
const QString kInterface = QStringLiteral("com.marlune.FirmwareUpdateTool.Window");

// A window that does not answer within this is taken for none.
constexpr int kAnswerTimeoutMs = 3000;

QDBusMessage call(const QString& method, const QString& argument)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return {};
    }
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    message << argument;
    return bus.call(message, QDBus::Block, kAnswerTimeoutMs);
}

} // namespace

// What the bus calls: the window's answers on the session bus.
class RunningWindowAdaptor : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.marlune.FirmwareUpdateTool.Window")

public:
    RunningWindowAdaptor(RunningWindow& window, RunningWindow::UnitQuery holdsUnit)
        : m_window(window), m_holdsUnit(std::move(holdsUnit))
    {}

public slots:
    Q_SCRIPTABLE void Activate(const QString& file) { emit m_window.activationRequested(file); }
    Q_SCRIPTABLE bool HoldsUnit(const QString& serial) { return m_holdsUnit(serial); }

private:
    RunningWindow& m_window;
    RunningWindow::UnitQuery m_holdsUnit;
};

struct RunningWindow::Handles
{
    std::unique_ptr<RunningWindowAdaptor> adaptor;
};

RunningWindow::RunningWindow(QObject* parent) : QObject(parent), m_handles(std::make_unique<Handles>()) {}

RunningWindow::~RunningWindow()
{
    if (m_handles->adaptor) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(kPath);
        bus.unregisterService(kService);
    }
}

bool RunningWindow::claim(const UnitQuery& holdsUnit)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return true;
    }
    // Answers are ready before the name is: a second start that finds the name can call.
    m_handles->adaptor = std::make_unique<RunningWindowAdaptor>(*this, holdsUnit);
    bus.registerObject(kPath, m_handles->adaptor.get(), QDBusConnection::ExportScriptableSlots);
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
        kService, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        return true;
    }
    bus.unregisterObject(kPath);
    m_handles->adaptor.reset();
    // A bus that cannot tell is no reason to refuse the window.
    return !reply.isValid();
}

bool RunningWindow::activate(const QString& file)
{
    return call(QStringLiteral("Activate"), file).type() == QDBusMessage::ReplyMessage;
}

bool RunningWindow::holdsUnit(const QString& serial)
{
    const QDBusReply<bool> reply = call(QStringLiteral("HoldsUnit"), serial);
    return reply.isValid() && reply.value();
}

#include "runningwindow_dbus.moc"

#include "applicationversion.h"
#include "endsessioneventfilter.h"
#include "firmwareupdatedlg.h"
#include "mlpworkerthread.h"
#include "qtcompat.h"
#include "registerbuiltinupdatefiles.h"
#include "runningprogrammark.h"
#include "runningwindow.h"
#include "terminationhandling.h"
#include "writeguard.h"

#include <QApplication>
#include <QFileInfo>
#include <QLoggingCategory>

namespace {

// Start-up diagnostics stay silent unless asked for, e.g. with
// QT_LOGGING_RULES="marlune.startup.debug=true".
Q_LOGGING_CATEGORY(lcStartup, "marlune.startup", QtInfoMsg)

// The update file the program was started with ("Open with", a script), made absolute so
// that a window started elsewhere finds it: the last argument, when neither it nor the one
// before it is an option (Qt's own, such as -platform NAME, may remain).
QString updateFileNamed(const QStringList& arguments)
{
    const int last = int(arguments.size()) - 1;
    const auto isOption = [](const QString& argument) { return argument.startsWith(QLatin1Char('-')); };
    if (last < 1 || isOption(arguments.at(last)) || (last > 1 && isOption(arguments.at(last - 1)))) {
        return QString();
    }
    return QFileInfo(arguments.at(last)).absoluteFilePath();
}

} // namespace

// The program's one entry. Qt's Windows GUI entry point calls main, and so does every other
// platform: main only forwards here.
int qMain(int argc, char** argv)
{
    // From the first moment to the last, so that no installer replaces the program under it.
    const RunningProgramMark running;
    // The pictures come at two pixel densities; a high-density screen uses the finer one.
    marlune::qtcompat::enableHighDpiScaling();
    marlune::qtcompat::disableContextHelpButtons();
    QApplication application(argc, argv);
    // Both bundles live in static libraries; naming them here keeps the linker from dropping
    // them. Their own static initialisers register them before this runs and unregister
    // them at exit.
    Q_INIT_RESOURCE(pictures);
    registerBuiltInUpdateFiles();

    // One window per session: a second start hands its file to the running one and brings it
    // forward. Claimed before anything else starts, answered once the window exists.
    const QString updateFile = updateFileNamed(QCoreApplication::arguments());
    FirmwareUpdateDlg* shownWindow = nullptr;
    RunningWindow runningWindow;
    if (!runningWindow.claim([&shownWindow](const QString& serial) {
            return shownWindow && shownWindow->holdsUnit(serial);
        }) &&
        RunningWindow::activate(updateFile)) {
        return 0;
    }

    EndSessionEventFilter endSessionFilter(&application);
    qCDebug(lcStartup, "Installing event filter...");
    application.installNativeEventFilter(&endSessionFilter);

    // Declared before the window so that it outlives it: the thread object owns the device
    // links, which it releases only after the window is gone.
    MLPWorkerThread workerThread;
    workerThread.start();

    FirmwareUpdateDlg window;
    window.setWindowTitle(marlune::mainWindowTitle());
    window.setWorkerThread(&workerThread);
    shownWindow = &window;
    QObject::connect(&runningWindow, &RunningWindow::activationRequested, &window,
                     &FirmwareUpdateDlg::bringForward);
    window.show();
    if (!updateFile.isEmpty()) {
        window.bringForward(updateFile);
    }

    // A signal cannot be refused, but a write is bounded: it ends first, and is recorded. The
    // loop is ended by exit, not quit: Qt 6's quit first asks the windows to close, and a
    // busy window would refuse.
    QObject::connect(&window, &FirmwareUpdateDlg::readyToExit, &application,
                     [] { QCoreApplication::exit(0); });
    const std::unique_ptr<QObject> terminationSignals =
        marlune::exitOnTerminationSignals([&window] { window.exitAfterRunningUpdates(); });

    marlune::guardWritesAgainstSessionEnd(endSessionFilter, workerThread, window);

    const int exitCode = application.exec();
    shownWindow = nullptr;

    // However the loop ended (window closed, session end, signal), the request that is
    // running finishes and the thread is joined before the window, the links and their USB
    // libraries are torn down. A running update is completed rather than cut off: an
    // interrupted transfer leaves a device half-written.
    workerThread.stop();
    workerThread.wait();
    endSessionFilter.setWriteInProgress(nullptr);
    return exitCode;
}

int main(int argc, char** argv)
{
    return qMain(argc, argv);
}

#include "applicationversion.h"
#include "endsessioneventfilter.h"
#include "firmwareupdatedlg.h"
#include "mlpworkerthread.h"
#include "qtcompat.h"
#include "registerbuiltinupdatefiles.h"
#include "runningprogrammark.h"
#include "terminationhandling.h"
#include "writeguard.h"

#include <QApplication>
#include <QLoggingCategory>

namespace {

// Start-up diagnostics stay silent unless asked for, e.g. with
// QT_LOGGING_RULES="marlune.startup.debug=true".
Q_LOGGING_CATEGORY(lcStartup, "marlune.startup", QtInfoMsg)

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
    window.show();

    // A signal cannot be refused, but a write is bounded: it ends first, and is recorded. The
    // loop is ended by exit, not quit: Qt 6's quit first asks the windows to close, and a
    // busy window would refuse.
    QObject::connect(&window, &FirmwareUpdateDlg::readyToExit, &application,
                     [] { QCoreApplication::exit(0); });
    const std::unique_ptr<QObject> terminationSignals =
        marlune::exitOnTerminationSignals([&window] { window.exitAfterRunningUpdates(); });

    marlune::guardWritesAgainstSessionEnd(endSessionFilter, workerThread, window);

    const int exitCode = application.exec();

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

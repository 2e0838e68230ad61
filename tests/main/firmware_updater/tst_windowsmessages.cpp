// The program's answers to Windows' own messages, sent to the main window's native handle in
// the running program: session end and device change, idle and while firmware is written;
// and the buttons its windows' title bars get from Windows.
// Runs under Wine on a real display (Xvfb), beside the stand-in FTDI driver library, so the
// worker finds a device and writes to it through the unchanged links.
#include "builtinfirmwaresdlg.h"
#include "endsessioneventfilter.h"
#include "firmwareupdatedlg.h"
#include "mlpworkerthread.h"
#include "qtcompat.h"
#include "registerbuiltinupdatefiles.h"
#include "updatehistorydlg.h"
#include "usbhotplugwatcher.h"
#include "writeguard.h"

#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <qt_windows.h>

namespace {

constexpr WPARAM kDeviceNodesChanged = 0x0007; // DBT_DEVNODES_CHANGED
constexpr int kTimeoutMs = 30000;

} // namespace

class TestWindowsMessages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerBuiltInUpdateFiles(); }
    void sessionEndAndDeviceChangeFollowTheWrite();
    void titleBarsHaveAMinimizeButtonButNoHelpButton();
};

void TestWindowsMessages::sessionEndAndDeviceChangeFollowTheWrite()
{
    MLPWorkerThread worker;
    worker.start();
    FirmwareUpdateDlg window;
    window.setWorkerThread(&worker);
    window.show();
    EndSessionEventFilter filter(QCoreApplication::instance());
    QCoreApplication::instance()->installNativeEventFilter(&filter);
    marlune::guardWritesAgainstSessionEnd(filter, worker, window);
    const HWND handle = reinterpret_cast<HWND>(window.winId());
    auto* update = window.findChild<QPushButton*>(QStringLiteral("bttn_update"));
    QSignalSpy discoveries(&worker, &MLPWorkerThread::deviceDiscoverFinsihed);

    QTRY_VERIFY_WITH_TIMEOUT(update->isEnabled(), kTimeoutMs);
    QCOMPARE(SendMessageW(handle, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), LRESULT(1));
    discoveries.clear();
    SendMessageW(handle, WM_DEVICECHANGE, kDeviceNodesChanged, 0);
    QTRY_COMPARE_WITH_TIMEOUT(discoveries.count(), 1, kTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(update->isEnabled(), kTimeoutMs);

    update->click();
    QTRY_VERIFY_WITH_TIMEOUT(worker.hasUpdateUnderWay(), kTimeoutMs);
    QCOMPARE(SendMessageW(handle, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), LRESULT(0));
    // Refused, the session goes on: the program stays and the write with it.
    SendMessageW(handle, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    discoveries.clear();
    SendMessageW(handle, WM_DEVICECHANGE, kDeviceNodesChanged, 0);
    QTest::qWait(2 * UsbHotplugWatcher::kSettleMs);
    QVERIFY2(worker.hasUpdateUnderWay(), "the write ended before the device change could be checked");
    QCOMPARE(discoveries.count(), 0);

    // Once the write has ended, the query is agreed to again and the change taken up.
    QTRY_VERIFY_WITH_TIMEOUT(!worker.hasUpdateUnderWay(), kTimeoutMs);
    QCOMPARE(SendMessageW(handle, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), LRESULT(1));
    QTRY_VERIFY_WITH_TIMEOUT(discoveries.count() >= 1, kTimeoutMs);

    filter.setWriteInProgress(nullptr);
    QCoreApplication::instance()->removeNativeEventFilter(&filter);
    worker.stop();
    worker.wait();
}

// The main window can be minimized; no dialog offers What's This help, which the program has
// none of.
void TestWindowsMessages::titleBarsHaveAMinimizeButtonButNoHelpButton()
{
    marlune::qtcompat::disableContextHelpButtons();
    FirmwareUpdateDlg window;
    const auto style = [](QWidget& shown) {
        return GetWindowLongPtrW(reinterpret_cast<HWND>(shown.winId()), GWL_STYLE);
    };
    const auto extendedStyle = [](QWidget& shown) {
        return GetWindowLongPtrW(reinterpret_cast<HWND>(shown.winId()), GWL_EXSTYLE);
    };
    QVERIFY(style(window) & WS_MINIMIZEBOX);

    BuiltInFirmwaresDlg builtIn(&window);
    UpdateHistoryDlg history(UpdateHistory(QStringLiteral("no-history.jsonl")), &window);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Title"), QStringLiteral("Text"), QMessageBox::Ok,
                    &window);
    for (QWidget* shown : std::initializer_list<QWidget*>{&window, &builtIn, &history, &box}) {
        QVERIFY2(!(extendedStyle(*shown) & WS_EX_CONTEXTHELP), shown->metaObject()->className());
    }
}

QTEST_MAIN(TestWindowsMessages)
#include "tst_windowsmessages.moc"

#include "builtinfirmwaresdlg.h"
#include "builtinupdatefiles.h"
#include "deviceinfodlg.h"
#include "firmwareupdatedlg.h"
#include "flagrows.h"
#include "loadedfirmwaredlg.h"
#include "minisignsigner.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpworkercontext.h"
#include "mlpworkerthread.h"
#include "modaldialogwatcher.h"
#include "registerbuiltinupdatefiles.h"
#include "updatefilebuilder.h"
#include "updatehistorydlg.h"
#include "usbhotplugwatcher.h"
#include "virtualdevice.h"
#include "virtualdevicephy.h"
#include "writingprogresstext.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <thread>

using marlune::testing::UpdateFileBuilder;
using marlune::testing::VirtualDevice;
using marlune::testing::VirtualDeviceIdentity;

namespace {

// The window's state without a device: model "N/A" and hardware version 0. An update
// file for that model which lists hardware version 0.00 fits it, which lets these tests
// reach every state of the update button without any device.
const QByteArray kNoDeviceModel = "N/A";

// Exposes how many connections the window holds to the thread's signals. The thread is
// never started here: the tests emit its signals themselves.
class ObservedWorkerThread : public MLPWorkerThread
{
public:
    int receiverCount(const char* signal) const { return receivers(signal); }
};

// The worker thread delivers everything queued from another thread; so do the tests.
void emitFromAnotherThread(const std::function<void()>& emission)
{
    std::thread emitter(emission);
    emitter.join();
}

// The unit these tests update: it answers as the window's device without a discovery,
// fits the tests' update files and takes on the firmware it is sent.
std::unique_ptr<VirtualDevice> makeUnit()
{
    VirtualDeviceIdentity identity;
    identity.model = kNoDeviceModel.toStdString();
    identity.hwVersion = 0x0000;
    identity.fwVersion = 0x0100;
    auto unit = std::make_unique<VirtualDevice>(identity);
    unit->setInstallsUpdates(true);
    return unit;
}

// Runs the window's update request to its end on another thread, as the worker thread does,
// with every link it opens going to `unit`.
void runRequest(MLPUpdateFirmwareRequest* request, VirtualDevice& unit)
{
    emitFromAnotherThread([&] {
        MLPWorkerContext context;
        context.units.context = &unit;
        context.units.open = [](void* device, const MLPDeviceInfoNode&) {
            MLPUnitLinks::Opening opening;
            opening.link =
                std::make_unique<marlune::testing::VirtualDevicePhy>(*static_cast<VirtualDevice*>(device));
            opening.problem = MLPUnitLinks::Problem::None;
            return opening;
        };
        request->run(&context);
    });
}

QString plainText(const QString& richText)
{
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText();
}

QStringList tableRows(QTableWidget* table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            cells << (table->item(row, column) ? table->item(row, column)->text() : QString());
        }
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

} // namespace

class TestFirmwareUpdateDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    // Right after construction.
    void startsIdleInBuiltInModeWithUpdateDisabled();
    void formTextsAndHelp_data();
    void formTextsAndHelp();
    void modeTextsAreRichTextWithOneLink();
    void picturesComeFromTheBundle();

    // Show handling.
    void showingStartsADiscoveryAndMakesTheWindowBusy();
    void showingWithoutWorkerThreadClosesWithMinusOne();
    void restoringAMinimisedWindowNeitherReconnectsNorRediscovers();
    void showingAgainWhileUpdatingKeepsTheRequest();

    // Control states.
    void busyDisablesEverythingButTheDeviceList();
    void idleWithoutDeviceOffersOnlyDiscoveryLoadAndQuit();
    void idleWithDeviceEnablesDeviceInfo();
    void emptyDiscoveryForgetsTheSelectedDevice();
    void lostConnectionEmptiesTheListAndForgetsTheDevice();
    void failedSelectionStillCountsAsSelected();

    // File modes.
    void linkSwitchesBetweenModes();
    void keyboardReachesAndActivatesTheLink_data();
    void keyboardReachesAndActivatesTheLink();
    void linkIsIgnoredWhileBusy();
    void unknownLinkTargetsAreIgnored_data();
    void unknownLinkTargetsAreIgnored();
    void switchingModesKeepsTheLoadedFile();
    void fileDialogAsksForUpdateFilesFromHome();
    void fileDialogStartsAtTheLoadedFile();
    void cancelledFileDialogKeepsThePreviousFile();
    void cancelledFileDialogWithoutFileLeavesNoneLoaded();
    void fileFromAnotherStartIsLoadedOnceIdle();

    // Compatibility test and the reason shown on the disabled button.
    void updateButtonFollowsTheLoadedFile_data();
    void updateButtonFollowsTheLoadedFile();
    void deletedLoadedFileDisablesUpdate();
    void noBuiltInFileForTheModelSaysSo();
    void emptyCatalogueStartsWithALoadedFile();
    void busyButtonSaysToWait();

    // Update flow.
    void updateShowsProgressAndEndsQuietlyOnSuccess();
    void writingLineSaysHowFarAndHowLong_data();
    void writingLineSaysHowFarAndHowLong();
    void failedUpdateShowsOneWarningAndKeepsTheDevice();

    // Closing.
    void closeIsRefusedWhileBusy();
    void escapeIsRefusedWhileBusy();
    void updateKeepsTheWindowBusyWhenASelectionEnds();
    void quitButtonClosesWhenIdle();
    void escapeHidesWhenIdle();

    // Layout.
    void windowHeightFollowsTheVerdictLine();
    void noTextIsClippedAtTheSmallestSize();

    // Information buttons.
    void deviceInfoButtonShowsTheCurrentDevice();
    void builtInInfoButtonShowsTheCatalogue();
    void loadedInfoButtonShowsTheLoadedFile();
    // A file no trusted key signed.
    void unsignedFileIsWrittenOnlyAfterYes_data();
    void unsignedFileIsWrittenOnlyAfterYes();
    void historyButtonShowsTheHistory();

private:
    QPushButton* button(const char* name) const { return m_window->findChild<QPushButton*>(name); }
    QLabel* label(const char* name) const { return m_window->findChild<QLabel*>(name); }
    QComboBox* devicesCombo() const { return m_window->findChild<QComboBox*>("devicesCombo"); }
    QProgressBar* progressBar() const { return m_window->findChild<QProgressBar*>("progressBar"); }

    void invoke(const char* slot);
    void invokeLink(const QString& link);
    QString writeUpdateFile(const QString& name, const QByteArray& model, QVector<uint16_t> hardwareVersions);
    void loadFile(const QString& path);
    void showAndFinishDiscovery();
    void selectDevice();
    void reachUpdatableState();
    bool isBuiltInMode() const;
    void addListEntryQuietly(const QString& model);

    QTemporaryDir m_fileDirectory;
    ObservedWorkerThread* m_workerThread = nullptr;
    FirmwareUpdateDlg* m_window = nullptr;
};

void TestFirmwareUpdateDlg::initTestCase()
{
    Q_INIT_RESOURCE(pictures);
    registerBuiltInUpdateFiles();
    QVERIFY(m_fileDirectory.isValid());
    // Updates go into the history; never into the user's own.
    qputenv("XDG_STATE_HOME", m_fileDirectory.filePath(QStringLiteral("state")).toLocal8Bit());
}

void TestFirmwareUpdateDlg::init()
{
    m_workerThread = new ObservedWorkerThread;
    m_window = new FirmwareUpdateDlg;
    m_window->setWorkerThread(m_workerThread);
}

void TestFirmwareUpdateDlg::cleanup()
{
    delete m_window;
    m_window = nullptr;
    delete m_workerThread;
    m_workerThread = nullptr;
}

void TestFirmwareUpdateDlg::invoke(const char* slot)
{
    QVERIFY(QMetaObject::invokeMethod(m_window, slot));
}

void TestFirmwareUpdateDlg::invokeLink(const QString& link)
{
    QVERIFY(QMetaObject::invokeMethod(m_window, "on_lbl_fileOpenMode_linkActivated", Q_ARG(QString, link)));
}

QString TestFirmwareUpdateDlg::writeUpdateFile(const QString& name, const QByteArray& model,
                                               QVector<uint16_t> hardwareVersions)
{
    UpdateFileBuilder file;
    file.model = model;
    file.hardwareVersions = hardwareVersions;
    return file.writeTo(m_fileDirectory.filePath(name));
}

// Picks the file in the real open-file dialog, as a user would.
void TestFirmwareUpdateDlg::loadFile(const QString& path)
{
    ModalDialogWatcher watcher([&](QWidget* dialog) {
        auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
        QVERIFY(fileDialog);
        // Typed into the name field, as a user would: selectFile() leaves that field alone once
        // it has the focus, which the shown dialog gives it sooner or later.
        auto* fileName = fileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(fileName);
        fileName->setText(path);
        QMetaObject::invokeMethod(fileDialog, "accept");
    });
    invoke("on_bttn_load_clicked");
    QCOMPARE(watcher.seenCount(), 1);
}

void TestFirmwareUpdateDlg::showAndFinishDiscovery()
{
    m_window->show();
    emit m_workerThread->deviceDiscoverFinsihed();
}

void TestFirmwareUpdateDlg::selectDevice()
{
    emit m_workerThread->deviceSelectionFinished(0x0100, 0x0000);
}

// A selected device and a loaded file that fits it.
void TestFirmwareUpdateDlg::reachUpdatableState()
{
    showAndFinishDiscovery();
    selectDevice();
    invokeLink(QStringLiteral("alternative-update-file"));
    loadFile(writeUpdateFile(QStringLiteral("fits.ml2"), kNoDeviceModel, {0x0000}));
    QVERIFY(button("bttn_update")->isEnabled());
}

// An entry as a discovery would leave it, without the selection that adding it would start.
void TestFirmwareUpdateDlg::addListEntryQuietly(const QString& model)
{
    const QSignalBlocker blocker(devicesCombo());
    devicesCombo()->addItem(model);
}

bool TestFirmwareUpdateDlg::isBuiltInMode() const
{
    return button("bttn_load")->isHidden() && label("lbl_fileStatus")->isHidden() &&
           !button("infoButtonBuiltInFirmware")->isHidden() && button("infoButtonLoadedFirmware")->isHidden();
}

void TestFirmwareUpdateDlg::startsIdleInBuiltInModeWithUpdateDisabled()
{
    QVERIFY(!button("bttn_update")->isEnabled());
    QVERIFY(!button("infoButtonLoadedFirmware")->isEnabled());
    QVERIFY(progressBar()->isHidden());
    QVERIFY(isBuiltInMode());
    QCOMPARE(plainText(label("lbl_fileOpenMode")->text()),
             QStringLiteral("Built-in firmware update files loaded. Load alternative update file."));
    QVERIFY(button("bttnDiscover")->isEnabled());
    QVERIFY(button("bttn_quit")->isEnabled());
    QCOMPARE(button("bttn_update")->toolTip(), QString());
}

void TestFirmwareUpdateDlg::formTextsAndHelp_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("whatsThis");

    QTest::newRow("bttnDiscover") << "bttnDiscover"
                                  << "Discover Devices"
                                  << "Click to discover connected MARLUNE devices.";
    QTest::newRow("bttn_update") << "bttn_update"
                                 << "Update Firmware"
                                 << "Click to update the firmware";
    QTest::newRow("bttn_load") << "bttn_load"
                               << "Load Update File"
                               << "Click to load an alternative update image";
    QTest::newRow("bttn_quit") << "bttn_quit"
                               << "Quit"
                               << "Close this window";
    QTest::newRow("infoButtonDevice") << "infoButtonDevice"
                                      << ""
                                      << "";
    QTest::newRow("infoButtonBuiltInFirmware") << "infoButtonBuiltInFirmware"
                                               << ""
                                               << "";
    QTest::newRow("infoButtonLoadedFirmware") << "infoButtonLoadedFirmware"
                                              << ""
                                              << "";
}

void TestFirmwareUpdateDlg::formTextsAndHelp()
{
    QFETCH(QString, objectName);
    QFETCH(QString, text);
    QFETCH(QString, whatsThis);

    QPushButton* pushButton = button(objectName.toLatin1().constData());
    QVERIFY(pushButton);
    QCOMPARE(pushButton->text(), text);
    QCOMPARE(plainText(pushButton->whatsThis()), whatsThis);
}

void TestFirmwareUpdateDlg::modeTextsAreRichTextWithOneLink()
{
    const QString frame =
        "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">p, li { "
        "white-space: pre-wrap; } </style><body style=\" font-family:'MS Shell Dlg 2'; "
        "font-size:8.25pt; font-weight:400; font-style:normal;\"><p style=\" margin-top:0px; "
        "margin-bottom:0px; margin-left:0px; margin-right:0px; -qt-block-indent:0; "
        "text-indent:0px;\">";
    const QString builtIn =
        frame +
        "<span style=\" font-size:8pt; font-weight:600;\">Built-in firmware update files loaded. Load </span>"
        "<a href=\"alternative-update-file\"><span style=\" font-weight:600; text-decoration: underline; "
        "color:#ff0000;\">alternative</span></a>"
        "<span style=\" font-size:8pt; font-weight:600;\"> update file.</span></p></body></html>";
    const QString alternative =
        frame +
        "<span style=\" font-size:8pt; font-weight:600;\">Load the </span>"
        "<a href=\"default-update-file\"><span style=\" font-weight:600; text-decoration: underline; "
        "color:#ff0000;\">built-in</span></a>"
        "<span style=\" font-size:8pt; font-weight:600;\"> firmware updates.</span></p></body></html>";

    QCOMPARE(label("lbl_fileOpenMode")->text(), builtIn);
    invokeLink(QStringLiteral("alternative-update-file"));
    QCOMPARE(label("lbl_fileOpenMode")->text(), alternative);
    QCOMPARE(plainText(alternative), QStringLiteral("Load the built-in firmware updates."));
    QCOMPARE(label("lbl_fileOpenMode")->textFormat(), Qt::RichText);
}

void TestFirmwareUpdateDlg::picturesComeFromTheBundle()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Marlune Firmware Update Tool"));
    QVERIFY(!m_window->windowIcon().isNull());
    QVERIFY(m_window->windowIcon().availableSizes().contains(QSize(16, 16)));
    QVERIFY(m_window->windowIcon().availableSizes().contains(QSize(256, 256)));
    for (const char* name : {"infoButtonDevice", "infoButtonBuiltInFirmware", "infoButtonLoadedFirmware"}) {
        QVERIFY2(!button(name)->icon().isNull(), name);
    }
}

void TestFirmwareUpdateDlg::showingStartsADiscoveryAndMakesTheWindowBusy()
{
    addListEntryQuietly(QStringLiteral("stale"));
    m_window->show();
    QCOMPARE(devicesCombo()->count(), 0);
    QVERIFY(!button("bttnDiscover")->isEnabled());
    QCOMPARE(m_workerThread->receiverCount(SIGNAL(deviceDiscoverFinsihed())), 1);
    QCOMPARE(m_workerThread->receiverCount(SIGNAL(deviceSelectionFinished(uint16_t, uint16_t))), 1);
    QCOMPARE(m_workerThread->receiverCount(SIGNAL(lostConnection())), 1);

    emit m_workerThread->deviceDiscoverFinsihed();
    QVERIFY(button("bttnDiscover")->isEnabled());
}

void TestFirmwareUpdateDlg::showingWithoutWorkerThreadClosesWithMinusOne()
{
    FirmwareUpdateDlg lonelyWindow;
    QTest::ignoreMessage(QtDebugMsg, "Critical Error: No worker thread.");
    lonelyWindow.show();
    QVERIFY(!lonelyWindow.isVisible());
    QCOMPARE(lonelyWindow.result(), -1);
}

void TestFirmwareUpdateDlg::restoringAMinimisedWindowNeitherReconnectsNorRediscovers()
{
    showAndFinishDiscovery();
    selectDevice();
    QVERIFY(button("infoButtonDevice")->isEnabled());

    m_window->showMinimized();
    m_window->showNormal();
    QTest::qWait(0);

    QCOMPARE(m_workerThread->receiverCount(SIGNAL(deviceDiscoverFinsihed())), 1);
    QCOMPARE(m_workerThread->receiverCount(SIGNAL(deviceSelectionFinished(uint16_t, uint16_t))), 1);
    QCOMPARE(m_workerThread->receiverCount(SIGNAL(lostConnection())), 1);
    QVERIFY2(button("bttnDiscover")->isEnabled(), "a restored window must not start a discovery");
    QVERIFY(button("infoButtonDevice")->isEnabled());
}

void TestFirmwareUpdateDlg::showingAgainWhileUpdatingKeepsTheRequest()
{
    reachUpdatableState();
    invoke("on_bttn_update_clicked");
    QPointer<MLPUpdateFirmwareRequest> request = m_window->findChild<MLPUpdateFirmwareRequest*>();
    QVERIFY(request);

    m_window->hide();
    m_window->show();

    QVERIFY2(request, "the running update request was deleted");
    QCOMPARE(m_workerThread->receiverCount(SIGNAL(deviceDiscoverFinsihed())), 1);
    QVERIFY(progressBar()->isVisible());

    const std::unique_ptr<VirtualDevice> unit = makeUnit();
    runRequest(request, *unit);
    QTRY_VERIFY(!request);
    // Afterwards the window selects the unit it shows again.
    selectDevice();
    QVERIFY(button("bttnDiscover")->isEnabled());
}

void TestFirmwareUpdateDlg::busyDisablesEverythingButTheDeviceList()
{
    showAndFinishDiscovery();
    selectDevice();
    invoke("on_bttnDiscover_clicked");

    for (const char* name : {"bttnDiscover", "bttn_load", "bttn_quit", "infoButtonDevice", "bttn_update"}) {
        QVERIFY2(!button(name)->isEnabled(), name);
    }
    QVERIFY(devicesCombo()->isEnabled());
    QVERIFY(button("infoButtonBuiltInFirmware")->isEnabled());
}

void TestFirmwareUpdateDlg::idleWithoutDeviceOffersOnlyDiscoveryLoadAndQuit()
{
    showAndFinishDiscovery();

    for (const char* name : {"bttnDiscover", "bttn_load", "bttn_quit"}) {
        QVERIFY2(button(name)->isEnabled(), name);
    }
    QVERIFY(!button("infoButtonDevice")->isEnabled());
    QVERIFY(!button("bttn_update")->isEnabled());
    QCOMPARE(button("bttn_update")->toolTip(), QString());
    QVERIFY(devicesCombo()->isEnabled());
}

void TestFirmwareUpdateDlg::idleWithDeviceEnablesDeviceInfo()
{
    showAndFinishDiscovery();
    selectDevice();

    for (const char* name : {"bttnDiscover", "bttn_load", "bttn_quit", "infoButtonDevice"}) {
        QVERIFY2(button(name)->isEnabled(), name);
    }
    QVERIFY(devicesCombo()->isEnabled());
}

void TestFirmwareUpdateDlg::emptyDiscoveryForgetsTheSelectedDevice()
{
    reachUpdatableState();
    QVERIFY(button("infoButtonDevice")->isEnabled());

    invoke("on_bttnDiscover_clicked");
    emit m_workerThread->deviceDiscoverFinsihed();

    QVERIFY(!button("infoButtonDevice")->isEnabled());
    QVERIFY2(!button("bttn_update")->isEnabled(), "an update was offered for a device the thread let go");
    QVERIFY(button("bttnDiscover")->isEnabled());
    QCOMPARE(devicesCombo()->count(), 0);
}

void TestFirmwareUpdateDlg::lostConnectionEmptiesTheListAndForgetsTheDevice()
{
    reachUpdatableState();
    addListEntryQuietly(QStringLiteral("DEMO-A"));

    emitFromAnotherThread([&] { emit m_workerThread->lostConnection(); });

    QTRY_COMPARE(devicesCombo()->count(), 0);
    QVERIFY(!button("infoButtonDevice")->isEnabled());
    QVERIFY(!button("bttn_update")->isEnabled());
    QVERIFY(button("bttnDiscover")->isEnabled());
}

void TestFirmwareUpdateDlg::failedSelectionStillCountsAsSelected()
{
    showAndFinishDiscovery();
    emitFromAnotherThread([&] { emit m_workerThread->deviceSelectionFinished(0xFFFF, 0xFFFF); });
    QTRY_VERIFY(button("infoButtonDevice")->isEnabled());
}

void TestFirmwareUpdateDlg::keyboardReachesAndActivatesTheLink_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Space") << int(Qt::Key_Space);
}

// Without a mouse: Tab from the device list (the device's info button is disabled without
// a device) lands on the mode text's link, whose key switches the mode, and back again.
void TestFirmwareUpdateDlg::keyboardReachesAndActivatesTheLink()
{
    QFETCH(int, key);
    showAndFinishDiscovery();
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    devicesCombo()->setFocus();

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), label("lbl_fileOpenMode"));
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
    QVERIFY(!isBuiltInMode());
    QVERIFY(m_window->isVisible());

    QCOMPARE(QApplication::focusWidget(), label("lbl_fileOpenMode"));
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
    QVERIFY(isBuiltInMode());
}

void TestFirmwareUpdateDlg::linkSwitchesBetweenModes()
{
    invokeLink(QStringLiteral("alternative-update-file"));
    QVERIFY(!button("bttn_load")->isHidden());
    QVERIFY(!label("lbl_fileStatus")->isHidden());
    QVERIFY(button("infoButtonBuiltInFirmware")->isHidden());
    QVERIFY(!button("infoButtonLoadedFirmware")->isHidden());

    invokeLink(QStringLiteral("default-update-file"));
    QVERIFY(isBuiltInMode());
}

void TestFirmwareUpdateDlg::linkIsIgnoredWhileBusy()
{
    m_window->show();
    invokeLink(QStringLiteral("alternative-update-file"));
    QVERIFY(isBuiltInMode());

    emit m_workerThread->deviceDiscoverFinsihed();
    invokeLink(QStringLiteral("alternative-update-file"));
    QVERIFY(!isBuiltInMode());
}

void TestFirmwareUpdateDlg::unknownLinkTargetsAreIgnored_data()
{
    QTest::addColumn<QString>("link");
    QTest::newRow("empty") << "";
    QTest::newRow("other letter case") << "Alternative-Update-File";
    QTest::newRow("web address") << "https://alternative-update-file";
    QTest::newRow("trailing blank") << "alternative-update-file ";
}

void TestFirmwareUpdateDlg::unknownLinkTargetsAreIgnored()
{
    QFETCH(QString, link);
    invokeLink(link);
    QVERIFY(isBuiltInMode());

    invokeLink(QStringLiteral("alternative-update-file"));
    invokeLink(link.replace(QLatin1String("alternative"), QLatin1String("default")));
    QVERIFY(!isBuiltInMode());
}

void TestFirmwareUpdateDlg::switchingModesKeepsTheLoadedFile()
{
    invokeLink(QStringLiteral("alternative-update-file"));
    loadFile(writeUpdateFile(QStringLiteral("kept.ml2"), "DEMO-K", {0x0100}));
    QCOMPARE(label("lbl_fileStatus")->text(), QStringLiteral("kept.ml2"));
    QVERIFY(button("infoButtonLoadedFirmware")->isEnabled());

    invokeLink(QStringLiteral("default-update-file"));
    invokeLink(QStringLiteral("alternative-update-file"));

    QCOMPARE(label("lbl_fileStatus")->text(), QStringLiteral("kept.ml2"));
    QVERIFY(button("infoButtonLoadedFirmware")->isEnabled());
}

// A second start of the program hands its file over: loaded as Load would, once the window
// is no longer busy; a file that is gone leaves the loaded one and says so.
void TestFirmwareUpdateDlg::fileFromAnotherStartIsLoadedOnceIdle()
{
    m_window->show();
    const QString path = writeUpdateFile(QStringLiteral("handed.ml2"), "DEMO-K", {0x0100});
    m_window->bringForward(path);
    QVERIFY(isBuiltInMode());

    emit m_workerThread->deviceDiscoverFinsihed();
    QVERIFY(!isBuiltInMode());
    QCOMPARE(label("lbl_fileStatus")->text(), QStringLiteral("handed.ml2"));

    const QString gone = QFileInfo(path).dir().filePath(QStringLiteral("gone.ml2"));
    m_window->bringForward(gone);
    QCOMPARE(label("lbl_fileStatus")->text(), QStringLiteral("handed.ml2"));
    QVERIFY2(
        label("statusLabel")
            ->text()
            .startsWith(QStringLiteral("There is no update file %1.\n").arg(QDir::toNativeSeparators(gone))),
        qPrintable(label("statusLabel")->text()));
}

void TestFirmwareUpdateDlg::fileDialogAsksForUpdateFilesFromHome()
{
    invokeLink(QStringLiteral("alternative-update-file"));
    QString caption, directory;
    QStringList filters;
    ModalDialogWatcher watcher([&](QWidget* dialog) {
        auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
        QVERIFY(fileDialog);
        caption = fileDialog->windowTitle();
        directory = fileDialog->directory().absolutePath();
        filters = fileDialog->nameFilters();
        fileDialog->reject();
    });
    invoke("on_bttn_load_clicked");

    QCOMPARE(watcher.seenCount(), 1);
    QCOMPARE(caption, QStringLiteral("Open a Marlune Update File"));
    QCOMPARE(filters, QStringList{QStringLiteral("ML2 fles (*.ml2)")});
    QCOMPARE(directory, QDir(QDir::homePath()).absolutePath());
}

void TestFirmwareUpdateDlg::fileDialogStartsAtTheLoadedFile()
{
    invokeLink(QStringLiteral("alternative-update-file"));
    const QString path = writeUpdateFile(QStringLiteral("start.ml2"), "DEMO-S", {0x0100});
    loadFile(path);

    QString directory;
    ModalDialogWatcher watcher([&](QWidget* dialog) {
        auto* fileDialog = qobject_cast<QFileDialog*>(dialog);
        QVERIFY(fileDialog);
        directory = fileDialog->directory().absolutePath();
        fileDialog->reject();
    });
    invoke("on_bttn_load_clicked");
    QCOMPARE(directory, QDir(m_fileDirectory.path()).absolutePath());
}

void TestFirmwareUpdateDlg::cancelledFileDialogKeepsThePreviousFile()
{
    invokeLink(QStringLiteral("alternative-update-file"));
    loadFile(writeUpdateFile(QStringLiteral("previous.ml2"), "DEMO-P", {0x0100}));

    ModalDialogWatcher watcher([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    invoke("on_bttn_load_clicked");

    QCOMPARE(watcher.seenCount(), 1);
    QCOMPARE(label("lbl_fileStatus")->text(), QStringLiteral("previous.ml2"));
    QVERIFY(button("infoButtonLoadedFirmware")->isEnabled());
}

void TestFirmwareUpdateDlg::cancelledFileDialogWithoutFileLeavesNoneLoaded()
{
    invokeLink(QStringLiteral("alternative-update-file"));
    ModalDialogWatcher watcher([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
    invoke("on_bttn_load_clicked");

    QCOMPARE(watcher.seenCount(), 1);
    QCOMPARE(label("lbl_fileStatus")->text(), QString());
    QVERIFY(!button("infoButtonLoadedFirmware")->isEnabled());
}

void TestFirmwareUpdateDlg::updateButtonFollowsTheLoadedFile_data()
{
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QVector<uint16_t>>("hardwareVersions");
    QTest::addColumn<int>("bytesCutOff");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("toolTip");

    // The window without a device: model N/A, firmware and hardware 0.00.
    const QString writes = QStringLiteral(
        "Writes firmware 1.07 to N/A, which now has 0.00. Signed by demo (key 68618CD95EDF84EC).");
    QTest::newRow("fits") << kNoDeviceModel << QVector<uint16_t>{0x0000} << 0 << true << writes;
    QTest::newRow("fits among several")
        << kNoDeviceModel << QVector<uint16_t>{0x0100, 0x0000, 0x0200} << 0 << true << writes;
    QTest::newRow("other model") << QByteArray("DEMO-A") << QVector<uint16_t>{0x0000} << 0 << false
                                 << "The update file is for model DEMO-A, the device is a N/A.";
    QTest::newRow("model differs only in case")
        << QByteArray("n/a") << QVector<uint16_t>{0x0000} << 0 << false
        << "The update file is for model n/a, the device is a N/A.";
    QTest::newRow("hardware version not listed")
        << kNoDeviceModel << QVector<uint16_t>{0x0100, 0x0102} << 0 << false
        << "The update file fits hardware 1.00,1.02, the device has hardware 0.00.";
    // Refused before the click, not after it: its 100-byte block starts after the header
    // and the two 512-byte sections.
    QTest::newRow("truncated file") << kNoDeviceModel << QVector<uint16_t>{0x0000} << 40 << false
                                    << "The update file cannot be used: block 0 (100 bytes from offset 1280) "
                                       "reaches beyond the end of the "
                                       "file (1340 bytes): the file is truncated.";
}

void TestFirmwareUpdateDlg::updateButtonFollowsTheLoadedFile()
{
    QFETCH(QByteArray, model);
    QFETCH(QVector<uint16_t>, hardwareVersions);
    QFETCH(int, bytesCutOff);
    QFETCH(bool, enabled);
    QFETCH(QString, toolTip);

    showAndFinishDiscovery();
    selectDevice();
    invokeLink(QStringLiteral("alternative-update-file"));
    QCOMPARE(button("bttn_update")->toolTip(), QStringLiteral("No update file has been loaded."));

    const QString path = writeUpdateFile(
        QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".ml2", model, hardwareVersions);
    QFile file(path);
    QVERIFY(file.resize(file.size() - bytesCutOff));
    loadFile(path);

    QCOMPARE(button("bttn_update")->isEnabled(), enabled);
    QCOMPARE(button("bttn_update")->toolTip(), toolTip);
    QCOMPARE(button("bttn_update")->whatsThis(), QStringLiteral("Click to update the firmware"));
}

void TestFirmwareUpdateDlg::deletedLoadedFileDisablesUpdate()
{
    showAndFinishDiscovery();
    selectDevice();
    invokeLink(QStringLiteral("alternative-update-file"));
    const QString path = writeUpdateFile(QStringLiteral("vanishing.ml2"), kNoDeviceModel, {0x0000});
    loadFile(path);
    QVERIFY(button("bttn_update")->isEnabled());

    QVERIFY(QFile::remove(path));
    invokeLink(QStringLiteral("default-update-file"));
    invokeLink(QStringLiteral("alternative-update-file"));

    QVERIFY(!button("bttn_update")->isEnabled());
    QCOMPARE(button("bttn_update")->toolTip(),
             QStringLiteral("The update file cannot be read: the file does not exist."));
}

void TestFirmwareUpdateDlg::noBuiltInFileForTheModelSaysSo()
{
    showAndFinishDiscovery();
    selectDevice();
    QVERIFY(!button("bttn_update")->isEnabled());
    QCOMPARE(button("bttn_update")->toolTip(),
             QStringLiteral("There is no built-in update file for this device model."));
}

// A package built without update files starts with a loaded file, so that no text claims
// built-in files, and nothing offers to load built-in files it does not have.
void TestFirmwareUpdateDlg::emptyCatalogueStartsWithALoadedFile()
{
    Q_CLEANUP_RESOURCE(firmwares);
    QVERIFY(!marlune::hasBuiltInUpdateFiles());
    {
        FirmwareUpdateDlg window;
        auto* modeText = window.findChild<QLabel*>("lbl_fileOpenMode");
        QCOMPARE(modeText->text(), QStringLiteral("No built-in firmware update files are installed."));
        QVERIFY(!window.findChild<QPushButton*>("bttn_load")->isHidden());
        QCOMPARE(window.findChild<QLabel*>("statusLabel")->text(), QString());
    }
    registerBuiltInUpdateFiles();
    QVERIFY(marlune::hasBuiltInUpdateFiles());
    QVERIFY(isBuiltInMode());
    QCOMPARE(label("lbl_fileOpenMode")->toolTip(), QString());
    QCOMPARE(label("statusLabel")->text(), QString());
}

void TestFirmwareUpdateDlg::busyButtonSaysToWait()
{
    reachUpdatableState();
    invoke("on_bttnDiscover_clicked");
    QVERIFY(!button("bttn_update")->isEnabled());
    QCOMPARE(button("bttn_update")->toolTip(), QStringLiteral("Wait until the running task has finished."));
}

void TestFirmwareUpdateDlg::updateShowsProgressAndEndsQuietlyOnSuccess()
{
    reachUpdatableState();
    ModalDialogWatcher watcher([](QWidget* dialog) { dialog->close(); });

    invoke("on_bttn_update_clicked");
    QPointer<MLPUpdateFirmwareRequest> request = m_window->findChild<MLPUpdateFirmwareRequest*>();
    QVERIFY(request);
    QVERIFY(progressBar()->isVisible());
    QCOMPARE(progressBar()->value(), 0);
    QVERIFY(!button("bttn_quit")->isEnabled());
    QVERIFY(!button("bttn_update")->isEnabled());

    QVERIFY(label("statusLabel")
                ->text()
                .endsWith(QStringLiteral("\n0%.\nKeep the device connected until the update has finished.")));
    emitFromAnotherThread([&] { emit request->progress(37); });
    QTRY_COMPARE(progressBar()->value(), 37);
    QVERIFY(label("statusLabel")->text().startsWith(QStringLiteral("Writing firmware 1.07 to N/A")));
    QVERIFY(
        label("statusLabel")
            ->text()
            .endsWith(QStringLiteral("\n37%.\nKeep the device connected until the update has finished.")));

    const std::unique_ptr<VirtualDevice> unit = makeUnit();
    runRequest(request, *unit);
    QTRY_VERIFY(!request);
    QVERIFY(progressBar()->isHidden());
    QVERIFY(
        label("statusLabel")->text().endsWith(" updated to firmware 1.07. It now reports firmware 1.07."));
    // The window selects the unit it shows again, and is free once it has answered.
    QVERIFY(!button("bttn_quit")->isEnabled());
    selectDevice();
    QVERIFY(button("bttn_quit")->isEnabled());
    QVERIFY(button("bttn_update")->isEnabled());
    QTest::qWait(3 * ModalDialogWatcher::kPollIntervalMs);
    QCOMPARE(watcher.seenCount(), 0);
}

void TestFirmwareUpdateDlg::writingLineSaysHowFarAndHowLong_data()
{
    QTest::addColumn<int>("percent");
    QTest::addColumn<qint64>("remainingMs");
    QTest::addColumn<QString>("progress");

    const QString keepConnected = "\nKeep the device connected until the update has finished.";
    QTest::newRow("not steady yet") << 3 << qint64(-1) << "\n3%." + keepConnected;
    QTest::newRow("seconds in steps of five")
        << 37 << qint64(41000) << "\n37%, about 45 seconds left." + keepConnected;
    QTest::newRow("under a second") << 99 << qint64(200) << "\n99%, about 5 seconds left." + keepConnected;
    QTest::newRow("just under a minute")
        << 50 << qint64(57000) << "\n50%, about 1 minute left." + keepConnected;
    QTest::newRow("minutes") << 10 << qint64(150000) << "\n10%, about 3 minutes left." + keepConnected;
    QTest::newRow("finished") << 100 << qint64(0) << "\n100%." + keepConnected;
}

// The name comes from the device: a "%2" in it is shown as it is.
void TestFirmwareUpdateDlg::writingLineSaysHowFarAndHowLong()
{
    QFETCH(int, percent);
    QFETCH(qint64, remainingMs);
    QFETCH(QString, progress);

    const QString writing = QStringLiteral("Writing firmware 1.07 to DEMO-%2 \u2026");
    const std::optional<qint64> remaining =
        remainingMs < 0 ? std::nullopt : std::optional<qint64>(remainingMs);
    QCOMPARE(WritingProgressText::text(writing, percent, remaining), writing + progress);
}

void TestFirmwareUpdateDlg::failedUpdateShowsOneWarningAndKeepsTheDevice()
{
    reachUpdatableState();
    addListEntryQuietly(QString::fromLatin1(kNoDeviceModel));
    QStringList boxes;
    ModalDialogWatcher watcher([&](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        QVERIFY(box);
        boxes << box->windowTitle() + '|' + box->text();
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->buttons().size(), 1);
        QCOMPARE(box->standardButton(box->buttons().first()), QMessageBox::Ok);
        // The window has asked for its unit again; the answer comes while the box is open.
        selectDevice();
        // The bus changes while the box is open: the list the box speaks of is not rebuilt
        // under it, only once it has been closed.
        emit m_window->findChild<UsbHotplugWatcher*>()->devicesChanged();
        QTest::qWait(3 * ModalDialogWatcher::kPollIntervalMs);
        QVERIFY(button("bttnDiscover")->isEnabled());
        QCOMPARE(devicesCombo()->count(), 1);
        box->close();
    });

    invoke("on_bttn_update_clicked");
    QPointer<MLPUpdateFirmwareRequest> request = m_window->findChild<MLPUpdateFirmwareRequest*>();
    QVERIFY(request);
    const std::unique_ptr<VirtualDevice> unit = makeUnit();
    unit->failSegment(1, 0x07);
    runRequest(request, *unit);

    QTRY_COMPARE(boxes.size(), 1);
    QTRY_VERIFY(!QApplication::activeModalWidget());
    QCOMPARE(boxes.first(),
             QStringLiteral("Firmware update failed|The firmware update could not be completed"));
    QVERIFY(!request);
    QVERIFY(progressBar()->isHidden());
    QVERIFY(button("infoButtonDevice")->isEnabled());
    QVERIFY2(button("bttn_update")->isEnabled(), "the update can be started again");
    QTest::qWait(3 * ModalDialogWatcher::kPollIntervalMs);
    QCOMPARE(watcher.seenCount(), 1);
    // The refresh the bus asked for comes now that the box is closed.
    QTRY_VERIFY(!button("bttnDiscover")->isEnabled());
    QCOMPARE(devicesCombo()->count(), 0);
}

void TestFirmwareUpdateDlg::closeIsRefusedWhileBusy()
{
    m_window->show();
    QVERIFY(!button("bttn_quit")->isEnabled());
    QVERIFY(!m_window->close());
    QVERIFY(m_window->isVisible());

    emit m_workerThread->deviceDiscoverFinsihed();
    QVERIFY(m_window->close());
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_workerThread->receiverCount(SIGNAL(deviceDiscoverFinsihed())), 0);
    QCOMPARE(m_workerThread->receiverCount(SIGNAL(lostConnection())), 0);
}

void TestFirmwareUpdateDlg::escapeIsRefusedWhileBusy()
{
    reachUpdatableState();
    invoke("on_bttn_update_clicked");

    QTest::keyClick(m_window, Qt::Key_Escape);
    QVERIFY(m_window->isVisible());
    QVERIFY(m_window->findChild<MLPUpdateFirmwareRequest*>());
}

// The device list stays usable during an update; a selection that ends before the update
// does must not free the window.
void TestFirmwareUpdateDlg::updateKeepsTheWindowBusyWhenASelectionEnds()
{
    reachUpdatableState();
    invoke("on_bttn_update_clicked");
    QPointer<MLPUpdateFirmwareRequest> request = m_window->findChild<MLPUpdateFirmwareRequest*>();
    QVERIFY(request);

    selectDevice();

    QVERIFY(!button("bttn_quit")->isEnabled());
    QVERIFY(!button("bttnDiscover")->isEnabled());
    QVERIFY(!button("bttn_update")->isEnabled());
    QTest::keyClick(m_window, Qt::Key_Escape);
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->close());

    const std::unique_ptr<VirtualDevice> unit = makeUnit();
    runRequest(request, *unit);
    QTRY_VERIFY(!request);
    selectDevice();
    QVERIFY(button("bttn_quit")->isEnabled());
    QVERIFY(button("bttnDiscover")->isEnabled());
}

void TestFirmwareUpdateDlg::quitButtonClosesWhenIdle()
{
    showAndFinishDiscovery();
    QTest::mouseClick(button("bttn_quit"), Qt::LeftButton);
    QVERIFY(!m_window->isVisible());
}

void TestFirmwareUpdateDlg::escapeHidesWhenIdle()
{
    showAndFinishDiscovery();
    QTest::keyClick(m_window, Qt::Key_Escape);
    QVERIFY(!m_window->isVisible());
}

// The window is as tall as its controls and the verdict line need, as the line comes, grows
// and shrinks; a window made taller by the person keeps its height.
void TestFirmwareUpdateDlg::windowHeightFollowsTheVerdictLine()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QLabel* line = label("statusLabel");
    const auto bandUnderTheLastLine = [&] {
        const QWidget* last = line->isVisible() ? static_cast<QWidget*>(line) : button("bttn_quit");
        return m_window->height() - last->geometry().bottom() - 1 -
               m_window->layout()->contentsMargins().bottom();
    };
    QCOMPARE(line->text(), QString());
    QCOMPARE(bandUnderTheLastLine(), 0);

    emit m_workerThread->deviceDiscoverFinsihed();
    QVERIFY(!line->text().isEmpty());
    QTRY_COMPARE(bandUnderTheLastLine(), 0);
    QVERIFY(line->height() >= line->heightForWidth(line->width()));
    QVERIFY(line->geometry().top() > button("bttn_quit")->geometry().bottom());

    selectDevice();
    invokeLink(QStringLiteral("alternative-update-file"));
    loadFile(writeUpdateFile(QStringLiteral("fits.ml2"), kNoDeviceModel, {0x0000}));
    invoke("on_bttn_update_clicked");
    QTRY_COMPARE(bandUnderTheLastLine(), 0);
    const int writingHeight = m_window->height();
    const int writingLineHeight = line->height();
    QPointer<MLPUpdateFirmwareRequest> request = m_window->findChild<MLPUpdateFirmwareRequest*>();
    const std::unique_ptr<VirtualDevice> unit = makeUnit();
    runRequest(request, *unit);
    QTRY_VERIFY(!request);
    selectDevice();
    QTRY_COMPARE(bandUnderTheLastLine(), 0);
#ifdef Q_OS_WIN
    QSKIP("under Wine's offscreen platform the window returns to its smallest height only at times");
#endif
    QCOMPARE(m_window->height(), m_window->minimumHeight());
    // How many lines each text takes depends on the fonts; where the verdict takes fewer than
    // the writing line did, the window gives their room back.
    if (line->heightForWidth(line->width()) < writingLineHeight) {
        QVERIFY2(m_window->height() < writingHeight, "the shorter verdict left the writing line's room");
    }

    const int enlargedHeight = m_window->height() + 100;
    m_window->resize(m_window->width(), enlargedHeight);
    QTRY_COMPARE(m_window->height(), enlargedHeight);
    invokeLink(QStringLiteral("default-update-file"));
    QTest::qWait(0);
    QCOMPARE(m_window->height(), enlargedHeight);
}

// Shrunk as far as it goes, with a long list entry, a long file name and a verdict of
// several lines, every text still shows whole.
void TestFirmwareUpdateDlg::noTextIsClippedAtTheSmallestSize()
{
    showAndFinishDiscovery();
    selectDevice();
    invokeLink(QStringLiteral("alternative-update-file"));
    loadFile(writeUpdateFile(QStringLiteral("DEMO-A-release-candidate-for-the-rig-on-stage-left.ml2"),
                             "DEMO-A", {0x0100}));
    addListEntryQuietly(QStringLiteral("DEMO-A \u2014 maker USB 0123456789ABCDEF0123456789ABCDEF"));
    emitFromAnotherThread([&] { emit m_workerThread->lostConnection(); });
    addListEntryQuietly(QStringLiteral("DEMO-A \u2014 maker USB 0123456789ABCDEF0123456789ABCDEF"));
    QTRY_VERIFY(!label("statusLabel")->text().isEmpty());

    m_window->resize(1, 1);
    QTRY_VERIFY(label("statusLabel")->height() >=
                label("statusLabel")->heightForWidth(label("statusLabel")->width()));
    for (QPushButton* pushButton : m_window->findChildren<QPushButton*>()) {
        QVERIFY2(pushButton->isHidden() || pushButton->width() >= pushButton->sizeHint().width(),
                 qPrintable(pushButton->objectName()));
    }
    QVERIFY(devicesCombo()->width() >= devicesCombo()->sizeHint().width());
    for (const char* name : {"lbl_fileOpenMode", "lbl_fileStatus"}) {
        QVERIFY2(label(name)->width() >= label(name)->sizeHint().width(), name);
    }
    QVERIFY(m_window->rect().contains(label("statusLabel")->geometry()));
}

void TestFirmwareUpdateDlg::deviceInfoButtonShowsTheCurrentDevice()
{
    showAndFinishDiscovery();
    selectDevice();
    QPointer<QDialog> shown;
    QStringList rows;
    ModalDialogWatcher watcher([&](QWidget* dialog) {
        shown = qobject_cast<DeviceInfoDlg*>(dialog);
        QVERIFY(shown);
        QCOMPARE(shown->parentWidget(), m_window);
        rows = tableRows(shown->findChild<QTableWidget*>("deviceInfoTable"));
        shown->accept();
    });
    QTest::mouseClick(button("infoButtonDevice"), Qt::LeftButton);

    QCOMPARE(watcher.seenCount(), 1);
    QCOMPARE(rows.mid(0, 3), (QStringList{"Model|N/A", "Firmware Version|0.00", "Hardware Version|0.00"}));
    QTRY_VERIFY(!shown);
}

void TestFirmwareUpdateDlg::builtInInfoButtonShowsTheCatalogue()
{
    QPointer<QDialog> shown;
    ModalDialogWatcher watcher([&](QWidget* dialog) {
        shown = qobject_cast<BuiltInFirmwaresDlg*>(dialog);
        QVERIFY(shown);
        QCOMPARE(shown->parentWidget(), m_window);
        shown->accept();
    });
    QTest::mouseClick(button("infoButtonBuiltInFirmware"), Qt::LeftButton);
    QCOMPARE(watcher.seenCount(), 1);
    QTRY_VERIFY(!shown);
}

void TestFirmwareUpdateDlg::loadedInfoButtonShowsTheLoadedFile()
{
    invokeLink(QStringLiteral("alternative-update-file"));
    const QString path = writeUpdateFile(QStringLiteral("shown.ml2"), "DEMO-I", {0x0100});
    loadFile(path);

    QPointer<QDialog> shown;
    QStringList rows;
    ModalDialogWatcher watcher([&](QWidget* dialog) {
        shown = qobject_cast<LoadedFirmwareDlg*>(dialog);
        QVERIFY(shown);
        rows = tableRows(shown->findChild<QTableWidget*>("firmwareInfoTable"));
        shown->accept();
    });
    QTest::mouseClick(button("infoButtonLoadedFirmware"), Qt::LeftButton);

    QCOMPARE(watcher.seenCount(), 1);
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows.at(3), "Path|" + QDir::toNativeSeparators(path));
    QCOMPARE(rows.last(), "Signature|Signed by demo (key 68618CD95EDF84EC).");
    QTRY_VERIFY(!shown);
}

void TestFirmwareUpdateDlg::historyButtonShowsTheHistory()
{
    QPointer<QDialog> shown;
    ModalDialogWatcher watcher([&](QWidget* dialog) {
        shown = qobject_cast<UpdateHistoryDlg*>(dialog);
        QVERIFY(shown);
        QCOMPARE(shown->parentWidget(), m_window);
        shown->accept();
    });
    QTest::mouseClick(button("bttn_history"), Qt::LeftButton);
    QCOMPARE(watcher.seenCount(), 1);
    QTRY_VERIFY(!shown);
}

void TestFirmwareUpdateDlg::unsignedFileIsWrittenOnlyAfterYes_data()
{
    marlune::testing::addFlagRows("yes", "answered No", "answered Yes");
}

// Its row says so, and the window asks before the first write, No by default; after Yes it
// does not ask again for that file.
void TestFirmwareUpdateDlg::unsignedFileIsWrittenOnlyAfterYes()
{
    QFETCH(bool, yes);
    showAndFinishDiscovery();
    selectDevice();
    invokeLink(QStringLiteral("alternative-update-file"));
    const QString path = writeUpdateFile(QStringLiteral("unsigned.ml2"), kNoDeviceModel, {0x0000});
    marlune::testing::MinisignSigner::removeSignature(path);
    loadFile(path);
    QCOMPARE(label("lbl_fileStatus")->text(), QStringLiteral("unsigned.ml2 (unsigned)"));
    QCOMPARE(label("lbl_fileStatus")->toolTip(), QStringLiteral("Not signed."));
    QVERIFY(button("bttn_update")->isEnabled());

    ModalDialogWatcher watcher([&](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("unsigned.ml2 is not signed."));
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
        box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
    });
    invoke("on_bttn_update_clicked");
    QTRY_COMPARE(watcher.seenCount(), 1);
    QPointer<MLPUpdateFirmwareRequest> request = m_window->findChild<MLPUpdateFirmwareRequest*>();
    QCOMPARE(!request.isNull(), yes);
    if (!yes) {
        QVERIFY(progressBar()->isHidden());
        QVERIFY(button("bttn_update")->isEnabled());
        invoke("on_bttn_update_clicked");
        QTRY_COMPARE(watcher.seenCount(), 2);
        QVERIFY(!m_window->findChild<MLPUpdateFirmwareRequest*>());
        return;
    }
    const std::unique_ptr<VirtualDevice> unit = makeUnit();
    runRequest(request, *unit);
    QTRY_VERIFY(!request);
    QVERIFY(
        label("statusLabel")->text().endsWith(" updated to firmware 1.07. It now reports firmware 1.07."));
    selectDevice();
    invoke("on_bttn_update_clicked");
    QVERIFY(m_window->findChild<MLPUpdateFirmwareRequest*>());
    QTest::qWait(3 * ModalDialogWatcher::kPollIntervalMs);
    QCOMPARE(watcher.seenCount(), 1);
}

QTEST_MAIN(TestFirmwareUpdateDlg)
#include "tst_firmwareupdatedlg.moc"

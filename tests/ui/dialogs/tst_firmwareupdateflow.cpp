#include "builtinupdatefiles.h"
#include "emulatedbus.h"
#include "firmwareupdatedlg.h"
#include "flagrows.h"
#include "mlpworkerthread.h"
#include "mlu2file.h"
#include "modaldialogwatcher.h"
#include "registerbuiltinupdatefiles.h"
#include "updatealldlg.h"
#include "updatefilecheck.h"
#include "updatehistory.h"
#include "updatetext.h"
#include "usbhotplugwatcher.h"
#include "virtualdevice.h"
#include "workerdevices.h"
#include "workerthreadsignals.h"
#include "writingprogresstext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <map>
#include <memory>

using marlune::testing::makeDevice;
using marlune::testing::MakerDeviceOptions;
using marlune::testing::toBytes;
using marlune::testing::VirtualDevice;
using marlune::testing::VirtualDeviceIdentity;

namespace {

// Generous bounds for what the emulated USB does at its own pace; the tests never
// measure time, they only wait for a state.
constexpr int kStateTimeoutMs = 20000;
constexpr int kUpdateTimeoutMs = 90000;
// A silent device is noticed by a ping that gets no answer within 2 s.
constexpr int kLossTimeoutMs = 15000;
// A unit restarting into new firmware is quiet this long; well inside the bound it is looked for.
constexpr uint32_t kRestartMs = 3000;
// Units this slow take a second or more to write.
constexpr uint32_t kSlowAnswerMs = 20;

// The sample the build makes for model DEMO-B lists hardware 1.00 and has one block of
// 2048 bytes: a quick update. DEMO-C lists only 1.00 as well. Every device starts with
// firmware 1.01, older than the samples.
const char* const kFittingModel = "DEMO-B";
const char* const kOtherModel = "DEMO-C";
constexpr uint16_t kFirmwareBefore = 0x0101;

} // namespace

// The window with the real worker thread, links and protocol, against emulated USB devices
// that speak the device side of the protocol.
class TestFirmwareUpdateFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startSelectsTheFirstDeviceAndOffersItsBuiltInFile();
    void choosingADeviceWithUnlistedHardwareDisablesUpdate();
    void updateWritesTheFileWithRisingProgressAndNoMessage_data();
    void updateWritesTheFileWithRisingProgressAndNoMessage();
    void failingUpdateShowsOneWarning_data();
    void failingUpdateShowsOneWarning();
    void retryFromTheFailureBoxWritesTheSameUnit();
    void deviceFallingSilentEmptiesTheList();
    void rediscoveryWithoutDevicesLeavesNothingToUpdate();
    void listAndStatusLineTellTheUnitsApart_data();
    void listAndStatusLineTellTheUnitsApart();
    void pluggingAndUnpluggingRefreshesTheListKeepingTheSelectedUnit();
    void updatedUnitIsAskedAgainWhereItMoved();
    void updateAllGoesOnAfterAFailureRetriesItAndStopsBetweenUnits_data();
    void updateAllGoesOnAfterAFailureRetriesItAndStopsBetweenUnits();
    void updateAllLeavesAloneUnitsAtTheFilesFirmware_data();
    void updateAllLeavesAloneUnitsAtTheFilesFirmware();
    void updateAllKeepsWatchingForUnitsPluggedIn();
    void pickDuringAnUpdateIsTheUnitWrittenNext_data();
    void pickDuringAnUpdateIsTheUnitWrittenNext();
    void endRequestWaitsForTheRunningUpdate_data();
    void endRequestWaitsForTheRunningUpdate();

private:
    QPushButton* button(const char* name) const { return m_window->findChild<QPushButton*>(name); }
    QComboBox* devicesCombo() const { return m_window->findChild<QComboBox*>("devicesCombo"); }
    QProgressBar* progressBar() const { return m_window->findChild<QProgressBar*>("progressBar"); }
    QString statusLine() const { return m_window->findChild<QLabel*>("statusLabel")->text(); }
    QStringList listEntries() const
    {
        QStringList entries;
        for (int index = 0; index < devicesCombo()->count(); ++index) {
            entries << devicesCombo()->itemText(index);
        }
        return entries;
    }
    bool idleWithDevice() const
    {
        return button("bttnDiscover")->isEnabled() && button("infoButtonDevice")->isEnabled();
    }
    void startWindow();

    // The Update All dialog's units as the window hands them over: every unit the worker
    // thread discovers, with its built-in file and the check's verdict.
    QList<UnitUpdateFile> discoverUnitsWithTheirBuiltInFiles()
    {
        m_workerThread = std::make_unique<MLPWorkerThread>();
        m_workerThread->start();
        marlune::testing::WorkerThreadSignals workerSignals(*m_workerThread);
        m_workerThread->postDiscover();
        QList<UnitUpdateFile> units;
        [&] { QTRY_COMPARE_WITH_TIMEOUT(workerSignals.discoveries, 1, kStateTimeoutMs); }();
        for (const MLPDeviceInfoNode& device : m_workerThread->discoveredDevices()) {
            units << withBuiltInFile(device);
        }
        return units;
    }

    static UnitUpdateFile withBuiltInFile(const MLPDeviceInfoNode& device)
    {
        UnitUpdateFile unit{
            device, UpdateImage::read(marlune::builtInUpdateFilesByModel().value(device.model)), {}, {}};
        unit.verdict = UpdateFileCheck::check(unit.image.check(), device.model, device.hwVersion);
        unit.reason = UpdateText::sentence(UpdateText::fileVerdict(unit.verdict));
        return unit;
    }

    QList<UpdateHistoryEntry> takeHistory()
    {
        QStringList warnings;
        const QList<UpdateHistoryEntry> entries = UpdateHistory().read(warnings);
        QFile::remove(UpdateHistory::defaultPath());
        return entries;
    }

    QTemporaryDir m_stateDirectory;
    marlune::testing::EmulatedBus m_emulation;
    std::unique_ptr<MLPWorkerThread> m_workerThread;
    std::unique_ptr<FirmwareUpdateDlg> m_window;
};

void TestFirmwareUpdateFlow::initTestCase()
{
    Q_INIT_RESOURCE(pictures);
    registerBuiltInUpdateFiles();
    QVERIFY(m_stateDirectory.isValid());
    qputenv("XDG_STATE_HOME", m_stateDirectory.path().toLocal8Bit());
}

void TestFirmwareUpdateFlow::init()
{
    m_emulation.start();
}

void TestFirmwareUpdateFlow::cleanup()
{
    // As the program does: join the thread before the window and the links go, and keep
    // the emulated devices until no USB call can reach them any more.
    if (m_workerThread) {
        m_workerThread->stop();
        m_workerThread->wait();
    }
    m_window.reset();
    m_workerThread.reset();
    m_emulation.stop();
}

void TestFirmwareUpdateFlow::startWindow()
{
    m_workerThread = std::make_unique<MLPWorkerThread>();
    m_workerThread->start();
    m_window = std::make_unique<FirmwareUpdateDlg>();
    m_window->setWorkerThread(m_workerThread.get());
    m_window->show();
}

void TestFirmwareUpdateFlow::startSelectsTheFirstDeviceAndOffersItsBuiltInFile()
{
    m_emulation->addFtdiBridge(makeDevice(kFittingModel, 0x0100, kFirmwareBefore));
    m_emulation->addMakerDevice(makeDevice(kOtherModel, 0x0200, kFirmwareBefore));
    startWindow();

    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    QCOMPARE(devicesCombo()->count(), 2);
    QCOMPARE(devicesCombo()->itemText(0), QString::fromLatin1(kFittingModel));
    QCOMPARE(devicesCombo()->itemText(1), QString::fromLatin1(kOtherModel));
    QCOMPARE(devicesCombo()->currentIndex(), 0);
    QVERIFY(button("bttn_update")->isEnabled());
    QCOMPARE(button("bttn_update")->toolTip(),
             QStringLiteral("Writes firmware 1.03 to DEMO-B, which now has 1.01. Signed by demo (key "
                            "68618CD95EDF84EC)."));
    QVERIFY2(button("bttn_updateAll")->isHidden(), "one unit fits: nothing to update all together");
}

void TestFirmwareUpdateFlow::choosingADeviceWithUnlistedHardwareDisablesUpdate()
{
    m_emulation->addFtdiBridge(makeDevice(kFittingModel, 0x0100, kFirmwareBefore));
    m_emulation->addMakerDevice(makeDevice(kOtherModel, 0x0200, kFirmwareBefore));
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);

    devicesCombo()->setCurrentIndex(1);
    QVERIFY(!button("bttnDiscover")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);

    QVERIFY(!button("bttn_update")->isEnabled());
    QCOMPARE(button("bttn_update")->toolTip(),
             QStringLiteral("The update file fits hardware 1.00, the device has hardware 2.00."));
}

void TestFirmwareUpdateFlow::updateWritesTheFileWithRisingProgressAndNoMessage_data()
{
    QTest::addColumn<bool>("behindFtdiBridge");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("unitDetails");
    QTest::addColumn<bool>("restartsAfterwards");
    QTest::newRow("FTDI bridge") << true << "FTDI bridge FT0001"
                                 << "FTDI bridge, serial FT0001" << false;
    QTest::newRow("maker USB") << false << "maker USB ML0001"
                               << "maker USB, serial ML0001" << false;
    QTest::newRow("maker USB, restarting afterwards") << false << "maker USB ML0001"
                                                      << "maker USB, serial ML0001" << true;
}

void TestFirmwareUpdateFlow::updateWritesTheFileWithRisingProgressAndNoMessage()
{
    QFETCH(bool, behindFtdiBridge);
    QFETCH(QString, unit);
    QFETCH(QString, unitDetails);
    QFETCH(bool, restartsAfterwards);
    const std::shared_ptr<VirtualDevice> device = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
    if (behindFtdiBridge) {
        m_emulation->addFtdiBridge(device);
    } else {
        m_emulation->addMakerDevice(device);
    }
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    QVERIFY(button("bttn_update")->isEnabled());
    // Once written, the device reports the firmware of the DEMO-B sample, 1.03; one that
    // restarts into it is quiet for a few seconds first.
    device->setInstallsUpdates(true);
    device->setRestartAfterUpdate(restartsAfterwards ? kRestartMs : 0);

    QList<int> shownValues;
    connect(progressBar(), &QProgressBar::valueChanged, this, [&](int value) { shownValues.append(value); });
    ModalDialogWatcher watcher([](QWidget* dialog) { dialog->close(); });
    QElapsedTimer clock;
    clock.start();

    QTest::mouseClick(button("bttn_update"), Qt::LeftButton);
    QVERIFY(progressBar()->isVisible());
    QVERIFY(!button("bttn_quit")->isEnabled());
    QCOMPARE(statusLine(), QStringLiteral("Writing firmware 1.03 to DEMO-B, %1 \u2026\n0%.\nKeep the device "
                                          "connected until the update has finished.")
                               .arg(unit));
    QTRY_VERIFY_WITH_TIMEOUT(progressBar()->isHidden(), kUpdateTimeoutMs);
    qInfo("update of %s took %lld ms", kFittingModel, static_cast<long long>(clock.elapsed()));

    QCOMPARE(watcher.seenCount(), 0);
    // The unit is asked again before the verdict; one that restarts is waited for.
    QTRY_COMPARE_WITH_TIMEOUT(
        statusLine().section('\n', 0, 0),
        QStringLiteral("DEMO-B (%1) updated to firmware 1.03. It now reports firmware 1.03.")
            .arg(unitDetails),
        kStateTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    QVERIFY(button("bttn_update")->isEnabled());
    // What the entry holds is the update session's; the window's update makes one.
    const QList<UpdateHistoryEntry> history = takeHistory();
    QCOMPARE(history.size(), 1);
    QVERIFY(history.first().succeeded);
    QVERIFY(shownValues.size() > 2);
    QCOMPARE(shownValues.last(), 100);
    for (int index = 1; index < shownValues.size(); ++index) {
        QVERIFY2(shownValues[index] >= shownValues[index - 1], "the progress bar went backwards");
    }

    MLU2File builtIn(QStringLiteral(":/firmwares/%1.ml2").arg(kFittingModel));
    QVERIFY(builtIn.open());
    QCOMPARE(toBytes(device->transferPayload(VirtualDevice::kCommandUpdateHeader, 0)),
             QByteArray(reinterpret_cast<const char*>(builtIn.header()), VirtualDevice::kUpdateHeaderLength));
    for (int index = 0; index < builtIn.blockCount(); ++index) {
        const MLU2Block block = builtIn.block(index);
        QCOMPARE(toBytes(device->transferPayload(VirtualDevice::kCommandUpdateBlock,
                                                 static_cast<uint16_t>(index))),
                 QByteArray(reinterpret_cast<const char*>(block.data), static_cast<int>(block.length)));
    }
    QCOMPARE(static_cast<int>(device->transfers().size()), 1 + builtIn.blockCount());
    builtIn.close();
}

void TestFirmwareUpdateFlow::failingUpdateShowsOneWarning_data()
{
    QTest::addColumn<bool>("unplug");
    QTest::addColumn<QString>("reason");
    // The failure line names the unit, as the success line does, and words the fault as the
    // command-line tool does.
    const QString unit = QStringLiteral("DEMO-B \\(maker USB, serial [^)]+\\): ");
    const QString confirmed = QStringLiteral("; the device confirmed \\d+ of \\d+ bytes\\. ");
    // The header takes the first three segments of 116 bytes each; segment 6 is the fourth of block 0.
    QTest::newRow("device error at a segment")
        << false
        << unit + "block 0 stopped at segment 4: the device refused it with status 0x07" + confirmed +
               "The device may hold a partial update; run the update again\\.";
    QTest::newRow("device unplugged during the update")
        << true
        << unit +
               "block 0 stopped at segment \\d+: (the USB link did not take it \\(device unplugged, or no "
               "longer taking data[^)]*\\)|the device gave no valid answer)" +
               confirmed +
               "The device may hold a partial update: check its cable and power, then run the update "
               "again\\.";
}

void TestFirmwareUpdateFlow::failingUpdateShowsOneWarning()
{
    QFETCH(bool, unplug);
    QFETCH(QString, reason);
    constexpr std::size_t kFailingSegment = 6;
    constexpr std::size_t kFramesBeforeUnplug = 8;
    constexpr uint8_t kDeviceErrorStatus = 0x07;

    const std::shared_ptr<VirtualDevice> device = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
    m_emulation->addMakerDevice(device);
    if (!unplug) {
        device->failSegment(kFailingSegment, kDeviceErrorStatus);
    }
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);

    QStringList boxes;
    QStringList informativeTexts;
    ModalDialogWatcher watcher([&](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        QVERIFY(box);
        boxes << box->windowTitle() + '|' + box->text();
        informativeTexts << box->informativeText();
        box->close();
    });

    QTest::mouseClick(button("bttn_update"), Qt::LeftButton);
    if (unplug) {
        // The device itself leaves the bus some segments into block 0 (after the device
        // information request, the header and at most one ping still under way), however
        // far the worker has come meanwhile. A watch on the window's thread for the segment
        // count raced the update and lost on a busy machine.
        device->detachAfterFrames(kFramesBeforeUnplug);
    }
    QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kUpdateTimeoutMs);
    QTRY_VERIFY(!QApplication::activeModalWidget());

    QCOMPARE(boxes.first(),
             QStringLiteral("Firmware update failed|The firmware update could not be completed"));
    QVERIFY(progressBar()->isHidden());
    // An unplugged device makes the bus refresh the list by itself.
    QTRY_VERIFY_WITH_TIMEOUT(button("bttnDiscover")->isEnabled(), kStateTimeoutMs);
    if (!unplug) {
        QVERIFY2(button("bttn_update")->isEnabled(), "the update can be started again");
        QVERIFY(device->dataSegmentCount() <= kFailingSegment + 1);
    }
    QTest::qWait(10 * ModalDialogWatcher::kPollIntervalMs);
    QCOMPARE(watcher.seenCount(), 1);
    const QList<UpdateHistoryEntry> history = takeHistory();
    QCOMPARE(history.size(), 1);
    QVERIFY(!history.first().succeeded);
    // The reason, with the next step, on the verdict line, in the box and in the history.
    const QString shownReason = statusLine().section('\n', 0, 0);
    QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(reason)).match(shownReason).hasMatch(),
             qPrintable(shownReason));
    QCOMPARE(informativeTexts, QStringList{shownReason});
    QVERIFY2(shownReason.contains(history.first().reason), qPrintable(history.first().reason));
}

void TestFirmwareUpdateFlow::retryFromTheFailureBoxWritesTheSameUnit()
{
    // Two units of one model, both failing once: the retry must go to the one that failed.
    // A device counts segments over its life, so the retry passes the failing one.
    const std::shared_ptr<VirtualDevice> first = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
    const std::shared_ptr<VirtualDevice> second = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
    m_emulation->addMakerDevice(first, marlune::testing::makerWithSerial("ML0001"));
    m_emulation->addMakerDevice(second, marlune::testing::makerWithSerial("ML0002"));
    for (const std::shared_ptr<VirtualDevice>& device : {first, second}) {
        device->failSegment(6, 0x07);
    }
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    {
        // Both fit: Update All… is offered, and the window is busy while its dialog is open.
        QVERIFY(button("bttn_updateAll")->isVisible() && button("bttn_updateAll")->isEnabled());
        ModalDialogWatcher watcher([this](QWidget* dialog) {
            QVERIFY(qobject_cast<UpdateAllDlg*>(dialog));
            QVERIFY(!button("bttnDiscover")->isEnabled() && !button("bttn_quit")->isEnabled());
            QVERIFY(!m_window->close());
            dialog->close();
        });
        QTest::mouseClick(button("bttn_updateAll"), Qt::LeftButton);
        QCOMPARE(watcher.seenCount(), 1);
        // Closed unstarted, the window says nothing of it and reads the list afresh.
        QVERIFY(!button("bttnDiscover")->isEnabled());
        QVERIFY(!statusLine().startsWith("Update All"));
        QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    }

    ModalDialogWatcher watcher([](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("The firmware update could not be completed"));
        box->button(QMessageBox::Retry)->click();
    });
    QTest::mouseClick(button("bttn_update"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(statusLine().contains(" updated to firmware 1.03."), 2 * kUpdateTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);

    QCOMPARE(watcher.seenCount(), 1);
    QCOMPARE(std::min(first->dataSegmentCount(), second->dataSegmentCount()), std::size_t{0});
    const QList<UpdateHistoryEntry> history = takeHistory();
    QCOMPARE(history.size(), 2);
    QVERIFY(!history.at(0).succeeded);
    QVERIFY(history.at(1).succeeded);
    QCOMPARE(history.at(1).serial, history.at(0).serial);
    QCOMPARE(history.at(1).file, history.at(0).file);
}

void TestFirmwareUpdateFlow::deviceFallingSilentEmptiesTheList()
{
    const std::shared_ptr<VirtualDevice> device = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
    m_emulation->addFtdiBridge(device);
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    QCOMPARE(devicesCombo()->count(), 1);

    device->setSilent(true);

    QTRY_COMPARE_WITH_TIMEOUT(devicesCombo()->count(), 0, kLossTimeoutMs);
    QCOMPARE(statusLine(),
             QStringLiteral("DEMO-B (FTDI bridge, serial FT0001) no longer answers. Press Discover "
                            "Devices to look for it again."));
    QVERIFY(!button("infoButtonDevice")->isEnabled());
    QVERIFY(!button("bttn_update")->isEnabled());
    QVERIFY(button("bttnDiscover")->isEnabled());
}

void TestFirmwareUpdateFlow::rediscoveryWithoutDevicesLeavesNothingToUpdate()
{
    const int emulationId = m_emulation->addMakerDevice(makeDevice(kFittingModel, 0x0100, kFirmwareBefore));
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    QVERIFY(button("bttn_update")->isEnabled());

    m_emulation->unplug(emulationId);
    QTest::mouseClick(button("bttnDiscover"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(button("bttnDiscover")->isEnabled(), kStateTimeoutMs);

    QCOMPARE(devicesCombo()->count(), 0);
    QVERIFY(!button("infoButtonDevice")->isEnabled());
    QVERIFY2(!button("bttn_update")->isEnabled(), "an update offered here could only fail");
}

void TestFirmwareUpdateFlow::listAndStatusLineTellTheUnitsApart_data()
{
    // Maker devices with serial numbers ML0001, ML0002, ... in this order; "silent" never
    // answers, "locked" cannot be opened by this user.
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("status");

    QTest::newRow("no device")
        << QStringList() << QStringList()
        << "No Marlune device found. Check the device's power and USB cable, and that this user may use USB "
           "devices.";
    QTest::newRow("silent device next to a good one")
        << QStringList{"DEMO-B", "DEMO-C silent"} << QStringList{"DEMO-B"}
        << "1 attached device did not answer and is not listed; check its power and cable, then press "
           "Discover Devices.";
    QTest::newRow("two units of one model")
        << QStringList{"DEMO-B", "DEMO-C", "DEMO-B"}
        << QStringList{"DEMO-B \u2014 maker USB ML0001", "DEMO-B \u2014 maker USB ML0003", "DEMO-C"} << "";
    QTest::newRow("device without access rights")
        << QStringList{"DEMO-B locked"} << QStringList()
        << "No Marlune device found: 1 attached device cannot be opened by this user. Install the udev "
           "rules\n/usr/lib/udev/rules.d/60-marlune-fwupdate.rules\nand plug the device in again.";
    QTest::newRow("device without access rights next to a good one")
        << QStringList{"DEMO-B", "DEMO-C locked"} << QStringList{"DEMO-B"}
        << "1 more attached device cannot be opened by this user; install the udev rules\n"
           "/usr/lib/udev/rules.d/60-marlune-fwupdate.rules\nand plug it in again.";
}

void TestFirmwareUpdateFlow::listAndStatusLineTellTheUnitsApart()
{
    QFETCH(QStringList, devices);
    QFETCH(QStringList, entries);
    QFETCH(QString, status);
    int serialNumber = 1;
    for (const QString& description : devices) {
        const QStringList words = description.split(' ');
        const std::shared_ptr<VirtualDevice> device =
            makeDevice(words.first().toStdString(), 0x0100, kFirmwareBefore);
        device->setSilent(words.contains("silent"));
        MakerDeviceOptions options;
        options.serial = QStringLiteral("ML%1").arg(serialNumber++, 4, 10, QLatin1Char('0')).toStdString();
        options.openable = !words.contains("locked");
        m_emulation->addMakerDevice(device, options);
    }
    startWindow();

    QTRY_VERIFY_WITH_TIMEOUT(entries.isEmpty() ? button("bttnDiscover")->isEnabled() : idleWithDevice(),
                             kStateTimeoutMs);
    // The maker devices are listed in the bus's order, not in the order they were plugged in.
    QStringList listed = listEntries();
    listed.sort();
    entries.sort();
    QCOMPARE(listed, entries);
    QCOMPARE(statusLine(), status);
}

// Devices plugged in or removed while the window is idle refresh the list by themselves,
// once per burst, and the unit the user chose stays chosen wherever it is listed now.
void TestFirmwareUpdateFlow::pluggingAndUnpluggingRefreshesTheListKeepingTheSelectedUnit()
{
    m_emulation->addMakerDevice(makeDevice(kFittingModel, 0x0100, kFirmwareBefore),
                                marlune::testing::makerWithSerial("ML0001"));
    m_emulation->addMakerDevice(makeDevice(kOtherModel, 0x0100, kFirmwareBefore),
                                marlune::testing::makerWithSerial("ML0002"));
    int discoveries = 0;
    startWindow();
    connect(
        m_workerThread.get(), &MLPWorkerThread::deviceDiscoverFinsihed, this, [&] { ++discoveries; },
        Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    devicesCombo()->setCurrentIndex(devicesCombo()->findText(QString::fromLatin1(kOtherModel)));
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    discoveries = 0;

    // Bridges are listed first, so the chosen unit moves down the list.
    const int first = m_emulation->addFtdiBridge(makeDevice("DEMO-A", 0x0100, kFirmwareBefore));
    m_emulation->addFtdiBridge(makeDevice("DEMO-D", 0x0100, kFirmwareBefore),
                               marlune::testing::bridgeNamed("MARLUNE MLP-DGL", "FT0002"));
    QTRY_COMPARE_WITH_TIMEOUT(devicesCombo()->count(), 4, kStateTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    QCOMPARE(devicesCombo()->currentText(), QString::fromLatin1(kOtherModel));

    m_emulation->unplug(first);
    QTRY_COMPARE_WITH_TIMEOUT(devicesCombo()->count(), 3, kStateTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    QCOMPARE(devicesCombo()->currentText(), QString::fromLatin1(kOtherModel));
    QTest::qWait(3 * UsbHotplugWatcher::kSettleMs);
    QCOMPARE(discoveries, 2);
}

// Two units of one model; while the one listed second is written, the other is unplugged and
// the updated unit moves up the list. It is asked again as the unit it is, not at the place
// it had, where no unit answers any more.
void TestFirmwareUpdateFlow::updatedUnitIsAskedAgainWhereItMoved()
{
    const std::shared_ptr<VirtualDevice> first = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
    const std::shared_ptr<VirtualDevice> second = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
    const int firstId = m_emulation->addMakerDevice(first, marlune::testing::makerWithSerial("ML0001"));
    const int secondId = m_emulation->addMakerDevice(second, marlune::testing::makerWithSerial("ML0002"));
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    QCOMPARE(devicesCombo()->count(), 2);
    devicesCombo()->setCurrentIndex(1);
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    const bool unitIsFirst = devicesCombo()->currentText().endsWith(QStringLiteral("ML0001"));
    const std::shared_ptr<VirtualDevice> unit = unitIsFirst ? first : second;
    const int neighbourId = unitIsFirst ? secondId : firstId;
    unit->setInstallsUpdates(true);
    connect(progressBar(), &QProgressBar::valueChanged, this, [&](int value) {
        if (value >= 50 && m_emulation->isPlugged(neighbourId)) {
            m_emulation->unplug(neighbourId);
        }
    });
    ModalDialogWatcher watcher([](QWidget* dialog) { dialog->close(); });

    QTest::mouseClick(button("bttn_update"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(statusLine().contains(QStringLiteral("It ")), kUpdateTimeoutMs);

    QVERIFY2(statusLine().contains(QStringLiteral("It now reports firmware 1.03.")),
             qPrintable(statusLine()));
    QCOMPARE(watcher.seenCount(), 0);
    const QList<UpdateHistoryEntry> history = takeHistory();
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.first().versionAfter, QStringLiteral("1.03"));
    // The bus changed during the update: the list is read afresh once the window is free.
    QTRY_COMPARE_WITH_TIMEOUT(listEntries(), QStringList{QString::fromLatin1(kFittingModel)},
                              kStateTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
}

void TestFirmwareUpdateFlow::updateAllGoesOnAfterAFailureRetriesItAndStopsBetweenUnits_data()
{
    marlune::testing::addFlagRows("stop", "a failure, then Retry failed", "Stop while the first unit runs");
}

// Three units of the fitting model and, listed first, one the file does not fit. The second
// fitting unit refuses a segment; the run goes on past it, and "Retry failed" writes it again
// (segments count over the device's life, so the one it refused is not met again); the units
// are written side by side. Stop, pressed while the first of them runs one at a time, lets
// that one finish and starts no other.
void TestFirmwareUpdateFlow::updateAllGoesOnAfterAFailureRetriesItAndStopsBetweenUnits()
{
    QFETCH(bool, stop);
    constexpr std::size_t kFailingSegment = 6;
    constexpr uint8_t kDeviceErrorStatus = 0x07;
    std::map<QString, std::shared_ptr<VirtualDevice>> devicesBySerial;
    for (const char* serial : {"ML0001", "ML0002", "ML0003"}) {
        const std::shared_ptr<VirtualDevice> device = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
        device->setInstallsUpdates(true);
        m_emulation->addMakerDevice(device, marlune::testing::makerWithSerial(serial));
        devicesBySerial[QString::fromLatin1(serial)] = device;
    }
    m_emulation->addMakerDevice(makeDevice(kOtherModel, 0x0200, kFirmwareBefore),
                                marlune::testing::makerWithSerial("ML0004"));
    QList<UnitUpdateFile> units = discoverUnitsWithTheirBuiltInFiles();
    std::stable_partition(units.begin(), units.end(),
                          [](const UnitUpdateFile& unit) { return !unit.fits(); });
    QCOMPARE(units.first().unit.model, QString::fromLatin1(kOtherModel));
    devicesBySerial.at(units.at(2).unit.serial)->failSegment(kFailingSegment, kDeviceErrorStatus);

    UpdateAllDlg dialog(*m_workerThread, units, UpdateHistory::defaultPath());
    dialog.show();
    auto* table = dialog.findChild<QTableWidget*>("unitsTable");
    const auto dialogButton = [&](const char* name) { return dialog.findChild<QPushButton*>(name); };
    const auto column = [&](int index) {
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row) {
            texts << table->item(row, index)->text();
        }
        return texts;
    };
    const auto summary = [&] { return dialog.findChild<QLabel*>("lbl_status")->text(); };
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Update All Units"));
    QVERIFY(
        dialog.findChild<QLabel*>("lbl_plan")
            ->text()
            .startsWith("Writes firmware 1.03 from the built-in update file to 3 units of model DEMO-B."));
    QCOMPARE(column(1),
             (QStringList{"maker USB, serial " + units.at(1).unit.serial,
                          "maker USB, serial " + units.at(2).unit.serial,
                          "maker USB, serial " + units.at(3).unit.serial, "maker USB, serial ML0004"}));
    QCOMPARE(table->item(3, 0)->flags(), Qt::NoItemFlags);
    QCOMPARE(column(5).last(),
             QStringLiteral("The update file fits hardware 1.00, the device has hardware 2.00."));

    ModalDialogWatcher watcher([](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        QVERIFY(box);
        box->button(QMessageBox::Yes)->click();
    });
    dialog.findChild<QCheckBox*>("chk_oneAtATime")->setChecked(stop);
    QTest::mouseClick(dialogButton("bttn_start"), Qt::LeftButton);
    QCOMPARE(watcher.seenCount(), 1);
    QVERIFY(dialog.isRunning());
    QVERIFY2(!dialog.close(), "closing is refused while a unit is updated");
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    if (stop) {
        // One at a time; while the first unit is being written: it finishes, and no further
        // unit starts.
        connect(table->cellWidget(0, 3)->findChild<QProgressBar*>(), &QProgressBar::valueChanged, &dialog,
                [&] {
                    if (dialogButton("bttn_stop")->isEnabled()) {
                        QTest::mouseClick(dialogButton("bttn_stop"), Qt::LeftButton);
                    }
                });
    }
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isRunning(), 3 * kUpdateTimeoutMs);

    const QString updated = QStringLiteral("Updated to firmware 1.03.");
    const QString greyed = column(5).last();
    if (stop) {
        QCOMPARE(column(5), (QStringList{updated, "Not started.", "Not started.", greyed}));
        QCOMPARE(summary(), QStringLiteral("1 updated, 0 failed, 2 not started."));
        QVERIFY(!dialogButton("bttn_retryFailed")->isEnabled());
        // Continue runs the two not started, and only those.
        QTest::mouseClick(dialogButton("bttn_start"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isRunning(), 3 * kUpdateTimeoutMs);
        QCOMPARE(summary(), QStringLiteral("2 updated, 1 failed, 0 not started."));
        QVERIFY(dialogButton("bttn_start")->isHidden());
        QCOMPARE(takeHistory().size(), 3);
        return;
    }
    QCOMPARE(column(5).at(1).section(';', 0, 0),
             QStringLiteral("Failed: block 0 stopped at segment 4: the device refused it with status 0x07"));
    QVERIFY(
        table->item(1, 0)->toolTip().endsWith("The device may hold a partial update; run the update again."));
    QCOMPARE(column(5), (QStringList{updated, column(5).at(1), updated, greyed}));
    QCOMPARE(column(6), (QStringList{"1.03", "", "1.03", ""}));
    QCOMPARE(table->cellWidget(2, 3)->findChild<QProgressBar*>()->value(), 100);
    QCOMPARE(summary(), QStringLiteral("2 updated, 1 failed, 0 not started."));

    QTest::mouseClick(dialogButton("bttn_retryFailed"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isRunning(), kUpdateTimeoutMs);
    QCOMPARE(column(5), (QStringList{updated, updated, updated, greyed}));
    QCOMPARE(column(6), (QStringList{"1.03", "1.03", "1.03", ""}));
    QCOMPARE(summary(), QStringLiteral("3 updated, 0 failed, 0 not started."));
    QVERIFY(!dialogButton("bttn_retryFailed")->isEnabled());
    QCOMPARE(watcher.seenCount(), 1);
    QStringList recorded;
    for (const UpdateHistoryEntry& entry : takeHistory()) {
        recorded << entry.serial + (entry.succeeded ? " succeeded" : " failed");
    }
    // Side by side, the first three end in any order; the retry comes last.
    QStringList expected{units.at(1).unit.serial + " succeeded", units.at(2).unit.serial + " failed",
                         units.at(3).unit.serial + " succeeded", units.at(2).unit.serial + " succeeded"};
    std::sort(recorded.begin(), recorded.begin() + 3);
    std::sort(expected.begin(), expected.begin() + 3);
    QCOMPARE(recorded, expected);
    QVERIFY(dialog.close());
}

void TestFirmwareUpdateFlow::updateAllLeavesAloneUnitsAtTheFilesFirmware_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("listed at the file's firmware") << "listed";
    QTest::newRow("updated since the list was read") << "since";
    QTest::newRow("ticked to be written again") << "ticked";
    QTest::newRow("beside a device that does not answer") << "unanswered";
}

// Two units of the fitting model: the first runs 1.01, the second the built-in file's 1.03,
// as the list says or as only its own answer tells. The second is left alone unless ticked. An
// attached device that does not answer has a greyed row of its own and is not written.
void TestFirmwareUpdateFlow::updateAllLeavesAloneUnitsAtTheFilesFirmware()
{
    QFETCH(QString, situation);
    QList<std::shared_ptr<VirtualDevice>> devices;
    for (const char* serial : {"ML0001", "ML0002"}) {
        const bool current = QByteArray(serial) == "ML0002" && situation != "since";
        devices << makeDevice(kFittingModel, 0x0100, current ? 0x0103 : kFirmwareBefore);
        m_emulation->addMakerDevice(devices.last(), marlune::testing::makerWithSerial(serial));
    }
    if (situation == "unanswered") {
        devices << makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
        devices.last()->setSilent(true);
        m_emulation->addMakerDevice(devices.last(), marlune::testing::makerWithSerial("ML0003"));
    }
    QList<UnitUpdateFile> units = discoverUnitsWithTheirBuiltInFiles();
    std::sort(units.begin(), units.end(),
              [](const UnitUpdateFile& a, const UnitUpdateFile& b) { return a.unit.serial < b.unit.serial; });
    if (situation == "since") {
        // Another tool wrote it after the list was read.
        VirtualDeviceIdentity identity;
        identity.model = kFittingModel;
        identity.hwVersion = 0x0100;
        identity.fwVersion = 0x0103;
        identity.maxFrameLength = 128;
        devices.at(1)->setIdentity(identity);
    }

    UpdateAllDlg dialog(*m_workerThread, units, UpdateHistory::defaultPath(), nullptr, false,
                        m_workerThread->missingDevices());
    dialog.show();
    auto* table = dialog.findChild<QTableWidget*>("unitsTable");
    QCOMPARE(table->rowCount(), situation == "unanswered" ? 3 : 2);
    if (situation == "unanswered") {
        QCOMPARE(table->item(2, 5)->text(), QStringLiteral("Did not answer; check its power and cable."));
        QCOMPARE(table->item(2, 5)->flags(), Qt::NoItemFlags);
    }
    auto* also = dialog.findChild<QCheckBox*>("chk_alsoSameFirmware");
    QCOMPARE(also != nullptr, situation != "since");
    if (also) {
        QCOMPARE(also->text(), QStringLiteral("Also units already at 1.03"));
        QCOMPARE(table->item(1, 5)->text(), QStringLiteral("Already runs the file's firmware; left alone."));
        also->setChecked(situation == "ticked");
        // The row tells what the plan above it now does with the unit.
        QCOMPARE(table->item(1, 5)->text(),
                 situation == "ticked" ? QStringLiteral("Already runs the file's firmware; written again.")
                                       : QStringLiteral("Already runs the file's firmware; left alone."));
        QCOMPARE(dialog.findChild<QLabel*>("lbl_plan")->text().contains("to 2 units"), situation == "ticked");
    }
    ModalDialogWatcher watcher(
        [](QWidget* box) { qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click(); });
    QTest::mouseClick(dialog.findChild<QPushButton*>("bttn_start"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isRunning(), kUpdateTimeoutMs);

    QVERIFY(devices.first()->dataSegmentCount() > 0);
    QCOMPARE(devices.at(1)->dataSegmentCount() > 0, situation == "ticked");
    if (situation == "unanswered") {
        QCOMPARE(devices.last()->dataSegmentCount(), 0);
    }
    if (situation == "since") {
        QCOMPARE(table->item(1, 2)->text(), QStringLiteral("1.03"));
        QVERIFY2(table->item(1, 5)->text().startsWith(
                     "Nothing sent: DEMO-B on maker USB ML0002 already runs firmware 1.03"),
                 qPrintable(table->item(1, 4)->text()));
    }
    // A unit left alone, as the list said or as its own answer told, is not recorded.
    QCOMPARE(takeHistory().size(), situation == "ticked" ? 2 : 1);
    QVERIFY(dialog.close());
}

// Watching after the run of three units, one of which fails: a unit of their model plugged in
// is written as it appears, one of another model is not shown, and the written unit unplugged
// and plugged in again, now at the file's firmware, is listed as left alone and not written
// twice. The line under the table counts only the units that took the file.
void TestFirmwareUpdateFlow::updateAllKeepsWatchingForUnitsPluggedIn()
{
    std::map<QString, std::shared_ptr<VirtualDevice>> devicesBySerial;
    for (const char* serial : {"ML0001", "ML0002", "ML0004"}) {
        const std::shared_ptr<VirtualDevice> device = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
        m_emulation->addMakerDevice(device, marlune::testing::makerWithSerial(serial));
        devicesBySerial[QString::fromLatin1(serial)] = device;
    }
    // Discovered first: the discovery makes the worker thread.
    const QList<UnitUpdateFile> units = discoverUnitsWithTheirBuiltInFiles();
    devicesBySerial.at(units.at(2).unit.serial)->failSegment(1, 0x07);
    const bool offerWatching = true;
    UpdateAllDlg dialog(*m_workerThread, units, UpdateHistory::defaultPath(), nullptr, offerWatching);
    dialog.show();
    auto* table = dialog.findChild<QTableWidget*>("unitsTable");
    const auto verdicts = [&] {
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row) {
            texts << table->item(row, 5)->text();
        }
        return texts;
    };
    const auto status = [&] { return dialog.findChild<QLabel*>("lbl_status")->text(); };
    dialog.findChild<QCheckBox*>("chk_keepWatching")->setChecked(true);
    ModalDialogWatcher watcher(
        [](QWidget* box) { qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click(); });
    QTest::mouseClick(dialog.findChild<QPushButton*>("bttn_start"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(status().startsWith("Watching"), kUpdateTimeoutMs);
    QVERIFY2(status().contains("; 2 units written so far."), qPrintable(status()));
    const QString updated = QStringLiteral("Updated to firmware 1.03.");
    QCOMPARE(verdicts().mid(0, 2), (QStringList{updated, updated}));
    QVERIFY2(verdicts().at(2).startsWith("Failed"), qPrintable(verdicts().at(2)));

    const std::shared_ptr<VirtualDevice> newcomer = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
    const int newcomerId = m_emulation->addMakerDevice(newcomer, marlune::testing::makerWithSerial("ML0003"));
    m_emulation->addMakerDevice(makeDevice(kOtherModel, 0x0200, kFirmwareBefore),
                                marlune::testing::makerWithSerial("ML0009"));
    QTRY_COMPARE_WITH_TIMEOUT(verdicts().value(3), updated, kUpdateTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isRunning() && status().startsWith("Watching"), kStateTimeoutMs);
    const std::size_t segmentsWritten = newcomer->dataSegmentCount();

    // Plugged in again once the watch has looked at the bus without it.
    marlune::testing::WorkerThreadSignals workerSignals(*m_workerThread);
    m_emulation->unplug(newcomerId);
    QTRY_VERIFY_WITH_TIMEOUT(workerSignals.discoveries > 0, kStateTimeoutMs);
    m_emulation->addMakerDevice(newcomer, marlune::testing::makerWithSerial("ML0003"));
    QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 5, kUpdateTimeoutMs);
    QCOMPARE(verdicts().last(), QStringLiteral("Already runs the file's firmware; left alone."));
    QCOMPARE(newcomer->dataSegmentCount(), segmentsWritten);

    QTest::mouseClick(dialog.findChild<QPushButton*>("bttn_stop"), Qt::LeftButton);
    QCOMPARE(status(), QStringLiteral("3 updated, 1 failed, 0 not started."));
    QCOMPARE(takeHistory().size(), 4);
    QVERIFY(dialog.close());
}

void TestFirmwareUpdateFlow::pickDuringAnUpdateIsTheUnitWrittenNext_data()
{
    marlune::testing::addFlagRows("afterTheWrite", "picked during the write", "picked as the write ends");
}

// Two units of one model. While the first is written, or as its last segment goes out, the
// person picks the second: the verdict and the history name the unit written, and the next
// Update writes the unit the list shows.
void TestFirmwareUpdateFlow::pickDuringAnUpdateIsTheUnitWrittenNext()
{
    QFETCH(bool, afterTheWrite);
    std::map<QString, std::shared_ptr<VirtualDevice>> devicesBySerial;
    for (const char* serial : {"ML0001", "ML0002"}) {
        const std::shared_ptr<VirtualDevice> device = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
        device->setAnswerDelay(kSlowAnswerMs);
        m_emulation->addMakerDevice(device, marlune::testing::makerWithSerial(serial));
        devicesBySerial[QString::fromLatin1(serial)] = device;
    }
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    const QString written = devicesCombo()->currentText().right(6);
    const QString picked = devicesCombo()->itemText(1).right(6);
    QVERIFY(written != picked);
    const auto pick = [&](int value) {
        const bool moment = afterTheWrite ? value == 100 : value > 0 && value < 100;
        if (moment && devicesCombo()->currentIndex() == 0) {
            devicesCombo()->setCurrentIndex(1);
        }
    };
    const QMetaObject::Connection picking = connect(progressBar(), &QProgressBar::valueChanged, this, pick);
    ModalDialogWatcher watcher([](QWidget* dialog) { dialog->close(); });

    QTest::mouseClick(button("bttn_update"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(statusLine().contains(" updated to firmware 1.03."), kUpdateTimeoutMs);
    QVERIFY2(statusLine().startsWith(QStringLiteral("DEMO-B (maker USB, serial %1) updated").arg(written)),
             qPrintable(statusLine()));
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);
    disconnect(picking);
    QVERIFY(devicesCombo()->currentText().endsWith(picked));
    QCOMPARE(devicesBySerial.at(picked)->dataSegmentCount(), std::size_t{0});

    QTest::mouseClick(button("bttn_update"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(statusLine().contains(" updated to firmware 1.03."), kUpdateTimeoutMs);
    QVERIFY2(statusLine().startsWith(QStringLiteral("DEMO-B (maker USB, serial %1) updated").arg(picked)),
             qPrintable(statusLine()));
    QVERIFY(devicesBySerial.at(picked)->dataSegmentCount() > 0);
    const QList<UpdateHistoryEntry> history = takeHistory();
    QCOMPARE(history.size(), 2);
    QCOMPARE(history.at(0).serial, written);
    QCOMPARE(history.at(1).serial, picked);
    QCOMPARE(watcher.seenCount(), 0);
}

void TestFirmwareUpdateFlow::endRequestWaitsForTheRunningUpdate_data()
{
    QTest::addColumn<bool>("updateAll");
    QTest::addColumn<bool>("forced");
    QTest::newRow("one unit") << false << false;
    QTest::newRow("Update All open") << true << false;
    // A forced log-off ends every event loop at once: the dialog and its run unwind while the
    // unit is written.
    QTest::newRow("Update All open, the session ended by force") << true << true;
}

// A signal asks the program to end while a unit is written: the window lets the write end
// and be recorded first, and Update All starts no further unit.
void TestFirmwareUpdateFlow::endRequestWaitsForTheRunningUpdate()
{
    QFETCH(bool, updateAll);
    QFETCH(bool, forced);
    QList<std::shared_ptr<VirtualDevice>> devices;
    for (const char* serial : {"ML0001", "ML0002"}) {
        const std::shared_ptr<VirtualDevice> device = makeDevice(kFittingModel, 0x0100, kFirmwareBefore);
        // Slow enough that the request to end comes during the first unit's write.
        device->setAnswerDelay(kSlowAnswerMs);
        m_emulation->addMakerDevice(device, marlune::testing::makerWithSerial(serial));
        devices << device;
    }
    startWindow();
    QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kStateTimeoutMs);

    int readyCount = 0;
    QList<UpdateHistoryEntry> historyWhenReady;
    connect(m_window.get(), &FirmwareUpdateDlg::readyToExit, this, [&] {
        ++readyCount;
        historyWhenReady = takeHistory();
        // The program's exit would end the dialog's loop here.
        if (auto* dialog = qobject_cast<UpdateAllDlg*>(QApplication::activeModalWidget())) {
            dialog->close();
        }
    });
    bool started = false;
    ModalDialogWatcher watcher([&](QWidget* dialog) {
        if (auto* all = qobject_cast<UpdateAllDlg*>(dialog); all && !started) {
            started = true;
            // One at a time: the unit being written is finished, and no further one starts.
            all->findChild<QCheckBox*>("chk_oneAtATime")->setChecked(true);
            QTimer::singleShot(0, all->findChild<QPushButton*>("bttn_start"), &QPushButton::click);
        } else if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            box->button(QMessageBox::Yes)->click();
        }
    });
    // Asked to end once the first data segment has reached a unit, while it is still written.
    QString dialogStatus;
    bool stopOffered = true;
    QTimer endRequest;
    connect(&endRequest, &QTimer::timeout, this, [&] {
        if (devices.first()->dataSegmentCount() + devices.last()->dataSegmentCount() > 0) {
            endRequest.stop();
            auto* dialog = qobject_cast<UpdateAllDlg*>(QApplication::activeModalWidget());
            if (forced) {
                dialog->done(QDialog::Rejected);
                return;
            }
            m_window->exitAfterRunningUpdates();
            if (dialog) {
                dialogStatus = dialog->findChild<QLabel*>("lbl_status")->text();
                stopOffered = dialog->findChild<QPushButton*>("bttn_stop")->isEnabled();
            }
        }
    });
    endRequest.start(1);
    QTest::mouseClick(button(updateAll ? "bttn_updateAll" : "bttn_update"), Qt::LeftButton);

    if (forced) {
        // The dialog has gone, and the unit's write with it ran whole and was recorded.
        QTRY_VERIFY_WITH_TIMEOUT(idleWithDevice(), kUpdateTimeoutMs);
        historyWhenReady = takeHistory();
    } else {
        // Ready only once the unit's update has ended whole and been recorded, and no further
        // unit was started.
        QTRY_COMPARE_WITH_TIMEOUT(readyCount, 1, kUpdateTimeoutMs);
    }
    QCOMPARE(historyWhenReady.size(), 1);
    QVERIFY(historyWhenReady.first().succeeded);
    if (updateAll && !forced) {
        QCOMPARE(dialogStatus, WritingProgressText::programEndsAfterWrites());
        QVERIFY(!stopOffered);
    }
}

QTEST_MAIN(TestFirmwareUpdateFlow)
#include "tst_firmwareupdateflow.moc"

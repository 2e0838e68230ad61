#include "firmwareupdatedlg.h"

#include "builtinfirmwaresdlg.h"
#include "combowidthfit.h"
#include "deviceinfodlg.h"
#include "devicelisttext.h"
#include "hotplugrefresh.h"
#include "loadedfirmwaredlg.h"
#include "mlpworkerthread.h"
#include "statusline.h"
#include "ui_firmwareupdatedlg.h"
#include "unitlist.h"
#include "unitupdaterun.h"
#include "updatealldlg.h"
#include "updatefailurebox.h"
#include "updatefilesource.h"
#include "updatehistory.h"
#include "updatehistorydlg.h"
#include "updatesession.h"
#include "updateverdicttext.h"
#include "workerthreadanswers.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QList>
#include <QShowEvent>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

// Each information dialog runs modally as a child of the window and goes once it is closed.
template <typename Dialog, typename... Arguments>
void runInformationDialog(QWidget* window, const Arguments&... arguments)
{
    auto* dialog = new Dialog(arguments..., window);
    dialog->exec();
    dialog->deleteLater();
}

} // namespace

FirmwareUpdateDlg::FirmwareUpdateDlg(QWidget* parent) : QDialog(parent), m_ui(new Ui::FirmwareUpdateDlg)
{
    qRegisterMetaType<uint16_t>("uint16_t");
    m_ui->setupUi(this);
    // The main window is a dialog, which gets no minimize button of its own.
    setWindowFlag(Qt::WindowMinimizeButtonHint);
    initCurrentDevice();
    m_ui->bttn_update->setEnabled(false);
    m_status = std::make_unique<StatusLine>(m_ui->statusLabel, m_ui->progressBar);
    m_units = std::make_unique<UnitList>(m_ui->devicesCombo);
    m_workerAnswers =
        std::make_unique<WorkerThreadAnswers>(*this, [this](bool answered, const MLPDeviceInfoNode& device) {
            selectionAnswered(answered, device);
        });
    m_update = new UnitUpdateRun(this);
    connect(m_update, &UnitUpdateRun::stateChanged, this, &FirmwareUpdateDlg::updateStateChanged);
    connect(m_update, &UnitUpdateRun::progress, this, &FirmwareUpdateDlg::progress);
    connect(m_update, &UnitUpdateRun::written, this, &FirmwareUpdateDlg::updateSuccessFul);
    connect(m_update, &UnitUpdateRun::done, this, [this] {
        const UpdateSession& session = *m_update->session();
        m_status->setOutcome(UpdateVerdictText::succeeded(session) + QLatin1Char(' ') +
                             UpdateVerdictText::afterwards(session));
    });
    connect(m_update, &UnitUpdateRun::unconfirmed, this,
            [this] { m_status->setOutcome(UpdateVerdictText::failed(*m_update->session())); });
    connect(m_update, &UnitUpdateRun::failed, this, &FirmwareUpdateDlg::updateFailed);
    m_hotplug = new HotplugRefresh([this] { return m_workerThread && !m_busy && !m_failureBoxOpen; },
                                   [this] { rediscoverKeepingUnit(); }, this);
    new ComboWidthFit(m_ui->devicesCombo);
    m_fileSource = std::make_unique<UpdateFileSource>(
        UpdateFileSource::Widgets{m_ui->lbl_fileOpenMode, m_ui->bttn_load, m_ui->lbl_fileStatus,
                                  m_ui->infoButtonBuiltInFirmware, m_ui->infoButtonLoadedFirmware});
    // Without built-in files the built-in mode text would claim files that are not there.
    setAlternativeFileMode(!m_fileSource->builtInFilesInstalled());
    // The form's height suits the small font it was drawn with; the window starts as tall as
    // its controls need, with no empty band under Quit.
    resize(width(), minimumSizeHint().height());
}

FirmwareUpdateDlg::~FirmwareUpdateDlg()
{
    delete m_ui;
}

void FirmwareUpdateDlg::setWorkerThread(MLPWorkerThread* thread)
{
    m_workerThread = thread;
}

void FirmwareUpdateDlg::exitAfterRunningUpdates()
{
    m_exitRequested = true;
    if (m_updateAllDialog) {
        m_updateAllDialog->stopForProgramEnd();
    }
    exitIfRequestedAndIdle();
}

// Exiting ends every event loop, the Update All dialog's too: never while a session of its,
// or of the window, has a request running or its end to record.
void FirmwareUpdateDlg::exitIfRequestedAndIdle()
{
    if (m_exitRequested && !m_update->isRunning() && !(m_updateAllDialog && m_updateAllDialog->isRunning())) {
        m_exitRequested = false;
        emit readyToExit();
    }
}

void FirmwareUpdateDlg::reject()
{
    if (m_busy) {
        return;
    }
    QDialog::reject();
}

void FirmwareUpdateDlg::on_devicesCombo_currentIndexChanged(int index)
{
    if (index < 0 || !m_workerThread) {
        return;
    }
    m_selecting = true;
    refreshBusy();
    m_workerThread->selectDevice(index);
    // A stray index past the list (a discovery empties it first) keeps the device as it was.
    m_currentDevice = m_units->listed().value(index, m_currentDevice);
}

void FirmwareUpdateDlg::on_bttnDiscover_clicked()
{
    // Asked for by the user: the list starts afresh, with the first device selected.
    m_units->forget();
    startDiscovery();
}

void FirmwareUpdateDlg::rediscoverKeepingUnit()
{
    m_units->keep(m_haveDevice ? std::optional(m_currentDevice) : m_units->lost());
    startDiscovery();
}

void FirmwareUpdateDlg::startDiscovery()
{
    if (!m_workerThread) {
        return;
    }
    m_discovering = true;
    refreshBusy();
    m_units->clear();
    m_workerThread->postDiscover();
}

void FirmwareUpdateDlg::on_bttn_load_clicked()
{
    m_fileSource->chooseFile(this);
    // The last update's verdict was about another file.
    m_status->setOutcome(QString());
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::bringForward(const QString& file)
{
    if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
    if (file.isEmpty()) {
        return;
    }
    if (m_busy) {
        m_fileToLoad = file;
    } else {
        loadFile(file);
    }
}

bool FirmwareUpdateDlg::holdsUnit(const QString& serial) const
{
    if (m_updatingAll) {
        const QList<MLPDeviceInfoNode> units = m_units->listed();
        return std::any_of(units.begin(), units.end(), [&serial](const MLPDeviceInfoNode& unit) {
            return serial.isEmpty() || unit.serial == serial;
        });
    }
    return m_haveDevice && (serial.isEmpty() || m_currentDevice.serial == serial);
}

void FirmwareUpdateDlg::loadFile(const QString& path)
{
    if (!m_fileSource->useFile(path)) {
        m_status->setOutcome(tr("There is no update file %1.").arg(QDir::toNativeSeparators(path)));
        return;
    }
    // The loaded file is in use at once, also where the built-in files were.
    setAlternativeFileMode(true);
}

void FirmwareUpdateDlg::on_bttn_quit_clicked()
{
    close();
}

void FirmwareUpdateDlg::on_bttn_update_clicked()
{
    if (!m_workerThread || m_update->isRunning()) {
        return;
    }
    // The file the enabled button was checked with, to the unit the list shows.
    startUpdate(m_target);
}

bool FirmwareUpdateDlg::startUpdate(const UnitUpdateFile& target)
{
    if (!m_unsignedQuestion.allows(this, target)) {
        return false;
    }
    m_update->start(*m_workerThread, target, !target.verdict.signature.trusted());
    m_status->startWriting(UpdateVerdictText::writing(target.verdict, target.unit));
    return true;
}

void FirmwareUpdateDlg::on_lbl_fileOpenMode_linkActivated(const QString& link)
{
    if (m_busy) {
        return;
    }
    if (const std::optional<bool> alternative = UpdateFileSource::alternativeModeOfLink(link)) {
        setAlternativeFileMode(*alternative);
    }
}

void FirmwareUpdateDlg::progress(int percents)
{
    m_status->progressed(percents);
}

void FirmwareUpdateDlg::devicesDiscovered()
{
    // A discovery closes the worker thread's connection, so whatever was selected before is
    // gone there too. Forgetting it here keeps the window from offering an update to a
    // device the thread no longer talks to; when devices were found the first one (or the
    // unit to keep) is selected again below.
    m_haveDevice = false;
    initCurrentDevice();
    m_discovering = false;
    // A selection posted before the discovery has run or was replaced by it; either way no
    // answer to it is awaited any more.
    m_selecting = false;
    refreshBusy();
    if (m_update->isRunning()) {
        // The update looks for its unit again: that unit stays the chosen one.
        m_units->keep(m_update->session()->unit());
    }
    const QList<MLPDeviceInfoNode> devices = m_workerThread->discoveredDevices();
    const int entryToSelect = m_units->fill(devices);
    m_status->setDeviceState(
        DeviceListText::afterDiscovery(devices, m_workerThread->missingDevices(), m_units->lost()));
    if (entryToSelect >= 0) {
        on_devicesCombo_currentIndexChanged(entryToSelect);
    }
}

void FirmwareUpdateDlg::deviceSelected(uint16_t, uint16_t)
{
    m_haveDevice = true;
    m_selecting = false;
    refreshBusy();
}

// What the unit answered now is fresher than what the discovery listed: an update changes
// its firmware version, and the tool tip goes by it.
void FirmwareUpdateDlg::selectionAnswered(bool answered, const MLPDeviceInfoNode& device)
{
    if (answered && device.isSameUnit(m_currentDevice)) {
        m_currentDevice = device;
        enableUpdateButtonIfRequirementsAreMet();
    }
}

void FirmwareUpdateDlg::onConnectionLost()
{
    if (m_haveDevice) {
        // The pings repeat the loss every few seconds; it is told once.
        m_units->setLost(m_currentDevice);
        if (!m_update->tellsOfSilence()) {
            m_status->setDeviceState(DeviceListText::noLongerAnswers(m_currentDevice));
        }
    }
    m_units->clear();
    m_haveDevice = false;
    m_ui->infoButtonDevice->setEnabled(false);
    initCurrentDevice();
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::enableUpdateButtonIfRequirementsAreMet()
{
    offerUpdateAll();
    if (!m_haveDevice || m_busy) {
        m_ui->bttn_update->setEnabled(false);
        m_ui->bttn_update->setToolTip(m_haveDevice ? tr("Wait until the running task has finished.")
                                                   : QString());
        return;
    }
    m_ui->bttn_update->setEnabled(isSelectedFirmwareValidForDevice());
    m_ui->bttn_update->setToolTip(
        m_target.fits() ? UpdateVerdictText::toolTip(m_target.verdict, m_currentDevice.fwVersion, {})
                        : m_target.reason);
}

void FirmwareUpdateDlg::offerUpdateAll()
{
    const bool offered =
        m_haveDevice && UpdateAllDlg::isWorthOffering(m_fileSource->check(m_units->listed()));
    m_ui->bttn_updateAll->setVisible(offered);
    m_ui->bttn_updateAll->setEnabled(offered && !m_busy);
}

void FirmwareUpdateDlg::on_bttn_updateAll_clicked()
{
    if (!m_workerThread || m_busy) {
        return;
    }
    // The dialog's units run on links of their own, and its watching lends the worker thread
    // for discoveries; the window follows none of its answers meanwhile and stays busy.
    disconnectWorkerThreadSignals();
    m_updatingAll = true;
    refreshBusy();
    QString summary;
    {
        const bool offerWatching = true;
        UpdateAllDlg dialog(*m_workerThread, m_fileSource->check(m_units->listed()),
                            UpdateHistory::defaultPath(), this, offerWatching,
                            m_workerThread->missingDevices());
        m_updateAllDialog = &dialog;
        connect(&dialog, &UpdateAllDlg::runFinished, this, &FirmwareUpdateDlg::exitIfRequestedAndIdle);
        dialog.exec();
        m_updateAllDialog = nullptr;
        summary = dialog.summary();
        // Gone before anything else reaches for the units: when a forced end of the session
        // ended its loop, a unit still written is waited for here.
    }
    m_updatingAll = false;
    connectWorkerThreadSignals();
    m_status->setOutcome(summary.isEmpty() ? QString() : tr("Update All: %1").arg(summary));
    // The units run other firmware now and the thread talks to another one.
    rediscoverKeepingUnit();
}

// The shared update check, for the chosen file and the current device; its verdict is kept
// for the tool tip and for the update the button starts.
bool FirmwareUpdateDlg::isSelectedFirmwareValidForDevice()
{
    m_target = m_fileSource->check(m_currentDevice);
    return m_target.fits();
}

QString FirmwareUpdateDlg::getSelectedFirmwareFileName(MLPDeviceInfoNode deviceInfoNode)
{
    return m_fileSource->fileFor(deviceInfoNode);
}

void FirmwareUpdateDlg::updateFailed(MLPWorkerRequestI::failReason)
{
    const UpdateSession& session = *m_update->session();
    const QString reason = UpdateVerdictText::failed(session);
    m_status->endWriting(reason);
    const UnitUpdateFile again{session.unit(), session.image(), m_target.verdict, {}};
    m_failureBoxOpen = true;
    const bool retry = UpdateFailureBox::exec(this, reason, m_units->lists(again.unit));
    m_failureBoxOpen = false;
    // The unit may have gone while the box was open; then its loss is what the line tells.
    // The selection the update's end posted may still be under way: the retry runs after it.
    if (!retry || m_discovering || m_update->isRunning() || !m_units->lists(again.unit) ||
        !startUpdate(again)) {
        m_hotplug->windowFreed();
    }
}

void FirmwareUpdateDlg::updateSuccessFul()
{
    m_status->endWriting(UpdateVerdictText::written(*m_update->session()));
}

// The update let go of the thread's device; once it has ended the thread selects the unit the
// list shows, which is the one the person picked last, also when picked during the update.
void FirmwareUpdateDlg::updateStateChanged()
{
    if (!m_update->isRunning() && m_haveDevice && m_workerThread) {
        m_selecting = true;
        m_workerThread->postSelect(m_currentDevice);
    }
    refreshBusy();
    exitIfRequestedAndIdle();
}

void FirmwareUpdateDlg::initCurrentDevice()
{
    // No unit: no link kind or serial number, so nothing is taken for the same unit later.
    m_currentDevice = MLPDeviceInfoNode();
    m_currentDevice.model = QStringLiteral("N/A");
}

void FirmwareUpdateDlg::closeEvent(QCloseEvent* e)
{
    if (m_busy) {
        e->ignore();
        return;
    }
    disconnectWorkerThreadSignals();
    e->accept();
}

void FirmwareUpdateDlg::showEvent(QShowEvent* event)
{
    if (m_workerThread) {
        connectWorkerThreadSignals();
        m_hotplug->watch();
        // The window system sends spontaneous show events when a minimised window comes
        // back; those must not restart the discovery, which would end the selection.
        // A running update is never cut short: its session stays alive.
        if (!event->spontaneous() && !m_busy) {
            recycleFirmwareUpdateRequest();
            on_bttnDiscover_clicked();
        }
    } else {
        qDebug("Critical Error: No worker thread.");
        done(-1);
    }
    QDialog::showEvent(event);
}

void FirmwareUpdateDlg::recycleFirmwareUpdateRequest()
{
    m_update->recycle();
}

void FirmwareUpdateDlg::on_infoButtonDevice_clicked()
{
    runInformationDialog<DeviceInfoDlg>(this, m_currentDevice);
}

void FirmwareUpdateDlg::on_infoButtonBuiltInFirmware_clicked()
{
    runInformationDialog<BuiltInFirmwaresDlg>(this);
}

void FirmwareUpdateDlg::on_infoButtonLoadedFirmware_clicked()
{
    if (const auto loaded = m_fileSource->loadedFile()) {
        runInformationDialog<LoadedFirmwareDlg>(this, *loaded);
    }
}

// The one place the busy state is decided: a discovery or a selection posted and not yet
// answered, an update session that has not ended, or the units being updated all together.
void FirmwareUpdateDlg::refreshBusy()
{
    m_busy = m_discovering || m_selecting || m_updatingAll || m_update->isRunning();
    setBusy(m_busy);
}

void FirmwareUpdateDlg::on_bttn_history_clicked()
{
    runInformationDialog<UpdateHistoryDlg>(this, UpdateHistory());
}

void FirmwareUpdateDlg::setBusy(bool b)
{
    m_ui->bttnDiscover->setEnabled(!b);
    m_ui->bttn_quit->setEnabled(!b);
    m_ui->bttn_load->setEnabled(!b);
    m_ui->infoButtonDevice->setEnabled(!b && m_haveDevice);
    // Busy, it disables both update buttons and says to wait.
    enableUpdateButtonIfRequirementsAreMet();
    if (!b) {
        m_hotplug->windowFreed();
        if (!m_fileToLoad.isEmpty()) {
            loadFile(std::exchange(m_fileToLoad, QString()));
        }
    }
}

void FirmwareUpdateDlg::setAlternativeFileMode(bool on)
{
    m_fileSource->setAlternativeFileMode(on);
    enableUpdateButtonIfRequirementsAreMet();
    // The last update's verdict was about the other file source.
    m_status->setOutcome(QString());
}

void FirmwareUpdateDlg::connectWorkerThreadSignals()
{
    m_workerAnswers->follow(*m_workerThread);
}

void FirmwareUpdateDlg::disconnectWorkerThreadSignals()
{
    m_workerAnswers->ignore();
}

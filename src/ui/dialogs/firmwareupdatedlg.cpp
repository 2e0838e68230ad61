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
#include "unitselection.h"
#include "unitupdaterun.h"
#include "updateallhost.h"
#include "updatebuttons.h"
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
    m_buttons = std::make_unique<UpdateButtons>(m_ui->bttn_update, m_ui->bttn_updateAll);
    m_buttons->disable(false);
    m_status = std::make_unique<StatusLine>(m_ui->statusLabel, m_ui->progressBar);
    m_selection = std::make_unique<UnitSelection>(m_ui->devicesCombo, *m_status, [this] { refreshBusy(); });
    initCurrentDevice();
    m_workerAnswers =
        std::make_unique<WorkerThreadAnswers>(*this, [this](bool answered, const MLPDeviceInfoNode& device) {
            selectionAnswered(answered, device);
        });
    m_updateAll = new UpdateAllHost(this);
    connect(m_updateAll, &UpdateAllHost::opened, this, &FirmwareUpdateDlg::refreshBusy);
    connect(m_updateAll, &UpdateAllHost::runFinished, this, &FirmwareUpdateDlg::exitIfRequestedAndIdle);
    m_update = new UnitUpdateRun(this, *m_status);
    connect(m_update, &UnitUpdateRun::stateChanged, this, &FirmwareUpdateDlg::updateStateChanged);
    connect(m_update, &UnitUpdateRun::progress, this, &FirmwareUpdateDlg::progress);
    connect(m_update, &UnitUpdateRun::written, this, &FirmwareUpdateDlg::updateSuccessFul);
    connect(m_update, &UnitUpdateRun::failed, this, &FirmwareUpdateDlg::updateFailed);
    m_hotplug =
        new HotplugRefresh([this] { return m_workerThread && !m_busy && !m_update->isOfferingRetry(); },
                           [this] { startDiscovery(true); }, this);
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
    m_updateAll->stopForProgramEnd();
    exitIfRequestedAndIdle();
}

// Exiting ends every event loop, the Update All dialog's too: never while a session of its,
// or of the window, has a request running or its end to record.
void FirmwareUpdateDlg::exitIfRequestedAndIdle()
{
    if (m_exitRequested && !m_update->isRunning() && !m_updateAll->isRunning()) {
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
    if (index >= 0 && m_workerThread) {
        m_selection->select(*m_workerThread, index);
    }
}

void FirmwareUpdateDlg::on_bttnDiscover_clicked()
{
    // Asked for by the user: the list starts afresh, with the first device selected.
    startDiscovery(false);
}

void FirmwareUpdateDlg::startDiscovery(bool keepUnit)
{
    if (m_workerThread) {
        m_selection->discover(*m_workerThread, keepUnit);
    }
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
    return m_selection->holds(serial, m_updateAll->isOpen());
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
    m_update->start(*m_workerThread, m_target);
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

// The unit being written is looked for again by its update, and stays the chosen one.
void FirmwareUpdateDlg::devicesDiscovered()
{
    const int entryToSelect = m_selection->discovered(
        *m_workerThread, m_update->isRunning() ? std::optional(m_update->session()->unit()) : std::nullopt);
    if (entryToSelect >= 0) {
        on_devicesCombo_currentIndexChanged(entryToSelect);
    }
}

void FirmwareUpdateDlg::deviceSelected(uint16_t, uint16_t)
{
    m_selection->selected();
}

void FirmwareUpdateDlg::selectionAnswered(bool answered, const MLPDeviceInfoNode& device)
{
    // The tool tip goes by the firmware the unit reports now.
    if (answered && m_selection->refresh(device)) {
        enableUpdateButtonIfRequirementsAreMet();
    }
}

void FirmwareUpdateDlg::onConnectionLost()
{
    // The pings repeat the loss every few seconds; it is told once, and not over the update's
    // own account of a unit that went silent.
    const std::optional<MLPDeviceInfoNode> lost = m_selection->lose();
    if (lost && !m_update->tellsOfSilence()) {
        m_status->setDeviceState(DeviceListText::noLongerAnswers(*lost));
    }
    m_ui->infoButtonDevice->setEnabled(false);
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::enableUpdateButtonIfRequirementsAreMet()
{
    const bool selected = m_selection->isSelected();
    m_buttons->offerAll(
        selected && UpdateAllHost::isWorthOffering(m_fileSource->check(m_selection->units().listed())),
        m_busy);
    if (selected && !m_busy) {
        isSelectedFirmwareValidForDevice();
        m_buttons->offer(m_target);
    } else {
        m_buttons->disable(selected);
    }
}

void FirmwareUpdateDlg::on_bttn_updateAll_clicked()
{
    if (!m_workerThread || m_busy) {
        return;
    }
    // The dialog's units run on links of their own, and its watching lends the worker thread
    // for discoveries; the window follows none of its answers meanwhile and stays busy.
    disconnectWorkerThreadSignals();
    const QString summary =
        m_updateAll->run(*m_workerThread, m_fileSource->check(m_selection->units().listed()));
    connectWorkerThreadSignals();
    m_status->setOutcome(summary.isEmpty() ? QString() : tr("Update All: %1").arg(summary));
    // The units run other firmware now and the thread talks to another one.
    startDiscovery(true);
}

// The shared update check, for the chosen file and the current device; its verdict is kept
// for the tool tip and for the update the button starts.
bool FirmwareUpdateDlg::isSelectedFirmwareValidForDevice()
{
    m_target = m_fileSource->check(m_selection->unit());
    return m_target.fits();
}

QString FirmwareUpdateDlg::getSelectedFirmwareFileName(MLPDeviceInfoNode deviceInfoNode)
{
    return m_fileSource->fileFor(deviceInfoNode);
}

void FirmwareUpdateDlg::updateFailed(MLPWorkerRequestI::failReason)
{
    const QString reason = UpdateVerdictText::failed(*m_update->session());
    m_status->endWriting(reason);
    if (!m_update->offerRetry(*m_workerThread, reason, m_selection->units(), !m_selection->isDiscovering())) {
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
    if (!m_update->isRunning() && m_workerThread) {
        m_selection->selectAgain(*m_workerThread);
    }
    refreshBusy();
    exitIfRequestedAndIdle();
}

void FirmwareUpdateDlg::initCurrentDevice()
{
    // No unit: no link kind or serial number, so nothing is taken for the same unit later.
    m_selection->clearUnit();
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
    runInformationDialog<DeviceInfoDlg>(this, m_selection->unit());
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
    m_busy = m_selection->awaitsThread() || m_updateAll->isOpen() || m_update->isRunning();
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
    m_ui->infoButtonDevice->setEnabled(!b && m_selection->isSelected());
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

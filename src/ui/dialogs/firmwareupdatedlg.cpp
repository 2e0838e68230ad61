#include "firmwareupdatedlg.h"

#include "builtinfirmwaresdlg.h"
#include "builtinupdatefiles.h"
#include "combowidthfit.h"
#include "deviceinfodlg.h"
#include "devicelisttext.h"
#include "deviceunittext.h"
#include "labelheightfit.h"
#include "loadedfirmwaredlg.h"
#include "mlpworkerthread.h"
#include "modetextlink.h"
#include "ui_firmwareupdatedlg.h"
#include "updatefilecheck.h"
#include "updatehistory.h"
#include "updatehistorydlg.h"
#include "updateverdicttext.h"
#include "usbhotplugwatcher.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QList>
#include <QMessageBox>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>

namespace {

// Link targets of the mode texts: each names the mode its link switches to.
const char* const kAlternativeFileLink = "alternative-update-file";
const char* const kBuiltInFilesLink = "default-update-file";

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
    m_busy = false;
    m_haveDevice = false;
    initCurrentDevice();

    m_builtInModeText = ModeTextLink::richText(tr("Built-in firmware update files loaded. Load "),
                                               QString::fromLatin1(kAlternativeFileLink), tr("alternative"),
                                               tr(" update file."));
    m_alternativeModeText = ModeTextLink::richText(tr("Load the "), QString::fromLatin1(kBuiltInFilesLink),
                                                   tr("built-in"), tr(" firmware updates."));

    m_ui->bttn_update->setEnabled(false);
    // The bar comes and goes with each update; its place stays, so nothing below it moves.
    QSizePolicy progressBarPolicy = m_ui->progressBar->sizePolicy();
    progressBarPolicy.setRetainSizeWhenHidden(true);
    m_ui->progressBar->setSizePolicy(progressBarPolicy);
    m_ui->progressBar->hide();
    // The verdict line below the controls takes the lines its text needs, and the window grows for it.
    m_statusFit = new LabelHeightFit(m_ui->statusLabel);
    new ComboWidthFit(m_ui->devicesCombo);
    m_ui->infoButtonLoadedFirmware->setEnabled(false);
    new ModeTextLink(m_ui->lbl_fileOpenMode);
    // The built-in files are compiled in: whether there are any is asked once. Without them
    // the built-in mode text would claim files that are not there.
    m_builtInFilesInstalled = marlune::hasBuiltInUpdateFiles();
    setAlternativeFileMode(!m_builtInFilesInstalled);
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
    const QList<MLPDeviceInfoNode> devices = m_workerThread->discoveredDevices();
    // The list only changes under a running discovery, which empties the combo box first;
    // the check keeps a stray index from reading past the copy.
    if (index < devices.size()) {
        m_currentDevice = devices.at(index);
    }
}

void FirmwareUpdateDlg::on_bttnDiscover_clicked()
{
    // Asked for by the user: the list starts afresh, with the first device selected.
    m_unitToKeep.reset();
    m_lostDevice.reset();
    startDiscovery();
}

void FirmwareUpdateDlg::refreshAfterHotplug()
{
    if (!m_workerThread || m_busy || m_failureBoxOpen) {
        // Never under a running request or an open failure box: the list is refreshed once
        // the window is idle again.
        m_hotplugPending = true;
        return;
    }
    m_hotplugPending = false;
    m_unitToKeep = m_haveDevice ? std::optional<MLPDeviceInfoNode>(m_currentDevice) : m_lostDevice;
    startDiscovery();
}

void FirmwareUpdateDlg::startDiscovery()
{
    if (!m_workerThread) {
        return;
    }
    m_discovering = true;
    refreshBusy();
    m_ui->devicesCombo->clear();
    m_workerThread->postDiscover();
}

void FirmwareUpdateDlg::on_bttn_load_clicked()
{
    const QString startDirectory = m_loadedFilePath ? *m_loadedFilePath : QDir::homePath();
    const QString chosenPath = QFileDialog::getOpenFileName(this, tr("Open a Marlune Update File"),
                                                            startDirectory, tr("ML2 fles (*.ml2)"));
    if (QFileInfo::exists(chosenPath)) {
        m_loadedFilePath = chosenPath;
    }
    if (m_loadedFilePath) {
        m_ui->infoButtonLoadedFirmware->setEnabled(true);
        m_ui->lbl_fileStatus->setText(QFileInfo(*m_loadedFilePath).fileName());
    } else {
        m_ui->lbl_fileStatus->clear();
        m_ui->infoButtonLoadedFirmware->setEnabled(false);
    }
    // The last update's verdict was about another file.
    setOutcome(QString());
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::on_bttn_quit_clicked()
{
    close();
}

void FirmwareUpdateDlg::on_bttn_update_clicked()
{
    if (!m_workerThread || (m_session && !m_session->hasEnded())) {
        return;
    }
    recycleFirmwareUpdateRequest();
    m_session = new UpdateSession(*m_workerThread, UpdateHistory::defaultPath(), this);
    connect(m_session, &UpdateSession::progress, this, &FirmwareUpdateDlg::progress);
    connect(m_session, &UpdateSession::stateChanged, this, &FirmwareUpdateDlg::sessionStateChanged);
    m_ui->progressBar->setValue(0);
    m_ui->progressBar->show();
    // The file the enabled button was checked with; the request checks it once more as it
    // reads it for sending.
    m_session->startOnSelected(m_currentDevice, m_checkedPath);
    m_deviceStateText.clear();
    setOutcome(m_writingProgress.start(UpdateVerdictText::writing(m_verdict, m_currentDevice)));
}

void FirmwareUpdateDlg::on_lbl_fileOpenMode_linkActivated(const QString& link)
{
    if (m_busy) {
        return;
    }
    if (link == QLatin1String(kBuiltInFilesLink)) {
        setAlternativeFileMode(false);
    } else if (link == QLatin1String(kAlternativeFileLink)) {
        setAlternativeFileMode(true);
    }
}

void FirmwareUpdateDlg::progress(int percents)
{
    m_ui->progressBar->setValue(percents);
    setOutcome(m_writingProgress.progressed(percents));
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
    refreshBusy();
    if (m_session && !m_session->hasEnded()) {
        // The update looks for its unit again: that unit stays the chosen one.
        m_unitToKeep = m_session->unit();
    }

    const QList<MLPDeviceInfoNode> devices = m_workerThread->discoveredDevices();
    int entryToSelect = 0;
    {
        // Filled quietly: exactly one selection follows, of the entry chosen below.
        const QSignalBlocker blocker(m_ui->devicesCombo);
        m_ui->devicesCombo->clear();
        m_ui->devicesCombo->addItems(DeviceUnitText::listEntries(devices));
        for (int index = 0; index < devices.size(); ++index) {
            if (m_unitToKeep && m_unitToKeep->isSameUnit(devices.at(index))) {
                entryToSelect = index;
            }
            if (m_lostDevice && m_lostDevice->isSameUnit(devices.at(index))) {
                m_lostDevice.reset();
            }
        }
        m_ui->devicesCombo->setCurrentIndex(devices.isEmpty() ? -1 : entryToSelect);
    }
    m_unitToKeep.reset();
    m_deviceStateText = DeviceListText::afterDiscovery(devices, m_workerThread->missingDevices(), m_lostDevice);
    showStatus();
    if (!devices.isEmpty()) {
        on_devicesCombo_currentIndexChanged(entryToSelect);
    }
}

void FirmwareUpdateDlg::showStatus()
{
    QStringList parts;
    for (const QString& part : {m_outcomeText, m_deviceStateText}) {
        if (!part.isEmpty()) {
            parts << part;
        }
    }
    if (!m_alternativeFileMode && !m_builtInFilesInstalled) {
        parts << tr("No built-in update files are installed; load an update file through the link above.");
    }
    m_ui->statusLabel->setText(parts.join(QLatin1Char('\n')));
    m_ui->statusLabel->setVisible(!parts.isEmpty());
    m_statusFit->fit();
}

void FirmwareUpdateDlg::setOutcome(const QString& text)
{
    m_outcomeText = text;
    showStatus();
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
    // A unit that goes quiet right after its update is told about by the update's verdict.
    const bool toldByUpdate =
        m_session &&
        (!m_session->hasEnded() || (m_session->succeeded() && m_session->unitAfter().model.isEmpty()));
    if (m_haveDevice) {
        // The pings repeat the loss every few seconds; it is told once.
        m_lostDevice = m_currentDevice;
        if (!toldByUpdate) {
            m_deviceStateText = DeviceListText::noLongerAnswers(m_currentDevice);
            showStatus();
        }
    }
    m_ui->devicesCombo->clear();
    m_haveDevice = false;
    m_ui->infoButtonDevice->setEnabled(false);
    initCurrentDevice();
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::enableUpdateButtonIfRequirementsAreMet()
{
    if (!m_haveDevice) {
        m_ui->bttn_update->setEnabled(false);
        m_ui->bttn_update->setToolTip(QString());
        return;
    }
    if (m_busy) {
        m_ui->bttn_update->setEnabled(false);
        m_ui->bttn_update->setToolTip(tr("Wait until the running task has finished."));
        return;
    }
    m_ui->bttn_update->setEnabled(isSelectedFirmwareValidForDevice());
    const QString noFileText = m_alternativeFileMode
                                   ? tr("No update file has been loaded.")
                                   : tr("There is no built-in update file for this device model.");
    m_ui->bttn_update->setToolTip(
        UpdateVerdictText::toolTip(m_verdict, m_currentDevice.fwVersion, noFileText));
}

// The shared update check, for the chosen file and the current device; its verdict is kept
// for the tool tip and for the update the button starts.
bool FirmwareUpdateDlg::isSelectedFirmwareValidForDevice()
{
    m_checkedPath = getSelectedFirmwareFileName(m_currentDevice);
    m_verdict = UpdateFileCheck::check(m_checkedPath, m_currentDevice.model, m_currentDevice.hwVersion);
    return m_verdict.fits();
}

QString FirmwareUpdateDlg::getSelectedFirmwareFileName(MLPDeviceInfoNode deviceInfoNode)
{
    if (m_alternativeFileMode) {
        return m_loadedFilePath ? *m_loadedFilePath : QString();
    }
    return marlune::builtInUpdateFilesByModel().value(deviceInfoNode.model);
}

void FirmwareUpdateDlg::sessionStateChanged(UpdateSession::State state)
{
    refreshBusy();
    using State = UpdateSession::State;
    if (state == State::Failed || state == State::Refused) {
        updateFailed(MLPWorkerRequestI::OperationFailed);
        return;
    }
    // Done comes straight from writing when the unit was not listed to be asked again.
    if (state == State::Verifying || (state == State::Done && !m_ui->progressBar->isHidden())) {
        updateSuccessFul();
    }
    if (state == State::Done) {
        setOutcome(m_outcomeText + QLatin1Char(' ') + UpdateVerdictText::afterwards(*m_session));
    }
}

void FirmwareUpdateDlg::updateFailed(MLPWorkerRequestI::failReason)
{
    m_ui->progressBar->hide();
    const QString reason = UpdateVerdictText::failed(*m_session);
    setOutcome(reason);
    QMessageBox box(QMessageBox::Warning, tr("Firmware update failed"),
                    tr("The firmware update could not be completed"), QMessageBox::Ok, this);
    box.setInformativeText(reason);
    m_failureBoxOpen = true;
    box.exec();
    m_failureBoxOpen = false;
    if (m_hotplugPending) {
        QTimer::singleShot(0, this, &FirmwareUpdateDlg::refreshAfterHotplug);
    }
}

void FirmwareUpdateDlg::updateSuccessFul()
{
    m_ui->progressBar->hide();
    setOutcome(UpdateVerdictText::succeeded(*m_session));
}

void FirmwareUpdateDlg::initCurrentDevice()
{
    m_currentDevice.model = QStringLiteral("N/A");
    m_currentDevice.hwVersion = 0;
    m_currentDevice.fwVersion = 0;
    // No unit: nothing may be taken for the same unit later.
    m_currentDevice.linkKind = marlune::MLP::MLPLinkKind::Unknown;
    m_currentDevice.serial.clear();
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
        if (!m_hotplugWatcher) {
            m_hotplugWatcher = new UsbHotplugWatcher(this);
            connect(m_hotplugWatcher, &UsbHotplugWatcher::devicesChanged, this,
                    &FirmwareUpdateDlg::refreshAfterHotplug);
        }
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

// Drops the last update once it has ended; a running one is never cut short.
void FirmwareUpdateDlg::recycleFirmwareUpdateRequest()
{
    if (m_session && m_session->hasEnded()) {
        delete m_session;
        m_session = nullptr;
    }
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
    if (m_loadedFilePath) {
        runInformationDialog<LoadedFirmwareDlg>(this, *m_loadedFilePath);
    }
}

// The one place the busy state is decided: a discovery or a selection posted and not yet
// answered, or an update session that has not ended.
void FirmwareUpdateDlg::refreshBusy()
{
    m_busy = m_discovering || m_selecting || (m_session && !m_session->hasEnded());
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
    if (b) {
        m_ui->infoButtonDevice->setEnabled(false);
        m_ui->bttn_update->setEnabled(false);
        m_ui->bttn_update->setToolTip(m_haveDevice ? tr("Wait until the running task has finished.")
                                                   : QString());
    } else {
        m_ui->infoButtonDevice->setEnabled(m_haveDevice);
        enableUpdateButtonIfRequirementsAreMet();
        if (m_hotplugPending) {
            // Once the slot that ended the busy spell has finished: it may start another.
            QTimer::singleShot(0, this, &FirmwareUpdateDlg::refreshAfterHotplug);
        }
    }
}

void FirmwareUpdateDlg::setAlternativeFileMode(bool on)
{
    m_alternativeFileMode = on;
    m_ui->bttn_load->setVisible(on);
    m_ui->lbl_fileStatus->setVisible(on);
    m_ui->lbl_fileOpenMode->setText(on ? m_alternativeModeText : m_builtInModeText);
    m_ui->infoButtonBuiltInFirmware->setVisible(!on);
    m_ui->infoButtonLoadedFirmware->setVisible(on);
    m_ui->lbl_fileOpenMode->setToolTip(
        on && !m_builtInFilesInstalled ? tr("No built-in update files are installed.") : QString());
    enableUpdateButtonIfRequirementsAreMet();
    // The last update's verdict was about the other file source.
    setOutcome(QString());
}

void FirmwareUpdateDlg::connectWorkerThreadSignals()
{
    connect(m_workerThread, SIGNAL(deviceDiscoverFinsihed()), this, SLOT(devicesDiscovered()),
            Qt::UniqueConnection);
    connect(m_workerThread, SIGNAL(deviceSelectionFinished(uint16_t, uint16_t)), this,
            SLOT(deviceSelected(uint16_t, uint16_t)), Qt::UniqueConnection);
    connect(m_workerThread, SIGNAL(lostConnection()), this, SLOT(onConnectionLost()), Qt::UniqueConnection);
    connect(m_workerThread, &MLPWorkerThread::deviceSelectionAnswered, this,
            &FirmwareUpdateDlg::selectionAnswered, Qt::UniqueConnection);
}

void FirmwareUpdateDlg::disconnectWorkerThreadSignals()
{
    if (!m_workerThread) {
        return;
    }
    disconnect(m_workerThread, SIGNAL(deviceDiscoverFinsihed()), this, SLOT(devicesDiscovered()));
    disconnect(m_workerThread, SIGNAL(deviceSelectionFinished(uint16_t, uint16_t)), this,
               SLOT(deviceSelected(uint16_t, uint16_t)));
    disconnect(m_workerThread, SIGNAL(lostConnection()), this, SLOT(onConnectionLost()));
    disconnect(m_workerThread, &MLPWorkerThread::deviceSelectionAnswered, this,
               &FirmwareUpdateDlg::selectionAnswered);
}

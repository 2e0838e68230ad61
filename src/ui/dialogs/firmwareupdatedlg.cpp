#include "firmwareupdatedlg.h"

#include "builtinfirmwaresdlg.h"
#include "builtinupdatefiles.h"
#include "deviceaccessprobe.h"
#include "deviceinfodlg.h"
#include "deviceunittext.h"
#include "loadedfirmwaredlg.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpworkerthread.h"
#include "mlu2file.h"
#include "ui_firmwareupdatedlg.h"
#include "updatefilecheck.h"
#include "updatehistory.h"
#include "updateverdicttext.h"
#include "usbhotplugwatcher.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QList>
#include <QMessageBox>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>

namespace {

// Link targets of the mode texts: each names the mode its link switches to.
const char* const kAlternativeFileLink = "alternative-update-file";
const char* const kBuiltInFilesLink = "default-update-file";
constexpr int kStatusLines = 4;

} // namespace

FirmwareUpdateDlg::FirmwareUpdateDlg(QWidget* parent) : QDialog(parent), m_ui(new Ui::FirmwareUpdateDlg)
{
    qRegisterMetaType<uint16_t>("uint16_t");
    m_ui->setupUi(this);
    m_busy = false;
    m_haveDevice = false;
    initCurrentDevice();

    m_builtInModeText =
        buildModeText(tr("Built-in firmware update files loaded. Load "),
                      QString::fromLatin1(kAlternativeFileLink), tr("alternative"), tr(" update file."));
    m_alternativeModeText = buildModeText(tr("Load the "), QString::fromLatin1(kBuiltInFilesLink),
                                          tr("built-in"), tr(" firmware updates."));

    m_ui->bttn_update->setEnabled(false);
    // The bar comes and goes with each update; its place stays, so nothing below it moves.
    QSizePolicy progressBarPolicy = m_ui->progressBar->sizePolicy();
    progressBarPolicy.setRetainSizeWhenHidden(true);
    m_ui->progressBar->setSizePolicy(progressBarPolicy);
    m_ui->progressBar->hide();
    // Room for the longest verdict, so that the controls above never move.
    m_ui->statusLabel->setMinimumHeight(kStatusLines * m_ui->statusLabel->fontMetrics().lineSpacing());
    m_ui->infoButtonLoadedFirmware->setEnabled(false);
    m_ui->lbl_fileOpenMode->installEventFilter(this);
    setAlternativeFileMode(false);
}

FirmwareUpdateDlg::~FirmwareUpdateDlg()
{
    recycleFirmwareUpdateRequest();
    delete m_ui;
}

void FirmwareUpdateDlg::setWorkerThread(MLPWorkerThread* thread)
{
    m_workerThread = thread;
}

QString FirmwareUpdateDlg::buildModeText(const QString& firstPhrase, const QString& linkTarget,
                                         const QString& linkPhrase, const QString& lastPhrase) const
{
    const QString frame =
        QStringLiteral("<html>") + QStringLiteral("<head><meta name=\"qrichtext\" content=\"1\" />") +
        QStringLiteral("<style type=\"text/css\">p, li { white-space: pre-wrap; } </style>") +
        QStringLiteral("<body style=\" font-family:'MS Shell Dlg 2'; font-size:8.25pt; font-weight:400; "
                       "font-style:normal;\">") +
        QStringLiteral("<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
                       "-qt-block-indent:0; text-indent:0px;\">");
    const QString plainSpan = QStringLiteral("<span style=\" font-size:8pt; font-weight:600;\">") +
                              QStringLiteral("%1") + QStringLiteral("</span>");
    const QString link = QStringLiteral("<a href=\"%1\">") + QStringLiteral("%2") + QStringLiteral("</a>");
    const QString redSpan =
        QStringLiteral("<span style=\" font-weight:600; text-decoration: underline; color:#ff0000;\">") +
        QStringLiteral("%1") + QStringLiteral("</span>");
    const QString end = QStringLiteral("</p>") + QStringLiteral("</body>") + QStringLiteral("</html>");

    return frame + plainSpan.arg(firstPhrase) + link.arg(linkTarget, redSpan.arg(linkPhrase)) +
           plainSpan.arg(lastPhrase) + end;
}

// The mode text's link can be used without a mouse: Tab onto the text marks its link at
// once (a label would otherwise want a second Tab), and Enter or Space follows it.
bool FirmwareUpdateDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_ui->lbl_fileOpenMode) {
        return QDialog::eventFilter(watched, event);
    }
    if (event->type() == QEvent::FocusIn) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
            QKeyEvent moveToLink(QEvent::KeyPress,
                                 reason == Qt::TabFocusReason ? Qt::Key_Tab : Qt::Key_Backtab,
                                 Qt::NoModifier);
            QCoreApplication::sendEvent(m_ui->lbl_fileOpenMode, &moveToLink);
        }
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            on_lbl_fileOpenMode_linkActivated(
                QString::fromLatin1(m_alternativeFileMode ? kBuiltInFilesLink : kAlternativeFileLink));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
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
    m_busy = true;
    setBusy(true);
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
    if (!m_workerThread || m_busy || m_updateRequest) {
        // Never under a running request: the list is refreshed once the window is idle.
        m_hotplugPending = true;
        return;
    }
    m_hotplugPending = false;
    if (m_haveDevice) {
        m_unitToKeep = m_currentDevice;
    } else {
        m_unitToKeep = m_lostDevice;
    }
    startDiscovery();
}

void FirmwareUpdateDlg::startDiscovery()
{
    if (!m_workerThread) {
        return;
    }
    m_busy = true;
    setBusy(true);
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
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::on_bttn_quit_clicked()
{
    close();
}

void FirmwareUpdateDlg::on_bttn_update_clicked()
{
    if (!m_workerThread || m_updateRequest) {
        return;
    }
    m_busy = true;
    setBusy(true);
    m_ui->progressBar->setValue(0);
    m_ui->progressBar->show();

    const QString path = getSelectedFirmwareFileName(m_currentDevice);
    MLU2File updateFile(path);
    m_updatingFirmwareText = updateFile.open() ? updateFile.firmwareVersionText() : QString();
    updateFile.close();
    m_updatingDevice = m_currentDevice;
    m_rereadPending = false;
    m_rereadUnanswered = false;
    m_historyEntry = UpdateHistory::entryFor(m_updatingDevice, path, m_updatingFirmwareText);
    m_outcomeText =
        tr("Writing firmware %1 to %2, %3 \u2026")
            .arg(m_updatingFirmwareText, m_updatingDevice.model, DeviceUnitText::unit(m_updatingDevice));
    m_deviceStateText.clear();
    showStatus();

    m_updateRequest = new MLPUpdateFirmwareRequest(path, this);
    connect(m_updateRequest, SIGNAL(workDone()), this, SLOT(updateSuccessFul()));
    connect(m_updateRequest, SIGNAL(failed(MLPWorkerRequestI::failReason)), this,
            SLOT(updateFailed(MLPWorkerRequestI::failReason)));
    connect(m_updateRequest, SIGNAL(progress(int)), this, SLOT(progress(int)));
    m_workerThread->postUpdate(m_updateRequest);
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
}

void FirmwareUpdateDlg::devicesDiscovered()
{
    // A discovery closes the worker thread's connection, so whatever was selected before is
    // gone there too. Forgetting it here keeps the window from offering an update to a
    // device the thread no longer talks to; when devices were found the first one is
    // selected again below.
    m_haveDevice = false;
    initCurrentDevice();

    m_busy = isUpdatePending();
    setBusy(m_busy);

    const QList<MLPDeviceInfoNode> devices = m_workerThread->discoveredDevices();
    int entryToSelect = 0;
    {
        // Filled quietly: exactly one selection follows, of the entry chosen below.
        const QSignalBlocker blocker(m_ui->devicesCombo);
        m_ui->devicesCombo->clear();
        for (int index = 0; index < devices.size(); ++index) {
            const MLPDeviceInfoNode& device = devices.at(index);
            const bool modelShared =
                std::count_if(devices.begin(), devices.end(), [&](const MLPDeviceInfoNode& other) {
                    return other.model == device.model;
                }) > 1;
            m_ui->devicesCombo->addItem(DeviceUnitText::listEntry(device, modelShared));
            if (m_unitToKeep && m_unitToKeep->isSameUnit(device)) {
                entryToSelect = index;
            }
            if (m_lostDevice && m_lostDevice->isSameUnit(device)) {
                m_lostDevice.reset();
            }
        }
        m_ui->devicesCombo->setCurrentIndex(devices.isEmpty() ? -1 : entryToSelect);
    }
    m_unitToKeep.reset();
    m_rereadUnanswered = false;
    m_deviceStateText = discoveryStateText(devices);
    showStatus();
    if (!devices.isEmpty()) {
        selectEntry(entryToSelect);
    }
}

QString FirmwareUpdateDlg::discoveryStateText(const QList<MLPDeviceInfoNode>& devices) const
{
    QStringList parts;
    const int unanswered = m_workerThread->unansweredDeviceCount();
    if (devices.isEmpty() && unanswered == 0) {
        parts << noDeviceText();
    } else if (!devices.isEmpty() && m_lostDevice) {
        parts << tr("%1 is no longer listed.").arg(DeviceUnitText::modelAndUnit(*m_lostDevice));
    }
    if (unanswered == 1) {
        parts << tr("1 attached device did not answer and is not listed; check its power and cable, then "
                    "press Discover Devices.");
    } else if (unanswered > 1) {
        parts << tr("%1 attached devices did not answer and are not listed; check their power and cables, "
                    "then press Discover Devices.")
                     .arg(unanswered);
    }
    return parts.join(QLatin1Char(' '));
}

QString FirmwareUpdateDlg::noDeviceText() const
{
    // Devices this user may not open, or that have no driver, are skipped by the links without
    // a word; the discovery looks at the bus afterwards to tell them from an empty one.
    int accessDenied = 0;
    int withoutDriver = 0;
    for (const InaccessibleUsbDevice& device : m_workerThread->inaccessibleDevices()) {
        accessDenied += device.accessDenied ? 1 : 0;
        withoutDriver += device.noDriver ? 1 : 0;
    }
    QString text;
    if (accessDenied == 1) {
        text = tr("No Marlune device found: 1 attached device cannot be opened by this user. "
                  "Install the udev rules %1 and plug the device in again.")
                   .arg(DeviceAccessProbe::udevRulesPath());
    } else if (accessDenied > 1) {
        text = tr("No Marlune device found: %1 attached devices cannot be opened by this user. "
                  "Install the udev rules %2 and plug the devices in again.")
                   .arg(accessDenied)
                   .arg(DeviceAccessProbe::udevRulesPath());
    } else if (withoutDriver == 1) {
        text = tr("No Marlune device found: 1 attached device has no WinUSB driver. Install %1 from the "
                  "program's folder (right-click, Install) and plug the device in again.")
                   .arg(DeviceAccessProbe::winUsbDriverFile());
    } else if (withoutDriver > 1) {
        text = tr("No Marlune device found: %1 attached devices have no WinUSB driver. Install %2 from the "
                  "program's folder (right-click, Install) and plug the devices in again.")
                   .arg(withoutDriver)
                   .arg(DeviceAccessProbe::winUsbDriverFile());
    } else {
        text = tr("No Marlune device found. Check the device's power and USB cable, and that this user may "
                  "use USB devices.");
    }
    if (DeviceAccessProbe::ftdiDriverMissing()) {
        text +=
            QLatin1Char(' ') + tr("The FTDI driver is not installed, so no device behind an FTDI bridge can "
                                  "be found; install it and press Discover Devices.");
    }
    return text;
}

void FirmwareUpdateDlg::selectEntry(int index)
{
    on_devicesCombo_currentIndexChanged(index);
}

void FirmwareUpdateDlg::showStatus()
{
    QStringList parts;
    for (const QString& part : {m_outcomeText, m_deviceStateText}) {
        if (!part.isEmpty()) {
            parts << part;
        }
    }
    if (!m_alternativeFileMode && marlune::builtInUpdateFiles().isEmpty()) {
        parts << tr("No built-in update files are installed; load an update file through the link above.");
    }
    m_ui->statusLabel->setText(parts.join(QLatin1Char('\n')));
}

void FirmwareUpdateDlg::deviceSelected(uint16_t, uint16_t)
{
    m_haveDevice = true;
    m_busy = isUpdatePending();
    setBusy(m_busy);
}

bool FirmwareUpdateDlg::isUpdatePending() const
{
    // The device list stays usable during an update, so a selection can end while an
    // update is queued or running; the window stays busy until the update's final signal.
    return m_updateRequest != nullptr;
}

void FirmwareUpdateDlg::selectionAnswered(bool answered, const MLPDeviceInfoNode& device)
{
    // What the unit answered now is fresher than what the discovery listed: an update
    // changes its firmware version, and the tool tip and the version before go by it.
    if (answered && device.isSameUnit(m_currentDevice)) {
        m_currentDevice = device;
        enableUpdateButtonIfRequirementsAreMet();
    }
    if (!m_rereadPending) {
        return;
    }
    // The selection that follows a successful update: what the unit reports now.
    m_rereadPending = false;
    if (answered) {
        m_historyEntry.versionAfter = MLPDeviceInfoNode::versionText(device.fwVersion);
        m_outcomeText +=
            QLatin1Char(' ') + tr("It now reports firmware %1.").arg(m_historyEntry.versionAfter);
    } else {
        m_rereadUnanswered = true;
        m_outcomeText += QLatin1Char(' ') + tr("It did not answer afterwards; it may be restarting. "
                                               "Discover Devices finds it again.");
    }
    recordInHistory(true, QString());
}

void FirmwareUpdateDlg::onConnectionLost()
{
    if (m_haveDevice) {
        // The pings repeat the loss every few seconds; it is told once. A unit that goes
        // quiet right after its update is told about by the selection that asks it again.
        m_lostDevice = m_currentDevice;
        if (!m_rereadPending && !m_rereadUnanswered) {
            m_deviceStateText = tr("%1 no longer answers. Press Discover Devices to look for it again.")
                                    .arg(DeviceUnitText::modelAndUnit(m_currentDevice));
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
    const UpdateFileVerdict verdict = selectedFirmwareVerdict();
    m_ui->bttn_update->setEnabled(verdict.fits());
    m_ui->bttn_update->setToolTip(updateToolTip(verdict));
}

bool FirmwareUpdateDlg::isSelectedFirmwareValidForDevice()
{
    return selectedFirmwareVerdict().fits();
}

UpdateFileVerdict FirmwareUpdateDlg::selectedFirmwareVerdict()
{
    return UpdateFileCheck::check(getSelectedFirmwareFileName(m_currentDevice), m_currentDevice.model,
                                  m_currentDevice.hwVersion);
}

QString FirmwareUpdateDlg::updateToolTip(const UpdateFileVerdict& verdict) const
{
    const QString noFileText = m_alternativeFileMode
                                   ? tr("No update file has been loaded.")
                                   : tr("There is no built-in update file for this device model.");
    return UpdateVerdictText::toolTip(verdict, m_currentDevice.fwVersion, noFileText);
}

QString FirmwareUpdateDlg::getSelectedFirmwareFileName(MLPDeviceInfoNode deviceInfoNode)
{
    if (m_alternativeFileMode) {
        return m_loadedFilePath ? *m_loadedFilePath : QString();
    }
    return marlune::builtInUpdateFilesByModel().value(deviceInfoNode.model);
}

void FirmwareUpdateDlg::updateFailed(MLPWorkerRequestI::failReason)
{
    const QString reason =
        m_updateRequest ? UpdateVerdictText::failure(m_updateRequest->outcome()) : QString();
    recycleFirmwareUpdateRequest();
    m_busy = false;
    setBusy(false);
    m_ui->progressBar->hide();
    m_outcomeText = reason;
    recordInHistory(false, reason);
    QMessageBox box(QMessageBox::Warning, tr("Firmware update failed"),
                    tr("The firmware update could not be completed"), QMessageBox::Ok, this);
    box.setInformativeText(reason);
    box.exec();
}

void FirmwareUpdateDlg::updateSuccessFul()
{
    recycleFirmwareUpdateRequest();
    m_busy = false;
    setBusy(false);
    m_ui->progressBar->hide();
    m_outcomeText = tr("%1 updated to firmware %2.")
                        .arg(DeviceUnitText::modelAndUnit(m_updatingDevice), m_updatingFirmwareText);
    showStatus();
    // Ask the unit what it runs now, unless the user has chosen another one meanwhile.
    const QList<MLPDeviceInfoNode> devices = m_workerThread->discoveredDevices();
    const int current = m_ui->devicesCombo->currentIndex();
    if (current >= 0 && current < devices.size() && devices.at(current).isSameUnit(m_updatingDevice)) {
        m_rereadPending = true;
        selectEntry(current);
    } else {
        recordInHistory(true, QString());
    }
}

// Shows the outcome as well. A history that cannot be written is mentioned and costs
// nothing else.
void FirmwareUpdateDlg::recordInHistory(bool succeeded, const QString& reason)
{
    m_historyEntry.time = QDateTime::currentDateTimeUtc();
    m_historyEntry.succeeded = succeeded;
    m_historyEntry.reason = reason;
    const QString problem = UpdateHistory().append(m_historyEntry);
    if (!problem.isEmpty()) {
        m_outcomeText += QLatin1Char(' ') + tr("The update history could not be written: %1").arg(problem);
    }
    showStatus();
}

void FirmwareUpdateDlg::initCurrentDevice()
{
    m_currentDevice.model = QStringLiteral("N/A");
    m_currentDevice.hwVersion = 0;
    m_currentDevice.fwVersion = 0;
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
        // A running request is never cut short: its request object stays alive.
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
    delete m_updateRequest;
    m_updateRequest = nullptr;
}

void FirmwareUpdateDlg::on_infoButtonDevice_clicked()
{
    auto* dialog = new DeviceInfoDlg(m_currentDevice, this);
    dialog->exec();
    dialog->deleteLater();
}

void FirmwareUpdateDlg::on_infoButtonBuiltInFirmware_clicked()
{
    auto* dialog = new BuiltInFirmwaresDlg(this);
    dialog->exec();
    dialog->deleteLater();
}

void FirmwareUpdateDlg::on_infoButtonLoadedFirmware_clicked()
{
    if (!m_loadedFilePath) {
        return;
    }
    auto* dialog = new LoadedFirmwareDlg(*m_loadedFilePath, this);
    dialog->exec();
    dialog->deleteLater();
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
    enableUpdateButtonIfRequirementsAreMet();
    showStatus();
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

#include "firmwareupdatedlg.h"

#include "builtinfirmwaresdlg.h"
#include "builtinupdatefiles.h"
#include "deviceaccessprobe.h"
#include "deviceinfodlg.h"
#include "deviceunittext.h"
#include "loadedfirmwaredlg.h"
#include "mlpworkerthread.h"
#include "ui_firmwareupdatedlg.h"
#include "updatefilecheck.h"
#include "updatehistory.h"
#include "updatetext.h"
#include "updateverdicttext.h"
#include "usbhotplugwatcher.h"

#include <QCloseEvent>
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
    setOutcome(tr("Writing firmware %1 to %2, %3 \u2026")
                   .arg(m_verdict.fileFirmwareVersionText, m_currentDevice.model,
                        DeviceUnitText::unit(m_currentDevice)));
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
    // device the thread no longer talks to; when devices were found the first one (or the
    // unit to keep) is selected again below.
    m_haveDevice = false;
    initCurrentDevice();
    m_discovering = false;
    refreshBusy();

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
    m_deviceStateText = discoveryStateText(devices);
    showStatus();
    if (!devices.isEmpty()) {
        on_devicesCombo_currentIndexChanged(entryToSelect);
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
    switch (state) {
    case UpdateSession::State::Verifying:
        updateSuccessFul();
        return;
    case UpdateSession::State::Done:
        // Straight from writing when the unit was not listed to be asked again.
        if (!m_ui->progressBar->isHidden()) {
            updateSuccessFul();
        }
        break;
    case UpdateSession::State::Failed:
    case UpdateSession::State::Refused:
        updateFailed(MLPWorkerRequestI::OperationFailed);
        return;
    case UpdateSession::State::Idle:
    case UpdateSession::State::Checking:
    case UpdateSession::State::Writing:
        return;
    }
    // Asked again after the update: what the unit runs now, or that it did not say.
    const MLPDeviceInfoNode after = m_session->unitAfter();
    if (after.model.isEmpty()) {
        m_outcomeText += QLatin1Char(' ') + tr("It did not answer afterwards; it may be restarting. "
                                               "Discover Devices finds it again.");
    } else {
        m_outcomeText +=
            QLatin1Char(' ') +
            tr("It now reports firmware %1.").arg(MLPDeviceInfoNode::versionText(after.fwVersion));
    }
    if (!m_session->historyProblem().isEmpty()) {
        m_outcomeText += QLatin1Char(' ') +
                         tr("The update history could not be written: %1").arg(m_session->historyProblem());
    }
    showStatus();
}

void FirmwareUpdateDlg::updateFailed(MLPWorkerRequestI::failReason)
{
    m_ui->progressBar->hide();
    QString reason =
        tr("%1: %2 %3")
            .arg(DeviceUnitText::modelAndUnit(m_session->unit()),
                 UpdateText::reason(*m_session) + QLatin1Char('.'), UpdateText::nextStep(*m_session));
    if (!m_session->historyProblem().isEmpty()) {
        reason += QLatin1Char(' ') +
                  tr("The update history could not be written: %1").arg(m_session->historyProblem());
    }
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
    setOutcome(tr("%1 updated to firmware %2.")
                   .arg(DeviceUnitText::modelAndUnit(m_session->unit()), m_session->fileFirmwareVersion()));
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

// The one place the busy state is decided: a discovery or a selection posted and not yet
// answered, or an update session that has not ended.
void FirmwareUpdateDlg::refreshBusy()
{
    m_busy = m_discovering || m_selecting || (m_session && !m_session->hasEnded());
    setBusy(m_busy);
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

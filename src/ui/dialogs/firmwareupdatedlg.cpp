#include "firmwareupdatedlg.h"

#include "builtinfirmwaresdlg.h"
#include "builtinupdatefiles.h"
#include "deviceinfodlg.h"
#include "loadedfirmwaredlg.h"
#include "mlpupdatefirmwarerequest.h"
#include "mlpworkerthread.h"
#include "ui_firmwareupdatedlg.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QList>
#include <QMessageBox>
#include <QShowEvent>

namespace {

// Link targets of the mode texts: each names the mode its link switches to.
const char* const kAlternativeFileLink = "alternative-update-file";
const char* const kBuiltInFilesLink = "default-update-file";

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
    m_ui->progressBar->hide();
    m_ui->infoButtonLoadedFirmware->setEnabled(false);
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

    m_updateRequest = new MLPUpdateFirmwareRequest(getSelectedFirmwareFileName(m_currentDevice), this);
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

    m_busy = false;
    setBusy(false);

    const QList<MLPDeviceInfoNode> devices = m_workerThread->discoveredDevices();
    m_ui->devicesCombo->clear();
    for (const MLPDeviceInfoNode& device : devices) {
        m_ui->devicesCombo->addItem(device.model);
    }
}

void FirmwareUpdateDlg::deviceSelected(uint16_t, uint16_t)
{
    m_busy = false;
    setBusy(false);
    m_ui->infoButtonDevice->setEnabled(true);
    m_haveDevice = true;
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::onConnectionLost()
{
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
    const UpdateFileCompatibility::Verdict verdict = selectedFirmwareVerdict();
    m_ui->bttn_update->setEnabled(verdict == UpdateFileCompatibility::Fits);
    m_ui->bttn_update->setToolTip(updateBlockedReason(verdict));
}

bool FirmwareUpdateDlg::isSelectedFirmwareValidForDevice()
{
    return selectedFirmwareVerdict() == UpdateFileCompatibility::Fits;
}

UpdateFileCompatibility::Verdict FirmwareUpdateDlg::selectedFirmwareVerdict()
{
    return UpdateFileCompatibility::check(getSelectedFirmwareFileName(m_currentDevice), m_currentDevice.model,
                                          m_currentDevice.hwVersion);
}

QString FirmwareUpdateDlg::updateBlockedReason(UpdateFileCompatibility::Verdict verdict) const
{
    switch (verdict) {
    case UpdateFileCompatibility::Fits:
        return QString();
    case UpdateFileCompatibility::NoFile:
        return m_alternativeFileMode ? tr("No update file has been loaded.")
                                     : tr("There is no built-in update file for this device model.");
    case UpdateFileCompatibility::Unreadable:
        return tr("The update file cannot be read.");
    case UpdateFileCompatibility::OtherModel:
        return tr("The update file is for another device model.");
    case UpdateFileCompatibility::HardwareNotListed:
        return tr("The update file does not list this device's hardware version.");
    }
    return QString();
}

QString FirmwareUpdateDlg::getSelectedFirmwareFileName(MLPDeviceInfoNode deviceInfoNode)
{
    if (m_alternativeFileMode) {
        return m_loadedFilePath ? *m_loadedFilePath : QString();
    }
    return builtInUpdateFilesByModel().value(deviceInfoNode.model);
}

void FirmwareUpdateDlg::updateFailed(MLPWorkerRequestI::failReason)
{
    recycleFirmwareUpdateRequest();
    m_busy = false;
    setBusy(false);
    m_ui->progressBar->hide();
    QMessageBox::warning(this, tr("Firmware update failed"), tr("The firmware update could not be completed"),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

void FirmwareUpdateDlg::updateSuccessFul()
{
    recycleFirmwareUpdateRequest();
    m_busy = false;
    setBusy(false);
    m_ui->progressBar->hide();
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
}

void FirmwareUpdateDlg::connectWorkerThreadSignals()
{
    connect(m_workerThread, SIGNAL(deviceDiscoverFinsihed()), this, SLOT(devicesDiscovered()),
            Qt::UniqueConnection);
    connect(m_workerThread, SIGNAL(deviceSelectionFinished(uint16_t, uint16_t)), this,
            SLOT(deviceSelected(uint16_t, uint16_t)), Qt::UniqueConnection);
    connect(m_workerThread, SIGNAL(lostConnection()), this, SLOT(onConnectionLost()), Qt::UniqueConnection);
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
}

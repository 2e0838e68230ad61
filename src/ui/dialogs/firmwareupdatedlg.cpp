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

FirmwareUpdateDlg::FirmwareUpdateDlg(QWidget* parent) : QDialog(parent), ui(new Ui::FirmwareUpdateDlg)
{
    qRegisterMetaType<uint16_t>("uint16_t");
    ui->setupUi(this);
    busy = false;
    haveDevice = false;
    initCurrentDevice();

    builtInModeText =
        buildModeText(tr("Built-in firmware update files loaded. Load "),
                      QString::fromLatin1(kAlternativeFileLink), tr("alternative"), tr(" update file."));
    alternativeModeText = buildModeText(tr("Load the "), QString::fromLatin1(kBuiltInFilesLink),
                                        tr("built-in"), tr(" firmware updates."));

    ui->bttn_update->setEnabled(false);
    ui->progressBar->hide();
    ui->infoButtonLoadedFirmware->setEnabled(false);
    setAlternativeFileMode(false);
}

FirmwareUpdateDlg::~FirmwareUpdateDlg()
{
    recycleFirmwareUpdateRequest();
    delete ui;
}

void FirmwareUpdateDlg::setWorkerThread(MLPWorkerThread* thread)
{
    workerThread = thread;
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
    if (busy) {
        return;
    }
    QDialog::reject();
}

void FirmwareUpdateDlg::on_devicesCombo_currentIndexChanged(int index)
{
    if (index < 0 || !workerThread) {
        return;
    }
    busy = true;
    setBusy(true);
    workerThread->selectDevice(index);
    const QList<MLPDeviceInfoNode> devices = workerThread->discoveredDevices();
    // The list only changes under a running discovery, which empties the combo box first;
    // the check keeps a stray index from reading past the copy.
    if (index < devices.size()) {
        currentDevice = devices.at(index);
    }
}

void FirmwareUpdateDlg::on_bttnDiscover_clicked()
{
    if (!workerThread) {
        return;
    }
    busy = true;
    setBusy(true);
    ui->devicesCombo->clear();
    workerThread->postDiscover();
}

void FirmwareUpdateDlg::on_bttn_load_clicked()
{
    const QString startDirectory = loadedFilePath ? *loadedFilePath : QDir::homePath();
    const QString chosenPath = QFileDialog::getOpenFileName(this, tr("Open a Marlune Update File"),
                                                            startDirectory, tr("ML2 fles (*.ml2)"));
    if (QFileInfo::exists(chosenPath)) {
        loadedFilePath = chosenPath;
    }
    if (loadedFilePath) {
        ui->infoButtonLoadedFirmware->setEnabled(true);
        ui->lbl_fileStatus->setText(QFileInfo(*loadedFilePath).fileName());
    } else {
        ui->lbl_fileStatus->clear();
        ui->infoButtonLoadedFirmware->setEnabled(false);
    }
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::on_bttn_quit_clicked()
{
    close();
}

void FirmwareUpdateDlg::on_bttn_update_clicked()
{
    if (!workerThread || updateRequest) {
        return;
    }
    busy = true;
    setBusy(true);
    ui->progressBar->setValue(0);
    ui->progressBar->show();

    updateRequest = new MLPUpdateFirmwareRequest(getSelectedFirmwareFileName(currentDevice), this);
    connect(updateRequest, SIGNAL(workDone()), this, SLOT(updateSuccessFul()));
    connect(updateRequest, SIGNAL(failed(MLPWorkerRequestI::failReason)), this,
            SLOT(updateFailed(MLPWorkerRequestI::failReason)));
    connect(updateRequest, SIGNAL(progress(int)), this, SLOT(progress(int)));
    workerThread->postUpdate(updateRequest);
}

void FirmwareUpdateDlg::on_lbl_fileOpenMode_linkActivated(const QString& link)
{
    if (busy) {
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
    ui->progressBar->setValue(percents);
}

void FirmwareUpdateDlg::devicesDiscovered()
{
    // A discovery closes the worker thread's connection, so whatever was selected before is
    // gone there too. Forgetting it here keeps the window from offering an update to a
    // device the thread no longer talks to; when devices were found the first one is
    // selected again below.
    haveDevice = false;
    initCurrentDevice();

    busy = false;
    setBusy(false);

    const QList<MLPDeviceInfoNode> devices = workerThread->discoveredDevices();
    ui->devicesCombo->clear();
    for (const MLPDeviceInfoNode& device : devices) {
        ui->devicesCombo->addItem(device.model);
    }
}

void FirmwareUpdateDlg::deviceSelected(uint16_t, uint16_t)
{
    busy = false;
    setBusy(false);
    ui->infoButtonDevice->setEnabled(true);
    haveDevice = true;
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::onConnectionLost()
{
    ui->devicesCombo->clear();
    haveDevice = false;
    ui->infoButtonDevice->setEnabled(false);
    initCurrentDevice();
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::enableUpdateButtonIfRequirementsAreMet()
{
    if (!haveDevice) {
        ui->bttn_update->setEnabled(false);
        ui->bttn_update->setToolTip(QString());
        return;
    }
    if (busy) {
        ui->bttn_update->setEnabled(false);
        ui->bttn_update->setToolTip(tr("Wait until the running task has finished."));
        return;
    }
    const UpdateFileCompatibility::Verdict verdict = selectedFirmwareVerdict();
    ui->bttn_update->setEnabled(verdict == UpdateFileCompatibility::Fits);
    ui->bttn_update->setToolTip(updateBlockedReason(verdict));
}

bool FirmwareUpdateDlg::isSelectedFirmwareValidForDevice()
{
    return selectedFirmwareVerdict() == UpdateFileCompatibility::Fits;
}

UpdateFileCompatibility::Verdict FirmwareUpdateDlg::selectedFirmwareVerdict()
{
    return UpdateFileCompatibility::check(getSelectedFirmwareFileName(currentDevice), currentDevice.model,
                                          currentDevice.hwVersion);
}

QString FirmwareUpdateDlg::updateBlockedReason(UpdateFileCompatibility::Verdict verdict) const
{
    switch (verdict) {
    case UpdateFileCompatibility::Fits:
        return QString();
    case UpdateFileCompatibility::NoFile:
        return alternativeFileMode ? tr("No update file has been loaded.")
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
    if (alternativeFileMode) {
        return loadedFilePath ? *loadedFilePath : QString();
    }
    return builtInUpdateFilesByModel().value(deviceInfoNode.model);
}

void FirmwareUpdateDlg::updateFailed(MLPWorkerRequestI::failReason)
{
    recycleFirmwareUpdateRequest();
    busy = false;
    setBusy(false);
    ui->progressBar->hide();
    QMessageBox::warning(this, tr("Firmware update failed"), tr("The firmware update could not be completed"),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

void FirmwareUpdateDlg::updateSuccessFul()
{
    recycleFirmwareUpdateRequest();
    busy = false;
    setBusy(false);
    ui->progressBar->hide();
}

void FirmwareUpdateDlg::initCurrentDevice()
{
    currentDevice.model = QStringLiteral("N/A");
    currentDevice.hwVersion = 0;
    currentDevice.fwVersion = 0;
}

void FirmwareUpdateDlg::closeEvent(QCloseEvent* e)
{
    if (busy) {
        e->ignore();
        return;
    }
    disconnectWorkerThreadSignals();
    e->accept();
}

void FirmwareUpdateDlg::showEvent(QShowEvent* event)
{
    if (workerThread) {
        connectWorkerThreadSignals();
        // The window system sends spontaneous show events when a minimised window comes
        // back; those must not restart the discovery, which would end the selection.
        // A running request is never cut short: its request object stays alive.
        if (!event->spontaneous() && !busy) {
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
    delete updateRequest;
    updateRequest = nullptr;
}

void FirmwareUpdateDlg::on_infoButtonDevice_clicked()
{
    auto* dialog = new DeviceInfoDlg(currentDevice, this);
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
    if (!loadedFilePath) {
        return;
    }
    auto* dialog = new LoadedFirmwareDlg(*loadedFilePath, this);
    dialog->exec();
    dialog->deleteLater();
}

void FirmwareUpdateDlg::setBusy(bool b)
{
    ui->bttnDiscover->setEnabled(!b);
    ui->bttn_quit->setEnabled(!b);
    ui->bttn_load->setEnabled(!b);
    if (b) {
        ui->infoButtonDevice->setEnabled(false);
        ui->bttn_update->setEnabled(false);
        ui->bttn_update->setToolTip(haveDevice ? tr("Wait until the running task has finished.") : QString());
    } else {
        ui->infoButtonDevice->setEnabled(haveDevice);
        enableUpdateButtonIfRequirementsAreMet();
    }
}

void FirmwareUpdateDlg::setAlternativeFileMode(bool on)
{
    alternativeFileMode = on;
    ui->bttn_load->setVisible(on);
    ui->lbl_fileStatus->setVisible(on);
    ui->lbl_fileOpenMode->setText(on ? alternativeModeText : builtInModeText);
    ui->infoButtonBuiltInFirmware->setVisible(!on);
    ui->infoButtonLoadedFirmware->setVisible(on);
    enableUpdateButtonIfRequirementsAreMet();
}

void FirmwareUpdateDlg::connectWorkerThreadSignals()
{
    connect(workerThread, SIGNAL(deviceDiscoverFinsihed()), this, SLOT(devicesDiscovered()),
            Qt::UniqueConnection);
    connect(workerThread, SIGNAL(deviceSelectionFinished(uint16_t, uint16_t)), this,
            SLOT(deviceSelected(uint16_t, uint16_t)), Qt::UniqueConnection);
    connect(workerThread, SIGNAL(lostConnection()), this, SLOT(onConnectionLost()), Qt::UniqueConnection);
}

void FirmwareUpdateDlg::disconnectWorkerThreadSignals()
{
    if (!workerThread) {
        return;
    }
    disconnect(workerThread, SIGNAL(deviceDiscoverFinsihed()), this, SLOT(devicesDiscovered()));
    disconnect(workerThread, SIGNAL(deviceSelectionFinished(uint16_t, uint16_t)), this,
               SLOT(deviceSelected(uint16_t, uint16_t)));
    disconnect(workerThread, SIGNAL(lostConnection()), this, SLOT(onConnectionLost()));
}

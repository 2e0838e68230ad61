#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpworkerrequesti.h"
#include "unitupdatefile.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

class QCloseEvent;
class QShowEvent;
class MLPWorkerThread;
class StatusLine;
class UnitSelection;
class UnitUpdateRun;
class UpdateFileSource;
class HotplugRefresh;
class UpdateAllHost;
class UpdateButtons;
class WorkerThreadAnswers;

namespace Ui {
class FirmwareUpdateDlg;
}

// The program's main window. Shows the discovered devices, which update file source is in
// use (the built-in files or one the user loaded) and starts the firmware update. It never
// talks to a device itself: it posts requests to the worker thread, runs each update as an
// UpdateSession and shows what they report.
class FirmwareUpdateDlg : public QDialog
{
    Q_OBJECT

public:
    explicit FirmwareUpdateDlg(QWidget* parent = nullptr);
    ~FirmwareUpdateDlg() override;

    // Must be called before the window is shown; the window never owns the thread.
    void setWorkerThread(MLPWorkerThread* thread);
    // For a request to end that cannot be refused, such as a signal: readyToExit() follows
    // once no unit is being written, at once when idle, otherwise when the running update has
    // ended and been recorded. Update All starts no further unit meanwhile.
    void exitAfterRunningUpdates();
    // Another start of the program asked for this window: it comes to the front and loads
    // `file`, when one is named, as Load would; while the window is busy, once it is idle.
    void bringForward(const QString& file);
    // Whether the window holds the unit with this serial number (any unit for an empty one):
    // the unit it has selected and keeps asking, or writes, or the units of Update All.
    bool holdsUnit(const QString& serial) const;

signals:
    // Ending every event loop now cuts no update off, Update All's included.
    void readyToExit();

public slots:
    // Escape rejects a dialog without a close event; while busy that is refused too.
    void reject() override;

private slots:
    void on_devicesCombo_currentIndexChanged(int index);
    void on_bttnDiscover_clicked();
    void on_bttn_load_clicked();
    void on_bttn_quit_clicked();
    void on_bttn_update_clicked();
    void on_lbl_fileOpenMode_linkActivated(const QString& link);
    void progress(int percents);
    void devicesDiscovered();
    void deviceSelected(uint16_t fwVersion, uint16_t hwVersion);
    void onConnectionLost();
    void enableUpdateButtonIfRequirementsAreMet();
    bool isSelectedFirmwareValidForDevice();
    QString getSelectedFirmwareFileName(MLPDeviceInfoNode deviceInfoNode);
    void updateFailed(MLPWorkerRequestI::failReason reason);
    void updateSuccessFul();
    void initCurrentDevice();
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* event) override;
    void recycleFirmwareUpdateRequest();
    void on_infoButtonDevice_clicked();
    void on_infoButtonBuiltInFirmware_clicked();
    void on_infoButtonLoadedFirmware_clicked();
    void on_bttn_history_clicked();
    void on_bttn_updateAll_clicked();

private:
    void selectionAnswered(bool answered, const MLPDeviceInfoNode& device);
    void updateStateChanged();
    void exitIfRequestedAndIdle();
    void refreshBusy();
    void setBusy(bool b);
    void setAlternativeFileMode(bool on);
    void connectWorkerThreadSignals();
    void disconnectWorkerThreadSignals();
    // With keepUnit the unit chosen now, or the one that went silent, is chosen again once listed.
    void startDiscovery(bool keepUnit);
    void loadFile(const QString& path);

    Ui::FirmwareUpdateDlg* m_ui;
    MLPWorkerThread* m_workerThread = nullptr;
    // One unit's update: the one running, or the last until the next starts.
    UnitUpdateRun* m_update;
    bool m_busy = false;
    std::unique_ptr<UpdateFileSource> m_fileSource;

    UpdateAllHost* m_updateAll;
    bool m_exitRequested = false;
    // A file another start named while the window was busy.
    QString m_fileToLoad;
    // The worker thread's answers while the window follows them.
    std::unique_ptr<WorkerThreadAnswers> m_workerAnswers;
    // The file in use for the current device and the shared check's verdict on it.
    UnitUpdateFile m_target;

    std::unique_ptr<StatusLine> m_status;
    std::unique_ptr<UnitSelection> m_selection;
    std::unique_ptr<UpdateButtons> m_buttons;

    HotplugRefresh* m_hotplug;
};

#pragma once

#include "mlpdeviceinfonode.h"
#include "mlpworkerrequesti.h"
#include "unitupdatefile.h"
#include "unsignedfilequestion.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

class QCloseEvent;
class QShowEvent;
class MLPWorkerThread;
class StatusLine;
class UnitList;
class UnitUpdateRun;
class UpdateFileSource;
class HotplugRefresh;
class UpdateAllDlg;
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
    // Writes the checked file to the unit.
    // False when the person would not have an unsigned file written.
    bool startUpdate(const UnitUpdateFile& target);
    void updateStateChanged();
    void exitIfRequestedAndIdle();
    // Offered while the file in use fits two or more listed units.
    void offerUpdateAll();
    void refreshBusy();
    void setBusy(bool b);
    void setAlternativeFileMode(bool on);
    void connectWorkerThreadSignals();
    void disconnectWorkerThreadSignals();
    void startDiscovery();
    void loadFile(const QString& path);
    // Reads the list afresh with the chosen unit, or the one that went silent, chosen again.
    void rediscoverKeepingUnit();

    Ui::FirmwareUpdateDlg* m_ui;
    MLPWorkerThread* m_workerThread = nullptr;
    // One unit's update: the one running, or the last until the next starts.
    UnitUpdateRun* m_update;
    UnsignedFileQuestion m_unsignedQuestion;
    MLPDeviceInfoNode m_currentDevice;
    bool m_busy = false;
    bool m_haveDevice = false;
    std::unique_ptr<UpdateFileSource> m_fileSource;

    // What makes the window busy, each set where its request is posted and cleared where it ends.
    bool m_discovering = false;
    bool m_selecting = false;
    bool m_updatingAll = false;
    // The Update All Units dialog while it is open.
    UpdateAllDlg* m_updateAllDialog = nullptr;
    bool m_exitRequested = false;
    // A file another start named while the window was busy.
    QString m_fileToLoad;
    // The worker thread's answers while the window follows them.
    std::unique_ptr<WorkerThreadAnswers> m_workerAnswers;
    // The file in use for the current device and the shared check's verdict on it.
    UnitUpdateFile m_target;

    std::unique_ptr<StatusLine> m_status;
    std::unique_ptr<UnitList> m_units;

    HotplugRefresh* m_hotplug;
    // A refresh under the box would rebuild the list the box speaks of.
    bool m_failureBoxOpen = false;
};

#pragma once

#include "unitupdatefile.h"

#include <QList>
#include <QObject>
#include <QString>

class MLPWorkerThread;
class QWidget;
class UpdateAllDlg;

// Update All as the main window hosts it: offered while the file in use fits two or more
// listed units, run modally over them while the window lends it the worker thread, and
// stopped when the program is to end.
class UpdateAllHost : public QObject
{
    Q_OBJECT

public:
    explicit UpdateAllHost(QWidget* window);

    static bool isWorthOffering(const QList<UnitUpdateFile>& units);

    // From the start of run() until its dialog has gone.
    bool isOpen() const { return m_open; }
    // Whether a unit of its waits, or is being checked or written right now.
    bool isRunning() const;
    // Runs the dialog until it is closed; returns how its last run ended, empty when none ran.
    // When the program's end closes it while a unit is still written, that unit is waited for.
    QString run(MLPWorkerThread& thread, const QList<UnitUpdateFile>& units);
    // The units being written finish and no further one starts; nothing when not open.
    void stopForProgramEnd();

signals:
    // Open, before its dialog is shown.
    void opened();
    // A run has ended, with its watching: no unit is written or checked any more.
    void runFinished();

private:
    QWidget* m_window;
    UpdateAllDlg* m_dialog = nullptr;
    bool m_open = false;
};

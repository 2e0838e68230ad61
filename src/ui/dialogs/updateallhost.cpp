#include "updateallhost.h"

#include "mlpworkerthread.h"
#include "updatealldlg.h"
#include "updatehistory.h"

#include <QWidget>

#include <algorithm>

UpdateAllHost::UpdateAllHost(QWidget* window) : QObject(window), m_window(window) {}

bool UpdateAllHost::isWorthOffering(const QList<UnitUpdateFile>& units)
{
    return std::count_if(units.begin(), units.end(),
                         [](const UnitUpdateFile& unit) { return unit.fits(); }) >= 2;
}

bool UpdateAllHost::isRunning() const
{
    return m_dialog && m_dialog->isRunning();
}

QString UpdateAllHost::run(MLPWorkerThread& thread, const QList<UnitUpdateFile>& units)
{
    m_open = true;
    emit opened();
    QString summary;
    {
        const bool offerWatching = true;
        UpdateAllDlg dialog(thread, units, UpdateHistory::defaultPath(), m_window, offerWatching,
                            thread.missingDevices());
        m_dialog = &dialog;
        connect(&dialog, &UpdateAllDlg::runFinished, this, &UpdateAllHost::runFinished);
        dialog.exec();
        m_dialog = nullptr;
        summary = dialog.summary();
        // Gone before anything else reaches for the units: when a forced end of the session
        // ended its loop, a unit still written is waited for here.
    }
    m_open = false;
    return summary;
}

void UpdateAllHost::stopForProgramEnd()
{
    if (m_dialog) {
        m_dialog->stopForProgramEnd();
    }
}

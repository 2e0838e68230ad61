#pragma once

#include "writingprogresstext.h"

#include <QCoreApplication>
#include <QString>

class LabelHeightFit;
class QLabel;
class QProgressBar;

// The window's verdict line under its controls: the latest update's outcome, then what the
// device list says now. Hidden while it has nothing to say; as tall as its text needs otherwise.
// While an update writes, the progress bar beside the update button goes with it.
class StatusLine
{
    Q_DECLARE_TR_FUNCTIONS(StatusLine)

public:
    StatusLine(QLabel* label, QProgressBar* progressBar);

    QString outcome() const { return m_outcome; }
    void setOutcome(const QString& text);
    // A further sentence about the same outcome.
    void addToOutcome(const QString& sentence);
    void setDeviceState(const QString& text);

    // An update begins writing; `writing` names the firmware and the unit.
    void startWriting(const QString& writing);
    void progressed(int percent);
    bool isWriting() const;
    // The update has ended writing; its outcome replaces the progress.
    void endWriting(const QString& outcome);

private:
    void show();

    QLabel* m_label;
    QProgressBar* m_progressBar;
    LabelHeightFit* m_fit;
    WritingProgressText m_writingProgress;
    QString m_outcome;
    QString m_deviceState;
};

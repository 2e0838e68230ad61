#pragma once

#include <QCoreApplication>
#include <QString>

class LabelHeightFit;
class QLabel;

// The window's verdict line under its controls: the latest update's outcome, then what the
// device list says now, then a note when no built-in files are installed while the window
// offers them. Hidden while it has nothing to say; as tall as its text needs otherwise.
class StatusLine
{
    Q_DECLARE_TR_FUNCTIONS(StatusLine)

public:
    explicit StatusLine(QLabel* label);

    QString outcome() const { return m_outcome; }
    void setOutcome(const QString& text);
    void setDeviceState(const QString& text);
    void setNoBuiltInFilesNote(bool shown);

private:
    void show();

    QLabel* m_label;
    LabelHeightFit* m_fit;
    QString m_outcome;
    QString m_deviceState;
    bool m_noBuiltInFilesNote = false;
};

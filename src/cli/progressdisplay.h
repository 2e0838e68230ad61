#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

// Shows the progress of an update. On a terminal: one line redrawn in place with a bar,
// percent, bytes sent, transfer rate and time left. Otherwise (a log, a pipe): a plain
// "NN%" line each time the percentage changes.
//
// The request reports whole percents only, so bytes and rate are estimates at that
// resolution.
class ProgressDisplay
{
public:
    static constexpr int kBarWidth = 30;

    ProgressDisplay(QTextStream& out, bool terminal, qint64 totalBytes);

    void start();
    void show(int percent);
    // Ends the redrawn line.
    void finish();

    // The terminal line for a moment of the transfer; elapsedMs 0 leaves rate and time open.
    static QString barLine(int percent, qint64 totalBytes, qint64 elapsedMs);
    static QString plainLine(int percent);

private:
    QTextStream& m_out;
    bool m_terminal;
    qint64 m_totalBytes;
    int m_lastPercent = -1;
    int m_lastLineLength = 0;
    QElapsedTimer m_clock;
};

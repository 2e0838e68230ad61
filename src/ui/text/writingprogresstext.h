#pragma once

#include "transfertimeestimator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <optional>

// The window's verdict line while an update writes: the sentence that names the firmware and
// the unit, how far the update has come, the time left once its estimate is steady, and that
// the device must stay connected.
class WritingProgressText
{
    Q_DECLARE_TR_FUNCTIONS(WritingProgressText)

public:
    // "about 40 seconds", "about 3 minutes"; empty without an estimate.
    static QString timeLeft(std::optional<qint64> remainingMs);
    // The line at `percent`; remainingMs empty while there is no steady estimate.
    static QString text(const QString& writing, int percent, std::optional<qint64> remainingMs);

    // Once the program is asked to end while units are written: it waits for them.
    static QString programEndsAfterWrites();

    // A new update begins; `writing` names it. Returns its line at 0 percent.
    QString start(const QString& writing);
    // The line once the update has reported `percent`.
    QString progressed(int percent);

private:
    static constexpr int kFullPercent = 100;

    QString m_writing;
    QElapsedTimer m_clock;
    TransferTimeEstimator m_estimator{kFullPercent};
};

#pragma once

#include <QVector>
#include <QtGlobal>

#include <optional>

// Estimates the time left of a transfer from how far it has come, for a person waiting on
// it. The rate is taken over the last two windows of kWindowMs, so the slow start (opening
// the device, the header) is forgotten; while the later window strays from the earlier one
// by more than kSteadyTolerancePercent (a device that pauses to erase flash, a link that
// stalls) there is no estimate, and none before two windows have passed.
class TransferTimeEstimator
{
public:
    static constexpr qint64 kWindowMs = 2000;
    static constexpr qint64 kSteadyTolerancePercent = 25;

    // total: what done counts up to (100 for percents, or the bytes of the transfer).
    explicit TransferTimeEstimator(qint64 total);

    // done of total, elapsedMs after the transfer started. A sample behind the one before
    // it in time or in progress starts the estimate afresh.
    void addSample(qint64 elapsedMs, qint64 done);

    // Milliseconds left after the last sample; empty while the figures are not steady.
    std::optional<qint64> remainingMs() const;

private:
    struct Sample
    {
        qint64 elapsedMs;
        qint64 done;
    };

    // The index of the newest kept sample taken at or before `elapsedMs`; -1 when none was.
    int newestAtOrBefore(qint64 elapsedMs) const;

    qint64 m_total;
    // Oldest first; only what the two windows still need is kept.
    QVector<Sample> m_samples;
};

#include "writingprogresstext.h"

namespace {

constexpr qint64 kMsPerSecond = 1000;
constexpr qint64 kSecondsPerMinute = 60;
// Seconds are shown in steps of this many: a finer figure would only flicker.
constexpr qint64 kSecondsStep = 5;

} // namespace

QString WritingProgressText::text(const QString& writing, int percent, std::optional<qint64> remainingMs)
{
    QString timeLeft;
    if (remainingMs && *remainingMs > 0) {
        const qint64 seconds = (*remainingMs + kMsPerSecond - 1) / kMsPerSecond;
        const qint64 steppedSeconds = (seconds + kSecondsStep - 1) / kSecondsStep * kSecondsStep;
        const qint64 minutes = (seconds + kSecondsPerMinute / 2) / kSecondsPerMinute;
        if (steppedSeconds < kSecondsPerMinute) {
            timeLeft = tr(", about %1 seconds left").arg(steppedSeconds);
        } else if (minutes == 1) {
            timeLeft = tr(", about 1 minute left");
        } else {
            timeLeft = tr(", about %1 minutes left").arg(minutes);
        }
    }
    // A line each, so that the window keeps its height when the estimate comes and goes. One
    // pass over all three: a model or serial number holding "%2" stays as it is.
    return tr("%1\n%2%3.\nKeep the device connected until the update has finished.")
        .arg(writing, tr("%1%").arg(percent), timeLeft);
}

QString WritingProgressText::start(const QString& writing)
{
    m_writing = writing;
    m_clock.start();
    m_estimator = TransferTimeEstimator(kFullPercent);
    return text(m_writing, 0, std::nullopt);
}

QString WritingProgressText::progressed(int percent)
{
    m_estimator.addSample(m_clock.elapsed(), percent);
    return text(m_writing, percent, m_estimator.remainingMs());
}

#include "writingprogresstext.h"

namespace {

constexpr qint64 kMsPerSecond = 1000;
constexpr qint64 kSecondsPerMinute = 60;
// Seconds are shown in steps of this many: a finer figure would only flicker.
constexpr qint64 kSecondsStep = 5;

} // namespace

QString WritingProgressText::timeLeft(std::optional<qint64> remainingMs)
{
    if (!remainingMs || *remainingMs <= 0) {
        return QString();
    }
    const qint64 seconds = (*remainingMs + kMsPerSecond - 1) / kMsPerSecond;
    const qint64 steppedSeconds = (seconds + kSecondsStep - 1) / kSecondsStep * kSecondsStep;
    const qint64 minutes = (seconds + kSecondsPerMinute / 2) / kSecondsPerMinute;
    if (steppedSeconds < kSecondsPerMinute) {
        return tr("about %1 seconds").arg(steppedSeconds);
    }
    return minutes == 1 ? tr("about 1 minute") : tr("about %1 minutes").arg(minutes);
}

QString WritingProgressText::text(const QString& writing, int percent, std::optional<qint64> remainingMs)
{
    const QString left = timeLeft(remainingMs);
    // A line each, so that the window keeps its height when the estimate comes and goes. One
    // pass over all three: a model or serial number holding "%2" stays as it is.
    return tr("%1\n%2%3.\nKeep the device connected until the update has finished.")
        .arg(writing, tr("%1%").arg(percent), left.isEmpty() ? QString() : tr(", %1 left").arg(left));
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

QString WritingProgressText::programEndsAfterWrites()
{
    return tr("The program ends once the writes under way have finished; no further unit is started. Keep "
              "every unit connected and powered until then.");
}

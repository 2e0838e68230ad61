#include "transfertimeestimator.h"

TransferTimeEstimator::TransferTimeEstimator(qint64 total) : m_total(total) {}

void TransferTimeEstimator::addSample(qint64 elapsedMs, qint64 done)
{
    if (!m_samples.isEmpty() && (elapsedMs < m_samples.last().elapsedMs || done < m_samples.last().done)) {
        m_samples.clear();
    }
    m_samples.append({elapsedMs, done});
    // The windows only move on: a sample goes once the one after it can start the earlier window.
    int middle = newestAtOrBefore(elapsedMs - kWindowMs);
    while (middle > 1 && m_samples.at(1).elapsedMs <= m_samples.at(middle).elapsedMs - kWindowMs) {
        m_samples.removeFirst();
        --middle;
    }
}

int TransferTimeEstimator::newestAtOrBefore(qint64 elapsedMs) const
{
    int index = m_samples.size() - 1;
    while (index >= 0 && m_samples.at(index).elapsedMs > elapsedMs) {
        --index;
    }
    return index;
}

std::optional<qint64> TransferTimeEstimator::remainingMs() const
{
    if (m_samples.isEmpty()) {
        return std::nullopt;
    }
    const Sample& last = m_samples.last();
    if (last.done >= m_total) {
        return 0;
    }
    const int middleIndex = newestAtOrBefore(last.elapsedMs - kWindowMs);
    const int firstIndex =
        middleIndex < 0 ? -1 : newestAtOrBefore(m_samples.at(middleIndex).elapsedMs - kWindowMs);
    if (firstIndex < 0) {
        return std::nullopt;
    }
    const Sample& middle = m_samples.at(middleIndex);
    const Sample& first = m_samples.at(firstIndex);
    // Rates as done per millisecond, compared by cross-multiplying to stay in integers.
    const qint64 laterDone = last.done - middle.done;
    const qint64 laterMs = last.elapsedMs - middle.elapsedMs;
    const qint64 earlierDone = middle.done - first.done;
    const qint64 earlierMs = middle.elapsedMs - first.elapsedMs;
    if (laterDone <= 0 || earlierDone <= 0) {
        return std::nullopt;
    }
    const qint64 later = laterDone * earlierMs;
    const qint64 earlier = earlierDone * laterMs;
    if (qAbs(later - earlier) * 100 > kSteadyTolerancePercent * earlier) {
        return std::nullopt;
    }
    const qint64 windowsDone = last.done - first.done;
    const qint64 windowsMs = last.elapsedMs - first.elapsedMs;
    // Rounded up: an estimate that runs out before the transfer does reads as a broken promise.
    return ((m_total - last.done) * windowsMs + windowsDone - 1) / windowsDone;
}
